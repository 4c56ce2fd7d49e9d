#pragma once

#include <QString>
#include <array>

#include "monitor/MachineRow.h"

// One row of the machine list as the window shows it: the cell texts, and
// why some of the machine's files could not be read (empty when all were).
struct MachineListRow {
  std::array<QString, kMachineColumnCount> cells;
  QString toolTip;
};
