#include "monitor/CurlFetcher.h"
