#include "location/Fetcher.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>

#include "location/RunOnThreads.h"
#include "model/Redaction.h"

namespace {

// Enough that a fetcher which waits on each fetch in turn still reads a
// farm's files in a few rounds of waiting.
constexpr size_t kFetchThreads = 64;

}  // namespace

void Fetcher::FetchAll(std::span<const std::string> urls, const FetchDone& done,
                       std::stop_token stop) const {
  std::atomic<size_t> next{0};
  RunOnThreads(std::min(urls.size(), kFetchThreads), [&] {
    for (size_t i; (i = next++) < urls.size();)
      done(i, stop.stop_requested() ? FetchError(urls[i], Cancelled()) : FetchUrl(urls[i]));
  });
}

LocationText FetchOne(const Fetcher& fetcher, const std::string& url, std::stop_token stop) {
  std::optional<LocationText> fetched;
  fetcher.FetchAll(
      std::span(&url, 1), [&](size_t, LocationText body) { fetched = std::move(body); },
      std::move(stop));
  return std::move(*fetched);
}

Error FetchError(const std::string& url, const Error& why) {
  // The reason may name the URL again, or the one a redirect led to.
  return Error{RedactPasswords(url + ": " + why.message), why.code};
}

Error Cancelled() { return Error{"cancelled", ECANCELED}; }
