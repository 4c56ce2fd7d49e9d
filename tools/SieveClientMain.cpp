// Plays one sieve client in a folder, so that quillstrand can be shown and
// tried on a farm that works, without the project's sieve program.

#include <httplib.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <iostream>
#include <optional>
#include <random>
#include <thread>

#include "SieveClient.h"

namespace {

timespec Timespec(double seconds) {
  const double whole = std::floor(seconds);
  return {static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
}

// Binds the server to 127.0.0.1 at `port`, any free one for 0; gives the
// port bound, or nothing.
std::optional<int> Bind(httplib::Server& server, int port) {
  if (port == 0) {
    const int bound = server.bind_to_any_port("127.0.0.1");
    return bound > 0 ? std::optional(bound) : std::nullopt;
  }
  return server.bind_to_port("127.0.0.1", port) ? std::optional(port) : std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Plays a sieve client in FOLDER: sieves its range, reports in QsvStatus.dat, appends "
      "factors to fact.txt, then takes the next range from nextrange.txt; idles without one",
      "quillstrand-sieve-client"};
  std::filesystem::path folder;
  SieveClientOptions options;
  options.seed = std::random_device()();
  std::optional<int> httpPort;
  app.add_option("folder", folder, "Folder of the client's files")
      ->required()
      ->check(CLI::ExistingDirectory);
  app.add_option("--rate", options.rate,
                 "Mean speed in kp/s (default: the speed the status file shows, else 10000)");
  app.add_option("--interval", options.intervalSeconds, "Seconds between two status lines")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_option("--factors-per-g", options.factorsPerG, "Factors found per 10^9 p, on average")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--http-port", httpPort,
                 "Also serve the folder over http on 127.0.0.1 at this port (0: a free one)")
      ->check(CLI::Range(0, 65535));
  app.add_option("--seed", options.seed, "Seed of the random rates and factors");
  CLI11_PARSE(app, argc, argv);

  // Blocked before any thread starts, so that every thread inherits it:
  // the stop signals wait for the main loop, which takes them between ticks.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a watcher that hangs up must not end the client

  httplib::Server server;
  std::thread serving;
  if (httpPort) {
    server.set_mount_point("/", folder.string());
    const std::optional<int> port = Bind(server, *httpPort);
    if (!port) {
      std::cerr << "quillstrand-sieve-client: cannot listen on 127.0.0.1:" << *httpPort << '\n';
      return 1;
    }
    serving = std::thread([&server] { server.listen_after_bind(); });
    std::cout << "serving http://127.0.0.1:" << *port << "/" << std::endl;
  }

  SieveClient client(folder, options);
  const timespec interval = Timespec(options.intervalSeconds);
  do {
    // A failed tick (a file that could not be written) is tried again at
    // the next one, as a real client would.
    if (const Status ticked = client.Tick(); !ticked)
      std::cerr << "quillstrand-sieve-client: " << ticked.error().message << '\n';
  } while (sigtimedwait(&stop, nullptr, &interval) < 0);

  if (serving.joinable()) {
    server.stop();
    serving.join();
  }
  return 0;
}
