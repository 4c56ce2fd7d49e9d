#include <gtest/gtest.h>

#include <array>

#include "model/Numbers.h"

namespace {

TEST(ReadLeadingNumber, ReadsDigitsAfterBlanksUpToTheFirstOtherCharacter) {
  struct Case {
    std::string_view text;
    std::optional<uint64_t> number;
    std::string_view rest;
  };
  const std::array cases{
      Case{"42", 42, ""},
      Case{"  \t42 kp/s", 42, " kp/s"},
      Case{"0", 0, ""},
      Case{"007x", 7, "x"},
      Case{"18446744073709551615", UINT64_MAX, ""},
      Case{"18446744073709551616", std::nullopt, ""},
      Case{"99999999999999999999999999", std::nullopt, ""},
      Case{"", std::nullopt, ""},
      Case{"   ", std::nullopt, ""},
      Case{"-5", std::nullopt, ""},
      Case{"+5", std::nullopt, ""},
      Case{"abc", std::nullopt, ""},
      // Digits are converted eight at a time: break the groups at every
      // place, with the characters on either side of '0' to '9'.
      Case{"12345678", 12345678, ""},
      Case{"12345678x", 12345678, "x"},
      Case{"1234567:9", 1234567, ":9"},
      Case{"1234567/9", 1234567, "/9"},
      Case{"123456789012345:", 123456789012345, ":"},
      Case{"1234567890123456", 1234567890123456, ""},
      Case{"12345678901234567 kp/s", 12345678901234567, " kp/s"},
      Case{"9999999999999999999", 9999999999999999999u, ""},
      Case{"00000000000000000000000000042", 42, ""},
  };
  for (const auto& [text, number, rest] : cases) {
    SCOPED_TRACE(text);
    std::string_view after = "untouched";
    EXPECT_EQ(ReadLeadingNumber(text, &after), number);
    EXPECT_EQ(after, number ? rest : "untouched");
  }
}

TEST(ReadLeadingNumber, RefusesNumbersAboveTheGivenLargest) {
  EXPECT_EQ(ReadLeadingNumber("4294967295", nullptr, UINT32_MAX), UINT32_MAX);
  EXPECT_EQ(ReadLeadingNumber("4294967296", nullptr, UINT32_MAX), std::nullopt);
}

TEST(DecimalText, WritesPlainUnsignedDecimal) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(1500000000000), "1500000000000");
  EXPECT_EQ(DecimalText(UINT64_MAX), "18446744073709551615");
}

}  // namespace
