#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "StandInSite.h"
#include "model/SettingsFile.h"
#include "submit/Submission.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;

constexpr char kNewFactors[] = "101 | 3*2^5+1\r\n307 | 5*2^7+1\r\n";
constexpr char kNoNewFactors[] = "There are no new factors to submit.";
constexpr char kBusy[] = "Currently processing an automatic factor submission... Try again later.";

Model FarmWithNewFactors() {
  Model model;
  model.Machines = {Machine("alpha", "", "", 10), Machine("beta", "", "", 20),
                    Machine("gamma", "", "", 30)};
  model.Marks = {{0, 101}, {2, 307}};
  model.NewFactorsText = PaneText(kNewFactors);
  model.NewFactorCount = 2;
  model.Options.Username = "bob";
  model.Options.Password = "secret";
  return model;
}

const SubmissionOutcome kUnderstood = SiteAnswer{"bob", {2, 2, 1}};
const SubmissionOutcome kRefused = NetworkFailure("Couldn't connect to server");

TEST(BeginSubmission, GoesOnOnlyWithNewFactorsAndNothingElseRunning) {
  struct Case {
    std::string name;
    bool manual, refreshBusy, submitBusy, emptyPane;
    std::string message;  // empty: none
    bool goesOn;
  };
  const std::array cases{
      Case{"manual", true, false, false, false, "", true},
      Case{"automatic", false, false, false, false, "", true},
      Case{"manual, submitting", true, false, true, false, kBusy, false},
      Case{"manual, submitting, nothing new", true, false, true, true, kBusy, false},
      Case{"manual, nothing new", true, false, false, true, kNoNewFactors, false},
      Case{"manual, refreshing", true, true, false, false, "", false},
      Case{"manual, refreshing, nothing new", true, true, false, true, kNoNewFactors, false},
      Case{"automatic, nothing new", false, false, false, true, "", false},
      Case{"automatic, submitting", false, false, true, false, "", false},
      Case{"automatic, refreshing", false, true, false, false, "", false},
  };
  for (const auto& [name, manual, refreshBusy, submitBusy, emptyPane, message, goesOn] : cases) {
    SCOPED_TRACE(name);
    Model model = FarmWithNewFactors();
    model.RefreshBusy = refreshBusy;
    model.SubmitBusy = submitBusy;
    if (emptyPane) model.NewFactorsText.clear();
    const SubmissionStart start = BeginSubmission(model, manual);
    EXPECT_EQ(start.Snapshot.has_value(), goesOn);
    EXPECT_EQ(start.Message, message.empty()
                                 ? std::nullopt
                                 : std::optional(SubmitMessage{"quillstrand", message}));
    EXPECT_EQ(model.SubmitBusy, submitBusy || goesOn);
    EXPECT_EQ(model.RefreshBusy, refreshBusy);
  }
}

TEST(BeginSubmission, TakesTheFactorsTheirMarksAndTheLoginTogether) {
  Model model = FarmWithNewFactors();
  model.Options.Login = false;
  model.Options.IgnoreErrors = true;
  const SubmissionSnapshot snapshot = *BeginSubmission(model, false).Snapshot;
  EXPECT_FALSE(snapshot.Manual);
  EXPECT_TRUE(snapshot.IgnoreErrors);
  EXPECT_FALSE(snapshot.Login.Login);
  EXPECT_EQ(snapshot.Login.Username, "bob");
  EXPECT_EQ(snapshot.Login.Password, "secret");
  EXPECT_EQ(snapshot.FactorsText, kNewFactors);
  EXPECT_EQ(snapshot.FactorCount, 2);
  EXPECT_EQ(snapshot.Marks, (NewFactorMarks{{0, 101}, {2, 307}}));
  ASSERT_EQ(snapshot.Machines.size(), 2u);
  EXPECT_EQ(snapshot.Machines[1].Index, 2);
  EXPECT_EQ(snapshot.Machines[1].Name, "gamma");
}

