#pragma once

#include <chrono>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "model/Result.h"

// Posts forms to one web site, as one visitor: a cookie that one answer
// sets goes with the posts after it. The submission reaches the network
// only through this interface, so that tests can put a fake in its place.
class FormPoster {
 public:
  virtual ~FormPoster() = default;

  // Posts `body`, already form-encoded, to `path` on the site; gives the
  // answer page whole, whatever its status code, or why there is none.
  virtual Result<std::string> Post(std::string_view path, std::string_view body) = 0;
};

// How long a post may wait and how much its answer may hold; tests
// shorten them. A site answers a page of a few kilobytes: one that sends
// without end, or a byte at a time, must not hold a submission for ever.
struct FormPostLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  // A transfer that moves no byte for this long is abandoned.
  std::chrono::milliseconds stallTimeout{60'000};
  // So is one that moves fewer than `lowSpeed` bytes a second for
  // `lowSpeedTime` (libcurl's averages, to the second)...
  size_t lowSpeed = 100;
  std::chrono::seconds lowSpeedTime{60};
  // ...one that has not ended this long after it started, however steadily
  // it moves (the factors go up within it too)...
  std::chrono::milliseconds deadline{10 * 60'000};
  // ...and one whose answer grows beyond this.
  size_t maxAnswerBytes = size_t{16} << 20;
};

// Posts with libcurl, as HTTP/1.0 requests of Content-Type
// application/x-www-form-urlencoded, through the proxy the environment
// names, keeping cookies in memory for as long as the poster lives.
class CurlFormPoster : public FormPoster {
 public:
  // Posts to `siteUrl` ("http://host:port"). Once `stop` is requested, a
  // transfer in flight is abandoned within a second and no other starts; a
  // stall is noticed as late.
  explicit CurlFormPoster(std::string siteUrl, FormPostLimits limits = {},
                          std::stop_token stop = {});
  CurlFormPoster(const CurlFormPoster&) = delete;
  CurlFormPoster& operator=(const CurlFormPoster&) = delete;
  ~CurlFormPoster() override;

  Result<std::string> Post(std::string_view path, std::string_view body) override;

 private:
  struct Transfer;
  std::string siteUrl_;
  FormPostLimits limits_;
  std::stop_token stop_;
  std::unique_ptr<Transfer> transfer_;
};
