#include "cli/SubmitCommand.h"

#include <algorithm>
#include <iterator>

#include "farm/Refresh.h"

int RunSubmit(Model& model, const Fetcher& fetcher, const SubmitRequest& request,
              const std::string& settingsPath, std::ostream& out, std::ostream& err) {
  RefreshAll(model, fetcher);
  if (request.machine) ShowMachineFactors(model, *request.machine, fetcher);
  const SubmissionStart start = BeginSubmission(model, true);
  if (!start.Snapshot) {
    // Nothing new: there is no other reason to refuse without a window.
    if (start.Message) out << start.Message->Text << '\n';
    return 0;
  }
  const SubmissionSnapshot& snapshot = *start.Snapshot;
  const SubmissionOutcome outcome = SendSubmissionToSite(snapshot);
  SubmissionLog log(SubmissionLogPath(settingsPath));
  const SubmissionFinish finish =
      FinishSubmission(model, snapshot, outcome, request.mark, settingsPath, log);
  const bool saved = ReportFinishProblems(finish, err);
  if (const auto* error = std::get_if<SubmissionError>(&outcome)) {
    err << WithLineFeeds(error->Text) << '\n';
    return 1;
  }
  out << WithLineFeeds(SiteAnswerLines(std::get<SiteAnswer>(outcome)));
  return saved ? 0 : 1;
}

bool ReportFinishProblems(const SubmissionFinish& finish, std::ostream& err) {
  if (finish.LogProblem) err << "quillstrand-cli: " << finish.LogProblem->message << '\n';
  if (finish.Saved) return true;
  err << "quillstrand-cli: marked as old, but cannot save settings file "
      << finish.Saved.error().message << '\n';
  return false;
}

std::string WithLineFeeds(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  std::copy_if(text.begin(), text.end(), std::back_inserter(plain),
               [](char c) { return c != '\r'; });
  return plain;
}
