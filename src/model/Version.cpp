#include "model/Constants.h"

const char kVersion[] = "v" QUILLSTRAND_VERSION;
