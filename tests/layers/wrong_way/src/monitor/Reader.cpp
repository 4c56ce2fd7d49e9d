// A reader that reaches up into the refresh: the layer check must refuse it.
#include "model/Numbers.h"
#include "farm/Refresh.h"
