#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>

#include "ranges/QueueFile.h"
#include "ranges/QueueWrites.h"
#include "support/TempDir.h"

namespace {

constexpr uint64_t G = 1'000'000'000;

// The p that `queues` hold together, as maximal spans; each p must be held
// once, so no two ranges may overlap.
std::vector<Range> HeldOnce(const std::vector<std::vector<Range>>& queues) {
  std::vector<Range> ranges;
  for (const std::vector<Range>& queue : queues)
    ranges.insert(ranges.end(), queue.begin(), queue.end());
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.Pmin < b.Pmin; });
  std::vector<Range> spans;
  for (const Range& range : ranges) {
    if (spans.empty() || spans.back().Pmax < range.Pmin) {
      spans.push_back(range);
      continue;
    }
    EXPECT_EQ(spans.back().Pmax, range.Pmin) << "queued twice";
    spans.back().Pmax = std::max(spans.back().Pmax, range.Pmax);
  }
  return spans;
}

// Three machines' queue files, and an edit that moves ranges from each to
// the next and from the last to the first, as Equalize does.
class QueueWritesTest : public ::testing::Test {
 public:
  QueueWritesTest() { WriteQueues(); }

  void WriteQueues() {
    for (size_t i = 0; i < before.size(); ++i)
      paths[i] = dir.write(std::string(1, char('a' + i)) + "/nextrange.txt",
                           FormatQueuedRanges(before[i]));
  }

  std::vector<QueueEditTarget> Targets() const {
    std::vector<QueueEditTarget> targets;
    for (size_t i = 0; i < before.size(); ++i) targets.push_back({paths[i], before[i], after[i]});
    return targets;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const std::string& path : paths) texts.push_back(ReadFile(path));
    return texts;
  }

  std::vector<std::vector<Range>> Queues() const {
    std::vector<std::vector<Range>> queues;
    for (const std::string& text : Texts()) queues.push_back(ParseQueuedRanges(text));
    return queues;
  }

  // Every file that the folder of machine `i` holds.
  std::vector<std::string> Names(size_t i) const {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(paths[i]).parent_path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs the write in a child process that ends, as if killed, after step
  // `stopAt`; gives true when it ran to its end first.
  bool WriteStoppingAfter(int stopAt) const {
    const pid_t child = ::fork();
    if (child == 0) {
      int steps = 0;
      const auto written = WriteEditedQueues(intent, Targets(), [&] {
        if (++steps == stopAt) ::_exit(3);
      });
      ::_exit(written ? 0 : 1);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 1);
    return WEXITSTATUS(status) == 0;
  }

  // A client takes the first range of machine `i`'s file, as it is; gives it.
  Range TakeFirst(size_t i) const {
    std::vector<Range> queue = ParseQueuedRanges(ReadFile(paths[i]));
    if (queue.empty()) return {};
    const Range first = queue.front();
    queue.erase(queue.begin());
    dir.write(std::string(1, char('a' + i)) + "/nextrange.txt", FormatQueuedRanges(queue));
    return first;
  }

  TempDir dir;
  const std::string intent = QueueIntentPath(dir.file("quillstrand.ini"));
  const std::vector<std::vector<Range>> before{
      {{100 * G, 200 * G}, {200 * G, 250 * G}}, {{300 * G, 350 * G}}, {{400 * G, 420 * G}}};
  const std::vector<std::vector<Range>> after{{{100 * G, 160 * G}, {410 * G, 420 * G}},
                                              {{160 * G, 250 * G}, {300 * G, 310 * G}},
                                              {{310 * G, 350 * G}, {400 * G, 410 * G}}};
  const std::vector<Range> pool{{100 * G, 250 * G}, {300 * G, 350 * G}, {400 * G, 420 * G}};
  std::array<std::string, 3> paths;
};

TEST_F(QueueWritesTest, WritesEveryEditAsOneChange) {
  ASSERT_EQ(::chmod(paths[1].c_str(), 0640), 0);
  const auto written = WriteEditedQueues(intent, Targets());
  ASSERT_TRUE(written) << written.error().message;
  EXPECT_EQ(Queues(), after);
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(written.value()[i].Queue, after[i]);
    EXPECT_TRUE(written.value()[i].LeftOut.empty());
    EXPECT_EQ(Names(i), std::vector<std::string>{"nextrange.txt"});
  }
  EXPECT_EQ(std::filesystem::status(paths[1]).permissions(), std::filesystem::perms(0640));
  EXPECT_FALSE(std::filesystem::exists(intent));
}

