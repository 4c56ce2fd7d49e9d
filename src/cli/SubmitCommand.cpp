#include "cli/SubmitCommand.h"

#include "farm/Refresh.h"
#include "model/TerminalText.h"

int RunSubmit(Model& model, const Fetcher& fetcher, const SubmitRequest& request,
              const std::string& settingsPath, std::ostream& out, std::ostream& err) {
  RefreshAll(model, fetcher);
  if (request.machine) ShowMachineFactors(model, *request.machine, fetcher);
  const SubmissionStart start = BeginSubmission(model, true);
  if (!start.Snapshot) {
    // Nothing new: there is no other reason to refuse without a window.
    if (start.Message) WriteTerminalLines(out, start.Message->Text);
    return 0;
  }
  const SubmissionSnapshot& snapshot = *start.Snapshot;
  const SubmissionOutcome outcome = SendSubmissionToSite(snapshot);
  SubmissionLog log(SubmissionLogPath(settingsPath));
  const SubmissionFinish finish =
      FinishSubmission(model, snapshot, outcome, request.mark, settingsPath, log);
  const bool saved = ReportFinishProblems(finish, err);
  if (const auto* error = std::get_if<SubmissionError>(&outcome)) {
    WriteTerminalLines(err, error->Text);
    return 1;
  }
  WriteTerminalLines(out, SiteAnswerLines(std::get<SiteAnswer>(outcome)));
  return saved ? 0 : 1;
}

bool ReportFinishProblems(const SubmissionFinish& finish, std::ostream& err) {
  if (finish.LogProblem)
    err << "quillstrand-cli: " << TerminalText(finish.LogProblem->message) << '\n';
  if (finish.Saved) return true;
  err << "quillstrand-cli: marked as old, but cannot save settings file "
      << TerminalText(finish.Saved.error().message) << '\n';
  return false;
}
