#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CliProcess.h"
#include "CliRun.h"
#include "StandInSite.h"
#include "model/Password.h"
#include "model/SettingsFile.h"
#include "submit/Submission.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;

constexpr char kNoNewFactors[] = "There are no new factors to submit.\n";

// A farm of two machines with three new factors between them, and a site
// that knows their user.
class CliSubmitTest : public ::testing::Test {
 protected:
  CliSubmitTest() {
    site_.AddUser("bob", "pw");
    dir_.write("a/fact.txt", "1000000007 | 5*2^12+1\n1500000001 | 7*2^9+1\n1700000009 | 3*2^4+1\n");
    dir_.write("b/fact.txt", "2000000011 | 9*2^8+1\n");
    for (const char* machine : {"a", "b"})
      dir_.write(std::string(machine) + "/QsvStatus.dat", "pmax=3000000000\npmin=1000000000\n");
    WriteSettings("AutoSubmit=1\n");
    ::setenv("QUILLSTRAND_SERVER", site_.Address().c_str(), 1);
    ::setenv("QUILLSTRAND_MINUTE_MS", "50", 1);
  }
  ~CliSubmitTest() override {
    ::unsetenv("QUILLSTRAND_SERVER");
    ::unsetenv("QUILLSTRAND_MINUTE_MS");
  }

  void WriteSettings(const std::string& options) {
    settings_ =
        dir_.write("quillstrand.ini",
                   "[Settings]\nMachines=2\nUsername=bob\nPassword=" + EncodePassword("pw") +
                       "\nAutoTimerInterval=1\n" + options + MachineSection(0, "alpha", "a") +
                       "LastOldFactor=1000000007\n" + MachineSection(1, "beta", "b"));
  }

  std::string MachineSection(int index, const std::string& name, const std::string& folder) const {
    return "[Machine " + std::to_string(index) + "]\nName=" + name +
           "\nFactorPath=" + dir_.file(folder + "/fact.txt") +
           "\nStatusPath=" + dir_.file(folder + "/QsvStatus.dat") + "\n";
  }

  CliRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--config", settings_});
    return RunWith(args);
  }

  std::vector<uint64_t> LastOldFactors() const {
    Model model;
    EXPECT_TRUE(LoadSettings(settings_, model));
    std::vector<uint64_t> marks;
    for (const Machine& machine : model.Machines) marks.push_back(machine.LastOldFactor);
    return marks;
  }

  std::string Log() const { return ReadFile(dir_.file("quillstrand-submissions.log")); }

  StandInSite site_;
  TempDir dir_;
  std::string settings_;
};

TEST_F(CliSubmitTest, SubmitsMarksAndThenHasNothingNew) {
  const CliRun run = Run({"submit"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "logged in as : bob\nverified : 3 of 3\nnew factors : 3 of 3\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1700000009, 2000000011}));
  EXPECT_NE(Log().find("manual submission of 3 factors from machine 0 \"alpha\", machine 1 "
                       "\"beta\"\n  logged in as : bob\n"),
            std::string::npos)
      << Log();

  const CliRun again = Run({"submit"});
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(again.out, kNoNewFactors);
  EXPECT_EQ(site_.PostCount(kLoginFormPath), 1);
  EXPECT_EQ(site_.PostCount(kFactorFormPath), 1);
}

TEST_F(CliSubmitTest, NoMarkLeavesTheFactorsNew) {
  ASSERT_EQ(Run({"submit", "--no-mark"}).code, 0);
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1000000007, 0}));
  const CliRun again = Run({"submit", "--no-mark"});
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(again.out, "logged in as : bob\nverified : 3 of 3\nnew factors : 0 of 3\n");
}

// The site's words (here the name it says the user logged in as) reach
// the terminal and the log with their control bytes escaped.
TEST_F(CliSubmitTest, WhatTheSiteSaysIsSafeForATerminalAndTheLog) {
  const std::string user = "bob\x1b]52;c;cm0gLXJmIH4=\x07";
  site_.AddUser(user, "pw");
  std::string settings = ReadFile(settings_);
  settings.replace(settings.find("Username=bob"), 12, "Username=" + user);
  dir_.write("quillstrand.ini", settings);
  const CliRun run = Run({"submit"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "logged in as : bob\\x1b]52;c;cm0gLXJmIH4=\\x07\nverified : 3 of 3\n"
            "new factors : 3 of 3\n");
  EXPECT_EQ(Log().find('\x1b'), std::string::npos) << Log();
  EXPECT_NE(Log().find("logged in as : bob\\x1b]52;c;cm0gLXJmIH4=\\x07\n"), std::string::npos)
      << Log();
}

TEST_F(CliSubmitTest, OneMachineAlone) {
  const CliRun run = Run({"submit", "--machine", "1"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "logged in as : bob\nverified : 1 of 1\nnew factors : 1 of 1\n");
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1000000007, 2000000011}));
}

