#pragma once

#include <string>

#include "model/Result.h"

// The project's web site, where factors are submitted: one fixed host, on
// the port of plain http.
inline constexpr char kProjectSiteHost[] = "qv.example.org";
inline constexpr int kProjectSitePort = 80;

// The environment variable that names another site, "host" or
// "host:port", for trying submissions against a stand-in.
inline constexpr char kSiteOverrideVariable[] = "QUILLSTRAND_SERVER";

// "http://host:port" of the site to post to: the project's own, or the one
// that `override` names when it is set and not empty.
Result<std::string> ProjectSiteUrl(const char* override);

// The same, with the override read from the environment.
Result<std::string> ProjectSiteUrlFromEnvironment();
