#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

// Runs `server`, bound already, on a thread of its own, and returns that
// thread once the server serves: before then stop() does nothing, and the
// joining owner would wait for ever. A server that has ended, or not begun
// within ten seconds, never will serve; waiting on is pointless and joining
// is unsafe, so the process ends saying so.
inline std::thread ServeInBackground(httplib::Server& server) {
  auto ended = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([&server, ended] {
    server.listen_after_bind();
    *ended = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server.is_running()) {
    if (*ended || std::chrono::steady_clock::now() > deadline) {
      std::fprintf(stderr, "a server bound to its port does not serve\n");
      std::abort();
    }
    std::this_thread::yield();
  }
  return thread;
}
