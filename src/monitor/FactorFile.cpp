#include "monitor/FactorFile.h"
