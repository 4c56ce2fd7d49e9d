#include "model/SettingsLocation.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "model/Constants.h"
#include "model/FileStamp.h"
#include "model/SettingsFile.h"

namespace {

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string WithSlash(std::string folder) {
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::string DefaultSettingsPath(bool inWorkingFolder, const char* configHome, const char* home) {
  if (inWorkingFolder) return kSettingsFileName;
  std::string folder;
  // A relative $XDG_CONFIG_HOME is to be ignored, as an empty one is.
  if (IsAbsolute(configHome))
    folder = WithSlash(configHome);
  else if (IsAbsolute(home))
    folder = WithSlash(home) + ".config/";
  else
    return kSettingsFileName;
  return folder + kAppName + '/' + kSettingsFileName;
}

std::string DefaultSettingsPath() {
  const std::string path = DefaultSettingsPath(StampFile(kSettingsFileName).Exists,
                                               std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  if (path == kSettingsFileName) return path;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ignored;  // a folder that cannot be made fails the save, which says why
  if (std::filesystem::create_directories(folder, ignored))
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
  return path;
}
