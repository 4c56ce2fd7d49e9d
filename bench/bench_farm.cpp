// How long one refresh of a whole farm takes, and how much memory it needs.
//
// The farm is written into a temporary folder: half of its machines are
// read as local files, the other half over http from a local server that
// delays every answer, as a real network would. Reported:
//  - the refresh of the whole farm;
//  - the refresh of the local machines alone, beside `cat` of their files;
//  - a farm of small files, all over http, where only the latency counts;
//  - the memory a refresh takes beside the size of the files it reads;
//  - a farm on one small, busy web server;
//  - farms whose one host never answers, drops connections or trickles,
//    which only the fetcher's limits end (each refresh run once, as the
//    limits of a real refresh make it long).
#include <sys/resource.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "FakeFarm.h"
#include "farm/Refresh.h"
#include "location/CurlFetcher.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kBytes[] = "application/octet-stream";

struct FarmOptions {
  size_t machines = 200;
  double httpShare = 0.5;
  FakeMachineSize size{50'000, 20'000};
  int latencyMs = 100;
  int repeat = 3;
  size_t parallel = RefreshOptions{}.parallel;
  bool skipHostile = false;
};

struct Farm {
  Model model;
  Model localOnly;
  std::vector<std::string> localFiles;
  size_t bytes = 0;
};

// Each machine at a host name of its own, as in a real farm, though one
// server answers them all: curl takes every name under "localhost" for
// the loopback address.
std::string MachineUrl(const HttpTestServer& server, size_t machine, const std::string& path) {
  return "http://m" + std::to_string(machine) + ".localhost:" + std::to_string(server.port()) +
         path;
}

