#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "location/Fetcher.h"

// Serves http locations from memory. A URL put on hold makes its next fetch
// wait until the gate is released, as a slow or hanging host would.
class GateFetcher : public Fetcher {
 public:
  void serve(const std::string& url, std::string text);
  void holdNext(const std::string& url);
  void release();
  // Fetches of `url` begun so far.
  int fetchCount(const std::string& url) const;
  // Fetches now waiting at the gate.
  int waiting() const;

  LocationText FetchUrl(const std::string& url) const override;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable released_;
  std::map<std::string, std::string> texts_;
  mutable std::set<std::string> held_;
  bool open_ = false;
  mutable std::map<std::string, int> fetches_;
  mutable int waiting_ = 0;
};
