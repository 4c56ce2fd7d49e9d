#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "location/FormPost.h"
#include "model/Model.h"
#include "model/Result.h"
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

// Then, on the model's thread: the message box to show for the outcome, if
// any. Manual mode asks "Mark factors as old?" with the site's counts (Yes
// the default when every factor was verified) or shows the error; automatic
// mode asks nothing and shows an error only when IgnoreErrors is off.
std::optional<SubmitMessage> OutcomeMessage(const SubmissionSnapshot& snapshot,
                                            const SubmissionOutcome& outcome);

// The lines that tell what the site said: "logged in as : NAME",
// "verified : V of T", "new factors : N of T", each ending in CR LF.
std::string SiteAnswerLines(const SiteAnswer& answer);

struct SubmissionFinish {
  bool MarkedAsOld = false;
  Status Saved = Ok();              // of the settings file, when marked
  std::optional<Error> LogProblem;  // the log could not be written
};

// Ends the submission and clears SubmitBusy. When the site understood the
// post, marks as old what was posted: in automatic mode always, in manual
// mode when `agreed` (the answer to OutcomeMessage's question). The marks
// come from the snapshot; the factors on display are emptied only if they
// are still the ones posted, and the settings file is saved. Every
// submission appends one entry to `log`.
SubmissionFinish FinishSubmission(Model& model, const SubmissionSnapshot& snapshot,
                                  const SubmissionOutcome& outcome, bool agreed,
                                  const std::string& settingsPath, SubmissionLog& log);
