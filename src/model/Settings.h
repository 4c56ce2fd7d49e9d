#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/Constants.h"

// Where the main window was left, in pixels, so that it opens the same way.
// 0 and empty mean never saved: the window takes its own defaults then.
struct WindowLayout {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<int32_t> SplitterSizes;  // the panes of the splitter, in order
  std::vector<int32_t> ColumnWidths;   // the machine list's columns, in order
  // How the machine list is ordered and narrowed: the column it sorts by
  // (none: table order), falling rather than rising, the Name column by the
  // machines' health rather than by name, and the filter's text.
  std::optional<int32_t> SortColumn = std::nullopt;
  bool SortDescending = false;
  bool SortByHealth = false;
  std::string Filter = {};

  friend bool operator==(const WindowLayout&, const WindowLayout&) = default;
};

// The global options, with the values a settings file without them gives.
struct Settings {
  bool LaunchCopyNewURL = true;
  std::string CopyNewURL = kDefaultCopyNewUrl;
  uint32_t SpeedAvgIntervals = 5;  // at least 1
  bool Login = true;
  std::string Username;
  std::string Password;  // in clear; stored encoded
  bool AutoRefresh = false;
  bool AutoSubmit = false;
  uint32_t AutoTimerInterval = 1440;  // minutes, 1 to kMaxAutoTimerInterval
  bool IgnoreErrors = false;
  // A machine whose status file has not changed for this long is stalled.
  uint32_t StalledMinutes = 30;  // 1 to kMaxStalledMinutes
  // A machine whose range ends within this long, with nothing queued after
  // it, is running dry.
  uint32_t DryHours = 24;  // 1 to kMaxDryHours
  WindowLayout Window;

  friend bool operator==(const Settings&, const Settings&) = default;
};

// The longest timer period whose milliseconds fit in 32 bits.
inline constexpr uint32_t kMaxAutoTimerInterval = 71582;
inline constexpr uint32_t kMaxStalledMinutes = 10080;  // a week
inline constexpr uint32_t kMaxDryHours = 8760;         // a year
// No screen is larger; a saved size or width beyond it is not kept.
inline constexpr int32_t kMaxWindowExtent = 32767;
