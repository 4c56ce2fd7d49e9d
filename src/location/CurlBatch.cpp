#include "location/CurlBatch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

// The longest the loop sleeps between looks at its transfers; libcurl's
// timers and the deadlines wake it sooner, and a stop at once.
constexpr int kWaitMs = 1000;

// The machines' files are always fetched fresh: a proxy or cache on the way
// must not hand back yesterday's status.
curl_slist* NoCacheHeaders() {
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  return curl_slist_append(headers, "Pragma: no-cache");
}

}  // namespace

CurlBatch::CurlBatch(const FetchLimits& limits, std::span<const std::string> urls,
                     const FetchDone& done)
    : limits_(limits),
      urls_(urls),
      done_(done),
      budget_(limits.maxBatchBytes),
      headers_(NoCacheHeaders(), &curl_slist_free_all),
      multi_(curl_multi_init(), &curl_multi_cleanup),
      transfers_(urls.size()),
      hostOf_(urls.size()) {
  std::map<std::string, size_t> hostByKey;
  for (size_t i = 0; i < urls.size(); ++i) {
    const auto [host, added] = hostByKey.emplace(HostOf(urls[i].c_str()).key, hosts_.size());
    if (added) hosts_.emplace_back();
    hosts_[host->second].waiting.push_back(i);
    hostOf_[i] = host->second;
  }
  curl_multi_setopt(multi_.get(), CURLMOPT_SOCKETFUNCTION, &OnSocket);
  curl_multi_setopt(multi_.get(), CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_.get(), CURLMOPT_TIMERFUNCTION, &OnTimer);
  curl_multi_setopt(multi_.get(), CURLMOPT_TIMERDATA, this);
}

CurlBatch::~CurlBatch() {
  for (const std::unique_ptr<CurlTransfer>& transfer : transfers_)
    if (transfer) curl_multi_remove_handle(multi_.get(), transfer->handle());
}

void CurlBatch::Run(std::stop_token stop) {
  stop_ = std::move(stop);
  const std::stop_callback wake(stop_, [this] { watch_.Wake(); });
  for (StartWhatFits(); running_ > 0; StartWhatFits()) {
    for (const SocketWatch::Ready& ready : watch_.Wait(WaitMs())) Act(ready.socket, ready.events);
    if (curlTimer_ && *curlTimer_ <= CurlTransfer::Clock::now()) {
      curlTimer_.reset();
      Act(CURL_SOCKET_TIMEOUT, 0);
    }
    CollectEnded();
    EndOverdue();
    if (stop_.stop_requested()) EndEveryTransfer(Cancelled());
  }
}

int CurlBatch::OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
  static_cast<CurlBatch*>(self)->watch_.Watch(socket, what);
  return 0;
}

int CurlBatch::OnTimer(CURLM*, long timeoutMs, void* self) {
  auto& batch = *static_cast<CurlBatch*>(self);
  if (timeoutMs < 0)
    batch.curlTimer_.reset();
  else
    batch.curlTimer_ = CurlTransfer::Clock::now() + std::chrono::milliseconds(timeoutMs);
  return 0;
}

void CurlBatch::Act(curl_socket_t socket, int events) {
  int running = 0;
  const CURLMcode code = curl_multi_socket_action(multi_.get(), socket, events, &running);
  if (code != CURLM_OK) EndEveryTransfer(Error{curl_multi_strerror(code), ENOMEM});
}

void CurlBatch::StartWhatFits() {
  const size_t slots = std::max<size_t>(limits_.maxConnections, 1);
  const size_t perHost = std::max<size_t>(limits_.maxPerHost, 1);
  for (HostQueue& host : hosts_) {
    while (!host.waiting.empty() && host.inFlight < perHost) {
      if (running_ >= slots) return;
      const size_t index = host.waiting.front();
      host.waiting.pop_front();
      Start(index, host);
    }
  }
}

