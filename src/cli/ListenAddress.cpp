#include "cli/ListenAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "model/Numbers.h"

namespace {

Error Wrong(std::string_view text, const char* why) {
  return Error{"--listen " + std::string(text) + ": " + why};
}

}  // namespace

Result<ListenAddress> ParseListenAddress(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return Wrong(text, "give ADDRESS:PORT");
  std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  else if (host.find(':') != std::string_view::npos)
    return Wrong(text, "an IPv6 address goes in brackets, as in [::1]:8787");
  if (host.empty()) return Wrong(text, "no address before the port");
  std::string_view rest;
  const std::optional<uint64_t> number = ReadLeadingNumber(port, &rest, 65535);
  if (!number || !rest.empty() || port.empty() || !IsDigit(port.front()))
    return Wrong(text, "the port is a number from 0 to 65535");
  return ListenAddress{std::string(host), static_cast<int>(*number)};
}

bool IsLoopback(const std::string& host) {
  if (host == "localhost") return true;
  in_addr v4{};
  if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (::inet_pton(AF_INET6, host.c_str(), &v6) != 1) return false;
  return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

std::string ServerUrl(const std::string& host, int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return "http://" + (v6 ? '[' + host + ']' : host) + ':' + std::to_string(port) + '/';
}
