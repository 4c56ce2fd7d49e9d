#include <gtest/gtest.h>

#include <chrono>
#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "submit/SubmissionLog.h"
#include "support/TempDir.h"

namespace {

// 2026-12-10T00:15:35Z
constexpr std::chrono::system_clock::time_point kTime{std::chrono::seconds(1796861735)};

SubmissionLogEntry Entry(SubmissionOutcome outcome, bool marked) {
  return {.Time = kTime,
          .Manual = false,
          .Machines = {{0, "alpha"}, {2, "gamma"}},
          .FactorCount = 2,
          .FactorsText = "1000000007 | 5*2^12+1\r\n1500000001 | 7*2^9+1\r\n",
          .Outcome = std::move(outcome),
          .MarkedAsOld = marked};
}

TEST(SubmissionLog, AnEntryTellsWhatWasPostedAndHowItWent) {
  EXPECT_EQ(SubmissionLogText(Entry(SiteAnswer{"bob", {2, 2, 1}}, true)),
            "2026-12-10T00:15:35Z automatic submission of 2 factors from machine 0 \"alpha\", "
            "machine 2 \"gamma\"\n"
            "  logged in as : bob\n"
            "  verified : 2 of 2\n"
            "  new factors : 1 of 2\n"
            "  marked as old\n"
            "\n");
  EXPECT_EQ(SubmissionLogText(
                Entry(SubmissionError{SubmissionFailure::Network,
                                      "The following error occurred:\r\nrefused\r\n\r\nSubmit your "
                                      "factors manually instead."},
                      false)),
            "2026-12-10T00:15:35Z automatic submission of 2 factors from machine 0 \"alpha\", "
            "machine 2 \"gamma\"\n"
            "  error : The following error occurred: refused Submit your factors manually "
            "instead.\n"
            "  not marked as old\n"
            "\n");
  EXPECT_EQ(PostingLogText(Entry(SiteAnswer{}, false)),
            "2026-12-10T00:15:35Z automatic submission of 2 factors from machine 0 \"alpha\", "
            "machine 2 \"gamma\"\n"
            "  posting\n"
            "    1000000007 | 5*2^12+1\n"
            "    1500000001 | 7*2^9+1\n"
            "\n");
}

// The log is read with cat: what came from outside (names, the site's
// words, factor lines) goes in with its control bytes escaped, and a
// location's password never goes in at all.
TEST(SubmissionLog, HoldsNoControlCharacterFromOutsideNorAPassword) {
  const std::string clipboardWrite = "\x1b]52;c;cm0gLXJmIH4=\x07";
  SubmissionLogEntry entry =
      Entry(SubmissionError{SubmissionFailure::Network,
                            "http://user:secret@m1/fact.txt: refused " + clipboardWrite},
            false);
  entry.Machines = {{0, "alpha\x1b[2J"}};
  const std::string factors = "1000000007 | " + clipboardWrite + "\r\n";
  entry.FactorsText = factors;
  EXPECT_EQ(SubmissionLogText(entry),
            "2026-12-10T00:15:35Z automatic submission of 2 factors from machine 0 "
            "\"alpha\\x1b[2J\"\n"
            "  error : http://user:***@m1/fact.txt: refused \\x1b]52;c;cm0gLXJmIH4=\\x07\n"
            "  not marked as old\n"
            "\n");
  EXPECT_EQ(PostingLogText(entry),
            "2026-12-10T00:15:35Z automatic submission of 2 factors from machine 0 "
            "\"alpha\\x1b[2J\"\n"
            "  posting\n"
            "    1000000007 | \\x1b]52;c;cm0gLXJmIH4=\\x07\n"
            "\n");

  const std::string login = SubmissionLogText(Entry(SiteAnswer{"bob\xc2\x9b"
                                                               "31m",
                                                               {1, 1, 1}},
                                                    true));
  EXPECT_NE(login.find("  logged in as : bob\\xc2\\x9b31m\n"), std::string::npos) << login;
}

TEST(SubmissionLog, LivesBesideTheSettingsFile) {
  EXPECT_EQ(SubmissionLogPath("quillstrand.ini"), "quillstrand-submissions.log");
  EXPECT_EQ(SubmissionLogPath("/srv/farm/other.ini"), "/srv/farm/quillstrand-submissions.log");
}

TEST(SubmissionLog, AppendsEveryEntry) {
  TempDir dir;
  const std::string path = dir.write("quillstrand-submissions.log", "older entries\n");
  SubmissionLog log(path);
  const SubmissionLogEntry first = Entry(SiteAnswer{"bob", {2, 2, 2}}, true);
  const SubmissionLogEntry second = Entry(SiteAnswer{"bob", {2, 2, 0}}, false);
  EXPECT_FALSE(log.Append(first));
  EXPECT_FALSE(log.Append(second));
  EXPECT_EQ(ReadFile(path),
            "older entries\n" + SubmissionLogText(first) + SubmissionLogText(second));
}

// A log whose last entry is a post without its outcome: the process that
// posted was killed before the answer, and the site may have the factors.
TEST(SubmissionLog, TellsAPostThatHasNoAnswerOnRecord) {
  TempDir dir;
  const std::string path = dir.file("quillstrand-submissions.log");
  const SubmissionLogEntry entry = Entry(SiteAnswer{"bob", {2, 2, 2}}, true);
  SubmissionLogEntry many = entry;
  const std::string lines(100000, 'x');  // the entry's heading far before the end
  many.FactorsText = lines;
  const std::string unanswered =
      "The submission of 2026-12-10T00:15:35Z has no answer on record; its factors may be on the "
      "site already.";
  struct Case {
    std::string name;
    std::string log;
    bool unanswered;
  };
  const std::array cases{
      Case{"no log", "", false},
      Case{"posted only", PostingLogText(entry), true},
      Case{"posted and answered", PostingLogText(entry) + SubmissionLogText(entry), false},
      Case{"answered, then posted", SubmissionLogText(entry) + PostingLogText(entry), true},
      Case{"a long post", SubmissionLogText(entry) + PostingLogText(many), true},
      Case{"a long post answered", PostingLogText(many) + SubmissionLogText(entry), false},
      Case{"cut in its factor lines", PostingLogText(entry).substr(0, 120), true},
      Case{"cut in its heading", PostingLogText(entry).substr(0, 30), false},
      Case{"older entries only", "older entry\n  marked as old\n\n", false},
  };
  for (const auto& [name, log, expected] : cases) {
    SCOPED_TRACE(name);
    std::filesystem::remove(path);
    if (!log.empty()) dir.write("quillstrand-submissions.log", log);
    EXPECT_EQ(UnansweredSubmission(path),
              expected ? std::optional<std::string>(unanswered) : std::nullopt);
  }
}

TEST(SubmissionLog, APostingThatCannotBeWrittenIsAlwaysReported) {
  SubmissionLog full("/dev/full");
  const SubmissionLogEntry entry = Entry(SiteAnswer{}, false);
  EXPECT_FALSE(full.AppendPosting(entry));
  EXPECT_FALSE(full.AppendPosting(entry));
}

TEST(SubmissionLog, AFailureIsReportedOnceUntilAWriteSucceeds) {
  TempDir dir;
  const std::string blocker = dir.write("file", "");
  SubmissionLog log(blocker + "/quillstrand-submissions.log");
  const SubmissionLogEntry entry = Entry(SiteAnswer{}, false);

  const std::optional<Error> first = log.Append(entry);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->message, "Cannot write the submission log " + blocker +
                                "/quillstrand-submissions.log: Not a directory");
  EXPECT_FALSE(log.Append(entry));

  // Once it works again, the next failure is news.
  std::filesystem::remove(blocker);
  std::filesystem::create_directory(blocker);
  EXPECT_FALSE(log.Append(entry));
  std::filesystem::remove_all(blocker);
  dir.write("file", "");
  EXPECT_TRUE(log.Append(entry));

  SubmissionLog full("/dev/full");
  EXPECT_TRUE(full.Append(entry));
  EXPECT_FALSE(full.Append(entry));
}

}  // namespace
