#include "submit/Submission.h"

#include <cerrno>

#include "model/Constants.h"
#include "model/FileStamp.h"
#include "model/SettingsFile.h"
#include "submit/NewFactorActions.h"
#include "submit/ProjectSite.h"

namespace {

SubmitMessage Notice(std::string text) { return {kAppName, std::move(text)}; }

SubmissionSnapshot TakeSnapshot(const Model& model, bool manual) {
  const Settings& options = model.Options;
  SubmissionSnapshot snapshot{
      .Started = std::chrono::system_clock::now(),
      .Manual = manual,
      .IgnoreErrors = options.IgnoreErrors,
      .Login = {options.Login, options.Username, options.Password},
      .FactorsText = model.NewFactorsText.joined(),
      .FactorCount = model.NewFactorCount,
      .Marks = model.Marks,
      .Moves = MovesOf(model.Machines, model.Marks),
      .Machines = {},
      .TableRevision = model.TableRevision,
  };
  for (const OldFactorMove& move : snapshot.Moves)
    snapshot.Machines.push_back({move.MachineIndex, move.Name});
  return snapshot;
}

// Marks as old what the snapshot posted. The display is emptied as marking
// empties it only if it still shows those factors: a machine selected
// meanwhile keeps its view.
Result<MarkNotes> MarkPostedAsOld(Model& model, const SubmissionSnapshot& snapshot,
                                  const std::string& settingsPath) {
  if (model.Marks == snapshot.Marks && model.NewFactorsText == snapshot.FactorsText)
    ClearNewFactors(model);
  return WriteMoves(settingsPath, snapshot.Moves, model);
}

SubmissionLogEntry LogEntryOf(const SubmissionSnapshot& snapshot, const SubmissionOutcome& outcome,
                              bool marked) {
  return {.Time = snapshot.Started,
          .Manual = snapshot.Manual,
          .Machines = snapshot.Machines,
          .FactorCount = snapshot.FactorCount,
          .FactorsText = snapshot.FactorsText,
          .Outcome = outcome,
          .MarkedAsOld = marked};
}

SubmissionError NotPosted(std::string why) {
  return {SubmissionFailure::NotPosted, std::move(why) + " Nothing was posted."};
}

// Whether the settings file holds what the snapshot's marks start from.
Status StartsStillStand(const SubmissionSnapshot& snapshot, const std::string& settingsPath) {
  // No file: no other process has a table to mark.
  if (!StampFile(settingsPath).Exists) return Ok();
  Model onDisk;
  if (Status read = LoadSettings(settingsPath, onDisk); !read) return read;
  if (StartsHold(onDisk.Machines, snapshot.Moves)) return Ok();
  return Error{"Another quillstrand marked these factors as old meanwhile.", ESTALE};
}

}  // namespace

SubmissionStart BeginSubmission(Model& model, bool manual) {
  if (manual && model.SubmitBusy)
    return {.Snapshot = {},
            .Message =
                Notice("Currently processing an automatic factor submission... Try again later.")};
  if (manual && model.NewFactorsText.empty())
    return {.Snapshot = {}, .Message = Notice("There are no new factors to submit.")};
  if (model.RefreshBusy || model.SubmitBusy || model.NewFactorsText.empty()) return {};
  model.SubmitBusy = true;
  return {.Snapshot = TakeSnapshot(model, manual), .Message = {}};
}

SubmissionOutcome SendSubmission(const SubmissionSnapshot& snapshot, FormPoster& poster) {
  return ExchangeWithSite(snapshot.Login, snapshot.FactorsText, poster);
}

SubmissionOutcome SendSubmissionToSite(const SubmissionSnapshot& snapshot, std::stop_token stop,
                                       FormPostLimits limits) {
  const Result<std::string> site = ProjectSiteUrlFromEnvironment();
  if (!site) return NetworkFailure(site.error().message);
  CurlFormPoster poster(site.value(), limits, std::move(stop));
  return SendSubmission(snapshot, poster);
}

