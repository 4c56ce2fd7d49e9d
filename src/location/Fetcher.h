#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

#include "model/Result.h"

// The whole text of a machine's file, or why it could not be had, and when
// the file was last written where its source tells: a local file's
// modification time, an http server's Last-Modified header. Callers that
// need the text alone take it as the Result it is.
struct LocationText : Result<std::string> {
  LocationText(std::string text, std::optional<int64_t> modified = std::nullopt)
      : Result(std::move(text)), Modified(modified) {}
  LocationText(Error error) : Result(std::move(error)) {}
  LocationText(Result<std::string> text) : Result(std::move(text)) {}

  std::optional<int64_t> Modified;  // Unix seconds
};

// Called once for every URL of a batch as its fetch ends: the URL's index
// in the batch and what came of it.
using FetchDone = std::function<void(size_t, LocationText)>;

// Fetches http locations. The core reaches the network only through this
// interface, so that tests can put a fake in its place.
class Fetcher {
 public:
  virtual ~Fetcher() = default;

  // The body of one GET of `url`, or why there is none. Safe to call from
  // several threads at once.
  virtual LocationText FetchUrl(const std::string& url) const = 0;

  // Fetches every URL of `urls`, as many at once as the fetcher can, and
  // returns when `done` has been called for each; `done` may be called from
  // several threads at once. Once `stop` is requested, whatever has not
  // ended fails soon as cancelled. This one runs FetchUrl on a few threads.
  virtual void FetchAll(std::span<const std::string> urls, const FetchDone& done,
                        std::stop_token stop) const;
};

// What a batch of `url` alone gives.
LocationText FetchOne(const Fetcher& fetcher, const std::string& url, std::stop_token stop);

// Why the fetch of `url` failed: `why` with the URL in front.
Error FetchError(const std::string& url, const Error& why);
// The reason of a fetch abandoned because a stop was asked for.
Error Cancelled();