TEST(OutcomeMessage, AsksInManualModeAndShowsErrorsUnlessIgnored) {
  struct Case {
    std::string name;
    bool manual, ignoreErrors;
    SubmissionOutcome outcome;
    std::optional<SubmitMessage> message;
  };
  const SubmitMessage refusedBox{"Error", std::get<SubmissionError>(kRefused).Text};
  const std::array cases{
      Case{"manual, all verified", true, false, kUnderstood,
           SubmitMessage{"Submission results",
                         "logged in as : bob\r\nverified : 2 of 2\r\nnew factors : 1 of 2\r\n"
                         "\r\nMark factors as old?",
                         true, true}},
      Case{"manual, some verified", true, false, SiteAnswer{"not logged in", {5, 7, 2}},
           SubmitMessage{"Submission results",
                         "logged in as : not logged in\r\nverified : 5 of 7\r\nnew factors : 2 "
                         "of 7\r\n\r\nMark factors as old?",
                         true, false}},
      Case{"manual, all counted verified, but fewer counted than posted", true, false,
           SiteAnswer{"bob", {1, 1, 1}},
           SubmitMessage{"Submission results",
                         "logged in as : bob\r\nverified : 1 of 1\r\nnew factors : 1 of 1\r\n"
                         "\r\nMark factors as old?",
                         true, false}},
      Case{"manual, failed, errors ignored", true, true, kRefused, refusedBox},
      Case{"automatic, failed", false, false, kRefused, refusedBox},
      Case{"automatic, failed, errors ignored", false, true, kRefused, std::nullopt},
      Case{"automatic, understood", false, false, kUnderstood, std::nullopt},
  };
  for (const auto& [name, manual, ignoreErrors, outcome, message] : cases) {
    SCOPED_TRACE(name);
    SubmissionSnapshot snapshot;
    snapshot.Manual = manual;
    snapshot.IgnoreErrors = ignoreErrors;
    snapshot.FactorCount = 2;
    EXPECT_EQ(OutcomeMessage(snapshot, outcome), message);
  }
}

class FinishSubmissionTest : public ::testing::Test {
 protected:
  std::string LogText() const { return ReadFile(SubmissionLogPath(settings_)); }

  TempDir dir_;
  std::string settings_ = dir_.file("quillstrand.ini");
  SubmissionLog log_{SubmissionLogPath(settings_)};
};

TEST_F(FinishSubmissionTest, MarksWhatTheSiteVerifiedOrWhenAgreed) {
  struct Case {
    std::string name;
    bool manual, agreed;
    SubmissionOutcome outcome;
    bool marked;
    std::string logged;  // the entry's last line
  };
  const std::string fewer = "  The site verified 1 of 2 factors; nothing was marked as old.\n";
  const std::array cases{
      Case{"manual, Yes", true, true, kUnderstood, true, "  marked as old\n"},
      Case{"manual, No", true, false, kUnderstood, false, "  not marked as old\n"},
      Case{"manual, fewer verified, Yes", true, true, SiteAnswer{"bob", {1, 2, 0}}, true,
           "  marked as old\n"},
      Case{"manual, fewer verified, No", true, false, SiteAnswer{"bob", {1, 2, 0}}, false, fewer},
      Case{"automatic", false, false, kUnderstood, true, "  marked as old\n"},
      Case{"automatic, fewer verified", false, false, SiteAnswer{"bob", {1, 2, 0}}, false, fewer},
      Case{"automatic, more counted than posted", false, false, SiteAnswer{"bob", {3, 3, 0}},
           false, "  The site verified 3 of 3 factors; nothing was marked as old.\n"},
      Case{"manual, failed", true, true, kRefused, false, "  not marked as old\n"},
      Case{"automatic, failed", false, false, kRefused, false, "  not marked as old\n"},
  };
  for (const auto& [name, manual, agreed, outcome, marked, logged] : cases) {
    SCOPED_TRACE(name);
    Model model = FarmWithNewFactors();
    const SubmissionSnapshot snapshot = *BeginSubmission(model, manual).Snapshot;
    const SubmissionFinish finish =
        FinishSubmission(model, snapshot, outcome, agreed, settings_, log_);
    EXPECT_EQ(finish.MarkedAsOld, marked);
    EXPECT_TRUE(finish.Saved);
    EXPECT_FALSE(finish.LogProblem);
    EXPECT_FALSE(model.SubmitBusy);
    EXPECT_EQ(model.Machines[2].LastOldFactor, marked ? 307u : 30u);
    EXPECT_EQ(model.NewFactorsText, marked ? "" : kNewFactors);
    EXPECT_EQ(model.Marks.empty(), marked);
    EXPECT_TRUE(LogText().ends_with(logged + "\n")) << LogText();
  }
}

TEST_F(FinishSubmissionTest, MarksWhatWasPostedThoughTheDisplayChanged) {
  Model model = FarmWithNewFactors();
  const SubmissionSnapshot snapshot = *BeginSubmission(model, true).Snapshot;
  // Meanwhile the user selects beta, whose new factor was not posted.
  model.Marks = {{1, 205}};
  model.NewFactorsText = PaneText("205 | 9*2^3+1\r\n");
  model.NewFactorCount = 1;

  ASSERT_TRUE(FinishSubmission(model, snapshot, kUnderstood, true, settings_, log_).MarkedAsOld);
  EXPECT_EQ(model.Machines[0].LastOldFactor, 101u);
  EXPECT_EQ(model.Machines[1].LastOldFactor, 20u);
  EXPECT_EQ(model.Machines[2].LastOldFactor, 307u);
  EXPECT_EQ(model.Marks, (NewFactorMarks{{1, 205}}));
  EXPECT_EQ(model.NewFactorsText, "205 | 9*2^3+1\r\n");

  Model saved;
  ASSERT_TRUE(LoadSettings(settings_, saved));
  ASSERT_EQ(saved.Machines.size(), 3u);
  EXPECT_EQ(saved.Machines[2].LastOldFactor, 307u);
}

