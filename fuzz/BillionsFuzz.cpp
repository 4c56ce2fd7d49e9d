// What the range dialogs read as billions is whole billions that fit, reads
// back from its own text, and is refused for a sign.
#include "FuzzInput.h"
#include "model/Billions.h"
#include "model/Numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view typed = AsText(data, size);
  const std::optional<uint64_t> p = ParseBillions(typed);
  const size_t first = typed.find_first_not_of(" \t\n\v\f\r");
  if (first != typed.npos && (typed[first] == '-' || typed[first] == '+')) FUZZ_CHECK(!p);
  if (!p) return 0;
  FUZZ_CHECK(*p % 1'000'000'000 == 0);
  FUZZ_CHECK(*p / 1'000'000'000 <= kMaxBillions);
  FUZZ_CHECK(ParseBillions(BillionsText(*p)) == p);
  // The count of billions is the leading number, as any reader would take it.
  FUZZ_CHECK(*p / 1'000'000'000 == ReadLeadingNumber(typed).value_or(0));
  return 0;
}
