#include "model/TerminalText.h"

#include <wchar.h>

#include "model/Lines.h"

namespace {

// A UTF-8 sequence at the start of a text: its code point and length, or
// length 0 when the first byte starts no valid sequence (a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut
// short).
struct Utf8Char {
  char32_t point = 0;
  size_t length = 0;
};

Utf8Char DecodeUtf8(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  if (first < 0x80) return {first, 1};
  // The lead byte gives the length, its own bits of the code point and the
  // least code point that needs that length (anything less is overlong).
  struct Lead {
    unsigned char min, max, bits;
    size_t length;
    char32_t least;
  };
  constexpr Lead kLeads[] = {
      {0xC2, 0xDF, 0x1F, 2, 0x80}, {0xE0, 0xEF, 0x0F, 3, 0x800}, {0xF0, 0xF4, 0x07, 4, 0x10000}};
  const Lead* lead = nullptr;
  for (const Lead& candidate : kLeads)
    if (first >= candidate.min && first <= candidate.max) lead = &candidate;
  if (!lead) return {};
  const size_t length = lead->length;
  char32_t point = first & lead->bits;
  if (text.size() < length) return {};
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {};
    point = (point << 6) | (byte(i) & 0x3F);
  }
  if (point < lead->least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {};
  return {point, length};
}

bool IsControl(char32_t point) {
  return (point < 0x20 && point != '\t') || (point >= 0x7F && point <= 0x9F);
}

// Printable ASCII, the bulk of every text here, is copied in runs.
bool IsPlainAscii(char c) { return c >= 0x20 && c < 0x7F; }

void AppendEscaped(std::string& out, std::string_view bytes) {
  constexpr char kHex[] = "0123456789abcdef";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  }
}

void AppendTerminalText(std::string& out, std::string_view text) {
  while (!text.empty()) {
    size_t plain = 0;
    while (plain < text.size() && IsPlainAscii(text[plain])) ++plain;
    out.append(text.substr(0, plain));
    text.remove_prefix(plain);
    if (text.empty()) break;
    const Utf8Char c = DecodeUtf8(text);
    const size_t length = c.length == 0 ? 1 : c.length;
    if (c.length == 0 || IsControl(c.point))
      AppendEscaped(out, text.substr(0, length));
    else
      out.append(text.substr(0, length));
    text.remove_prefix(length);
  }
}

constexpr size_t kWriteBlock = 64 << 10;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendTerminalText(out, text);
  return out;
}

void WriteTerminalLines(std::ostream& out, std::string_view pane) {
  std::string block;
  const auto flushIfFull = [&] {
    if (block.size() < kWriteBlock) return;
    out << block;
    block.clear();
  };
  ForEachLine(pane, [&](std::string_view line) {
    // A line of any length goes out in pieces, each cut before the start
    // of a UTF-8 sequence so that no character is split.
    while (line.size() > kWriteBlock) {
      size_t cut = kWriteBlock;
      while (cut > 0 && IsContinuationByte(line[cut])) --cut;
      if (cut == 0) cut = kWriteBlock;  // nothing here decodes anyway
      AppendTerminalText(block, line.substr(0, cut));
      line.remove_prefix(cut);
      flushIfFull();
    }
    AppendTerminalText(block, line);
    block += '\n';
    flushIfFull();
  });
  out << block;
}

void WriteTerminalLines(std::ostream& out, const PaneText& pane) {
  for (const PaneText::Part& part : pane.parts()) WriteTerminalLines(out, *part);
}

DisplayWidth::DisplayWidth() : utf8_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}

DisplayWidth::~DisplayWidth() {
  if (utf8_) ::freelocale(utf8_);
}

size_t DisplayWidth::operator()(std::string_view terminalText) const {
  const locale_t previous = utf8_ ? ::uselocale(utf8_) : locale_t{};
  size_t width = 0;
  while (!terminalText.empty()) {
    const Utf8Char c = DecodeUtf8(terminalText);
    const size_t length = c.length == 0 ? 1 : c.length;
    const int columns = c.point < 0x80 || !utf8_ ? 1 : ::wcwidth(static_cast<wchar_t>(c.point));
    width += columns < 0 ? 1 : static_cast<size_t>(columns);
    terminalText.remove_prefix(length);
  }
  if (utf8_) ::uselocale(previous);
  return width;
}
