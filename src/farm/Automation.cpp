#include "farm/Automation.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "model/Numbers.h"

std::chrono::milliseconds AutomationMinuteFrom(const char* override) {
  constexpr std::chrono::milliseconds kMinute = std::chrono::minutes(1);
  if (!override) return kMinute;
  const std::string_view text = override;
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return kMinute;
  // Longer than a real minute would only be a mistake.
  const auto ms = ReadLeadingNumber(text, nullptr, kMinute.count());
  if (!ms || *ms == 0) return kMinute;
  return std::chrono::milliseconds(*ms);
}

std::chrono::milliseconds AutomationMinute() {
  return AutomationMinuteFrom(std::getenv(kMinuteOverrideVariable));
}

std::chrono::milliseconds AutoTimerPeriod(const Settings& options,
                                          std::chrono::milliseconds minute) {
  return minute * std::clamp<uint32_t>(options.AutoTimerInterval, 1, kMaxAutoTimerInterval);
}
