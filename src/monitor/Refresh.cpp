#include "monitor/Refresh.h"
