#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <mutex>
#include <optional>
#include <system_error>

#include "cli/CheckCommand.h"
#include "cli/CheckedOutput.h"
#include "cli/ConfigCommand.h"
#include "cli/EqualizeCommand.h"
#include "cli/MachineOption.h"
#include "cli/MarkOldCommand.h"
#include "cli/RangesCommand.h"
#include "cli/ServeCommand.h"
#include "cli/SignalStop.h"
#include "cli/StatusCommand.h"
#include "cli/SubmitCommand.h"
#include "cli/WatchCommand.h"
#include "location/CurlFetcher.h"
#include "model/Constants.h"
#include "model/FileStamp.h"
#include "model/SettingsFile.h"
#include "model/SettingsLocation.h"
#include "model/TerminalText.h"
#include "ranges/QueueWrites.h"

namespace {

// Counts the machines read on one line of `err`; called from reading threads.
std::function<void(size_t, size_t)> ProgressLine(std::ostream& err) {
  auto lock = std::make_shared<std::mutex>();
  return [&err, lock](size_t read, size_t of) {
    const std::lock_guard guard(*lock);
    err << "\rReading machines: " << read << '/' << of << (read == of ? "\n" : "") << std::flush;
  };
}

// Adds `--machine I` to `command`. The value is kept as typed, so that a
// wrong one is named the way the user wrote it; MachineIndex reads it once
// the machines are known.
CLI::Option* AddMachineOption(CLI::App& command, std::optional<std::string>& typed,
                              const std::string& description) {
  return command.add_option("--machine", typed, description)->type_name("I");
}

// Reads the --machine option once the machines are known; false, said on
// `err`, for an index that names none.
bool ReadMachineOption(const std::optional<std::string>& typed, const Model& model,
                       std::optional<size_t>& index, std::ostream& err) {
  if (!typed) return true;
  const Result<size_t> read = MachineIndex(*typed, model.Machines.size());
  if (!read) {
    err << "quillstrand-cli: " << read.error().message << '\n';
    return false;
  }
  index = read.value();
  return true;
}

// Finishes a change of the queue files that a killed quillstrand left, so
// that the farm is read with every range queued once; what cannot be
// finished is told, and the command goes on with the files as they are.
void FinishQueueChange(const std::string& settingsPath, std::ostream& err) {
  if (const Status finished = FinishQueueWrites(QueueIntentPath(settingsPath)); !finished)
    err << "quillstrand-cli: a change of the queued range files that was cut short could not be "
           "finished: "
        << TerminalText(finished.error().message) << '\n';
}

int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
               bool showProgress) {
  CLI::App app{
      std::string(kAppName) + " " + kVersion + ": the sieve farm administrator, without a window",
      "quillstrand-cli"};
  std::string settingsPath;
  const CLI::Option* configOption =
      app.add_option("--config", settingsPath,
                     std::string("Settings file to use (default: ") + kDefaultSettingsHelp + ")")
          ->type_name("FILE");
  app.set_version_flag("--version", std::string(kAppName) + " " + kVersion);
  app.require_subcommand(1);
  CLI::App* config =
      app.add_subcommand("config", "Print the settings and machines of the settings file");
  CLI::App* status = app.add_subcommand(
      "status", "Refresh every machine and print the machine list and the new factors");
  StatusRequest request;
  status->add_flag("--json", request.json, "Print one JSON object");
  std::optional<std::string> statusMachine;
  AddMachineOption(*status, statusMachine,
                   "Show the factors of the machine with this index (from 0) alone");
  CLI::App* check = app.add_subcommand(
      "check",
      "Refresh once and print the farm's health on one line, for monitoring: exit 0 OK, "
      "1 WARNING, 2 CRITICAL, 3 UNKNOWN");
  CLI::App* ranges = app.add_subcommand("ranges", "Print every machine's queued ranges");
  bool rangesJson = false;
  ranges->add_flag("--json", rangesJson, "Print one JSON object");
  CLI::App* equalize = app.add_subcommand(
      "equalize", "Refresh, then hand every queued range out again by the machines' speeds");
  EqualizeRequest equalizeRequest;
  equalize->add_flag("--yes", equalizeRequest.yes, "Fix ranges that overlap without asking");
  equalize->add_flag("--dry-run", equalizeRequest.dryRun, "Write no queued range file");
  equalize->add_flag("--json", equalizeRequest.json, "Print one JSON object");

  CLI::App* submit = app.add_subcommand(
      "submit", "Refresh every machine and submit the new factors to the project site");
  SubmitRequest submitRequest;
  std::optional<std::string> submitMachine;
  AddMachineOption(*submit, submitMachine,
                   "Submit the new factors of the machine with this index (from 0) alone");
  bool noMark = false;
  submit->add_flag("--no-mark", noMark, "Leave the submitted factors new");
  submit->add_flag("--mark-anyway", submitRequest.markAnyway,
                   "Mark the submitted factors as old even when the site verified fewer of them "
                   "than were posted");
  CLI::App* markOld =
      app.add_subcommand("mark-old", "Refresh every machine and mark the new factors as old");
  std::optional<std::string> markOldMachine;
  AddMachineOption(*markOld, markOldMachine,
                   "Mark the new factors of the machine with this index (from 0) alone");
  CLI::App* watch = app.add_subcommand(
      "watch",
      "Refresh, and submit when AutoSubmit is on, at once and every AutoTimerInterval minutes");
  WatchRequest watchRequest;
  watch->add_option("--ticks", watchRequest.ticks, "End after this many ticks")
      ->check(CLI::PositiveNumber)
      ->type_name("N");
  CLI::App* serve = app.add_subcommand(
      "serve",
      "Refresh every AutoTimerInterval minutes and serve the last reading over HTTP, read-only: "
      "a dashboard at /, the status --json document at /status.json, Prometheus metrics at "
      "/metrics and /healthz; submits nothing and writes nothing");
  ServeRequest serveRequest;
  serve
      ->add_option("--listen", serveRequest.listen,
                   "Address and port to listen on, ADDRESS:PORT ([::1]:PORT for IPv6; port 0 "
                   "takes a free one); an address other computers reach needs --token-file")
      ->type_name("ADDRESS:PORT")
      ->capture_default_str();
  serve
      ->add_option("--token-file", serveRequest.tokenFile,
                   "File holding a token that every request must bear, as the header "
                   "'Authorization: Bearer TOKEN'")
      ->type_name("FILE");
  serve
      ->add_option("--every", serveRequest.every,
                   "Refresh every SECONDS instead of every AutoTimerInterval minutes")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? 0 : 2;
  }

  if (configOption->count() == 0) {
    settingsPath = DefaultSettingsPath();
  } else if (!StampFile(settingsPath).Exists) {
    // A mistyped path must not pass for an empty farm: only the commands
    // that may create the file go on without it.
    const std::string missing = TerminalText(settingsPath) + ": no such settings file";
    if (check->parsed()) {
      out << "UNKNOWN: " << missing << '\n';
      return kCheckUnknown;
    }
    for (const CLI::App* command : {status, ranges, equalize, submit, markOld, watch}) {
      if (command->parsed()) {
        err << "quillstrand-cli: " << missing << '\n';
        return 1;
      }
    }
    err << "quillstrand-cli: " << settingsPath
        << " does not exist; it will be created at the first save\n";
  }
  Model model;
  std::string warning;
  if (const Status loaded = LoadSettings(settingsPath, model, &warning); !loaded) {
    const std::string why = "cannot read settings file " + TerminalText(loaded.error().message);
    // A monitoring system reads the check's one line and its code alone.
    if (check->parsed()) {
      out << "UNKNOWN: " << why << '\n';
      return kCheckUnknown;
    }
    err << "quillstrand-cli: " << why << '\n';
    return 2;
  }
  if (!warning.empty()) err << "quillstrand-cli: warning: " << TerminalText(warning) << '\n';
  if (!config->parsed()) FinishQueueChange(settingsPath, err);
  if (config->parsed()) PrintConfig(settingsPath, model, out);
  if (status->parsed()) {
    if (!ReadMachineOption(statusMachine, model, request.machine, err)) return 2;
    RefreshOptions options;
    if (showProgress) options.progress = ProgressLine(err);
    RunStatus(model, CurlFetcher(), request, options, out, err);
  }
  if (check->parsed()) return RunCheck(model, CurlFetcher(), out);
  if (ranges->parsed()) RunRanges(model, rangesJson, out, err);
  if (equalize->parsed()) {
    RefreshOptions options;
    if (showProgress) options.progress = ProgressLine(err);
    return RunEqualize(model, CurlFetcher(), equalizeRequest, settingsPath, options, out, err);
  }
  if (submit->parsed()) {
    if (!ReadMachineOption(submitMachine, model, submitRequest.machine, err)) return 2;
    submitRequest.mark = !noMark;
    return RunSubmit(model, CurlFetcher(), submitRequest, settingsPath, out, err);
  }
  if (markOld->parsed()) {
    std::optional<size_t> machine;
    if (!ReadMachineOption(markOldMachine, model, machine, err)) return 2;
    return RunMarkOld(model, CurlFetcher(), machine, settingsPath, out, err);
  }
  if (watch->parsed()) {
    std::stop_source stop;
    const SignalStop signals(stop);
    return RunWatch(model, CurlFetcher(), watchRequest, settingsPath, stop.get_token(), out, err);
  }
  if (serve->parsed()) {
    std::stop_source stop;
    const SignalStop signals(stop);
    return RunServe(model, CurlFetcher(), serveRequest, stop.get_token(), out, err);
  }
  return 0;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool showProgress) {
  CheckedOutput checked(out);
  const int code = RunCommand(argc, argv, checked.stream(), err, showProgress);
  if (const int error = checked.Finish(); error != 0) {
    err << "quillstrand-cli: cannot write the output: " << std::generic_category().message(error)
        << '\n';
    return 2;
  }
  return code;
}
