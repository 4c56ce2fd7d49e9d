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

// How long a post may wait; tests shorten them.
struct FormPostLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  // A transfer that moves no byte for this long is abandoned.
  std::chrono::milliseconds stallTimeout{60'000};
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
