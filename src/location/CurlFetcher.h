#pragma once

#include <chrono>
#include <cstddef>

#include "location/Fetcher.h"

// How long a fetch may take and how much it may bring; tests shorten them.
// No host can hold a refresh longer than the deadline, nor make it take
// more memory than the batch's share, whatever it sends.
struct FetchLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  // A transfer that moves fewer than `lowSpeed` bytes a second for this
  // long is abandoned; so is one that hears nothing for this long.
  std::chrono::seconds stallTimeout{30};
  size_t lowSpeed = 100;
  // Every file of a host ends by then from the start of its first,
  // however steadily the host trickles and however many files wait for it.
  std::chrono::milliseconds deadline{60'000};
  // A body beyond this is abandoned: a runaway server must not exhaust memory.
  size_t maxBodyBytes = size_t{256} << 20;
  // The bodies of one batch together; once they fill it, a body that needs
  // more fails, while smaller ones that still fit are read.
  size_t maxBatchBytes = size_t{1} << 30;
  // Transfers in flight at once; the rest of a batch waits for a free one.
  size_t maxConnections = 256;
  // Of those, to one host, as browsers do: a small server's listen queue
  // holds them all, where a burst beyond it would wait for the system to
  // retry a connection, as if the host were down.
  size_t maxPerHost = 6;
};

// Fetches with libcurl: one GET with the user agent "quillstrand", headers
// that forbid caches, redirects followed (at most 10, to http or https
// only), the proxy taken from the environment. Only a whole 200 answer is
// the file: one with a status of 400 or more has its status line for the
// error; any other status, a body short of its announced length or
// compressed data that stop before their end are errors that say so.
//
// A batch runs on curl's multi interface on the calling thread, every
// transfer in flight at once up to maxConnections, at most maxPerHost to
// one host; a host's other files wait for one of its connections, which
// is used again. A host's fate is shared: once it is unknown, refuses a
// connection, does not answer or trickles below the speed limit, the
// batch's other transfers to it that have heard nothing yet fail at once
// with the same reason rather than each waiting out its own timeout, and
// its files still waiting are never asked for.
class CurlFetcher : public Fetcher {
 public:
  explicit CurlFetcher(FetchLimits limits = {});

  LocationText FetchUrl(const std::string& url) const override;
  void FetchAll(std::span<const std::string> urls, const FetchDone& done,
                std::stop_token stop) const override;

 private:
  FetchLimits limits_;
};
