#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/Model.h"
#include "model/Result.h"

// One machine's mark as it goes into the settings file: the machine, known
// there by its factor file (its index telling apart machines that share
// one), the LastOldFactor it had when its new factors were read, and the
// one it moves to.
struct OldFactorMove {
  int32_t MachineIndex = 0;
  std::string Name;
  std::string FactorPath;
  uint64_t From = 0;
  uint64_t To = 0;

  friend bool operator==(const OldFactorMove&, const OldFactorMove&) = default;
};

using OldFactorMoves = std::vector<OldFactorMove>;

// What marking said of machines whose marks it left as the file had them,
// one line each; empty when every mark was written.
using MarkNotes = std::vector<std::string>;

// The moves that `marks` make on `machines`; marks of machines that are not
// in the table are left out.
OldFactorMoves MovesOf(const MachineTable& machines, const NewFactorMarks& marks);

// Makes the moves on `onDisk`, the table as the settings file holds it now.
// A machine moves only while it still holds the value the move started
// from (or holds the new one already): one that is gone, or that another
// process marked otherwise meanwhile, keeps the file's value, and a note
// says so.
MarkNotes ApplyMoves(MachineTable& onDisk, const OldFactorMoves& moves);

// Whether every move's machine is in `onDisk` and holds the value the move
// starts from: nothing was marked since the moves were taken.
bool StartsHold(const MachineTable& onDisk, const OldFactorMoves& moves);

// Writes the moves into the settings file at `path` as one change among
// other processes (UpdateSettings), and makes them in the model's table too,
// each machine taking the value the file ends with. A file that is not
// there yet is made from the model, as its first save.
Result<MarkNotes> WriteMoves(const std::string& path, const OldFactorMoves& moves, Model& model);

// Empties the "New factors" pane, its count and the marks.
void ClearNewFactors(Model& model);

// Declares the new factors on display submitted: every marked machine's
// LastOldFactor moves up to its mark in the settings file at
// `settingsPath` and in the model, and the "New factors" pane, its count
// and the marks empty. The display is emptied even when the file cannot be
// written; the error says why.
Result<MarkNotes> MarkNewFactorsAsOld(Model& model, const std::string& settingsPath);
