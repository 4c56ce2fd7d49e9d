// A form-encoded value holds only letters, digits, "+" and "%" with two
// lower-case hexadecimal digits, and decodes back to the bytes encoded.
#include <string>

#include "FuzzInput.h"
#include "submit/FormEncode.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsAlphanumeric(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = AsText(data, size);
  const std::string encoded = FormEncode(bytes);
  std::string decoded;
  for (size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '%') {
      FUZZ_CHECK(i + 2 < encoded.size());
      const int high = HexValue(encoded[i + 1]), low = HexValue(encoded[i + 2]);
      FUZZ_CHECK(high >= 0 && low >= 0);
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      FUZZ_CHECK(IsAlphanumeric(c) || c == '+');
      decoded += c == '+' ? ' ' : c;
    }
  }
  FUZZ_CHECK(decoded == bytes);
  return 0;
}
