#pragma once

#include <string>

#include "model/Model.h"
#include "model/SettingsFile.h"

// What the settings file at `path` holds now, as the next start reads it;
// an empty model when it cannot be read.
inline Model Saved(const std::string& path) {
  Model saved;
  if (!LoadSettings(path, saved)) return {};
  return saved;
}
