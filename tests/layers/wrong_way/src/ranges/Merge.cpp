// The ranges sit beside the readers, not over them: the layer check must
// refuse this include.
#include "location/Location.h"
#include "monitor/StatusFile.h"
