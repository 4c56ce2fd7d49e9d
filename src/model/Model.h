#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/Machine.h"
#include "model/PaneText.h"
#include "model/Settings.h"

// Remembers, for one machine whose new factors are on display, the p of the
// last factor line read from its file: marking as old moves the machine's
// LastOldFactor up to it.
struct NewFactorMark {
  int32_t MachineIndex = 0;
  uint64_t Factor = 0;

  friend bool operator==(const NewFactorMark&, const NewFactorMark&) = default;
};

using NewFactorMarks = std::vector<NewFactorMark>;

// Everything the program knows: the configuration, what the last refresh
// read, and the factors on display. The front end owns the one instance
// and hands it on by reference.
struct Model {
  Settings Options;
  MachineTable Machines;
  // Moves whenever machines are added, removed or replaced, so that what was
  // read for one table is never applied to another.
  uint64_t TableRevision = 0;

  // The new factors on display: the text of the "New factors" pane, their
  // number, and the marks that describe them.
  PaneText NewFactorsText;
  int32_t NewFactorCount = 0;
  NewFactorMarks Marks;
  // The "All factors" pane: every factor line of the selected machine.
  PaneText AllFactorsText;

  // Re-entrancy guards: while either is set, neither a refresh nor a
  // submission starts; the refused request does nothing.
  bool RefreshBusy = false;
  bool SubmitBusy = false;
};

// Puts a new machine table in place of the old one, as the Options dialog
// does; what was read for the old table will not be applied to it.
inline void ReplaceMachines(Model& model, MachineTable machines) {
  model.Machines = std::move(machines);
  model.Marks.clear();
  ++model.TableRevision;
}
