#include "submit/ProjectSite.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "model/Numbers.h"

namespace {

// Characters that would make the URL name something other than a host.
bool IsHostText(std::string_view host) {
  return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
    return IsBlank(c) || c == '/' || c == '?' || c == '#' || c == '@' || c == ':';
  });
}

std::optional<int> ReadPort(std::string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
  const auto port = ReadLeadingNumber(text, nullptr, 65535);
  if (!port || *port == 0) return std::nullopt;
  return static_cast<int>(*port);
}

std::string SiteUrl(std::string_view host, int port) {
  return "http://" + std::string(host) + ":" + std::to_string(port);
}

}  // namespace

Result<std::string> ProjectSiteUrl(const char* override) {
  if (!override || !*override) return SiteUrl(kProjectSiteHost, kProjectSitePort);
  const std::string_view value = override;
  const size_t colon = value.rfind(':');
  const std::string_view host = value.substr(0, colon);
  const auto port =
      colon == std::string_view::npos ? kProjectSitePort : ReadPort(value.substr(colon + 1));
  if (!IsHostText(host) || !port) {
    return Error{std::string(kSiteOverrideVariable) + "=" + std::string(value) +
                     ": not a host name with an optional port (host[:port])",
                 EINVAL};
  }
  return SiteUrl(host, *port);
}

Result<std::string> ProjectSiteUrlFromEnvironment() {
  return ProjectSiteUrl(std::getenv(kSiteOverrideVariable));
}
