#pragma once

#include <cstdint>
#include <string>

// What tells one version of a file from another without reading it: its
// modification time and size. A file that cannot be looked up, above all
// one that does not exist, has the stamp of a missing file.
struct FileStamp {
  bool Exists = false;
  int64_t ModifiedNs = 0;  // since the epoch
  uint64_t Size = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp StampFile(const std::string& path);

// True when the file whose stamp was `known` has been written since by
// someone else, so that saving over it would undo their change: it exists
// now with another stamp. A file removed since is not: saving loses nothing.
bool ChangedSince(const FileStamp& known, const FileStamp& now);
