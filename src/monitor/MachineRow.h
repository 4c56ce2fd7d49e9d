#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/Machine.h"

inline constexpr size_t kMachineColumnCount = 11;

struct MachineColumn {
  const char* header;
  int width;  // pixels, at the usual screen resolution
};

// The machine list's columns, in order.
inline constexpr std::array<MachineColumn, kMachineColumnCount> kMachineColumns{{
    {"Name", 80},
    {"Total factors", 65},
    {"pmin", 100},
    {"pmax", 100},
    {"Current p", 100},
    {"% done", 50},
    {"Speed", 55},
    {"ETA", 75},
    {"Factors", 50},
    {"Density", 49},
    {"Next range (G)", 87},
}};

using MachineRow = std::array<std::string, kMachineColumnCount>;

// The texts of a machine's row in the machine list, column by column.
MachineRow MachineRowTexts(const Machine& machine);

// Why the last refresh could not read the machine's files, a line per file
// in the order they are read ("status file: <reason>"); none when all were.
std::vector<std::string> UnreadFiles(const Machine& machine);