// A client that took its first range while the user edited the queue does
// not get it again; a range appended by someone else stays; the range the
// user moved to another machine from the one taken is left out there too.
TEST_F(QueueWritesTest, MergesEveryEditIntoItsFileAsItIsNow) {
  const Range taken = TakeFirst(0);
  dir.write("c/nextrange.txt", FormatQueuedRanges({before[2][0], {500 * G, 510 * G}}));
  const auto written = WriteEditedQueues(intent, Targets());
  ASSERT_TRUE(written) << written.error().message;
  EXPECT_EQ(Queues(),
            (std::vector<std::vector<Range>>{
                {after[0][1]}, {after[1][1]}, {after[2][0], after[2][1], {500 * G, 510 * G}}}));
  EXPECT_EQ(written.value()[0].LeftOut, std::vector<Range>{after[0][0]});
  EXPECT_EQ(written.value()[1].LeftOut, std::vector<Range>{after[1][0]});
  EXPECT_EQ(taken, before[0][0]);
}

// A client that takes its next range while the change is staged does not
// get it back: the files are read and merged again.
TEST_F(QueueWritesTest, AClientTakingARangeWhileTheChangeIsStagedDoesNotGetItBack) {
  std::optional<Range> taken;
  const auto written = WriteEditedQueues(intent, Targets(), [&] {
    if (!taken) taken = TakeFirst(2);
  });
  ASSERT_TRUE(written) << written.error().message;
  EXPECT_EQ(taken, before[2][0]);
  EXPECT_EQ(Queues(), (std::vector<std::vector<Range>>{{after[0][0]}, after[1], {after[2][0]}}));
  EXPECT_EQ(written.value()[0].LeftOut, std::vector<Range>{after[0][1]});
  EXPECT_EQ(written.value()[2].LeftOut, std::vector<Range>{after[2][1]});
}

// Ended after any step, the write leaves, once the next start has finished
// it, every p queued exactly once: as before when it had not recorded the
// change yet (and the files untouched), as edited once it had.
TEST_F(QueueWritesTest, AWriteKilledAtAnyStepIsFinishedAtTheNextStart) {
  bool sawUnrecorded = false, sawRecorded = false;
  for (int stopAt = 1;; ++stopAt) {
    SCOPED_TRACE(stopAt);
    WriteQueues();
    const std::vector<std::string> texts = Texts();
    const bool ended = WriteStoppingAfter(stopAt);
    const bool recorded = std::filesystem::exists(intent);
    const bool untouched = Texts() == texts;
    EXPECT_TRUE(recorded || untouched || Queues() == after);  // never half of it
    (recorded ? sawRecorded : sawUnrecorded) = true;

    const Status finished = FinishQueueWrites(intent);
    ASSERT_TRUE(finished) << finished.error().message;
    EXPECT_FALSE(std::filesystem::exists(intent));
    EXPECT_EQ(HeldOnce(Queues()), pool);
    EXPECT_EQ(Queues(), untouched && !recorded ? before : after);
    if (ended) break;
  }
  EXPECT_TRUE(sawUnrecorded);
  EXPECT_TRUE(sawRecorded);
}

// While the program is down, the clients go on taking ranges, from the new
// files or from the old ones not yet replaced (the last machine's old first
// range went partly to the first machine, replaced already). The next start
// queues every p but those exactly once.
TEST_F(QueueWritesTest, ClientsTakingRangesBeforeTheNextStartGetNoneTwice) {
  for (int stopAt = 1;; ++stopAt) {
    SCOPED_TRACE(stopAt);
    WriteQueues();
    const bool ended = WriteStoppingAfter(stopAt);
    std::vector<Range> taken;
    for (size_t machine : {size_t{0}, size_t{2}}) taken.push_back(TakeFirst(machine));

    const Status finished = FinishQueueWrites(intent);
    ASSERT_TRUE(finished) << finished.error().message;
    EXPECT_EQ(HeldOnce(Queues()), HeldOnce({OutsideOf(pool, taken)}));
    if (ended) break;
  }
}

