#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "location/CurlFetcher.h"
#include "model/Result.h"

// What the bodies of one batch may take together. Only the batch's thread
// touches it.
class BodyBudget {
 public:
  explicit BodyBudget(size_t bytes) : limit_(bytes), left_(bytes) {}

  // False, taking nothing, when `bytes` are more than what is left.
  bool Take(size_t bytes);
  void Give(size_t bytes) { left_ += bytes; }
  size_t limit() const { return limit_; }

 private:
  size_t limit_;
  size_t left_;
};

// The host of a URL: as written in it, for people, and as "host:port" with
// the port filled in, for telling hosts apart. Both empty when the URL
// names no host.
struct UrlHost {
  std::string shown;
  std::string key;
};
UrlHost HostOf(const char* url);

// Why a file of `host` was not had by its deadline.
Error OverdueError(const std::string& host, std::chrono::milliseconds deadline);

class Inflater;

// One GET of a batch: its libcurl handle, set up with the limits, and what
// the server has sent so far. libcurl keeps pointers to it, so it stays put.
// Its connection is left open for another transfer to the host when
// `keepConnection`.
class CurlTransfer {
 public:
  using Clock = std::chrono::steady_clock;

  CurlTransfer(const std::string& url, const FetchLimits& limits, const curl_slist* headers,
               BodyBudget& budget, Clock::time_point deadline, bool keepConnection);
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;
  ~CurlTransfer();

  // Null when libcurl could not make one.
  CURL* handle() const { return easy_.get(); }
  // The host the transfer is at now, after the redirects so far.
  UrlHost Host() const;
  // Whether a server has sent anything yet, a header line being enough.
  bool Answered() const { return answered_; }
  // When the transfer is to be over by, whatever the host sends.
  Clock::time_point Deadline() const { return deadline_; }

  // What came of the transfer once libcurl ended it with `code`: the body
  // with the server's Last-Modified time when it sent one, or why there is
  // none, in words for people (without the URL). Only a whole 200 answer
  // is the file.
  LocationText Outcome(CURLcode code);
  // Whether ending with `code` tells that nothing can be had of the host
  // now: it is unknown, refuses or drops connections, does not answer or
  // sends too slowly.
  static bool FailsTheHost(CURLcode code);
  // Why a transfer still running at its deadline gave nothing.
  Error Overdue() const;

 private:
  enum class Refusal {
    kNone,
    kTooLarge,
    kOverBudget,
    kHeadersTooLarge,
    kUnknownEncoding,
    kBrokenEncoding
  };

  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static int OnConnected(void* self, char*, char*, int, int);
  // Each returns false to have libcurl abandon the transfer.
  bool TakeHeader(std::string_view line);
  void NewAnswer(std::string_view statusLine);
  bool HeadersEnded();
  bool TakeSent(std::string_view data);
  bool TakeBody(std::string_view data);
  bool MakeRoom(size_t size);
  void DropBody();
  long Status() const;
  bool IsHttps() const;
  // Bytes of the body received, as sent.
  curl_off_t Received() const;
  // Why an answer that libcurl took for a success is not the file, if it
  // is not.
  std::optional<Error> NotTheFile() const;
  Error EndedEarly() const;
  Error TooLarge() const;
  // The Last-Modified header's time, when the server sent one that reads.
  std::optional<int64_t> ModifiedTime() const;
  Error Why(CURLcode code) const;
  std::optional<Error> Refused() const;
  std::string TimeoutWords() const;
  std::string CurlText(CURLcode code) const;

  const FetchLimits& limits_;
  BodyBudget& budget_;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy_;
  Clock::time_point deadline_;
  std::string body_;
  size_t taken_ = 0;  // of the budget, for body_
  // Of the answer being read; a redirect that is followed starts another.
  std::string statusLine_;
  std::string encoding_;  // its Content-Encoding, in lower case
  bool hasLocation_ = false;
  size_t headerBytes_ = 0;
  std::unique_ptr<Inflater> inflater_;  // set when its body is compressed
  // Of the host being asked.
  bool connected_ = false;
  bool answered_ = false;
  Refusal refusal_ = Refusal::kNone;
  std::string refusalDetail_;
  char curlText_[CURL_ERROR_SIZE] = "";
};
