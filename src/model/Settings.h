#pragma once

#include <cstdint>
#include <string>

#include "model/Constants.h"

// The global options, with the values a settings file without them gives.
struct Settings {
  bool LaunchCopyNewURL = true;
  std::string CopyNewURL = kDefaultCopyNewUrl;
  uint32_t SpeedAvgIntervals = 5;  // at least 1
  bool Login = true;
  std::string Username = "your username";
  std::string Password;  // in clear; stored encoded
  bool AutoRefresh = false;
  bool AutoSubmit = false;
  uint32_t AutoTimerInterval = 1440;  // minutes, 1 to kMaxAutoTimerInterval
  bool IgnoreErrors = false;

  friend bool operator==(const Settings&, const Settings&) = default;
};

// The longest timer period whose milliseconds fit in 32 bits.
inline constexpr uint32_t kMaxAutoTimerInterval = 71582;