// A URL that comes after a stop, or whose host has been given up on or is
// past its deadline, ends at once without a transfer.
void CurlBatch::Start(size_t index, HostQueue& host) {
  const std::string& url = urls_[index];
  if (stop_.stop_requested()) return End(index, FetchError(url, Cancelled()));
  const UrlHost urlHost = HostOf(url.c_str());
  const auto failed = failedHosts_.find(urlHost.key);
  if (failed != failedHosts_.end()) return End(index, FetchError(url, failed->second));
  const CurlTransfer::Clock::time_point now = CurlTransfer::Clock::now();
  if (!host.deadline) host.deadline = now + limits_.deadline;
  if (*host.deadline <= now)
    return End(index, FetchError(url, OverdueError(urlHost.shown, limits_.deadline)));

  // The connection is kept for the host's next file; its last ones close
  // theirs, so that no idle connection of ours holds a server that serves
  // one at a time while another of ours waits for it.
  auto transfer = std::make_unique<CurlTransfer>(url, limits_, headers_.get(), budget_,
                                                 *host.deadline, !host.waiting.empty());
  CURL* handle = transfer->handle();
  if (!handle || !watch_.ok())
    return End(index, FetchError(url, Error{"cannot start a transfer", ENOMEM}));
  // Tells CollectEnded which transfer of the batch a handle is.
  curl_easy_setopt(handle, CURLOPT_PRIVATE, &transfers_[index]);
  if (curl_multi_add_handle(multi_.get(), handle) != CURLM_OK)
    return End(index, FetchError(url, Error{"cannot start a transfer", ENOMEM}));
  transfers_[index] = std::move(transfer);
  ++running_;
  ++host.inFlight;
}

void CurlBatch::CollectEnded() {
  int left = 0;
  while (const CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    // Ending a transfer may end others, whose messages go with them.
    const CURLcode code = message->data.result;
    void* slot = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &slot);
    Ended(static_cast<std::unique_ptr<CurlTransfer>*>(slot) - transfers_.data(), code);
  }
}

void CurlBatch::Ended(size_t index, CURLcode code) {
  CurlTransfer& transfer = *transfers_[index];
  LocationText outcome = transfer.Outcome(code);
  if (outcome) return End(index, std::move(outcome));
  Fail(index, outcome.error(), transfer.FailsTheHost(code));
}

// libcurl has a deadline of its own, but its failure looks like that of
// the stall limit; this one is told apart.
void CurlBatch::EndOverdue() {
  const CurlTransfer::Clock::time_point now = CurlTransfer::Clock::now();
  for (size_t i = 0; i < transfers_.size(); ++i) {
    const CurlTransfer* transfer = transfers_[i].get();
    if (transfer && transfer->Deadline() <= now)
      Fail(i, transfer->Overdue(), !transfer->Answered());
  }
}

int CurlBatch::WaitMs() const {
  const CurlTransfer::Clock::time_point now = CurlTransfer::Clock::now();
  std::chrono::milliseconds wait(kWaitMs);
  const auto until = [&](CurlTransfer::Clock::time_point when) {
    wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(when - now));
  };
  if (curlTimer_) until(*curlTimer_);
  for (const std::unique_ptr<CurlTransfer>& transfer : transfers_)
    if (transfer) until(transfer->Deadline());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
}

void CurlBatch::Fail(size_t index, const Error& why, bool wholeHost) {
  const std::string host = wholeHost ? transfers_[index]->Host().key : std::string();
  End(index, FetchError(urls_[index], why));
  if (!host.empty()) FailTheHost(host, why);
}

// Ends the transfers to `host` that have heard nothing from it yet, and
// keeps those not started from starting; one that is being answered shows
// that the host is there after all.
void CurlBatch::FailTheHost(const std::string& host, const Error& why) {
  failedHosts_.emplace(host, why);
  for (size_t i = 0; i < transfers_.size(); ++i) {
    const CurlTransfer* transfer = transfers_[i].get();
    if (transfer && !transfer->Answered() && transfer->Host().key == host)
      End(i, FetchError(urls_[i], why));
  }
}

void CurlBatch::EndEveryTransfer(const Error& why) {
  for (size_t i = 0; i < transfers_.size(); ++i)
    if (transfers_[i]) End(i, FetchError(urls_[i], why));
}

void CurlBatch::End(size_t index, LocationText outcome) {
  if (const std::unique_ptr<CurlTransfer> transfer = std::move(transfers_[index])) {
    curl_multi_remove_handle(multi_.get(), transfer->handle());
    --running_;
    --hosts_[hostOf_[index]].inFlight;
  }
  done_(index, std::move(outcome));
}
