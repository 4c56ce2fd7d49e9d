#pragma once

#include <QString>

#include "monitor/SpeedProfile.h"

// What the speed chart shows: one machine's profile, or why there is none.
struct SpeedChartData {
  QString machine;  // empty until a machine is chosen
  SpeedProfile profile;
  QString problem;  // why the status file could not be read
};
