#include "model/FileStamp.h"

#include <sys/stat.h>

FileStamp StampFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  constexpr int64_t kNsPerSecond = 1'000'000'000;
  return {true, int64_t{info.st_mtim.tv_sec} * kNsPerSecond + info.st_mtim.tv_nsec,
          static_cast<uint64_t>(info.st_size)};
}

bool ChangedSince(const FileStamp& known, const FileStamp& now) {
  return now.Exists && now != known;
}
