#include "submit/NewFactorActions.h"

#include <algorithm>

#include "model/FileStamp.h"
#include "model/SettingsFile.h"

namespace {

// The machine on disk that `move` means: the one at its index when that
// one reads the same factor file, else the first that does.
template <typename Table>
auto* FindOnDisk(Table& onDisk, const OldFactorMove& move) {
  const auto index = static_cast<size_t>(move.MachineIndex);
  if (index < onDisk.size() && onDisk[index].FactorPath == move.FactorPath) return &onDisk[index];
  const auto found = std::find_if(onDisk.begin(), onDisk.end(), [&](const Machine& machine) {
    return machine.FactorPath == move.FactorPath;
  });
  return found == onDisk.end() ? nullptr : &*found;
}

std::string Named(const OldFactorMove& move) {
  return "machine " + std::to_string(move.MachineIndex) + " \"" + move.Name + "\"";
}

}  // namespace

OldFactorMoves MovesOf(const MachineTable& machines, const NewFactorMarks& marks) {
  OldFactorMoves moves;
  for (const NewFactorMark& mark : marks) {
    const auto index = static_cast<size_t>(mark.MachineIndex);
    // A mark outlives a table rebuilt under it only by mistake; skip it then.
    if (mark.MachineIndex < 0 || index >= machines.size()) continue;
    const Machine& machine = machines[index];
    moves.push_back(
        {mark.MachineIndex, machine.Name, machine.FactorPath, machine.LastOldFactor, mark.Factor});
  }
  return moves;
}

MarkNotes ApplyMoves(MachineTable& onDisk, const OldFactorMoves& moves) {
  MarkNotes notes;
  for (const OldFactorMove& move : moves) {
    Machine* machine = FindOnDisk(onDisk, move);
    if (!machine) {
      notes.push_back(Named(move) + " is no longer in the settings file; its mark was not written");
    } else if (machine->LastOldFactor == move.From || machine->LastOldFactor == move.To) {
      machine->LastOldFactor = move.To;
    } else {
      notes.push_back(Named(move) + " was marked by another quillstrand meanwhile (LastOldFactor " +
                      std::to_string(machine->LastOldFactor) + "); that mark stays");
    }
  }
  return notes;
}

bool StartsHold(const MachineTable& onDisk, const OldFactorMoves& moves) {
  return std::all_of(moves.begin(), moves.end(), [&](const OldFactorMove& move) {
    const Machine* machine = FindOnDisk(onDisk, move);
    return machine && machine->LastOldFactor == move.From;
  });
}

Result<MarkNotes> WriteMoves(const std::string& path, const OldFactorMoves& moves, Model& model) {
  const auto move = [&](const OldFactorMoves& made) {
    for (const OldFactorMove& each : made)
      model.Machines[static_cast<size_t>(each.MachineIndex)].LastOldFactor = each.To;
  };
  // No file yet: this process's table is the only one, and the first save makes the file.
  if (!StampFile(path).Exists) {
    move(moves);
    return SaveSettings(path, model).transform([](std::monostate) { return MarkNotes{}; });
  }
  MarkNotes notes;
  OldFactorMoves ended = moves;  // each To becomes what the file ends with
  const Status written = UpdateSettings(path, [&](Model& onDisk) {
    notes = ApplyMoves(onDisk.Machines, moves);
    for (OldFactorMove& each : ended) {
      if (const Machine* machine = FindOnDisk(onDisk.Machines, each)) each.To = machine->LastOldFactor;
    }
    return Ok();
  });
  // Unwritten, the marks still hold in memory, as the user asked for them.
  move(written ? ended : moves);
  if (!written) return written.error();
  return notes;
}

void ClearNewFactors(Model& model) {
  model.Marks.clear();
  model.NewFactorsText.clear();
  model.NewFactorCount = 0;
}

Result<MarkNotes> MarkNewFactorsAsOld(Model& model, const std::string& settingsPath) {
  const OldFactorMoves moves = MovesOf(model.Machines, model.Marks);
  ClearNewFactors(model);
  return WriteMoves(settingsPath, moves, model);
}
