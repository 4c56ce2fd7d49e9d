#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/Model.h"
#include "model/Result.h"

// The settings file, named relative to the current folder.
inline constexpr char kSettingsFileName[] = "quillstrand.ini";

// Builds the options and the machine table from a settings file's text.
// Missing keys take their defaults; values out of range are brought in.
// Every machine section below the "Machines" count is read, however many
// there are; a count beyond the last section present reads the sections
// present, and the warning given (empty when there is none) says so.
std::string LoadSettingsText(std::string_view text, Model& model);

// The settings file's text with the options and machines of the model
// written into `old`, the file's previous text. Only a key whose value
// changes, or an option the file lacks, is written; every other line stays
// as it was, byte for byte.
std::string SaveSettingsText(std::string_view old, const Model& model);

// Why a settings file's text cannot mean what its writer meant: it is
// UTF-16, or a line holds a NUL (which cuts a value short) or ends in a CR
// alone (which joins it to the next, so that a file of old Mac line ends is
// one line). Nothing for a text the program reads as written.
std::optional<std::string> SettingsTextProblem(std::string_view text);

// Loads the settings file; a missing file gives the defaults. Fails only for
// a file that exists and cannot be read, leaving the model at the defaults.
// A file read despite a SettingsTextProblem loads as well as it can, and
// `warning`, when given, receives the problem with the file's path (empty
// when there is none).
Status LoadSettings(const std::string& path, Model& model, std::string* warning = nullptr);

// Writes the whole configuration into the settings file, atomically and
// readable by its owner only. A file with a SettingsTextProblem is not
// saved over, so that what the program could not read is not lost; the
// error says why. The model keeps its values either way.
Status SaveSettings(const std::string& path, const Model& model);

// How long a change of the settings file waits for another process of this
// program to finish its own.
inline constexpr std::chrono::milliseconds kSettingsLockWait{10000};

// Changes the settings file as one step among other processes of this
// program: under the file's lock (FileLock) it reads the file as it is now
// into a model, lets `apply` make this process's change on that model, and
// writes the result, so that what others changed meanwhile survives. When
// `apply` fails, nothing is written and its error is returned. A missing
// file starts from the defaults; a file with a SettingsTextProblem is not
// written over.
Status UpdateSettings(const std::string& path, const std::function<Status(Model& onDisk)>& apply);

// True when two tables hold the same machines in the same order, whatever
// their marks (LastOldFactor) and what a refresh read for them.
bool SameMachines(const MachineTable& a, const MachineTable& b);

// Puts onto `onDisk`, the settings as the file holds them now, what `mine`
// changed since `base`, the settings as this process last read or wrote
// them: each option that differs from the base, and each mark that does.
// A table that differs from the base's, or that `tableReplaced` says the
// user confirmed (the Options dialog's), replaces the file's, but keeps the
// file's mark of each machine still there, found by its factor file, whose
// mark this process did not move. So what another process changed
// meanwhile survives unless this one changed it too.
void ApplyOwnChanges(const Model& base, const Model& mine, Model& onDisk,
                     bool tableReplaced = false);

// Saves this process's own changes (ApplyOwnChanges) as one UpdateSettings;
// a file that is gone is written anew with all of `mine`. Gives the
// settings as written: the next base.
Result<Model> SaveOwnChanges(const std::string& path, const Model& base, const Model& mine,
                             bool tableReplaced = false);
