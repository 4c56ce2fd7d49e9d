#pragma once

#include <cerrno>
#include <map>
#include <string>

#include "location/Fetcher.h"

// Serves fixed bodies by URL; any other URL fails as an unreachable host.
class FakeFetcher : public Fetcher {
 public:
  std::map<std::string, std::string> bodies;

  LocationText FetchUrl(const std::string& url) const override {
    const auto found = bodies.find(url);
    if (found == bodies.end()) return Error{url + ": could not connect", ECONNREFUSED};
    return found->second;
  }
};
