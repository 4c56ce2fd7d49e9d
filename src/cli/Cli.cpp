#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include "cli/ConfigCommand.h"
#include "model/Constants.h"
#include "model/SettingsFile.h"

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      std::string(kAppName) + " " + kVersion + ": the sieve farm administrator, without a window",
      "quillstrand-cli"};
  std::string settingsPath = kSettingsFileName;
  app.add_option("--config", settingsPath, "Settings file to use")->capture_default_str();
  app.require_subcommand(1);
  CLI::App* config =
      app.add_subcommand("config", "Print the settings and machines of the settings file");

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
  return 0;
}
