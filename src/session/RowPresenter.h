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

 private:
  bool everRead(size_t row) const;
  QString waitingToolTip(size_t row) const;

  const FarmSession& session_;
  // Which machines of the table on display have been read at least once.
  uint64_t readTable_ = 0;
  std::vector<bool> everRead_;
};
