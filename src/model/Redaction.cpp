#include "model/Redaction.h"

namespace {

constexpr std::string_view kHidden = "***";

// Where the host part of a URL whose scheme ends just before `start` ends:
// at its path, query or fragment, or at a blank or quote around the URL.
size_t AuthorityEnd(std::string_view text, size_t start) {
  const size_t end = text.find_first_of("/?#\\ \t\r\n\"'<>", start);
  return end == std::string_view::npos ? text.size() : end;
}

}  // namespace

std::string RedactPasswords(std::string_view text) {
  std::string redacted;
  size_t copied = 0;
  for (size_t scheme = text.find("://"); scheme != std::string_view::npos;
       scheme = text.find("://", scheme + 3)) {
    const size_t start = scheme + 3;
    const std::string_view authority = text.substr(start, AuthorityEnd(text, start) - start);
    // The host follows the last "@": a password may hold one unescaped.
    const size_t at = authority.rfind('@');
    if (at == std::string_view::npos) continue;
    const size_t colon = authority.find(':');
    if (colon >= at || colon + 1 == at) continue;  // no password, or an empty one
    redacted.append(text.substr(copied, start + colon + 1 - copied));
    redacted.append(kHidden);
    copied = start + at;
  }
  redacted.append(text.substr(copied));
  return redacted;
}

std::string UnredactedLocation(std::string_view edited, const std::string& location) {
  return edited == RedactPasswords(location) ? location : std::string(edited);
}
