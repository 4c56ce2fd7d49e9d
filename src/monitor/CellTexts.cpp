#include "monitor/CellTexts.h"
