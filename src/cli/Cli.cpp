#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <mutex>

#include "cli/ConfigCommand.h"
#include "cli/EqualizeCommand.h"
#include "cli/MachineOption.h"
#include "cli/RangesCommand.h"
#include "cli/StatusCommand.h"
#include "location/CurlFetcher.h"
#include "model/Constants.h"
#include "model/SettingsFile.h"

namespace {

// Counts the machines read on one line of `err`; called from reading threads.
std::function<void(size_t, size_t)> ProgressLine(std::ostream& err) {
  auto lock = std::make_shared<std::mutex>();
  return [&err, lock](size_t read, size_t of) {
    const std::lock_guard guard(*lock);
    err << "\rReading machines: " << read << '/' << of << (read == of ? "\n" : "") << std::flush;
  };
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool showProgress) {
  CLI::App app{
      std::string(kAppName) + " " + kVersion + ": the sieve farm administrator, without a window",
      "quillstrand-cli"};
  std::string settingsPath = kSettingsFileName;
  app.add_option("--config", settingsPath, "Settings file to use")->capture_default_str();
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
  CLI::App* ranges = app.add_subcommand("ranges", "Print every machine's queued ranges");
  bool rangesJson = false;
  ranges->add_flag("--json", rangesJson, "Print one JSON object");
  CLI::App* equalize = app.add_subcommand(
      "equalize", "Refresh, then hand every queued range out again by the machines' speeds");
  EqualizeRequest equalizeRequest;
  equalize->add_flag("--yes", equalizeRequest.yes, "Fix ranges that overlap without asking");
  equalize->add_flag("--dry-run", equalizeRequest.dryRun, "Write no queued range file");
  equalize->add_flag("--json", equalizeRequest.json, "Print one JSON object");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? 0 : 2;
  }

  Model model;
  if (const Status loaded = LoadSettings(settingsPath, model); !loaded) {
    err << "quillstrand-cli: cannot read settings file " << loaded.error().message << '\n';
    return 2;
  }
  if (config->parsed()) PrintConfig(settingsPath, model, out);
  if (status->parsed()) {
    if (statusMachine) {
      const Result<size_t> index = MachineIndex(*statusMachine, model.Machines.size());
      if (!index) {
        err << "quillstrand-cli: " << index.error().message << '\n';
        return 2;
      }
      request.machine = index.value();
    }
    RefreshOptions options;
    if (showProgress) options.progress = ProgressLine(err);
    RunStatus(model, CurlFetcher(), request, options, out, err);
  }
  if (ranges->parsed()) RunRanges(model, rangesJson, out, err);
  if (equalize->parsed()) {
    RefreshOptions options;
    if (showProgress) options.progress = ProgressLine(err);
    return RunEqualize(model, CurlFetcher(), equalizeRequest, options, out, err);
  }
  return 0;
}
