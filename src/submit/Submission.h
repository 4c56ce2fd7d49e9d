#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "location/FormPost.h"
#include "model/FileLock.h"
#include "model/Model.h"
#include "model/Result.h"
#include "submit/NewFactorActions.h"
#include "submit/SubmissionExchange.h"
#include "submit/SubmissionLog.h"

// A message box to show: its caption and text, and either an OK button
// alone or the buttons Yes and No with one of them the default.
struct SubmitMessage {
  std::string Caption;
  std::string Text;
  bool YesNo = false;
  bool DefaultYes = false;

  friend bool operator==(const SubmitMessage&, const SubmitMessage&) = default;
};

// Everything a submission needs, taken from the model when it starts: what
// it posts and what it will mark as old are the same factors, whatever the
// model shows by the time the answer is in.
struct SubmissionSnapshot {
  std::chrono::system_clock::time_point Started;
  bool Manual = true;
  bool IgnoreErrors = false;
  SiteLogin Login;
  std::string FactorsText;
  int32_t FactorCount = 0;
  NewFactorMarks Marks;
  OldFactorMoves Moves;                 // what the marks will write
  std::vector<PostedMachine> Machines;  // the marked machines, for the log
  uint64_t TableRevision = 0;
};

// Either a submission to run or, in manual mode, what to say instead.
struct SubmissionStart {
  std::optional<SubmissionSnapshot> Snapshot;
  std::optional<SubmitMessage> Message;
};

// A submission runs in three steps, so that a window can wait for the site
// on another thread and keep its own free:
//
// BeginSubmission decides whether to go on. Manual mode (the Submit
// button) says so when a submission runs already or there is nothing to
// submit; otherwise it, like automatic mode, refuses silently while a
// refresh or a submission runs and when there is nothing new. Going on, it
// sets SubmitBusy and takes the snapshot.
SubmissionStart BeginSubmission(Model& model, bool manual);

// Logs in and posts the snapshot's factors through `poster`. Touches no
// model: any thread may run it.
SubmissionOutcome SendSubmission(const SubmissionSnapshot& snapshot, FormPoster& poster);

// The same through libcurl, to the site that ProjectSiteUrlFromEnvironment
// names, for as long as `stop` is not requested.
SubmissionOutcome SendSubmissionToSite(const SubmissionSnapshot& snapshot,
                                       std::stop_token stop = {}, FormPostLimits limits = {});

// How long a command-line submission waits for another from the same
// settings file to end, and how long the window's does.
inline constexpr std::chrono::milliseconds kSubmissionTurnWait{5 * 60 * 1000};
inline constexpr std::chrono::milliseconds kWindowSubmissionTurnWait{10 * 1000};

// The submission lock of the settings file at `settingsPath`. A submission
// holds it from before it reads the new factors until it has marked them,
// so that two submissions from one settings file take turns and never post
// the same factors: the second waits up to `wait`, then reads the factors
// as the first left them. The error says another submission is running.
Result<FileLock> TakeSubmissionTurn(const std::string& settingsPath,
                                    std::chrono::milliseconds wait);

// A post made in turn: what came of it, and what an earlier submission
// left without an answer, to be told (UnansweredSubmission).
struct SentSubmission {
  SubmissionOutcome Outcome;
  std::optional<std::string> Unanswered;
};

// With the turn held: checks that the settings file still holds the
// LastOldFactor values the snapshot's marks start from (another process
// may have marked the factors since this one read them), writes the
// "posting" entry into the log beside the settings file, then posts, as
// SendSubmissionToSite. When the check or the log entry fails, nothing is
// posted and the outcome says why.
SentSubmission SendInTurn(const SubmissionSnapshot& snapshot, const std::string& settingsPath,
                          std::stop_token stop = {}, FormPostLimits limits = {});

// A post made after taking the turn, for a caller that has not taken it:
// the lock, when it was had, stays held until the marking is done.
struct TurnTaken {
  std::optional<FileLock> Turn;
  SentSubmission Sent;
};

// TakeSubmissionTurn, waiting up to `wait`, then SendInTurn; without the
// turn nothing is posted and the outcome says so.
TurnTaken SendWhenItsTurn(const SubmissionSnapshot& snapshot, const std::string& settingsPath,
                          std::chrono::milliseconds wait, std::stop_token stop = {},
                          FormPostLimits limits = {});

// Then, on the model's thread: the message box to show for the outcome, if
// any. Manual mode asks "Mark factors as old?" with the site's counts (Yes
// the default only when every factor posted was verified) or shows the error; automatic
// mode asks nothing and shows an error only when IgnoreErrors is off.
std::optional<SubmitMessage> OutcomeMessage(const SubmissionSnapshot& snapshot,
                                            const SubmissionOutcome& outcome);

// The lines that tell what the site said: "logged in as : NAME",
// "verified : V of T", "new factors : N of T", each ending in CR LF.
std::string SiteAnswerLines(const SiteAnswer& answer);

struct SubmissionFinish {
  bool MarkedAsOld = false;
  Status Saved = Ok();              // of the settings file, when marked
  MarkNotes Notes;                  // marks that the file kept as it had them
  std::optional<Error> LogProblem;  // the log could not be written
};

// Ends the submission and clears SubmitBusy. When the site understood the
// post, marks as old what was posted: in automatic mode when the site
// verified every factor posted (AllVerified), in manual mode when `agreed`
// (the answer to OutcomeMessage's question). The marks come from the
// snapshot and are merged into the settings file (WriteMoves); the factors
// on display are emptied only if they are still the ones posted. Every
// submission appends its outcome's entry to `log`.
SubmissionFinish FinishSubmission(Model& model, const SubmissionSnapshot& snapshot,
                                  const SubmissionOutcome& outcome, bool agreed,
                                  const std::string& settingsPath, SubmissionLog& log);
