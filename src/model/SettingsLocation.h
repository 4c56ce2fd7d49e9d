#pragma once

#include <string>

// Where DefaultSettingsPath looks, for the programs' help.
inline constexpr char kDefaultSettingsHelp[] =
    "quillstrand.ini in the working folder when there is one, else "
    "$XDG_CONFIG_HOME/quillstrand/quillstrand.ini (~/.config/quillstrand/quillstrand.ini "
    "without XDG_CONFIG_HOME)";

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