// A file that cannot be staged, or that two machines share, stops the
// change before any queue is touched, and the error names it and says why.
TEST_F(QueueWritesTest, AFailedWriteLeavesEveryFileAsItWas) {
  struct Case {
    std::string_view what;
    std::function<std::string(QueueWritesTest&)> arrange;  // gives the file named
    std::string_view reason;
  };
  const std::array cases{
      Case{"a folder under a regular file",
           [](QueueWritesTest& test) {
             const std::string blocker = test.dir.write("plain", "a regular file\n");
             test.paths[2] = blocker + "/nextrange.txt";
             return test.paths[2] + ".new";
           },
           ": Not a directory"},
      Case{"a staged file that cannot be written",
           [](QueueWritesTest& test) {
             std::filesystem::create_directory(test.paths[2] + ".new");
             return test.paths[2] + ".new";
           },
           ": not a regular file"},
      Case{"two machines sharing a queue file",
           [](QueueWritesTest& test) {
             test.paths[2] = test.paths[1];
             return test.paths[1];
           },
           ": two machines share this queue file; nothing was written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QueueWritesTest& test = *this;
    WriteQueues();
    const std::string named = c.arrange(test);
    const std::vector<std::string> texts = Texts();
    const auto written = WriteEditedQueues(intent, Targets());
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().message, named + std::string(c.reason));
    EXPECT_EQ(Texts(), texts);
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(Names(i), std::vector<std::string>{"nextrange.txt"});
    EXPECT_FALSE(std::filesystem::exists(intent));
  }
}

// A last line without its end is being written by the client, or was left
// so by hand: its range was never read, and a write over it would lose it.
TEST_F(QueueWritesTest, RefusesAFileWhoseLastLineIsUnfinished) {
  const std::string unfinished = FormatQueuedRanges(before[1]) + "pmin=600000000000";
  dir.write("b/nextrange.txt", unfinished);
  const std::vector<std::string> texts = Texts();
  const auto written = WriteEditedQueues(intent, Targets());
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().message,
            paths[1] + ": its last line has no line end yet; nothing was written");
  EXPECT_EQ(Texts(), texts);

  // Once the line is finished, the file is the queue's again.
  dir.write("b/nextrange.txt", unfinished + "\npmax=610000000000\r");
  ASSERT_TRUE(WriteEditedQueues(intent, Targets()));
  EXPECT_EQ(Queues()[1], (std::vector<Range>{after[1][0], after[1][1], {600 * G, 610 * G}}));
}

// A machine whose queue was left alone is neither read nor written, so
// that one whose folder is offline does not stop the others' change.
TEST_F(QueueWritesTest, LeavesAQueueThatWasNotEditedAlone) {
  std::vector<QueueEditTarget> targets = Targets();
  targets.push_back(
      {dir.file("offline/nextrange.txt"), {{700 * G, 710 * G}}, {{700 * G, 710 * G}}});
  dir.write("a/nextrange.txt", "# by hand\n" + FormatQueuedRanges(before[0]));
  targets[0].Edited = targets[0].AsRead;
  const auto written = WriteEditedQueues(intent, targets);
  ASSERT_TRUE(written) << written.error().message;
  EXPECT_EQ(ReadFile(paths[0]), "# by hand\n" + FormatQueuedRanges(before[0]));
  EXPECT_EQ(Queues()[2], after[2]);
  EXPECT_FALSE(std::filesystem::exists(dir.file("offline")));
}

// Two quillstrands (a window and a cron's equalize, say) make the same edit
// from the same reading at once: they take turns, and every p stays queued
// exactly once.
TEST_F(QueueWritesTest, TwoWritersOfTheSameEditQueueEveryPOnce) {
  const std::vector<Range> queuedBefore = HeldOnce(before);
  std::array<std::optional<Status>, 2> results;
  std::vector<std::thread> writers;
  for (std::optional<Status>& result : results)
    writers.emplace_back([&] {
      const auto written = WriteEditedQueues(intent, Targets());
      result = written ? Ok() : Status(written.error());
    });
  for (std::thread& writer : writers) writer.join();
  for (const std::optional<Status>& result : results)
    EXPECT_TRUE(*result) << result->error().message;
  EXPECT_EQ(HeldOnce(Queues()), queuedBefore);
  EXPECT_FALSE(std::filesystem::exists(intent));
}

}  // namespace
