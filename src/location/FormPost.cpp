#include "location/FormPost.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>

#include "model/Constants.h"

namespace {

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

CURLcode InitCurlOnce() {
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  return init;
}

// The answer as it comes, up to its limit; a larger one is refused whole.
struct Answer {
  std::string text;
  size_t maxBytes = 0;
  bool tooLarge = false;

  static size_t Append(char* data, size_t size, size_t count, void* self) {
    auto& answer = *static_cast<Answer*>(self);
    const size_t bytes = size * count;
    if (bytes > answer.maxBytes - answer.text.size()) {
      answer.tooLarge = true;
      return CURL_WRITEFUNC_ERROR;
    }
    answer.text.append(data, bytes);
    return bytes;
  }
};

std::string Duration(std::chrono::milliseconds duration) {
  const auto ms = duration.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " seconds" : std::to_string(ms) + " ms";
}

Error Cancelled() { return Error{"the submission was cancelled", ECANCELED}; }

// Watches one transfer for a stop request, a stall and its deadline.
// libcurl's own low-speed limit averages over several seconds, so that a
// quick request followed by silence would be noticed only seconds after
// the timeout.
struct Watchdog {
  using Clock = std::chrono::steady_clock;
  enum class Ended { No, Stopped, Stalled, Late };

  const std::stop_token& stop;
  std::chrono::milliseconds stallTimeout;
  Clock::time_point deadline;
  curl_off_t bytes = 0;
  Clock::time_point lastByte = Clock::now();
  Ended ended = Ended::No;

  // Called by libcurl at least once a second while the transfer runs; a
  // non-zero result abandons it.
  static int Check(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto& watchdog = *static_cast<Watchdog*>(self);
    const Clock::time_point now = Clock::now();
    if (received + sent != watchdog.bytes) {
      watchdog.bytes = received + sent;
      watchdog.lastByte = now;
    }
    if (watchdog.stop.stop_requested())
      watchdog.ended = Ended::Stopped;
    else if (now - watchdog.lastByte > watchdog.stallTimeout)
      watchdog.ended = Ended::Stalled;
    else if (now > watchdog.deadline)
      watchdog.ended = Ended::Late;
    return watchdog.ended == Ended::No ? 0 : 1;
  }

  Error Why(const FormPostLimits& limits) const {
    if (ended == Ended::Stalled)
      return Error{"Operation timed out: nothing came for " + Duration(limits.stallTimeout),
                   ETIMEDOUT};
    if (ended == Ended::Late)
      return Error{"Operation timed out: the site had not answered after " +
                       Duration(limits.deadline),
                   ETIMEDOUT};
    return Cancelled();
  }
};

}  // namespace

// One easy handle for all posts, so that its cookie engine carries the
// login's cookie to the factor post.
struct CurlFormPoster::Transfer {
  EasyHandle curl{curl_easy_init(), &curl_easy_cleanup};
  HeaderList headers{curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"),
                     &curl_slist_free_all};
  char message[CURL_ERROR_SIZE] = "";

  void Configure(const FormPostLimits& limits) {
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");  // cookies on, kept in memory
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kAppName);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http");
    // A fresh connection for every post: a server may promise to keep an
    // HTTP/1.0 connection open and close it anyway, and a reused dead
    // connection fails a large post halfway.
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    // Posts run on worker threads; signals would reach the whole process.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(limits.lowSpeed));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.lowSpeedTime.count()));
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &Watchdog::Check);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Answer::Append);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, message);
  }
};

CurlFormPoster::CurlFormPoster(std::string siteUrl, FormPostLimits limits, std::stop_token stop)
    : siteUrl_(std::move(siteUrl)), limits_(limits), stop_(std::move(stop)) {
  if (InitCurlOnce() != CURLE_OK) return;
  transfer_ = std::make_unique<Transfer>();
  if (transfer_->curl) transfer_->Configure(limits_);
}

CurlFormPoster::~CurlFormPoster() = default;

Result<std::string> CurlFormPoster::Post(std::string_view path, std::string_view body) {
  if (stop_.stop_requested()) return Cancelled();
  if (!transfer_ || !transfer_->curl) return Error{"cannot start a transfer", ENOMEM};
  CURL* curl = transfer_->curl.get();
  const std::string url = siteUrl_ + std::string(path);
  Answer answer{.text = {}, .maxBytes = limits_.maxAnswerBytes, .tooLarge = false};
  Watchdog watchdog{.stop = stop_,
                    .stallTimeout = limits_.stallTimeout,
                    .deadline = Watchdog::Clock::now() + limits_.deadline};
  transfer_->message[0] = '\0';
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  // A null pointer would make libcurl read the body from its read callback.
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watchdog);

  const CURLcode code = curl_easy_perform(curl);
  if (code == CURLE_ABORTED_BY_CALLBACK) return watchdog.Why(limits_);
  if (answer.tooLarge)
    return Error{"the site's answer is larger than " + std::to_string(limits_.maxAnswerBytes) +
                     " bytes",
                 EFBIG};
  if (code != CURLE_OK) {
    long osErrno = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
    const char* message = transfer_->message;
    return Error{*message ? message : curl_easy_strerror(code), static_cast<int>(osErrno)};
  }
  return std::move(answer.text);
}