TEST_F(FinishSubmissionTest, MarksNothingInATableReplacedMeanwhile) {
  Model model = FarmWithNewFactors();
  const SubmissionSnapshot snapshot = *BeginSubmission(model, false).Snapshot;
  ReplaceMachines(model, {Machine("gamma", "", "", 30), Machine("alpha", "", "", 10)});

  EXPECT_FALSE(FinishSubmission(model, snapshot, kUnderstood, false, settings_, log_).MarkedAsOld);
  EXPECT_EQ(model.Machines[0].LastOldFactor, 30u);
  EXPECT_FALSE(model.SubmitBusy);
  EXPECT_NE(LogText().find("not marked as old"), std::string::npos);
}

TEST_F(FinishSubmissionTest, AFailedSaveOrLogStillMarks) {
  Model model = FarmWithNewFactors();
  const SubmissionSnapshot snapshot = *BeginSubmission(model, false).Snapshot;
  const std::string blocker = dir_.write("file", "");
  SubmissionLog log(SubmissionLogPath(blocker + "/quillstrand.ini"));
  const SubmissionFinish finish =
      FinishSubmission(model, snapshot, kUnderstood, false, blocker + "/quillstrand.ini", log);
  EXPECT_TRUE(finish.MarkedAsOld);
  EXPECT_FALSE(finish.Saved);
  ASSERT_TRUE(finish.LogProblem);
  EXPECT_NE(finish.LogProblem->message.find("Not a directory"), std::string::npos);
  EXPECT_EQ(model.Machines[2].LastOldFactor, 307u);
  EXPECT_FALSE(model.SubmitBusy);
}

// The whole automatic submission against a site: with IgnoreErrors off a
// failure has its box, with it on nothing shows; neither marks anything.
TEST_F(FinishSubmissionTest, AutomaticFailureIsSilentOnlyWithIgnoreErrors) {
  for (const bool ignoreErrors : {false, true}) {
    SCOPED_TRACE(ignoreErrors);
    Model model = FarmWithNewFactors();
    model.Options.IgnoreErrors = ignoreErrors;
    const SubmissionSnapshot snapshot = *BeginSubmission(model, false).Snapshot;
    CurlFormPoster poster("http://127.0.0.1:" + std::to_string(UnusedPort()),
                          {.connectTimeout = 1000ms, .stallTimeout = 1000ms});
    const SubmissionOutcome outcome = SendSubmission(snapshot, poster);
    EXPECT_EQ(OutcomeMessage(snapshot, outcome),
              ignoreErrors
                  ? std::nullopt
                  : std::optional(SubmitMessage{"Error", std::get<SubmissionError>(outcome).Text}));
    EXPECT_FALSE(FinishSubmission(model, snapshot, outcome, false, settings_, log_).MarkedAsOld);
    EXPECT_EQ(model.Machines[0].LastOldFactor, 10u);
    EXPECT_FALSE(model.SubmitBusy);
  }
}

TEST_F(FinishSubmissionTest, AutomaticSubmissionMarksOnlyWhatTheSiteVerifiedWhole) {
  StandInSite site;
  site.AddUser("bob", "secret");
  Model model = FarmWithNewFactors();
  model.NewFactorsText.append("999 | not a factor\r\n");
  model.NewFactorCount = 3;
  const SubmissionSnapshot snapshot = *BeginSubmission(model, false).Snapshot;
  CurlFormPoster poster("http://" + site.Address());
  const SubmissionOutcome outcome = SendSubmission(snapshot, poster);
  ASSERT_TRUE(std::holds_alternative<SiteAnswer>(outcome));
  EXPECT_EQ(std::get<SiteAnswer>(outcome), (SiteAnswer{"bob", {2, 3, 2}}));
  EXPECT_FALSE(OutcomeMessage(snapshot, outcome));
  EXPECT_FALSE(FinishSubmission(model, snapshot, outcome, false, settings_, log_).MarkedAsOld);
  EXPECT_EQ(model.Machines[0].LastOldFactor, 10u);
}

}  // namespace
