#include "location/CurlFetcher.h"

#include <curl/curl.h>

#include <cerrno>
#include <memory>

#include "model/Constants.h"

namespace {

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// libcurl's global state must be set up once before the first handle, and
// not by two threads at the same time; a function-local static gives both.
CURLcode InitCurlOnce() {
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  return init;
}

// Where the write callback puts the body, and the limit it enforces.
struct Body {
  std::string text;
  size_t maxBytes;
  bool tooLarge = false;
};

size_t AppendToBody(char* data, size_t size, size_t count, void* userData) {
  auto& body = *static_cast<Body*>(userData);
  const size_t bytes = size * count;
  if (bytes > body.maxBytes - body.text.size()) {
    body.tooLarge = true;
    return 0;  // anything short of `bytes` makes libcurl abandon the transfer
  }
  body.text.append(data, bytes);
  return bytes;
}

// The machines' files are always fetched fresh: a proxy or cache on the way
// must not hand back yesterday's status.
HeaderList NoCacheHeaders() {
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  return HeaderList(headers, &curl_slist_free_all);
}

void SetRequest(CURL* curl, const std::string& url, const curl_slist* headers) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kAppName);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  // Only http is asked for; a redirect may go to https but never to a local
  // file or another protocol, whatever the server says.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  // Signals would reach the whole process; fetches run on several threads.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
}

void SetLimits(CURL* curl, const FetchLimits& limits) {
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(limits.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stallTimeout.count()));
  // Refuses early when the length is announced; the write callback catches
  // the rest (no length, or a compressed body that grows).
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
}

Error TooLarge(const std::string& url, size_t maxBytes) {
  return Error{url + ": the body is larger than " + std::to_string(maxBytes) + " bytes", EFBIG};
}

Error TransferError(const std::string& url, CURL* curl, CURLcode code, const char* message) {
  long osErrno = 0;
  curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
  const std::string reason = *message ? message : curl_easy_strerror(code);
  return Error{url + ": " + reason, static_cast<int>(osErrno)};
}

}  // namespace

CurlFetcher::CurlFetcher(FetchLimits limits) : limits_(limits) {}

Result<std::string> CurlFetcher::FetchUrl(const std::string& url) const {
  if (const CURLcode init = InitCurlOnce(); init != CURLE_OK) {
    return Error{url + ": " + curl_easy_strerror(init)};
  }
  EasyHandle curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) return Error{url + ": cannot start a transfer", ENOMEM};

  const HeaderList headers = NoCacheHeaders();
  Body body{.text = {}, .maxBytes = limits_.maxBodyBytes};
  char message[CURL_ERROR_SIZE] = "";
  SetRequest(curl.get(), url, headers.get());
  SetLimits(curl.get(), limits_);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &AppendToBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, message);

  const CURLcode code = curl_easy_perform(curl.get());
  if (body.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return TooLarge(url, limits_.maxBodyBytes);
  if (code != CURLE_OK) return TransferError(url, curl.get(), code, message);
  return std::move(body.text);
}
