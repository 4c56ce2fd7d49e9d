#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "cli/FarmReading.h"
#include "model/Result.h"

// What one client may cost the server.
struct ServerLimits {
  size_t threads = 8;           // connections answered at once; the rest wait
  size_t requestBytes = 16384;  // request line, headers and body together
  size_t headers = 64;
  // From the first byte of a request to the last of its answer, and a
  // second more for every 64 kB of the answer; a client slower than that,
  // sending or taking, is cut off.
  std::chrono::milliseconds requestTime{10'000};
  // How long a kept-alive connection may wait for its next request.
  std::chrono::milliseconds idleTime{2'000};
};

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8787;                   // 0: any free port
  std::optional<std::string> token;  // then every request must bear it
  ServerLimits limits;
};

// Serves the last reading published, read-only: GET / (the dashboard),
// /status.json, /metrics and /healthz. Every document is made once per
// reading, when it is published; a request only sends one, so that any
// number of viewers never reach the farm.
class FarmServer {
 public:
  explicit FarmServer(ServerOptions options);
  FarmServer(const FarmServer&) = delete;
  FarmServer& operator=(const FarmServer&) = delete;
  // Stops, when started.
  ~FarmServer();

  // Binds and starts answering on threads of its own; gives the port, or
  // why it could not listen.
  Result<int> Start();
  // From now on requests get the documents of `reading`.
  void Publish(const FarmReading& reading);
  // Ends every connection within a fraction of a second and waits for the
  // server's threads.
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// True when `token` and `expected` are the same, in a time that depends on
// their lengths alone, so that timing answers tells nothing of the token.
bool SameToken(const std::string& token, const std::string& expected);