TEST_F(CliSubmitTest, AFailureIsToldAndMarksNothing) {
  struct Case {
    std::string name;
    std::string settings;  // added to [Settings]
    StandInSite::Fault fault;
    std::string server;  // empty: the stand-in site
    std::string message;
  };
  const std::array cases{
      Case{"wrong password", "Password=" + EncodePassword("nope") + "\n", StandInSite::Fault::None,
           "",
           "Couldn't log in. Check your username and password in the Options dialog or "
           "submit your factors manually.\n"},
      Case{"unparsable answer", "", StandInSite::Fault::Unparsable, "",
           "Couldn't parse submission page. Submit factors manually to make sure they're ok.\n"},
      Case{"refused", "", StandInSite::Fault::None, "127.0.0.1:" + std::to_string(UnusedPort()),
           "The following error occurred:\n"},
      Case{"not a server", "", StandInSite::Fault::None, "http://site",
           "The following error occurred:\nQUILLSTRAND_SERVER=http://site: "},
  };
  for (const auto& [name, settings, fault, server, message] : cases) {
    SCOPED_TRACE(name);
    // An earlier key counts, so the case's password comes before the fixture's.
    WriteSettings("");
    std::string text = ReadFile(settings_);
    text.insert(text.find('\n') + 1, settings);
    dir_.write("quillstrand.ini", text);
    site_.SetFault(fault);
    if (!server.empty()) ::setenv("QUILLSTRAND_SERVER", server.c_str(), 1);

    const CliRun run = Run({"submit"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with(message)) << run.err;
    EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1000000007, 0}));
    ::setenv("QUILLSTRAND_SERVER", site_.Address().c_str(), 1);
  }
}

// The fixture posts three factors: only when the site verified all three
// are they marked, unless the user says --mark-anyway.
TEST_F(CliSubmitTest, MarksOnlyWhenTheSiteVerifiedEveryFactorPosted) {
  struct Case {
    std::string counts;  // the site's; empty: what it counted
    std::vector<std::string> flags;
    int code;
    std::string err;  // from its start
    bool marked;
  };
  const std::string none = "The site verified 0 of 60 factors; nothing was marked as old.\n";
  const std::array cases{
      Case{"", {}, 0, "", true},
      Case{"3 of 3", {"--mark-anyway"}, 0, "", true},
      Case{"0 of 60", {}, 1, none, false},
      Case{
          "2 of 3", {}, 1, "The site verified 2 of 3 factors; nothing was marked as old.\n", false},
      Case{
          "4 of 4", {}, 1, "The site verified 4 of 4 factors; nothing was marked as old.\n", false},
      Case{"0 of 60", {"--no-mark"}, 1, none, false},
      Case{"0 of 60", {"--mark-anyway"}, 0, "", true},
      Case{"99999999999999999999 of -5",
           {"--mark-anyway"},
           1,
           "Couldn't trust the submission page: \"99999999999999999999 of -5 verified in\" is an "
           "answer the site should not give.",
           false},
  };
  for (const auto& [counts, flags, code, err, marked] : cases) {
    SCOPED_TRACE(counts + (flags.empty() ? "" : " " + flags[0]));
    WriteSettings("");
    site_.SetCountsText(counts);
    std::vector<std::string> args = {"submit"};
    args.insert(args.end(), flags.begin(), flags.end());
    const CliRun run = Run(args);
    EXPECT_EQ(run.code, code);
    EXPECT_TRUE(err.empty() ? run.err.empty() : run.err.starts_with(err)) << run.err;
    EXPECT_EQ(LastOldFactors(), marked ? (std::vector<uint64_t>{1700000009, 2000000011})
                                       : (std::vector<uint64_t>{1000000007, 0}));
    // The log tells it too.
    const std::string last = Log().substr(Log().rfind("manual submission"));
    const bool toldWhy = err.starts_with("The site verified");
    EXPECT_NE(last.find(marked    ? "  marked as old\n"
                        : toldWhy ? "  " + err
                                  : "  not marked as old\n"),
              std::string::npos)
        << last;
  }
}

