#include <gtest/gtest.h>

#include <array>

#include "model/SettingsLocation.h"

namespace {

TEST(SettingsLocationTest, WorkingFolderFirstThenTheUsersConfigurationFolder) {
  struct Case {
    const char* what;
    bool inWorkingFolder;
    const char* configHome;
    const char* home;
    const char* path;
  };
  const std::array<Case, 8> cases{{
      {"a file in the working folder wins", true, "/xdg", "/home/ann", "quillstrand.ini"},
      {"XDG_CONFIG_HOME", false, "/xdg", "/home/ann", "/xdg/quillstrand/quillstrand.ini"},
      {"XDG_CONFIG_HOME with a slash", false, "/xdg/", "/home/ann",
       "/xdg/quillstrand/quillstrand.ini"},
      {"XDG_CONFIG_HOME unset", false, nullptr, "/home/ann",
       "/home/ann/.config/quillstrand/quillstrand.ini"},
      {"XDG_CONFIG_HOME empty", false, "", "/home/ann",
       "/home/ann/.config/quillstrand/quillstrand.ini"},
      {"XDG_CONFIG_HOME relative", false, "conf", "/home/ann",
       "/home/ann/.config/quillstrand/quillstrand.ini"},
      {"HOME the root folder", false, nullptr, "/", "/.config/quillstrand/quillstrand.ini"},
      {"neither, nor an absolute HOME", false, "", "ann", "quillstrand.ini"},
  }};
  for (const auto& [what, inWorkingFolder, configHome, home, path] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(DefaultSettingsPath(inWorkingFolder, configHome, home), path);
  }
}

}  // namespace
