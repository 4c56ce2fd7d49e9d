#include "CliProcess.h"

const char kCliPath[] = QUILLSTRAND_CLI;
