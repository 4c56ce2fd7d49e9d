#pragma once

#include <string>
#include <string_view>

// The settings file keeps the password as three lower-case letters per
// byte, so that it is not stored in clear (an obfuscation, not encryption).
std::string EncodePassword(std::string_view password);

// Reverses EncodePassword. Groups of three that are not letters a to z, or
// that no byte encodes to, are dropped, as is a trailing partial group.
std::string DecodePassword(std::string_view stored);
