#pragma once

#include <QString>
#include <QVariant>
#include <array>

#include "monitor/MachineRow.h"

// The texts of a row's cells, column by column.
using MachineCells = std::array<QString, kMachineColumnCount>;

// One row of the machine list as the window shows it: the cell texts, the
// values they stand for, why
// some of the machine's files could not be read or what its refresh waits
// for (empty when there is nothing to say), and how the row is to look.
struct MachineListRow {
  MachineCells cells;
  // What the rows sort by, column by column: the name, and numbers rather
  // than their texts; null where the row has no value, as one not read yet
  // or one whose files could not be read.
  std::array<QVariant, kMachineColumnCount> values;
  QString toolTip;
  bool waiting = false;     // the running refresh has not read it yet
  bool unreadable = false;  // a file of it could not be read
};
