#pragma once

#include <string>
#include <string_view>

#include "model/Result.h"

struct ListenAddress {
  std::string host;  // a name or a numeric address, IPv6 without brackets
  int port = 0;
};

// Reads ADDRESS:PORT: "127.0.0.1:8787", "[::1]:8787", "localhost:0", with a
// port from 0 (any free one) to 65535.
Result<ListenAddress> ParseListenAddress(std::string_view text);

// True for the addresses only this computer reaches: localhost, 127.0.0.0/8,
// ::1 and 127.x.y.z mapped into IPv6. Any other name may lead anywhere.
bool IsLoopback(const std::string& host);

// "http://127.0.0.1:8787/", with IPv6 addresses in brackets.
std::string ServerUrl(const std::string& host, int port);
