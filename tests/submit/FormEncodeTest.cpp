#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>

#include "submit/FormEncode.h"

namespace {

TEST(FormEncode, EncodesAsTheSiteDecodes) {
  struct Case {
    std::string text;
    std::string encoded;
  };
  const std::array cases{
      Case{"abc", "abc"},
      Case{"a b|c\r\n", "a+b%7cc%0d%0a"},
      Case{"-._*~", "%2d%2e%5f%2a%7e"},
      Case{"^+", "%5e%2b"},
      Case{"AZaz09", "AZaz09"},
      Case{"1000000007 | 5*2^12+1\r\n", "1000000007+%7c+5%2a2%5e12%2b1%0d%0a"},
      Case{std::string("\0\x7f\x80\xff", 4), "%00%7f%80%ff"},
      Case{"", ""},
  };
  for (const auto& [text, encoded] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FormEncode(text), encoded);
  }
}

// Every byte on its own: letters and digits stay, the blank is "+", and any
// other byte is "%" and its value in two lower-case hexadecimal digits.
TEST(FormEncode, EveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const std::string encoded = FormEncode(std::string(1, static_cast<char>(byte)));
    if (std::isalnum(byte) && byte < 128) {
      EXPECT_EQ(encoded, std::string(1, static_cast<char>(byte)));
    } else if (byte == ' ') {
      EXPECT_EQ(encoded, "+");
    } else {
      ASSERT_EQ(encoded.size(), 3u);
      EXPECT_EQ(encoded[0], '%');
      const std::string digits = encoded.substr(1);
      EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << digits;
      EXPECT_EQ(std::stoi(digits, nullptr, 16), byte);
    }
  }
}

}  // namespace
