#pragma once

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

// Runs `work` on `threads` threads, the calling one among them, and returns
// when all are through; a thread that cannot be started leaves its share to
// the others.
template <typename Work>
void RunOnThreads(size_t threads, const Work& work) {
  std::vector<std::jthread> helpers;
  for (size_t i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
}
