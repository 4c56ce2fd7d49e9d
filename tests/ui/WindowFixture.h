#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "location/CurlFetcher.h"
#include "location/Fetcher.h"
#include "session/FarmSession.h"
#include "support/TempDir.h"
#include "ui/CQuillstrandDlg.h"

class Prompter;

// A factor line as a sieve client writes it, with the p given.
std::string FactorLine(uint64_t p);
// Factor lines for each p, each ending in `lineEnd`.
std::string FactorLines(const std::vector<uint64_t>& ps, const char* lineEnd = "\n");

// A farm of machines whose files lie in a temporary folder, one folder per
// machine, and the settings file that lists them.
class TestFarm {
 public:
  // Writes the machine's status and factor files and lists it.
  void addLocal(const std::string& name, const std::string& status, const std::string& factors,
                uint64_t lastOldFactor = 0);
  // Lists a machine whose files lie elsewhere (a URL, a missing file).
  void addRemote(const std::string& name, const std::string& statusPath,
                 const std::string& factorPath, uint64_t lastOldFactor = 0);
  // Writes the settings file listing every machine added and gives its path.
  std::string writeSettings(const std::string& name = "quillstrand.ini") const;
  // The options those settings hold: the defaults, with the username the
  // stand-in site knows.
  static Settings options();

  std::string factorPath(size_t machine) const { return machines_.at(machine).FactorPath; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  MachineTable machines_;
};

// Three machines with 2, 0 and 3 new factors among 4, 2 and 4 factor lines.
struct StandardFarm {
  static constexpr uint64_t kAlpha[] = {100000000003, 100000000019, 100000000057, 100000000069};
  static constexpr uint64_t kBeta[] = {120000000007, 120000000031};
  static constexpr uint64_t kGamma[] = {140000000011, 140000000027, 140000000039, 140000000047};
  static const char kStatus[];

  StandardFarm();
  // Alpha's last two lines and gamma's last three: the farm's new factors.
  static QString NewFactorsShown();

  TestFarm farm;
  std::string settingsPath;
};

// The program's window over a settings file, built and started as main()
// does, with the first refresh under way.
class OpenWindow {
 public:
  OpenWindow(const std::string& settingsPath, Prompter& prompter,
             std::shared_ptr<const Fetcher> fetcher = std::make_shared<CurlFetcher>());

  // Waits until the session's background work has ended and its results
  // are applied; false if it did not end.
  bool settle();
  // Clicks row `row` of the machine list; false if there is none.
  bool clickRow(int row);
  // Clicks row `row` and waits for its factors.
  bool clickMachine(int row) { return clickRow(row) && settle(); }

  template <typename T>
  T* find(const char* name) const {
    return window.findChild<T*>(name);
  }
  QString paneText(const char* name) const;
  QString newFactorsLabel() const;

  FarmSession session;
  CQuillstrandDlg window;
};

// The text a pane shows for factor lines that end in CR LF in the model.
QString Shown(const QString& modelText);
