#pragma once

#include <chrono>
#include <cstddef>

#include "location/Fetcher.h"

// How long a fetch may take and how much it may bring; tests shorten them.
struct FetchLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  // A transfer that receives nothing for this long is abandoned.
  std::chrono::seconds stallTimeout{30};
  // A body beyond this is abandoned: a runaway server must not exhaust memory.
  size_t maxBodyBytes = size_t{256} << 20;
};

// Fetches with libcurl: one GET with the user agent "quillstrand", headers
// that forbid caches, redirects followed (at most 10), the proxy taken from
// the environment.
class CurlFetcher : public Fetcher {
 public:
  explicit CurlFetcher(FetchLimits limits = {});
  Result<std::string> FetchUrl(const std::string& url) const override;

 private:
  FetchLimits limits_;
};