// Two processes at once on one settings file, each started anew a few
// times, so that their steps interleave in different ways.
TEST_F(CliSubmitTest, TwoAtOnceKeepBothMarks) {
  const std::array<std::array<std::string, 2>, 3> pairs{{
      {"submit", "submit"},
      {"submit", "mark-old"},
      {"mark-old", "mark-old"},
  }};
  for (const auto& [first, second] : pairs) {
    for (int round = 0; round < 5; ++round) {
      SCOPED_TRACE(first + " --machine 0, " + second + " --machine 1, round " +
                   std::to_string(round));
      WriteSettings("");
      CliProcess zero({"--config", settings_, first, "--machine", "0"}, dir_.file("zero.out"));
      CliProcess one({"--config", settings_, second, "--machine", "1"}, dir_.file("one.out"));
      ASSERT_TRUE(zero.Started() && one.Started());
      EXPECT_EQ(zero.Wait(), 0) << ReadFile(dir_.file("zero.out"));
      EXPECT_EQ(one.Wait(), 0) << ReadFile(dir_.file("one.out"));
      EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1700000009, 2000000011}));
    }
  }
}

// Two submissions of the same factors at once: the second waits for the
// first, then finds them marked and posts nothing.
TEST_F(CliSubmitTest, TwoSubmitsOfTheSameFactorsPostThemOnce) {
  for (int round = 1; round <= 5; ++round) {
    SCOPED_TRACE(round);
    WriteSettings("");
    CliProcess first({"--config", settings_, "submit"}, dir_.file("first.out"));
    CliProcess second({"--config", settings_, "submit"}, dir_.file("second.out"));
    ASSERT_TRUE(first.Started() && second.Started());
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(site_.PostCount(kFactorFormPath), round);
    const std::string outs = ReadFile(dir_.file("first.out")) + ReadFile(dir_.file("second.out"));
    EXPECT_NE(outs.find(kNoNewFactors), std::string::npos) << outs;
    EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1700000009, 2000000011}));
  }
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// How long `args` take to run to their end here, to spread kills over.
std::chrono::steady_clock::duration RunTime(const std::vector<std::string>& args,
                                            const std::string& out) {
  const auto start = std::chrono::steady_clock::now();
  CliProcess run(args, out);
  run.Wait();
  return std::chrono::steady_clock::now() - start;
}

// Killed at any moment, a submission leaves the settings file whole and
// marks nothing the site has not taken; and when the site may have taken
// what was not marked, the next submission, which posts it again, says so
// from the log. Every other kill falls in the site's 200 ms between taking
// the post and answering it, however busy the machine, so that the test
// always reaches the case that matters most.
TEST_F(CliSubmitTest, AKilledSubmissionMarksNothingUnpostedAndIsNamedNextTime) {
  // A site that takes its time makes room for kills between the post and the marking.
  site_.SetFault(StandInSite::Fault::Slow);
  const std::vector<uint64_t> before{1000000007, 0}, after{1700000009, 2000000011};
  const std::vector<std::string> args = {"--config", settings_, "submit"};
  const auto whole = RunTime(args, dir_.file("submit.out"));
  constexpr int kKills = 40;
  constexpr auto kSiteDelay = 200ms;  // the Slow site's, after it took the post
  int postedUnmarked = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE(kill);
    WriteSettings("");  // the factors new again
    const int posts = site_.PostCount(kFactorFormPath);
    const size_t postings = Occurrences(Log(), "  posting\n");
    CliProcess submit(args, dir_.file("submit.out"));
    if (kill % 2 == 0) {
      std::this_thread::sleep_for(whole * kill / kKills);
    } else {
      WaitUntil([&] { return site_.PostCount(kFactorFormPath) > posts; });
      std::this_thread::sleep_for(kSiteDelay * kill / kKills);
    }
    submit.Signal(SIGKILL);
    submit.Wait();

    const bool posted = site_.PostCount(kFactorFormPath) > posts;
    const std::vector<uint64_t> marks = LastOldFactors();
    EXPECT_TRUE(marks == before || marks == after);
    EXPECT_TRUE(posted || marks == before);
    EXPECT_TRUE(!posted || Occurrences(Log(), "  posting\n") > postings) << Log();

    const CliRun next = Run({"submit"});
    EXPECT_EQ(next.code, 0) << next.err;
    const bool named = next.err.find(
                           "has no answer on record; its factors may be on the site "
                           "already.") != std::string::npos;
    if (posted && marks == before) {
      ++postedUnmarked;
      EXPECT_TRUE(named) << next.err;
    }
    EXPECT_EQ(LastOldFactors(), after);
  }
  // Kills between the post and the marking happened, or the test proved little.
  EXPECT_GT(postedUnmarked, kKills / 4);
}

