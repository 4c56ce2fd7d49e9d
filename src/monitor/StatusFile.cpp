#include "monitor/StatusFile.h"
