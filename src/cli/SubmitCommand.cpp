#include "cli/SubmitCommand.h"

#include "farm/Refresh.h"
#include "model/SettingsFile.h"
#include "model/TerminalText.h"

namespace {

void Say(std::ostream& err, const std::string& text) {
  err << "quillstrand-cli: " << TerminalText(text) << '\n';
}

}  // namespace

int RunSubmit(Model& model, const Fetcher& fetcher, const SubmitRequest& request,
              const std::string& settingsPath, std::ostream& out, std::ostream& err) {
  const Result<FileLock> turn = TakeSubmissionTurn(settingsPath, kSubmissionTurnWait);
  if (!turn) {
    Say(err, turn.error().message);
    return 1;
  }
  // Read again: a submission this one waited for has marked what it posted.
  if (const Status loaded = LoadSettings(settingsPath, model); !loaded) {
    Say(err, "cannot read settings file " + loaded.error().message);
    return 1;
  }
  // Else every machine's factors would go, where one machine's were asked for.
  if (request.machine && *request.machine >= model.Machines.size()) {
    Say(err, "machine " + std::to_string(*request.machine) + " is no longer in " + settingsPath);
    return 1;
  }
  RefreshAll(model, fetcher);
  if (request.machine) ShowMachineFactors(model, *request.machine, fetcher);
  const SubmissionStart start = BeginSubmission(model, true);
  if (!start.Snapshot) {
    // Nothing new: there is no other reason to refuse without a window.
    if (start.Message) WriteTerminalLines(out, start.Message->Text);
    return 0;
  }
  const SubmissionSnapshot& snapshot = *start.Snapshot;
  const SentSubmission sent = SendInTurn(snapshot, settingsPath);
  if (sent.Unanswered) Say(err, *sent.Unanswered);
  const auto* answer = std::get_if<SiteAnswer>(&sent.Outcome);
  const bool allVerified = answer && AllVerified(answer->Counts, snapshot.FactorCount);
  SubmissionLog log(SubmissionLogPath(settingsPath));
  const SubmissionFinish finish =
      FinishSubmission(model, snapshot, sent.Outcome,
                       request.mark && (allVerified || request.markAnyway), settingsPath, log);
  const bool saved = ReportFinishProblems(finish, err);
  if (!answer) {
    WriteTerminalLines(err, std::get<SubmissionError>(sent.Outcome).Text);
    return 1;
  }
  WriteTerminalLines(out, SiteAnswerLines(*answer));
  if (!allVerified && !finish.MarkedAsOld) {
    err << NotAllVerifiedText(answer->Counts) << '\n';
    return 1;
  }
  return saved ? 0 : 1;
}

bool ReportFinishProblems(const SubmissionFinish& finish, std::ostream& err) {
  if (finish.LogProblem) Say(err, finish.LogProblem->message);
  for (const std::string& note : finish.Notes) Say(err, note);
  if (finish.Saved) return true;
  Say(err, "marked as old, but cannot save settings file " + finish.Saved.error().message);
  return false;
}
