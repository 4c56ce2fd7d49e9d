// Writes a fake farm into a folder: machine folders with the files of a
// sieve client, and a quillstrand.ini that names them, so that the program
// can be tried and shown without real sieve clients.

#include <CLI/CLI.hpp>
#include <iostream>

#include "FakeFarm.h"
#include "model/SettingsFile.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a fake farm of sieve clients and a quillstrand.ini for it",
               "quillstrand-demo-farm"};
  std::filesystem::path dir;
  size_t machines = 6;
  FakeMachineSize size;
  app.add_option("dir", dir, "Folder to write into")->required();
  app.add_option("--machines", machines, "How many machines")->capture_default_str();
  app.add_option("--status-lines", size.statusLines, "Lines of each status file")
      ->capture_default_str();
  app.add_option("--factor-lines", size.factorLines, "Lines of each factor file")
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  Model model;
  for (size_t i = 0; i < machines; ++i) model.Machines.push_back(WriteFakeMachine(dir, i, size));
  // One machine that is switched off, to show how a farm with a fault looks.
  model.Machines.push_back(Machine("offline", (dir / "offline/fact.txt").string(),
                                   (dir / "offline/QsvStatus.dat").string(), 0));
  const std::string settings = (dir / kSettingsFileName).string();
  if (const Status saved = SaveSettings(settings, model); !saved) {
    std::cerr << "quillstrand-demo-farm: " << saved.error().message << '\n';
    return 1;
  }
  std::cout << "Wrote " << machines << " machines and " << settings << '\n';
  return 0;
}
