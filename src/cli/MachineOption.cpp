#include "cli/MachineOption.h"

#include <algorithm>
#include <charconv>

#include "model/Numbers.h"

Result<size_t> MachineIndex(const std::string& typed, size_t machineCount) {
  const auto fail = [&](const std::string& why) {
    return Error{"--machine " + (typed.empty() ? "\"\"" : typed) + ": " + why};
  };
  if (typed.empty() || !std::all_of(typed.begin(), typed.end(), IsDigit))
    return fail("not a machine index (a decimal number from 0)");
  size_t index = 0;
  const std::from_chars_result read =
      std::from_chars(typed.data(), typed.data() + typed.size(), index);
  if (read.ec != std::errc() || index >= machineCount)
    return fail("there are " + std::to_string(machineCount) + " machines");
  return index;
}
