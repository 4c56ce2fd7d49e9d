#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "location/CurlFetcher.h"
#include "location/CurlTransfer.h"
#include "location/SocketWatch.h"

// The GETs of one batch on curl's multi interface, all driven from the
// thread that runs it: as many in flight as the limits allow, to each host
// and in all, the rest started as those end, a host's fate shared (see
// CurlFetcher), and every
// transfer abandoned soon after a stop is asked for. libcurl is told of
// each socket that is ready (its socket interface), so that a wait costs
// the same however many transfers are in flight.
class CurlBatch {
 public:
  CurlBatch(const FetchLimits& limits, std::span<const std::string> urls, const FetchDone& done);
  CurlBatch(const CurlBatch&) = delete;
  CurlBatch& operator=(const CurlBatch&) = delete;
  ~CurlBatch();

  // Returns when `done` has been called for every URL.
  void Run(std::stop_token stop);

 private:
  // The files of one host, by index in the batch, those not started in
  // their order; a host is told apart by the host part of the URL.
  struct HostQueue {
    std::deque<size_t> waiting;
    size_t inFlight = 0;
    // Set when its first file starts.
    std::optional<CurlTransfer::Clock::time_point> deadline;
  };

  static int OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*);
  static int OnTimer(CURLM*, long timeoutMs, void* self);
  // Lets libcurl act on `socket` (or its timers) being ready for `events`.
  void Act(curl_socket_t socket, int events);
  void StartWhatFits();
  void Start(size_t index, HostQueue& host);
  void CollectEnded();
  void Ended(size_t index, CURLcode code);
  void EndOverdue();
  // How long the loop may sleep before the next deadline.
  int WaitMs() const;
  // Ends transfer `index` for `why`, and with it the host when `wholeHost`.
  void Fail(size_t index, const Error& why, bool wholeHost);
  void FailTheHost(const std::string& host, const Error& why);
  void EndEveryTransfer(const Error& why);
  // Takes transfer `index` out of the batch and hands on what came of it.
  void End(size_t index, LocationText outcome);

  const FetchLimits& limits_;
  std::span<const std::string> urls_;
  const FetchDone& done_;
  std::stop_token stop_;
  BodyBudget budget_;
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers_;
  // Both outlive the multi handle, whose cleanup still calls back.
  SocketWatch watch_;
  std::optional<CurlTransfer::Clock::time_point> curlTimer_;  // when libcurl wants to act
  std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi_;
  // By index in the batch; set while in flight.
  std::vector<std::unique_ptr<CurlTransfer>> transfers_;
  std::vector<HostQueue> hosts_;  // in the order of their first file
  std::vector<size_t> hostOf_;    // by index in the batch: where in hosts_
  size_t running_ = 0;
  // Hosts given up on, by key, and why.
  std::map<std::string, Error> failedHosts_;
};