Result<FileLock> TakeSubmissionTurn(const std::string& settingsPath,
                                    std::chrono::milliseconds wait) {
  Result<FileLock> turn = FileLock::Acquire(settingsPath + ".submit", wait);
  if (!turn && turn.error().code == EWOULDBLOCK)
    return Error{"Another submission from " + settingsPath + " is running; try again later",
                 EWOULDBLOCK};
  return turn;
}

SentSubmission SendInTurn(const SubmissionSnapshot& snapshot, const std::string& settingsPath,
                          std::stop_token stop, FormPostLimits limits) {
  if (const Status stands = StartsStillStand(snapshot, settingsPath); !stands)
    return {NotPosted(stands.error().message), std::nullopt};
  SubmissionLog log(SubmissionLogPath(settingsPath));
  SentSubmission sent{SiteAnswer{}, UnansweredSubmission(log.path())};
  const Status logged =
      log.AppendPosting(LogEntryOf(snapshot, {}, false), sent.Unanswered.value_or(""));
  sent.Outcome = logged ? SendSubmissionToSite(snapshot, std::move(stop), limits)
                        : NotPosted(logged.error().message + ".");
  return sent;
}

TurnTaken SendWhenItsTurn(const SubmissionSnapshot& snapshot, const std::string& settingsPath,
                          std::chrono::milliseconds wait, std::stop_token stop,
                          FormPostLimits limits) {
  Result<FileLock> turn = TakeSubmissionTurn(settingsPath, wait);
  if (!turn) return {std::nullopt, {NotPosted(turn.error().message + "."), std::nullopt}};
  return {std::move(turn.value()), SendInTurn(snapshot, settingsPath, std::move(stop), limits)};
}

std::optional<SubmitMessage> OutcomeMessage(const SubmissionSnapshot& snapshot,
                                            const SubmissionOutcome& outcome) {
  if (const auto* error = std::get_if<SubmissionError>(&outcome)) {
    if (!snapshot.Manual && snapshot.IgnoreErrors) return std::nullopt;
    return SubmitMessage{"Error", error->Text};
  }
  if (!snapshot.Manual) return std::nullopt;
  const auto& answer = std::get<SiteAnswer>(outcome);
  return SubmitMessage{.Caption = "Submission results",
                       .Text = SiteAnswerLines(answer) + "\r\nMark factors as old?",
                       .YesNo = true,
                       .DefaultYes = AllVerified(answer.Counts, snapshot.FactorCount)};
}

std::string SiteAnswerLines(const SiteAnswer& answer) {
  const std::string total = std::to_string(answer.Counts.Total);
  return "logged in as : " + answer.LoginName +
         "\r\nverified : " + std::to_string(answer.Counts.Verified) + " of " + total +
         "\r\nnew factors : " + std::to_string(answer.Counts.New) + " of " + total + "\r\n";
}

SubmissionFinish FinishSubmission(Model& model, const SubmissionSnapshot& snapshot,
                                  const SubmissionOutcome& outcome, bool agreed,
                                  const std::string& settingsPath, SubmissionLog& log) {
  SubmissionFinish finish;
  const auto* answer = std::get_if<SiteAnswer>(&outcome);
  const bool wanted =
      answer && (snapshot.Manual ? agreed : AllVerified(answer->Counts, snapshot.FactorCount));
  // Marks of another machine table would move the wrong machines.
  finish.MarkedAsOld = wanted && model.TableRevision == snapshot.TableRevision;
  if (finish.MarkedAsOld) {
    Result<MarkNotes> marked = MarkPostedAsOld(model, snapshot, settingsPath);
    if (marked)
      finish.Notes = std::move(marked.value());
    else
      finish.Saved = marked.error();
  }
  finish.LogProblem = log.Append(LogEntryOf(snapshot, outcome, finish.MarkedAsOld));
  model.SubmitBusy = false;
  return finish;
}
