#include "model/IniDocument.h"

#include <algorithm>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t npos = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

// The name in a "[name]" line; nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  const size_t close = line.find(']');
  if (!line.starts_with('[') || close == npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyValue {
  std::string_view key;
  std::string_view value;
};

// The key and value of a "key=value" line; nothing for any other line.
std::optional<KeyValue> SplitKeyLine(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == npos) return std::nullopt;
  return KeyValue{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

std::string SingleLine(std::string_view value) {
  std::string line(value);
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

// The line of `text` around `at`, at or after `from` (a line's start):
// where it starts and where its line feed is (or the text ends).
struct LineSpan {
  size_t start, end;
};

LineSpan LineAround(std::string_view text, size_t at, size_t from) {
  const size_t before = at == 0 ? npos : text.rfind('\n', at - 1);
  const size_t start = before == npos || before < from ? from : before + 1;
  return {start, std::min(text.find('\n', at), text.size())};
}

// A line without its line feed and the carriage return before it.
std::string_view LineText(std::string_view text, LineSpan span) {
  std::string_view line = text.substr(span.start, span.end - span.start);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

}  // namespace

IniDocument::IniDocument(std::string_view text) : text_(text) {
  const size_t firstBreak = text.find('\n');
  if (firstBreak != npos && firstBreak > 0 && text[firstBreak - 1] == '\r') lineEnd_ = "\r\n";
  sections_[0].end = text.size();

  // Headers are found by their brackets, so that blank lines and values
  // are passed over in bulk; each line is looked at once at most.
  const size_t from = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  for (size_t at = text.find('[', from); at != npos; at = text.find('[', at)) {
    const LineSpan span = LineAround(text, at, from);
    const std::string_view line = LineText(text, span);
    if (const auto name = SectionName(line)) {
      sections_.back().end = span.start;
      index_.try_emplace(Lower(*name), sections_.size());
      sections_.push_back(
          Section{span.start, std::min(span.end + 1, text.size()), text.size(), {}, {}, {}});
    }
    if (span.end == text.size()) break;
    at = span.end + 1;
  }
}

std::optional<IniDocument::KeyLine> IniDocument::FindKeyLine(const Section& section,
                                                             std::string_view key) const {
  // A key line is a line with "=": looking for that alone passes over the
  // other lines in bulk.
  for (size_t at = section.body; at < section.end;) {
    const size_t equals = text_.find('=', at);
    if (equals == npos || equals >= section.end) break;
    const LineSpan span = LineAround(text_, equals, at);
    const std::string_view line = LineText(text_, span);
    const auto keyValue = SplitKeyLine(line);
    if (EqualNoCase(keyValue->key, key))
      return KeyLine{span.start, line.size(), keyValue->key, keyValue->value};
    at = span.end + 1;
  }
  return std::nullopt;
}

const IniDocument::Section* IniDocument::Find(std::string_view name) const {
  const auto found = index_.find(Lower(name));
  return found == index_.end() ? nullptr : &sections_[found->second];
}

IniDocument::Section& IniDocument::FindOrAdd(std::string_view name) {
  const auto [found, added] = index_.try_emplace(Lower(name), sections_.size());
  if (added) {
    Section section;
    section.addedHeader = "[" + SingleLine(name) + "]";
    sections_.push_back(std::move(section));
  }
  return sections_[found->second];
}

std::optional<std::string_view> IniDocument::Get(std::string_view section,
                                                 std::string_view key) const {
  const Section* found = Find(section);
  if (!found) return std::nullopt;
  if (const auto line = FindKeyLine(*found, key)) {
    const auto replaced = found->replaced.find(line->offset);
    if (replaced == found->replaced.end()) return line->value;
    return SplitKeyLine(replaced->second.line)->value;
  }
  for (const std::string& line : found->added) {
    const auto keyValue = SplitKeyLine(line);
    if (EqualNoCase(keyValue->key, key)) return keyValue->value;
  }
  return std::nullopt;
}

void IniDocument::ForEachSectionName(
    const std::function<void(std::string_view lowerName)>& visit) const {
  for (const auto& [name, section] : index_) visit(name);
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  Section& found = FindOrAdd(section);
  if (const auto line = FindKeyLine(found, key)) {
    found.replaced[line->offset] = {line->length, std::string(line->key) + "=" + SingleLine(value)};
    return;
  }
  for (std::string& line : found.added) {
    const std::string_view written = SplitKeyLine(line)->key;
    if (EqualNoCase(written, key)) {
      line = std::string(written) + "=" + SingleLine(value);
      return;
    }
  }
  found.added.push_back(SingleLine(key) + "=" + SingleLine(value));
}

size_t IniDocument::EndOfContent(const Section& section) const {
  // After the section's last line of content, before the blank lines that
  // set it apart from the next one.
  size_t last = section.end;
  const auto blank = [](char c) { return IsBlank(c) || c == '\r' || c == '\n'; };
  while (last > section.body && blank(text_[last - 1])) --last;
  if (last == section.body) return section.body;
  return std::min(text_.find('\n', last), section.end - 1) + 1;
}

void IniDocument::AppendSection(std::string& out, const Section& section) const {
  const auto appendLine = [&](std::string_view line) {
    out += line;
    out += lineEnd_;
  };
  const auto appendAdded = [&] {
    if (section.added.empty()) return;
    if (!out.empty() && out.back() != '\n') out += lineEnd_;
    for (const std::string& line : section.added) appendLine(line);
  };
  if (!section.addedHeader.empty()) {
    if (!out.empty() && out.back() != '\n') out += lineEnd_;
    appendLine(section.addedHeader);
    appendAdded();
    return;
  }
  const size_t insertAt = section.added.empty() ? section.end : EndOfContent(section);
  size_t copied = section.header;
  for (const auto& [offset, replaced] : section.replaced) {
    out.append(text_.substr(copied, offset - copied));
    out += replaced.line;
    copied = offset + replaced.length;
    if (copied == text_.size()) out += lineEnd_;  // the last line, now with a line end
  }
  out.append(text_.substr(copied, insertAt - copied));
  appendAdded();
  out.append(text_.substr(insertAt, section.end - insertAt));
}

std::string IniDocument::Text() const {
  std::string text;
  text.reserve(text_.size());
  for (const Section& section : sections_) AppendSection(text, section);
  return text;
}
