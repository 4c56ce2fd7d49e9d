#pragma once

#include <chrono>

#include "model/Settings.h"

// The environment variable that shortens the automation timer's minute to
// so many milliseconds, so that a demonstration or a test need not wait.
inline constexpr char kMinuteOverrideVariable[] = "QUILLSTRAND_MINUTE_MS";

// The timer's minute: 60 seconds, or what `override` says when it is a
// plain decimal number of milliseconds from 1.
std::chrono::milliseconds AutomationMinuteFrom(const char* override);

// The same, with the override read from the environment; both the window's
// timer and the command line's watch use it.
std::chrono::milliseconds AutomationMinute();

// The time from the end of one tick to the next: AutoTimerInterval minutes.
std::chrono::milliseconds AutoTimerPeriod(const Settings& options,
                                          std::chrono::milliseconds minute);
