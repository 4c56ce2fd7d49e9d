#include "cli/JsonText.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Written a block at a time, a text is the JSON string the library would
// make of it whole, bad UTF-8 and all.
TEST(JsonText, WritesWhatTheLibraryDumps) {
  std::mt19937 random(20261210);
  std::vector<std::string> texts{"", "plain", "\"quoted\" \\ \x01", "\xff\xfe bad", "\xe4\xb8"};
  for (const size_t size : {70'000u, 300'000u}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    texts.push_back(bytes);
    std::string highBytes(size, '\0');  // blocks without an ASCII byte to end on
    for (char& c : highBytes) c = static_cast<char>(0x80 | random());
    texts.push_back(highBytes + "a" + highBytes);
  }
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 20));
    std::ostringstream out;
    WriteJsonString(out, text);
    EXPECT_EQ(out.str(),
              nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  }
}

}  // namespace
