#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "session/MachineListRow.h"

class FarmSession;

// The texts of the machine list's rows, from the session's model and its
// refresh: what a row says while its machine is read, and for the first
// time. The session owns it and tells it what the refresh reads.
class RowPresenter {
 public:
  explicit RowPresenter(const FarmSession& session) : session_(session) {}

  // A refresh starts: a new table's machines have not been read yet.
  void refreshStarted();
  // The refresh has read machine `row`.
  void machineRead(size_t row) { everRead_[row] = true; }

  MachineListRow row(size_t index) const;
  std::vector<MachineListRow> rows() const;

  // The cells of two machines far along, p of 17 digits: one a thousand p
  // into its range with many factors (a density in exponent notation, no
  // speed yet), one years from its range's end at a speed of five digits.
  // A column makes room for their texts before any machine shows such.
  static std::array<MachineCells, 2> farAlongCells();

 private:
  bool everRead(size_t row) const;
  QString waitingToolTip(size_t row) const;

  const FarmSession& session_;
  // Which machines of the table on display have been read at least once.
  uint64_t readTable_ = 0;
  std::vector<bool> everRead_;
};
