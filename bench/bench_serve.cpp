// What serve costs per request over a farm of 1000 machines: the documents
// made once per reading, each answered on a fresh connection, and 100
// clients at once asking for the dashboard's data, where every request
// must be answered (the failures are counted).
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "FakeFarm.h"
#include "cli/DashboardPage.h"
#include "cli/FarmServer.h"
#include "cli/MetricsText.h"
#include "cli/StatusJson.h"
#include "farm/Refresh.h"
#include "location/CurlFetcher.h"
#include "support/TempDir.h"

namespace {

constexpr size_t kMachines = 1000;

const FarmReading& Reading() {
  static const FarmReading reading = [] {
    static const TempDir dir;
    FarmReading made;
    for (size_t i = 0; i < kMachines; ++i)
      made.Farm.Machines.push_back(WriteFakeMachine(dir.path(), i, {}));
    RefreshAll(made.Farm, CurlFetcher());
    made.Time = UnixNow();
    made.Refreshes = 1;
    return made;
  }();
  return reading;
}

// One server for every benchmark, serving the farm's reading.
int Port() {
  static FarmServer server({.host = "127.0.0.1", .port = 0, .token = {}, .limits = {}});
  static const int port = [] {
    const Result<int> started = server.Start();
    if (!started) return 0;
    server.Publish(Reading());
    return started.value();
  }();
  return port;
}

void BM_MakeDocument(benchmark::State& state) {
  const FarmReading& reading = Reading();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text;
    switch (state.range(0)) {
      case 0:
        text = MetricsText(reading);
        break;
      case 1: {
        std::ostringstream out;
        WriteStatusJson(reading.Farm, reading.Time, out, reading.Time);
        text = std::move(out).str();
        break;
      }
      default:
        text = DashboardPage(reading);
    }
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MakeDocument)
    ->ArgName("metrics_json_page")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

const char* PathOf(int64_t index) {
  static constexpr const char* kPaths[] = {"/metrics", "/status.json", "/"};
  return kPaths[index];
}

// A GET on a fresh connection, as a monitoring system scrapes.
void BM_Get(benchmark::State& state) {
  const int port = Port();
  const char* path = PathOf(state.range(0));
  size_t failed = 0;
  for (auto _ : state) {
    httplib::Client client("127.0.0.1", port);
    const httplib::Result answer = client.Get(path);
    if (!answer || answer->status != 200) ++failed;
    benchmark::DoNotOptimize(answer);
  }
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_Get)->ArgName("metrics_json_page")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// 100 clients at once, each asking for /status.json 10 times; the time is
// that of all 1000 answers.
void BM_HundredClients(benchmark::State& state) {
  const int port = Port();
  std::atomic<size_t> failed = 0;
  for (auto _ : state) {
    std::vector<std::jthread> clients;
    for (int c = 0; c < 100; ++c)
      clients.emplace_back([&] {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(std::chrono::seconds(30));
        for (int i = 0; i < 10; ++i) {
          const httplib::Result answer = client.Get("/status.json");
          if (!answer || answer->status != 200) ++failed;
        }
      });
  }
  state.counters["failed"] = static_cast<double>(failed);
  state.counters["requests"] = benchmark::Counter(1000.0 * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HundredClients)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
