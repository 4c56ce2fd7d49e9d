#include "location/Location.h"

#include <cerrno>
#include <new>

#include "model/Files.h"

bool IsHttpLocation(std::string_view location) { return location.starts_with("http://"); }

LocationText OpenLocation(const std::string& location, const Fetcher& fetcher,
                          uint64_t maxFileSize) {
  // Reading "" as a file name would give the bare ": No such file or
  // directory", which tells the user nothing.
  if (location.empty()) return Error{"no location is set", ENOENT};
  if (!IsHttpLocation(location)) return ReadWholeFile(location, maxFileSize);
  // The reading threads end here: nothing may escape them.
  try {
    return fetcher.FetchUrl(location);
  } catch (const std::bad_alloc&) {
    return Error{location + ": not enough memory to read it", ENOMEM};
  }
}
