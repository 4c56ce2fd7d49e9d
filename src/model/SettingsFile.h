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

// A corrupt "Machines" count must not exhaust memory.
inline constexpr size_t kMaxMachines = 10000;

// Builds the options and the machine table from a settings file's text.
// Missing keys take their defaults; values out of range are brought in.
void LoadSettingsText(std::string_view text, Model& model);

// The settings file's text with every option and machine of the model
// written into `old`, the file's previous text, whose other content stays.
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
