#include "monitor/RateSamples.h"
