#pragma once

#include <cstddef>
#include <string>

#include "model/Result.h"

// The machine index that `typed` names among `machineCount` machines: plain
// decimal digits only (no sign, blanks, "0x" or empty text). The error reads
// "--machine <typed>: <why>".
Result<size_t> MachineIndex(const std::string& typed, size_t machineCount);
