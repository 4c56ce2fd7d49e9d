#include "monitor/MachineRow.h"
