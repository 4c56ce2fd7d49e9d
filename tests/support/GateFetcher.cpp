#include "support/GateFetcher.h"

#include <cerrno>

void GateFetcher::serve(const std::string& url, std::string text) {
  const std::lock_guard lock(mutex_);
  texts_[url] = std::move(text);
}

void GateFetcher::holdNext(const std::string& url) {
  const std::lock_guard lock(mutex_);
  held_.insert(url);
  open_ = false;
}

void GateFetcher::release() {
  {
    const std::lock_guard lock(mutex_);
    open_ = true;
  }
  released_.notify_all();
}

int GateFetcher::fetchCount(const std::string& url) const {
  const std::lock_guard lock(mutex_);
  const auto found = fetches_.find(url);
  return found == fetches_.end() ? 0 : found->second;
}

int GateFetcher::waiting() const {
  const std::lock_guard lock(mutex_);
  return waiting_;
}

LocationText GateFetcher::FetchUrl(const std::string& url) const {
  std::unique_lock lock(mutex_);
  ++fetches_[url];
  if (held_.erase(url) > 0) {
    ++waiting_;
    released_.wait(lock, [this] { return open_; });
    --waiting_;
  }
  const auto found = texts_.find(url);
  if (found == texts_.end()) return Error{url + ": connection refused", ECONNREFUSED};
  return found->second;
}
