#include "location/Location.h"

#include <cerrno>

#include "model/Files.h"

bool IsHttpLocation(std::string_view location) { return location.starts_with("http://"); }

LocationText OpenLocation(const std::string& location, const Fetcher& fetcher) {
  // Reading "" as a file name would give the bare ": No such file or
  // directory", which tells the user nothing.
  if (location.empty()) return Error{"no location is set", ENOENT};
  if (IsHttpLocation(location)) return fetcher.FetchUrl(location);
  return ReadWholeFile(location);
}
