#include "cli/ServeCommand.h"

#include <chrono>

#include "cli/ListenAddress.h"
#include "cli/SignalStop.h"
#include "farm/Automation.h"
#include "farm/Refresh.h"
#include "model/Files.h"

namespace {

// A token is the file's text without the blanks and line end around it.
Result<std::string> ReadToken(const std::string& path) {
  Result<std::string> text = ReadWholeFile(path, 4096);
  if (!text) return Error{"--token-file " + text.error().message};
  std::string& token = text.value();
  const size_t first = token.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return Error{"--token-file " + path + ": the file is empty"};
  token = token.substr(first, token.find_last_not_of(" \t\r\n") - first + 1);
  return std::move(token);
}

// What the command line asks of the server, or why it cannot be had.
Result<ServerOptions> ServerOptionsOf(const ServeRequest& request) {
  Result<ListenAddress> address = ParseListenAddress(request.listen);
  if (!address) return address.error();
  ServerOptions options{address.value().host, address.value().port, std::nullopt, request.limits};
  if (request.tokenFile) {
    Result<std::string> token = ReadToken(*request.tokenFile);
    if (!token) return token.error();
    options.token = std::move(token.value());
  }
  if (!options.token && !IsLoopback(options.host))
    return Error{"--listen " + request.listen +
                 ": other computers could reach this address, and everyone there would see the "
                 "farm; give a --token-file, or listen on 127.0.0.1"};
  return options;
}

std::chrono::milliseconds RefreshPeriod(const Model& model, const ServeRequest& request) {
  if (!request.every) return AutoTimerPeriod(model.Options, AutomationMinute());
  const std::chrono::duration<double> every(*request.every);
  return std::max(std::chrono::milliseconds(1),
                  std::chrono::duration_cast<std::chrono::milliseconds>(every));
}

// Reads the farm and publishes what was read; nothing when a stop cut the
// refresh short, so that a half reading is never shown.
void Refresh(Model& model, const Fetcher& fetcher, FarmServer& server, uint64_t refreshes,
             const std::stop_token& stop) {
  RefreshOptions options;
  options.stop = stop;
  const auto began = std::chrono::steady_clock::now();
  RefreshAll(model, fetcher, options);
  if (stop.stop_requested()) return;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
  server.Publish({model, UnixNow(), took.count(), refreshes});
}

}  // namespace

int RunServe(Model& model, const Fetcher& fetcher, const ServeRequest& request,
             std::stop_token stop, std::ostream& out, std::ostream& err) {
  const Result<ServerOptions> options = ServerOptionsOf(request);
  if (!options) {
    err << "quillstrand-cli: serve: " << options.error().message << '\n';
    return 2;
  }
  FarmServer server(options.value());
  const Result<int> port = server.Start();
  if (!port) {
    err << "quillstrand-cli: serve: " << port.error().message << '\n';
    return 2;
  }
  out << "Serving the farm on " << ServerUrl(options.value().host, port.value()) << std::endl;
  const std::chrono::milliseconds period = RefreshPeriod(model, request);
  uint64_t refreshes = 0;
  do {
    Refresh(model, fetcher, server, ++refreshes, stop);
  } while (WaitFor(period, stop));
  return 0;
}
