#pragma once

#include <stop_token>
#include <string>

#include "location/Fetcher.h"

// Fetches through `fetcher` until `stop` is asked for, so that code which
// reads one location at a time, as OpenLocation does, can be stopped too.
class StoppableFetcher : public Fetcher {
 public:
  StoppableFetcher(const Fetcher& fetcher, std::stop_token stop)
      : fetcher_(fetcher), stop_(std::move(stop)) {}

  LocationText FetchUrl(const std::string& url) const override {
    return FetchOne(fetcher_, url, stop_);
  }

 private:
  const Fetcher& fetcher_;
  std::stop_token stop_;
};
