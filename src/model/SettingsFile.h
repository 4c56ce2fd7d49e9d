#pragma once

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

// Loads the settings file; a missing file gives the defaults. Fails only for
// a file that exists and cannot be read, leaving the model at the defaults.
Status LoadSettings(const std::string& path, Model& model);

// Writes the whole configuration into the settings file, atomically and
// readable by its owner only. The model keeps its values either way.
Status SaveSettings(const std::string& path, const Model& model);
