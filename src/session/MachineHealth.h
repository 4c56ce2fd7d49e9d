#pragma once

// A machine's health as the window shows it: the farm's judgement, passed
// through the session so that the window sees no layer behind it.
#include "farm/Health.h"
