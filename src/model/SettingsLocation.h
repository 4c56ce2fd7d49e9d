#pragma once

#include <string>

// The settings file to use when none is named: quillstrand.ini in the
// working folder when there is one (so that a farm folder keeps its own
// settings), else quillstrand/quillstrand.ini in the user's configuration
// folder, `configHome` ($XDG_CONFIG_HOME) when it is an absolute path, else
// `home`/.config. Without either, the working folder's file again.
std::string DefaultSettingsPath(bool inWorkingFolder, const char* configHome, const char* home);

// The same for this process: its working folder and environment. The
// configuration folder's quillstrand folder is made, for its owner alone,
// when it is missing, so that the first save can create the file there.
std::string DefaultSettingsPath();
