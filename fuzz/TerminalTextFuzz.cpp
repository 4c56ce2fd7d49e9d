// Whatever bytes a machine sends, the CLI's text output is valid UTF-8 with
// no control character but tab and line feed, and its JSON strings are the
// library's own.
#include <nlohmann/json.hpp>
#include <sstream>

#include "FuzzInput.h"
#include "cli/JsonText.h"
#include "model/TerminalText.h"

namespace {

// The length of the valid UTF-8 sequence at the start, or 0.
size_t Utf8Length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  const size_t length = first < 0x80                     ? 1
                        : first >= 0xC2 && first <= 0xDF ? 2
                        : first >= 0xE0 && first <= 0xEF ? 3
                        : first >= 0xF0 && first <= 0xF4 ? 4
                                                         : 0;
  if (length == 0 || text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  return length;
}

void CheckShowable(std::string_view shown) {
  while (!shown.empty()) {
    const size_t length = Utf8Length(shown);
    FUZZ_CHECK(length != 0);
    const auto first = static_cast<unsigned char>(shown[0]);
    if (length == 1) FUZZ_CHECK((first >= 0x20 && first != 0x7F) || first == '\t' || first == '\n');
    // No C1 control (U+0080 to U+009F: C2 80 to C2 9F).
    if (length == 2) FUZZ_CHECK(!(first == 0xC2 && static_cast<unsigned char>(shown[1]) < 0xA0));
    shown.remove_prefix(length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const std::string shown = TerminalText(text);
  FUZZ_CHECK(shown.find('\n') == std::string::npos);
  CheckShowable(shown);
  DisplayWidth()(shown);

  std::ostringstream lines;
  WriteTerminalLines(lines, text);
  CheckShowable(lines.str());

  std::ostringstream json;
  WriteJsonString(json, text);
  FUZZ_CHECK(json.str() == nlohmann::json(std::string(text))
                               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  return 0;
}
