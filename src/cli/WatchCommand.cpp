#include "cli/WatchCommand.h"

#include <algorithm>
#include <chrono>

#include "cli/SignalStop.h"
#include "cli/SubmitCommand.h"
#include "farm/Automation.h"
#include "farm/Health.h"
#include "farm/Refresh.h"
#include "model/FileStamp.h"
#include "model/SettingsFile.h"
#include "model/TerminalText.h"
#include "monitor/MachineRow.h"
#include "submit/Submission.h"

namespace {

size_t MachinesRead(const Model& model) {
  return static_cast<size_t>(
      std::count_if(model.Machines.begin(), model.Machines.end(),
                    [](const Machine& machine) { return UnreadFiles(machine).empty(); }));
}

std::string OutcomeText(const SubmissionOutcome& outcome, const SubmissionFinish& finish) {
  if (const auto* error = std::get_if<SubmissionError>(&outcome))
    return "submission failed: " + OnOneLine(error->Text);
  const SiteCounts& counts = std::get<SiteAnswer>(outcome).Counts;
  return "submitted: verified " + std::to_string(counts.Verified) + " of " +
         std::to_string(counts.Total) + ", new " + std::to_string(counts.New) + " of " +
         std::to_string(counts.Total) + (finish.MarkedAsOld ? ", marked as old" : "");
}

class Watch {
 public:
  Watch(Model& model, const Fetcher& fetcher, const std::string& settingsPath, std::stop_token stop,
        std::ostream& out, std::ostream& err)
      : model_(model),
        fetcher_(fetcher),
        settingsPath_(settingsPath),
        stop_(std::move(stop)),
        out_(out),
        err_(err),
        log_(SubmissionLogPath(settingsPath)),
        settingsStamp_(StampFile(settingsPath)) {}

  void Tick(int number) {
    ReadSettingsAgain();
    RefreshAll(model_, fetcher_);
    const std::string time = UtcTimeText(std::chrono::system_clock::now());
    const std::vector<MachineHealth> health = FarmHealth(model_, UnixNow());
    out_ << time << " tick " << number << ": " << MachinesRead(model_) << " of "
         << model_.Machines.size() << " machines read, " << model_.NewFactorCount
         << " new factors, " << TerminalText(Submit()) << std::endl;
    for (const std::string& warning : warnings_.NewWarnings(model_.Machines, health))
      out_ << time << " warning: " << TerminalText(warning) << std::endl;
  }

 private:
  // The file may have been changed since it was read, by hand or by another
  // process of this program: what it holds now is what the tick works on, so
  // that a machine added meanwhile is watched and never saved away. A file
  // that cannot be read leaves the farm as it was.
  void ReadSettingsAgain() {
    const FileStamp now = StampFile(settingsPath_);
    if (!ChangedSince(settingsStamp_, now)) return;
    Model read;
    std::string warning;
    if (const Status loaded = LoadSettings(settingsPath_, read, &warning); !loaded) {
      err_ << "quillstrand-cli: cannot read settings file " << TerminalText(loaded.error().message)
           << '\n';
      return;
    }
    if (!warning.empty()) err_ << "quillstrand-cli: warning: " << TerminalText(warning) << '\n';
    settingsStamp_ = now;
    model_.Options = std::move(read.Options);
    if (SameMachines(model_.Machines, read.Machines)) {
      for (size_t i = 0; i < read.Machines.size(); ++i)
        model_.Machines[i].LastOldFactor = read.Machines[i].LastOldFactor;
      return;
    }
    ReplaceMachines(model_, std::move(read.Machines));
  }

  std::string Submit() {
    if (!model_.Options.AutoSubmit) return "not submitted (AutoSubmit is off)";
    if (stop_.stop_requested()) return "stopped before submitting";
    const SubmissionStart start = BeginSubmission(model_, false);
    if (!start.Snapshot) return "nothing to submit";
    const SubmissionSnapshot& snapshot = *start.Snapshot;
    const TurnTaken taken = SendWhenItsTurn(snapshot, settingsPath_, kSubmissionTurnWait, stop_);
    if (taken.Sent.Unanswered)
      err_ << "quillstrand-cli: " << TerminalText(*taken.Sent.Unanswered) << std::endl;
    const SubmissionOutcome& outcome = taken.Sent.Outcome;
    const SubmissionFinish finish =
        FinishSubmission(model_, snapshot, outcome, false, settingsPath_, log_);
    // The window's error box, unless IgnoreErrors keeps it back.
    if (const auto message = OutcomeMessage(snapshot, outcome))
      WriteTerminalLines(err_, message->Text);
    ReportFinishProblems(finish, err_);
    return OutcomeText(outcome, finish);
  }

  Model& model_;
  const Fetcher& fetcher_;
  const std::string& settingsPath_;
  std::stop_token stop_;
  std::ostream& out_;
  std::ostream& err_;
  SubmissionLog log_;
  // The settings file as last read (the model came from it just before).
  FileStamp settingsStamp_;
  // What the ticks warned of; a machine the settings file keeps through a
  // change of it is still the one warned of.
  WarningMemory warnings_;
};

}  // namespace

int RunWatch(Model& model, const Fetcher& fetcher, const WatchRequest& request,
             const std::string& settingsPath, std::stop_token stop, std::ostream& out,
             std::ostream& err) {
  Watch watch(model, fetcher, settingsPath, stop, out, err);
  // The first tick comes at once: whoever starts a watch wants to see the
  // farm now, not after a day's interval.
  for (int tick = 1; !request.ticks || tick <= *request.ticks; ++tick) {
    // The interval as the settings file said at the last tick.
    if (tick > 1 && !WaitFor(AutoTimerPeriod(model.Options, AutomationMinute()), stop)) break;
    watch.Tick(tick);
  }
  return 0;
}
