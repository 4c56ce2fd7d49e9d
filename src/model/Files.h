#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <string_view>

#include "model/Result.h"

// Reads a whole regular file into memory. The error carries the system's reason and
// its errno, so that callers can tell a missing file from a broken one.
Result<std::string> ReadWholeFile(const std::string& path);

// Replaces the file at `path` (following a symbolic link to its target) with
// `content`, so that readers see the old file or the new one, never a part:
// the text goes to a temporary file in the same folder, is flushed to disk
// and renamed over the target. The new file gets `mode` when given, else the
// old file's permissions, else the default ones. On failure the old file is
// untouched and the error names the path and the reason.
Status WriteFileAtomically(const std::string& path, std::string_view content,
                           std::optional<mode_t> mode = std::nullopt);
