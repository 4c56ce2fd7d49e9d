#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>

#include "model/FileStamp.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

TEST(FileStampTest, MissingFileHasTheMissingStamp) {
  TempDir dir;
  EXPECT_EQ(StampFile(dir.file("none.ini")), FileStamp{});
  EXPECT_EQ(StampFile(dir.write("file", "x") + "/under.ini"), FileStamp{});
}

TEST(FileStampTest, TellsWhetherSomeoneElseWroteTheFile) {
  struct Case {
    const char* what;
    bool existed;
    std::function<void(const TempDir&, const std::string&)> change;
    bool changed;
  };
  const auto moveMtime = [](const TempDir&, const std::string& path) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
  };
  const std::array<Case, 6> cases{{
      {"left alone", true, [](const TempDir&, const std::string&) {}, false},
      {"rewritten longer", true,
       [](const TempDir& dir, const std::string&) { dir.write("s.ini", "Machines=10\n"); }, true},
      {"same size, later time", true, moveMtime, true},
      {"replaced by another file", true,
       [](const TempDir& dir, const std::string& path) {
         fs::rename(dir.write("other", "a much longer text\n"), path);
       },
       true},
      {"removed", true, [](const TempDir&, const std::string& path) { fs::remove(path); }, false},
      {"created where there was none", false,
       [](const TempDir& dir, const std::string&) { dir.write("s.ini", "Machines=1\n"); }, true},
  }};
  for (const auto& [what, existed, change, changed] : cases) {
    SCOPED_TRACE(what);
    TempDir dir;
    const std::string path = dir.file("s.ini");
    if (existed) dir.write("s.ini", "Machines=1\n");
    const FileStamp known = StampFile(path);
    EXPECT_EQ(known.Exists, existed);
    change(dir, path);
    EXPECT_EQ(ChangedSince(known, StampFile(path)), changed);
  }
}

}  // namespace