// Killed at any moment, mark-old leaves the file whole, with every mark
// or none.
TEST_F(CliSubmitTest, AKilledMarkOldMarksAllOrNothing) {
  const std::vector<std::string> args = {"--config", settings_, "mark-old"};
  const auto whole = RunTime(args, dir_.file("mark-old.out"));
  constexpr int kKills = 40;
  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE(kill);
    WriteSettings("");
    CliProcess markOld(args, dir_.file("mark-old.out"));
    std::this_thread::sleep_for(whole * kill / kKills);
    markOld.Signal(SIGKILL);
    markOld.Wait();
    const std::vector<uint64_t> marks = LastOldFactors();
    EXPECT_TRUE(marks == (std::vector<uint64_t>{1000000007, 0}) ||
                marks == (std::vector<uint64_t>{1700000009, 2000000011}));
  }
  EXPECT_EQ(site_.PostCount(kFactorFormPath), 0);
}

bool HoldsOpen(pid_t pid, const std::string& path) {
  std::error_code error;
  for (const auto& fd :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
  }
  return false;
}

// A submission waits for the one before it, then reads the settings as
// that one left them: a machine it was asked for may be gone by then.
TEST_F(CliSubmitTest, WaitsForTheSubmissionBeforeAndReadsWhatItLeft) {
  Result<FileLock> turn = TakeSubmissionTurn(settings_, 1s);
  ASSERT_TRUE(turn);
  std::optional<FileLock> before(std::move(turn.value()));
  const std::string out = dir_.file("submit.out");
  CliProcess submit({"--config", settings_, "submit", "--machine", "1"}, out);
  ASSERT_TRUE(submit.Started());
  // It waits once it holds the lock file open.
  const std::string lockFile = LockFilePath(settings_ + ".submit");
  ASSERT_TRUE(WaitUntil([&] { return HoldsOpen(submit.Pid(), lockFile); }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(site_.PostCount(kLoginFormPath), 0);
  dir_.write("quillstrand.ini", "[Settings]\nMachines=1\n" + MachineSection(0, "alpha", "a"));
  before.reset();
  const int status = submit.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(site_.PostCount(kLoginFormPath), 0);
}

TEST_F(CliSubmitTest, WrongCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"submit", "--machine", "2"},
                                               {"submit", "--machine", "-1"},
                                               {"submit", "--mark"},
                                               {"mark-old", "--machine", "x"},
                                               {"watch", "--ticks", "0"},
                                               {"watch", "--ticks"}}) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const CliRun run = Run(args);
    EXPECT_EQ(run.code, 2) << run.out;
    EXPECT_NE(run.err, "");
  }
  EXPECT_EQ(site_.PostCount(kFactorFormPath), 0);
}

TEST_F(CliSubmitTest, MarkOldMarksWithoutSubmitting) {
  const CliRun one = Run({"mark-old", "--machine", "0"});
  EXPECT_EQ(one.code, 0) << one.err;
  EXPECT_EQ(one.out, "Marked 2 new factors as old.\n");
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1700000009, 0}));
  ASSERT_EQ(Run({"mark-old"}).code, 0);
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1700000009, 2000000011}));
  EXPECT_EQ(Run({"mark-old"}).out, "There are no new factors.\n");
  EXPECT_EQ(site_.PostCount(kFactorFormPath), 0);
}

// The tick lines without their time.
std::vector<std::string> TickLines(const std::string& out) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = out.substr(start, end - start);
    lines.push_back(line.substr(line.find(' ') + 1));
  }
  return lines;
}

TEST_F(CliSubmitTest, WatchRefreshesAndSubmitsEveryPeriod) {
  const auto start = std::chrono::steady_clock::now();
  const CliRun run = Run({"watch", "--ticks", "2"});
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);  // at once, then a minute later
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(TickLines(run.out),
            (std::vector<std::string>{
                "tick 1: 2 of 2 machines read, 3 new factors, submitted: verified 3 of 3, new 3 "
                "of 3, marked as old",
                "tick 2: 2 of 2 machines read, 0 new factors, nothing to submit"}));
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1700000009, 2000000011}));
  EXPECT_NE(Log().find("automatic submission of 3 factors"), std::string::npos) << Log();
}

