#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <optional>
#include <string>

#include "model/Result.h"

// Adds `--machine I` to `command`. The value is kept as typed, so that a
// wrong one is named the way the user wrote it; MachineIndex reads it once
// the machines are known.
CLI::Option* AddMachineOption(CLI::App& command, std::optional<std::string>& typed,
                              const std::string& description);

// The machine index that `typed` names among `machineCount` machines: plain
// decimal digits only (no sign, blanks, "0x" or empty text). The error reads
// "--machine <typed>: <why>".
Result<size_t> MachineIndex(const std::string& typed, size_t machineCount);
