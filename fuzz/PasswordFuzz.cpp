// Any bytes encode to lower-case letters, three per byte, and decode back;
// any stored text decodes without harm.
#include <string>

#include "FuzzInput.h"
#include "model/Password.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = AsText(data, size);
  const std::string encoded = EncodePassword(bytes);
  FUZZ_CHECK(encoded.size() == 3 * bytes.size());
  for (const char c : encoded) FUZZ_CHECK(c >= 'a' && c <= 'z');
  FUZZ_CHECK(DecodePassword(encoded) == bytes);
  FUZZ_CHECK(DecodePassword(bytes).size() <= bytes.size() / 3);
  return 0;
}