// With the default interval of a day, a watch that waited first would say
// nothing for a day.
TEST_F(CliSubmitTest, WatchTicksOnceAtStart) {
  ::setenv("QUILLSTRAND_MINUTE_MS", "60000", 1);
  const std::string out = dir_.file("watch.out");
  CliProcess watch({"--config", settings_, "watch"}, out);
  ASSERT_TRUE(watch.Started());
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(out).find("tick 1:") != std::string::npos; }))
      << ReadFile(out);
  watch.Signal(SIGTERM);
  const int status = watch.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(CliSubmitTest, WatchMarksOnlyWhatTheSiteVerifiedWhole) {
  site_.SetCountsText("2 of 3");
  const CliRun run = Run({"watch", "--ticks", "1"});
  EXPECT_EQ(TickLines(run.out),
            (std::vector<std::string>{"tick 1: 2 of 2 machines read, 3 new factors, submitted: "
                                      "verified 2 of 3, new 3 of 3"}));
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1000000007, 0}));
  EXPECT_NE(Log().find("  The site verified 2 of 3 factors; nothing was marked as old.\n"),
            std::string::npos)
      << Log();
}

TEST_F(CliSubmitTest, WatchWithoutAutoSubmitOnlyRefreshes) {
  WriteSettings("AutoSubmit=0\n");
  const CliRun run = Run({"watch", "--ticks", "1"});
  EXPECT_EQ(TickLines(run.out),
            (std::vector<std::string>{"tick 1: 2 of 2 machines read, 3 new factors, not submitted "
                                      "(AutoSubmit is off)"}));
  EXPECT_EQ(site_.PostCount(kFactorFormPath), 0);
}

TEST_F(CliSubmitTest, WatchShowsErrorsUnlessIgnored) {
  site_.SetFault(StandInSite::Fault::Unparsable);
  const std::string parseFailed =
      "Couldn't parse submission page. Submit factors manually to make sure they're ok.";
  for (const bool ignore : {false, true}) {
    SCOPED_TRACE(ignore);
    WriteSettings(std::string("AutoSubmit=1\nIgnoreErrors=") + (ignore ? "1" : "0") + "\n");
    const CliRun run = Run({"watch", "--ticks", "1"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(TickLines(run.out),
              (std::vector<std::string>{"tick 1: 2 of 2 machines read, 3 new factors, "
                                        "submission failed: " +
                                        parseFailed}));
    EXPECT_EQ(run.err, ignore ? "" : parseFailed + "\n");
    EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1000000007, 0}));
  }
}

TEST_F(CliSubmitTest, TerminationBetweenTicksEndsTheWatchCleanly) {
  const std::string out = dir_.file("watch.out");
  CliProcess watch({"--config", settings_, "watch"}, out);
  ASSERT_TRUE(watch.Started());
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(out).find("tick 2:") != std::string::npos; }))
      << ReadFile(out);
  watch.Signal(SIGTERM);
  const int status = watch.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1700000009, 2000000011}));
  EXPECT_NE(Log().find("  marked as old\n"), std::string::npos) << Log();
}

TEST_F(CliSubmitTest, InterruptionInsideASubmissionAbandonsItAndLogsIt) {
  site_.SetFault(StandInSite::Fault::Stall);
  const std::string out = dir_.file("watch.out");
  CliProcess watch({"--config", settings_, "watch"}, out);
  ASSERT_TRUE(watch.Started());
  ASSERT_TRUE(WaitUntil([&] { return site_.PostCount(kLoginFormPath) == 1; }));
  watch.Signal(SIGINT);
  const int status = watch.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(ReadFile(out).find(
                "tick 1: 2 of 2 machines read, 3 new factors, submission failed: "
                "The following error occurred: the submission was cancelled Submit your factors "
                "manually instead.\n"),
            std::string::npos)
      << ReadFile(out);
  EXPECT_EQ(LastOldFactors(), (std::vector<uint64_t>{1000000007, 0}));
  EXPECT_NE(Log().find("automatic submission of 3 factors"), std::string::npos) << Log();
  EXPECT_NE(Log().find("  not marked as old\n"), std::string::npos) << Log();
}

}  // namespace
