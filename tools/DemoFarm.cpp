// Writes a farm of sieve clients into a folder, with a quillstrand.ini that
// names its machines, so that the program can be tried and shown without
// real sieve clients: a still farm of fake files, or, with --live, the
// starting files of a farm that quillstrand-sieve-client brings to life.

#include <CLI/CLI.hpp>
#include <chrono>
#include <filesystem>
#include <iostream>

#include "FakeFarm.h"
#include "SieveClient.h"
#include "SieveClientFiles.h"
#include "model/Constants.h"
#include "model/Files.h"
#include "model/SettingsFile.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kG = 1'000'000'000;
// The folder whose client serves it over http; the one started first.
constexpr char kWatchedMachine[] = "over-http";
// The folder no client is started for: its status file stopped long ago.
constexpr char kStalledMachine[] = "stalled";
// Nothing listens on port 1 of a normal machine, and only root could.
constexpr char kUnreachableUrl[] = "http://127.0.0.1:1/";

struct LiveOptions {
  std::string watchedUrl;  // with a trailing "/"; the local folder when empty
  std::string username = "demo";
  std::string password = "demo";
};

// A machine of the living farm as it is laid: its speed, its queue, and how
// far into its first range it has come (1 for done, 0 for not begun).
struct LiveMachine {
  const char* name;
  uint32_t rate;  // kp/s
  std::vector<Range> queue;
  double share;
};

std::vector<Range> RangesOfTwoG(uint64_t firstG, int count) {
  std::vector<Range> ranges;
  for (int i = 0; i < count; ++i)
    ranges.push_back({(firstG + 2 * i) * kG, (firstG + 2 * i + 2) * kG});
  return ranges;
}

// Ranges of 2 G at 7000 to 18000 kp/s last two to five minutes.
std::vector<LiveMachine> LiveMachines() {
  return {
      {"fast", 18000, RangesOfTwoG(1200, 4), 0.4},
      {kWatchedMachine, 10000, RangesOfTwoG(1300, 3), 0},
      {"running-dry", 7000, RangesOfTwoG(1400, 1), 0.8},
      {"finished", 9000, RangesOfTwoG(1500, 1), 1},
      {kStalledMachine, 8000, RangesOfTwoG(1600, 2), 0.5},
  };
}

// The machine's files as its client would have written them by now: it is
// run tick by tick until it has come far enough into its first range. A
// machine not begun gets its queue alone, for its client is running already.
Result<Machine> LayLiveMachine(const fs::path& folder, const LiveMachine& plan, uint64_t seed) {
  std::error_code created;
  fs::create_directories(folder, created);
  if (created) return Error{folder.string() + ": " + created.message(), created.value()};
  const std::string queue = (folder / kQueueFileName).string();
  if (const Status written = WriteFileAtomically(queue, FormatQueuedRanges(plan.queue)); !written)
    return written.error();
  const std::string statusPath = (folder / kStatusFileName).string();
  const std::string factorPath = (folder / "fact.txt").string();
  Machine machine(plan.name, factorPath, statusPath, 0);
  if (plan.share == 0) return machine;

  SieveClient client(folder, {.rate = plan.rate, .seed = seed});
  const Range& first = plan.queue.front();
  const auto reached =
      first.Pmin + static_cast<uint64_t>(plan.share * double(first.Pmax - first.Pmin));
  StatusReading status;
  do {
    if (const Status ticked = client.Tick(); !ticked) return ticked.error();
    const Result<std::string> text = ReadWholeFile(statusPath);
    if (!text) return text.error();
    status = ParseStatusFile(text.value(), 1);
  } while (!status.Done && status.CurrentP < reached);

  // The factors found so far were submitted before: those found from now
  // on come up as new.
  std::string newText;
  const Result<std::string> factors = ReadWholeFile(factorPath);
  if (!factors) return factors.error();
  machine.LastOldFactor =
      ScanFactorFile(factors.value(), 0, 0, 0, newText, nullptr).Mark.value_or(0);
  if (plan.name == std::string_view(kStalledMachine)) {
    std::error_code aged;
    fs::last_write_time(statusPath, fs::file_time_type::clock::now() - std::chrono::hours(2),
                        aged);
    if (aged) return Error{statusPath + ": " + aged.message(), aged.value()};
  }
  return machine;
}

Status WriteLiveFarm(const fs::path& dir, const LiveOptions& options) {
  Model model;
  uint64_t seed = 1;
  for (const LiveMachine& plan : LiveMachines()) {
    Result<Machine> machine = LayLiveMachine(dir / plan.name, plan, seed++);
    if (!machine) return machine.error();
    if (plan.name == std::string_view(kWatchedMachine) && !options.watchedUrl.empty()) {
      machine.value().StatusPath = options.watchedUrl + kStatusFileName;
      machine.value().FactorPath = options.watchedUrl + "fact.txt";
    }
    model.Machines.push_back(std::move(machine.value()));
  }
  model.Machines.push_back(Machine("unreachable", std::string(kUnreachableUrl) + "fact.txt",
                                   std::string(kUnreachableUrl) + kStatusFileName, 0));

  Settings& settings = model.Options;
  settings.Login = true;
  settings.Username = options.username;
  settings.Password = options.password;
  settings.AutoRefresh = true;
  settings.AutoTimerInterval = 3;     // minutes that the demo shortens to seconds
  settings.LaunchCopyNewURL = false;  // the project's page is not part of the demo
  return SaveSettings((dir / kSettingsFileName).string(), model);
}

Status WriteStillFarm(const fs::path& dir, size_t machines, const FakeMachineSize& size) {
  Model model;
  for (size_t i = 0; i < machines; ++i) model.Machines.push_back(WriteFakeMachine(dir, i, size));
  // One machine that is switched off, to show how a farm with a fault looks.
  model.Machines.push_back(Machine("offline", (dir / "offline/fact.txt").string(),
                                   (dir / "offline" / kStatusFileName).string(), 0));
  return SaveSettings((dir / kSettingsFileName).string(), model);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Writes a farm of sieve clients and a quillstrand.ini for it",
               "quillstrand-demo-farm"};
  fs::path dir;
  size_t machines = 6;
  FakeMachineSize size;
  bool live = false;
  LiveOptions liveOptions;
  app.add_option("dir", dir, "Folder to write into")->required();
  app.add_option("--machines", machines, "How many machines")->capture_default_str();
  app.add_option("--status-lines", size.statusLines, "Lines of each status file")
      ->capture_default_str();
  app.add_option("--factor-lines", size.factorLines, "Lines of each factor file")
      ->capture_default_str();
  app.add_flag("--live", live,
               "Lay the starting files of a living farm instead, one folder per "
               "quillstrand-sieve-client to run in it");
  app.add_option("--watched-url", liveOptions.watchedUrl,
                 std::string("With --live: where the client of folder ") + kWatchedMachine +
                     " serves it, as http://HOST:PORT/");
  app.add_option("--username", liveOptions.username, "With --live: the project site's user")
      ->capture_default_str();
  app.add_option("--password", liveOptions.password, "With --live: that user's password")
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  // Absolute, so that the farm can be read from any folder, its own too.
  dir = fs::absolute(dir).lexically_normal();
  const Status written =
      live ? WriteLiveFarm(dir, liveOptions) : WriteStillFarm(dir, machines, size);
  if (!written) {
    std::cerr << "quillstrand-demo-farm: " << written.error().message << '\n';
    return 1;
  }
  std::cout << "Wrote " << (live ? "a living farm" : "a still farm") << " and "
            << (dir / kSettingsFileName).string() << '\n';
  return 0;
}
