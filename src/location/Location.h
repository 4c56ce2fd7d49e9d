#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "location/Fetcher.h"
#include "model/Files.h"
#include "model/Result.h"

// True exactly when the location's first seven bytes are "http://"; every
// other location (local path, share path, other schemes) names a file.
bool IsHttpLocation(std::string_view location);

// Reads a location whole, with its modification time where it is told: an
// http location through `fetcher`, anything else as a file by name, refused when larger than
// `maxFileSize` (by default the limit of factor files, the largest a machine has). Never throws; a
// failure of either kind, running out of memory included, is an error.
LocationText OpenLocation(const std::string& location, const Fetcher& fetcher,
                          uint64_t maxFileSize = kMaxFactorFileSize);
