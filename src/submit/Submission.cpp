#include "submit/Submission.h"

#include "model/Constants.h"
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
      .FactorsText = model.NewFactorsText,
      .FactorCount = model.NewFactorCount,
      .Marks = model.Marks,
      .Machines = {},
      .TableRevision = model.TableRevision,
  };
  for (const NewFactorMark& mark : model.Marks) {
    const auto index = static_cast<size_t>(mark.MachineIndex);
    if (index < model.Machines.size())
      snapshot.Machines.push_back({mark.MachineIndex, model.Machines[index].Name});
  }
  return snapshot;
}

// Marks as old what the snapshot posted. The display is emptied as marking
// empties it only if it still shows those factors: a machine selected
// meanwhile keeps its view.
Status MarkPostedAsOld(Model& model, const SubmissionSnapshot& snapshot,
                       const std::string& settingsPath) {
  if (model.Marks == snapshot.Marks && model.NewFactorsText == snapshot.FactorsText)
    return MarkNewFactorsAsOld(model, settingsPath);
  MoveLastOldFactors(model.Machines, snapshot.Marks);
  return SaveSettings(settingsPath, model);
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
                       .DefaultYes = answer.Counts.Verified == answer.Counts.Total};
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
  const bool understood = std::holds_alternative<SiteAnswer>(outcome);
  // Marks of another machine table would move the wrong machines.
  finish.MarkedAsOld =
      understood && (!snapshot.Manual || agreed) && model.TableRevision == snapshot.TableRevision;
  if (finish.MarkedAsOld) finish.Saved = MarkPostedAsOld(model, snapshot, settingsPath);
  finish.LogProblem = log.Append({.Time = snapshot.Started,
                                  .Manual = snapshot.Manual,
                                  .Machines = snapshot.Machines,
                                  .FactorCount = snapshot.FactorCount,
                                  .FactorsText = snapshot.FactorsText,
                                  .Outcome = outcome,
                                  .MarkedAsOld = finish.MarkedAsOld});
  model.SubmitBusy = false;
  return finish;
}
