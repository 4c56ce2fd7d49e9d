#pragma once

#include <string>

#include "model/Result.h"

// Fetches http locations. The core reaches the network only through this
// interface, so that tests can put a fake in its place.
class Fetcher {
 public:
  virtual ~Fetcher() = default;

  // The body of one GET of `url`, whatever the status code, or why there is
  // none. Safe to call from several threads at once.
  virtual Result<std::string> FetchUrl(const std::string& url) const = 0;
};
