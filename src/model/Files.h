#pragma once

#include <sys/types.h>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/Result.h"

// Sizes above which a file is refused unread: no real file of the program
// comes near them, and reading one that did would take all the memory of
// the machine. Factor files grow for years, so theirs is the larger.
inline constexpr uint64_t kMaxFileSize = uint64_t{256} << 20;
inline constexpr uint64_t kMaxFactorFileSize = uint64_t{4} << 30;

// A regular file opened for reading, closed when the object goes. Opening
// never waits: a FIFO, a device or a folder is refused before anything is
// read from it, and so is a file larger than its limit or a path that holds
// a NUL (the system would open a shorter name). Errors name the path and
// carry the system's reason and its errno, so that callers can tell a
// missing file from a broken one.
class ReadableFile {
 public:
  static Result<ReadableFile> Open(const std::string& path, uint64_t maxSize = kMaxFileSize);

  ReadableFile(ReadableFile&& other) noexcept;
  ReadableFile& operator=(ReadableFile&& other) noexcept;
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;
  ~ReadableFile();

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }         // when opened
  int64_t modified() const { return modified_; }  // Unix seconds, when opened

  // Reads the file from its start to its end as it is then, a block at a
  // time, calling `visit` with each, so that only one block is held. A file
  // that grows past its limit meanwhile is an error.
  Status ReadBlocks(const std::function<void(std::string_view)>& visit) const;

  // The same, line by line as ForEachCompleteLine splits a text: a last
  // line without its end is left unread. Only the current block and a line
  // that crosses into the next one are held.
  Status ReadLines(const std::function<void(std::string_view)>& visit) const;

  // The whole file in memory; running out of memory is an error too.
  Result<std::string> ReadAll() const;

 private:
  ReadableFile(int fd, std::string path, uint64_t maxSize, uint64_t size);

  int fd_;
  std::string path_;
  uint64_t maxSize_;
  uint64_t size_;  // when opened
  int64_t modified_ = 0;
};

// Reads a whole regular file into memory, as ReadableFile opens and reads it.
Result<std::string> ReadWholeFile(const std::string& path, uint64_t maxSize = kMaxFileSize);

// Replaces the file at `path` (following a symbolic link to its target) with
// `content`, so that readers see the old file or the new one, never a part:
// the text goes to a temporary file in the same folder, is flushed to disk
// and renamed over the target. The new file gets `mode` when given, else the
// old file's permissions, else the default ones. On failure the old file is
// untouched and the error names the path and the reason.
Status WriteFileAtomically(const std::string& path, std::string_view content,
                           std::optional<mode_t> mode = std::nullopt);

// The file that a write to `path` replaces: the target of a symbolic link,
// so that a linked file stays linked; `path` itself when it does not exist.
std::string FileBehindLinks(const std::string& path);

// The permissions of the file at `path`; nothing when there is none.
std::optional<mode_t> FilePermissions(const std::string& path);

// Renames `from` over `to` and makes the rename durable. The error names
// `to` and the reason.
Status RenameDurably(const std::string& from, const std::string& to);

// Removes the file at `path`, if there is one, durably.
Status RemoveDurably(const std::string& path);
