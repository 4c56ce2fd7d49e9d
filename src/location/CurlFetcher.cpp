#include "location/CurlFetcher.h"

#include <curl/curl.h>

#include "location/CurlBatch.h"

namespace {

// libcurl's global state must be set up once before the first handle, and
// not by two threads at the same time; a function-local static gives both.
CURLcode InitCurlOnce() {
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  return init;
}

}  // namespace

CurlFetcher::CurlFetcher(FetchLimits limits) : limits_(limits) {}

LocationText CurlFetcher::FetchUrl(const std::string& url) const {
  return FetchOne(*this, url, {});
}

void CurlFetcher::FetchAll(std::span<const std::string> urls, const FetchDone& done,
                           std::stop_token stop) const {
  if (const CURLcode init = InitCurlOnce(); init != CURLE_OK) {
    for (size_t i = 0; i < urls.size(); ++i)
      done(i, FetchError(urls[i], Error{curl_easy_strerror(init)}));
    return;
  }
  CurlBatch(limits_, urls, done).Run(std::move(stop));
}
