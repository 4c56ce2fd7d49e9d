#include "submit/FormEncode.h"

#include <array>

namespace {

constexpr bool KeptAsIs(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// How many bytes each byte becomes; looked up rather than decided, since a
// submission may encode megabytes.
constexpr std::array<unsigned char, 256> kEncodedLength = [] {
  std::array<unsigned char, 256> length{};
  for (int c = 0; c < 256; ++c) length[c] = KeptAsIs(c) || c == ' ' ? 1 : 3;
  return length;
}();

}  // namespace

std::string FormEncode(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  size_t length = 0;
  for (const char c : text) length += kEncodedLength[static_cast<unsigned char>(c)];

  std::string encoded(length, '\0');
  char* out = encoded.data();
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (KeptAsIs(byte)) {
      *out++ = c;
    } else if (byte == ' ') {
      *out++ = '+';
    } else {
      *out++ = '%';
      *out++ = kHexDigits[byte >> 4];
      *out++ = kHexDigits[byte & 0xf];
    }
  }
  return encoded;
}