// Machine i is served over http when it falls in the http share.
Farm MakeFarm(const FarmOptions& options, const TempDir& dir, HttpTestServer& server) {
  Farm farm;
  const size_t httpMachines = static_cast<size_t>(options.machines * options.httpShare);
  for (size_t i = 0; i < options.machines; ++i) {
    if (i < httpMachines) {
      FakeMachineFiles files = MakeFakeMachine(i, options.size);
      farm.bytes += files.status.size() + files.factors.size();
      const std::string folder = "/" + files.name + "/";
      // Served as bytes: the test server would compress text, at a cost of
      // its own that no sieve client's server needs to have.
      server.serve(folder + "QsvStatus.dat", std::move(files.status), 200, kBytes);
      server.serve(folder + "fact.txt", std::move(files.factors), 200, kBytes);
      farm.model.Machines.push_back(Machine(files.name, MachineUrl(server, i, folder + "fact.txt"),
                                            MachineUrl(server, i, folder + "QsvStatus.dat"),
                                            files.middleFactor));
    } else {
      const Machine machine = WriteFakeMachine(dir.path(), i, options.size);
      for (const std::string& path : {machine.StatusPath, machine.FactorPath}) {
        farm.localFiles.push_back(path);
        farm.bytes += std::filesystem::file_size(path);
      }
      farm.model.Machines.push_back(machine);
      farm.localOnly.Machines.push_back(machine);
    }
  }
  return farm;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// The median time of `repeat` runs of `run`, after one run that warms the
// page cache.
template <typename Run>
double MedianSeconds(int repeat, const Run& run) {
  run();
  std::vector<double> times;
  for (int i = 0; i < repeat; ++i) {
    const auto start = Clock::now();
    run();
    times.push_back(Seconds(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

double RefreshSeconds(Model model, const Fetcher& fetcher, const FarmOptions& options) {
  return MedianSeconds(options.repeat, [&] {
    if (!RefreshAll(model, fetcher, {.parallel = options.parallel, .progress = {}}))
      throw std::logic_error("refresh refused");
  });
}

double CatSeconds(const std::vector<std::string>& files, int repeat) {
  std::string command = "cat";
  for (const std::string& file : files) command += " '" + file + "'";
  command += " > /dev/null";
  return MedianSeconds(repeat, [&] {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cat failed");
  });
}

double OnceSeconds(Model model, const Fetcher& fetcher) {
  const auto start = Clock::now();
  if (!RefreshAll(model, fetcher)) throw std::logic_error("refresh refused");
  return Seconds(Clock::now() - start);
}

// `machines` machines whose files lie under one host, as `url` names them.
template <typename Url>
Model MachinesOnOneHost(size_t machines, const Url& url) {
  Model model;
  for (size_t i = 0; i < machines; ++i) {
    const std::string folder = "/m" + std::to_string(i) + "/";
    model.Machines.push_back(Machine("m" + std::to_string(i), url(folder + "fact.txt"),
                                     url(folder + "QsvStatus.dat"), 0));
  }
  return model;
}

// Farms on one host that never answers, drops connections or trickles
// three bytes a second (for 90 s a file), under the fetcher's default
// limits.
void TimeHostileHosts(const Fetcher& fetcher) {
  const SilentServer silent;
  const auto silentUrl = [&](const std::string& path) { return silent.url(path); };
  std::printf("refresh of 100 machines on a silent host:    %.1f s\n",
              OnceSeconds(MachinesOnOneHost(100, silentUrl), fetcher));

  const DroppingServer dropping;
  const auto droppingUrl = [&](const std::string& path) { return dropping.url(path); };
  std::printf("refresh of 100 machines on a dropping host:  %.1f s\n",
              OnceSeconds(MachinesOnOneHost(100, droppingUrl), fetcher));

  constexpr size_t kTricklingMachines = 10;
  HttpTestServer trickling(2 * kTricklingMachines);
  const auto tricklingUrl = [&](const std::string& path) {
    trickling.serveTrickle(path, std::string(270, '1'), 3, std::chrono::seconds(1));
    return trickling.url(path);
  };
  std::printf("refresh of %zu machines on a trickling host:  %.1f s\n", kTricklingMachines,
              OnceSeconds(MachinesOnOneHost(kTricklingMachines, tricklingUrl), fetcher));
}

// 100 machines on one small web server with a listen queue of 5 that
// takes 50 ms over each answer and closes the connection after it: a busy
// host, whose files are all to be read.
void TimeBusyHost(const Fetcher& fetcher) {
  constexpr size_t kMachines = 100;
  BusyServer busy(5, std::chrono::milliseconds(50), false);
  Model model;
  for (size_t i = 0; i < kMachines; ++i) {
    FakeMachineFiles files = MakeFakeMachine(i, {50, 20});
    const std::string folder = "/" + files.name + "/";
    busy.serve(folder + "QsvStatus.dat", std::move(files.status));
    busy.serve(folder + "fact.txt", std::move(files.factors));
    model.Machines.push_back(Machine(files.name, busy.url(folder + "fact.txt"),
                                     busy.url(folder + "QsvStatus.dat"), files.middleFactor));
  }
  const auto start = Clock::now();
  if (!RefreshAll(model, fetcher)) throw std::logic_error("refresh refused");
  const double seconds = Seconds(Clock::now() - start);
  const auto unread = std::count_if(
      model.Machines.begin(), model.Machines.end(),
      [](const Machine& m) { return !m.StatusError.empty() || !m.FactorError.empty(); });
  std::printf("refresh of %zu machines on one busy host:   %.1f s, %td of them not read\n",
              kMachines, seconds, unread);
}

size_t PeakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

double Megabytes(size_t bytes) { return static_cast<double>(bytes) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  FarmOptions options;
  CLI::App app{"Times the refresh of a generated farm", "bench_farm"};
  app.allow_extras();  // ./dev bench hands every benchmark the same arguments
  app.add_option("--machines", options.machines)->capture_default_str();
  app.add_option("--http-share", options.httpShare, "Share of machines read over http")
      ->capture_default_str();
  app.add_option("--status-lines", options.size.statusLines)->capture_default_str();
  app.add_option("--factor-lines", options.size.factorLines)->capture_default_str();
  app.add_option("--latency-ms", options.latencyMs, "Delay of every http answer")
      ->capture_default_str();
  app.add_option("--repeat", options.repeat)->capture_default_str();
  app.add_option("--parallel", options.parallel, "Local files read at once")->capture_default_str();
  app.add_flag("--skip-hostile", options.skipHostile,
               "Leave out the hosts that never answer, drop connections or trickle");
  CLI11_PARSE(app, argc, argv);

  TempDir dir;
  // Answers every file at once, as the machines of a farm, each serving its
  // own, would.
  HttpTestServer server(2 * options.machines);
  server.setDelay(std::chrono::milliseconds(options.latencyMs));
  const Farm farm = MakeFarm(options, dir, server);
  const CurlFetcher fetcher;
  std::printf("farm: %zu machines, %.0f%% over http with %d ms latency, %.1f MB of files\n",
              options.machines, 100 * options.httpShare, options.latencyMs, Megabytes(farm.bytes));

  const size_t residentBefore = PeakResidentBytes();
  const double whole = RefreshSeconds(farm.model, fetcher, options);
  const size_t refreshPeak = PeakResidentBytes() - residentBefore;
  std::printf("refresh of the whole farm:      %.3f s\n", whole);
  std::printf("memory of a refresh:            %.1f MB (%.2f times the files)\n",
              Megabytes(refreshPeak), static_cast<double>(refreshPeak) / farm.bytes);

  if (!farm.localFiles.empty()) {
    const double local = RefreshSeconds(farm.localOnly, fetcher, options);
    const double cat = CatSeconds(farm.localFiles, options.repeat);
    std::printf("refresh of the local machines:  %.3f s, cat of their files %.3f s (%.2f times)\n",
                local, cat, local / cat);
  }

  HttpTestServer small(2 * options.machines);
  small.setDelay(std::chrono::milliseconds(options.latencyMs));
  const FarmOptions latencyOnly{.machines = options.machines,
                                .httpShare = 1,
                                .size = {50, 20},
                                .latencyMs = options.latencyMs,
                                .repeat = options.repeat,
                                .parallel = options.parallel};
  const Farm remote = MakeFarm(latencyOnly, dir, small);
  std::printf("refresh of %zu machines over http, small files: %.3f s\n", options.machines,
              RefreshSeconds(remote.model, fetcher, latencyOnly));

  TimeBusyHost(fetcher);
  if (!options.skipHostile) TimeHostileHosts(fetcher);
  return 0;
}
