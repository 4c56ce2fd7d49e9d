#include <gtest/gtest.h>

#include <array>

#include "model/Billions.h"

namespace {

TEST(ParseBillions, ReadsTheLeadingCountOfBillionsInP) {
  struct Case {
    std::string_view text;
    std::optional<uint64_t> p;
  };
  const std::array cases{
      Case{"1500", 1500000000000},
      Case{"  0012abc", 12000000000},
      Case{"\t7 G", 7000000000},
      Case{"12 34", 12000000000},
      Case{"0", 0},
      Case{"", 0},
      Case{"   ", 0},
      Case{"abc", 0},
      Case{"G12", 0},
      Case{"18446744073", 18446744073000000000u},
      Case{"000000000000000000000018446744073", 18446744073000000000u},
      Case{"18446744074", std::nullopt},
      Case{"99999999999999999999999", std::nullopt},
      Case{"-5", std::nullopt},
      Case{" +5", std::nullopt},
      Case{"-0", std::nullopt},
      Case{"5-3", 5000000000},
  };
  for (const auto& [text, p] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    EXPECT_EQ(ParseBillions(text), p);
  }
}

}  // namespace
