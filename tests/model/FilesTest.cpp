#include "model/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "model/Lines.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Whatever lies at a path, reading it ends at once with the file or a reason.
TEST(ReadWholeFile, RefusesWhatIsNoFileItCanHold) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = dir.write("huge", "");
  fs::resize_file(huge, uint64_t{50} << 30);  // sparse: it takes no room
  const std::string regular = dir.write("regular", "0123456789");
  struct Case {
    std::string path;
    uint64_t maxSize;
    int code;
    std::string reason;
  };
  const std::vector<Case> cases{
      {fifo, kMaxFileSize, EINVAL, "not a regular file"},
      {"/dev/zero", kMaxFileSize, EINVAL, "not a regular file"},
      {dir.path().string(), kMaxFileSize, EISDIR, "Is a directory"},
      {huge, kMaxFileSize, EFBIG, "larger than 256 MiB"},
      {huge, kMaxFactorFileSize, EFBIG, "larger than 4 GiB"},
      {regular, 9, EFBIG, "larger than 9 bytes"},
      {regular + "/below", kMaxFileSize, ENOTDIR, "Not a directory"},
      {dir.file("missing"), kMaxFileSize, ENOENT, "No such file or directory"},
      {regular + std::string(1, '\0') + "tail", kMaxFileSize, EINVAL, "the name holds a NUL"},
  };
  for (const auto& [path, maxSize, code, reason] : cases) {
    SCOPED_TRACE(path);
    const Result<std::string> read = ReadWholeFile(path, maxSize);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().code, code);
    EXPECT_EQ(read.error().message.find(path), 0u) << read.error().message;
    EXPECT_NE(read.error().message.find(reason), std::string::npos) << read.error().message;
  }
  EXPECT_EQ(ReadWholeFile(regular, 10).value(), "0123456789");
}

std::vector<std::string> LinesOf(std::string_view text) {
  std::vector<std::string> lines;
  ForEachCompleteLine(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

// Read in blocks, a file gives the complete lines its whole text gives,
// wherever the blocks happen to cut it.
TEST(ReadableFile, ReadsTheLinesOfTheWholeText) {
  constexpr size_t kBlock = 256 << 10;  // as the reader's, so that cuts fall everywhere
  const std::string longLine(3 * kBlock + 17, '7');
  struct Case {
    std::string name, text;
  };
  const std::vector<Case> cases{
      {"empty", ""},
      {"no line end", "101 | x"},
      {"a line longer than blocks", "1\n" + longLine + "\n2\n"},
      {"CR LF across a cut", std::string(kBlock - 1, 'a') + "\r\n" + "b\r\n"},
      {"LF first in a block", std::string(kBlock, 'a') + "\nb"},
      {"CR last of the file", std::string(kBlock + 5, 'a') + "\r"},
      {"CR last of a block, LF first of the next", std::string(kBlock - 1, 'a') + "\r\nb\n"},
      {"CR last of a block, lone", std::string(kBlock - 1, 'a') + "\rb\rc"},
      {"a line crossing ends at a CR last of a block",
       std::string(kBlock + 3, 'a') + std::string(kBlock - 4, 'b') + "\r\n\nc\r"},
      {"CR-only lines across a cut", std::string(kBlock - 2, '\r') + "12\r34\r5"},
      {"a long unfinished last line", "1\n" + longLine},
      {"only line ends", std::string(kBlock * 2 + 3, '\n')},
  };
  TempDir dir;
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    const Result<ReadableFile> file = ReadableFile::Open(dir.write("f", text));
    ASSERT_TRUE(file) << file.error().message;
    EXPECT_EQ(file.value().size(), text.size());
    std::vector<std::string> lines;
    ASSERT_TRUE(file.value().ReadLines([&](std::string_view line) { lines.emplace_back(line); }));
    EXPECT_EQ(lines, LinesOf(text));
    EXPECT_EQ(file.value().ReadAll().value(), text);
  }
}

TEST(ReadableFile, ReadsAFileReplacedMeanwhileAsItWasOpened) {
  TempDir dir;
  const std::string path = dir.write("QsvStatus.dat", "pmin=1 : 2\n");
  const Result<ReadableFile> file = ReadableFile::Open(path);
  ASSERT_TRUE(file);
  // The sieve client writes a new file and renames it over the old one.
  dir.write("new", "pmin=3 : 4\npmin=5 : 6\n");
  fs::rename(dir.file("new"), path);
  EXPECT_EQ(file.value().ReadAll().value(), "pmin=1 : 2\n");
  EXPECT_EQ(ReadWholeFile(path).value(), "pmin=3 : 4\npmin=5 : 6\n");
}

TEST(ReadableFile, AFileThatGrowsPastItsLimitWhileReadIsRefused) {
  TempDir dir;
  const std::string path = dir.write("fact.txt", "1\n");
  const Result<ReadableFile> file = ReadableFile::Open(path, 10);
  ASSERT_TRUE(file);
  dir.write("fact.txt", "1\n2\n3\n4\n5\n6\n");
  const Result<std::string> all = file.value().ReadAll();
  ASSERT_FALSE(all);
  EXPECT_EQ(all.error().code, EFBIG);
  const Status lines = file.value().ReadLines([](std::string_view) {});
  ASSERT_FALSE(lines);
  EXPECT_EQ(lines.error().code, EFBIG);
}

// What an interrupted write left beside its file goes at the next write:
// only the program's own temporary files, and only those whose writer is
// gone. Anything else in the folder stays.
TEST(WriteFileAtomically, RemovesTemporaryFilesOfWritersThatAreGone) {
  TempDir dir;
  const pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string dead = std::to_string(gone), alive = std::to_string(::getppid());
  const std::string target = dir.write("queue.txt", "old");
  struct Case {
    std::string name;
    bool stays;
  };
  const std::vector<Case> cases{
      {"queue.txt." + dead + ".0.tmp", false},     {"queue.txt." + dead + ".17.tmp", false},
      {"queue.txt." + alive + ".0.tmp", true},  // its writer may still rename it
      {"queue.txt." + dead + ".tmp", true},        {"queue.txt." + dead + ".x.tmp", true},
      {"queue.txt." + dead + ".0.tmp.keep", true}, {"queue.txt.0.0.tmp", true},
      {"other.txt." + dead + ".0.tmp", true},      {"queue.txt.lock", true},
  };
  for (const Case& c : cases) dir.write(c.name, "left");
  ASSERT_TRUE(WriteFileAtomically(target, "new"));
  EXPECT_EQ(ReadFile(target), "new");
  for (const auto& [name, stays] : cases) EXPECT_EQ(fs::exists(dir.file(name)), stays) << name;
}

}  // namespace
