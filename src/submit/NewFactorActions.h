#pragma once

#include <string>

#include "model/Model.h"
#include "model/Result.h"

// Declares the new factors on display submitted: every marked machine's
// LastOldFactor moves up to its mark, the "New factors" pane, its count and
// the marks empty, and the settings file at `settingsPath` is saved. The
// marking stands even when the save fails; the error says why.
Status MarkNewFactorsAsOld(Model& model, const std::string& settingsPath);

// Moves every marked machine's LastOldFactor up to its mark, and nothing
// else: the part of MarkNewFactorsAsOld that a submission does with the
// marks it posted.
void MoveLastOldFactors(MachineTable& machines, const NewFactorMarks& marks);
