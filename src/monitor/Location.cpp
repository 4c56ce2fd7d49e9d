#include "monitor/Location.h"
