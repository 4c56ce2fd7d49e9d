#include "ranges/QueueFile.h"
