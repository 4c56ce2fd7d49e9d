#include "cli/JsonText.h"

#include <nlohmann/json.hpp>
#include <string>

namespace {

constexpr size_t kBlock = 64 << 10;

// Where a block of `text` may end: after an ASCII byte, where the library
// is between characters whatever came before, so that each block is dumped
// as it would be within the whole. Past the last byte when none is near.
size_t BlockEnd(std::string_view text) {
  if (text.size() <= kBlock) return text.size();
  for (size_t end = kBlock; end > 0; --end)
    if (static_cast<unsigned char>(text[end - 1]) < 0x80) return end;
  for (size_t end = kBlock; end < text.size(); ++end)
    if (static_cast<unsigned char>(text[end]) < 0x80) return end + 1;
  return text.size();
}

// The string's characters, without its quotes.
void WriteJsonCharacters(std::ostream& out, std::string_view text) {
  while (!text.empty()) {
    const size_t end = BlockEnd(text);
    const std::string dumped = nlohmann::json(std::string(text.substr(0, end)))
                                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    out.write(dumped.data() + 1, static_cast<std::streamsize>(dumped.size() - 2));
    text.remove_prefix(end);
  }
}

}  // namespace

void WriteJsonString(std::ostream& out, std::string_view text) {
  out << '"';
  WriteJsonCharacters(out, text);
  out << '"';
}

void WriteJsonString(std::ostream& out, const PaneText& text) {
  out << '"';
  for (const PaneText::Part& part : text.parts()) WriteJsonCharacters(out, *part);
  out << '"';
}
