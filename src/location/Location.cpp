#include "location/Location.h"

#include <cerrno>
#include <new>

#include "model/Files.h"
#include "model/Redaction.h"

namespace {

LocationText ReadLocalFile(const std::string& path, uint64_t maxFileSize) {
  Result<ReadableFile> file = ReadableFile::Open(path, maxFileSize);
  if (!file) return file.error();
  Result<std::string> text = file.value().ReadAll();
  if (!text) return text.error();
  return LocationText(std::move(text.value()), file.value().modified());
}

}  // namespace

bool IsHttpLocation(std::string_view location) { return location.starts_with("http://"); }

LocationText OpenLocation(const std::string& location, const Fetcher& fetcher,
                          uint64_t maxFileSize) {
  // Reading "" as a file name would give the bare ": No such file or
  // directory", which tells the user nothing.
  if (location.empty()) return Error{"no location is set", ENOENT};
  if (!IsHttpLocation(location)) return ReadLocalFile(location, maxFileSize);
  // The reading threads end here: nothing may escape them.
  try {
    return fetcher.FetchUrl(location);
  } catch (const std::bad_alloc&) {
    return Error{RedactPasswords(location) + ": not enough memory to read it", ENOMEM};
  }
}
