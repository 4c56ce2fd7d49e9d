#include <gtest/gtest.h>

#include <array>

#include "model/Password.h"

namespace {

TEST(Password, EncodesThreeLettersPerByte) {
  EXPECT_EQ(EncodePassword("abc"), "gfwgisglo");
  EXPECT_EQ(EncodePassword(""), "");
  EXPECT_EQ(DecodePassword("gfwgisglo"), "abc");
}

TEST(Password, EveryByteValueRoundTrips) {
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  const std::string stored = EncodePassword(everyByte);
  EXPECT_EQ(stored.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  EXPECT_EQ(DecodePassword(stored), everyByte);
}

TEST(Password, LongPasswordsRoundTrip) {
  // Past 211 bytes the encoded number no longer fits three letters.
  for (size_t length : {1, 2, 170, 171, 200, 211, 212, 213, 1000, 20000}) {
    SCOPED_TRACE(length);
    std::string password;
    for (size_t i = 0; i < length; ++i) password += static_cast<char>(255 - i % 256);
    EXPECT_EQ(DecodePassword(EncodePassword(password)), password);
  }
}

TEST(Password, Utf8PasswordRoundTrips) {
  const std::string password = "p\xC3\xA4ss w\xC3\xB6rd \xE2\x82\xAC";
  EXPECT_EQ(DecodePassword(EncodePassword(password)), password);
}

TEST(Password, DecodingDropsGroupsThatAreNotLetters) {
  struct Case {
    std::string_view stored;
    std::string_view password;
  };
  const std::array cases{
      Case{"gfwgisgloab", "abc"},  // a trailing partial group
      Case{"gfwgisglo1", "abc"},
      Case{"gfwGISglo", "ac"},  // the middle group is in capitals
      Case{"gf gisglo", "bc"},
      Case{"aaa", ""},  // no byte encodes to it
      Case{"", ""},
  };
  for (const auto& [stored, password] : cases) {
    SCOPED_TRACE(stored);
    EXPECT_EQ(DecodePassword(stored), password);
  }
}

}  // namespace
