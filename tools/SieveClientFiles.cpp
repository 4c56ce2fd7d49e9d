#include "SieveClientFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "ranges/QueueFile.h"

namespace {

// Bounds the retries should the queue be rewritten again and again.
constexpr int kAttempts = 100;

Error SystemError(const std::string& path, int error) {
  return Error{path + ": " + std::generic_category().message(error), error};
}

// An open file. While it is open its inode number cannot be given to
// another file, which makes the number a safe identity to compare.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  OpenFile(OpenFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  OpenFile& operator=(OpenFile&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  int fd() const { return fd_; }

  // True when `path` names this very file.
  bool IsAt(const std::string& path) const {
    struct stat at {};
    struct stat self {};
    return ::stat(path.c_str(), &at) == 0 && ::fstat(fd_, &self) == 0 && at.st_dev == self.st_dev &&
           at.st_ino == self.st_ino;
  }

 private:
  int fd_;
};

Result<std::string> ReadAll(const OpenFile& file, const std::string& path) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(file.fd(), buffer, sizeof buffer);
    if (got == 0) return text;
    if (got < 0 && errno != EINTR) return SystemError(path, errno);
    if (got > 0) text.append(buffer, static_cast<size_t>(got));
  }
}

Status WriteAll(const OpenFile& file, const std::string& path, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(file.fd(), text.data(), text.size());
    if (written < 0 && errno != EINTR) return SystemError(path, errno);
    if (written > 0) text.remove_prefix(static_cast<size_t>(written));
  }
  return Ok();
}

// Writes `content` into a new file at `path`, kept open so that it can be
// recognised after a swap.
Result<OpenFile> WriteNew(const std::string& path, std::string_view content) {
  OpenFile file(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (file.fd() < 0) return SystemError(path, errno);
  if (const Status written = WriteAll(file, path, content); !written) return written.error();
  if (::fsync(file.fd()) != 0) return SystemError(path, errno);
  return file;
}

// Swaps the files at `spare` and `path` in one step.
Status Exchange(const std::string& spare, const std::string& path,
                const std::function<void()>& beforeSwap) {
  if (beforeSwap) beforeSwap();
  if (::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0)
    return SystemError(path, errno);
  return Ok();
}

// `spare` holds a queue written after `placed`, the file swapped in at
// `path`. Puts the newest queue back at `path`: should yet another one have
// replaced `placed` meanwhile, the swap brings that one out, and it goes
// back in turn.
Status PutBack(const std::string& spare, const std::string& path, OpenFile placed,
               const std::function<void()>& beforeSwap) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    OpenFile newest(::open(spare.c_str(), O_RDONLY | O_CLOEXEC));
    if (newest.fd() < 0) return SystemError(spare, errno);
    if (const Status swapped = Exchange(spare, path, beforeSwap); !swapped) return swapped;
    if (placed.IsAt(spare)) {
      ::unlink(spare.c_str());
      return Ok();
    }
    placed = std::move(newest);
  }
  return SystemError(path, EAGAIN);
}

}  // namespace

Status AppendToFile(const std::string& path, std::string_view text) {
  const OpenFile file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (file.fd() < 0) return SystemError(path, errno);
  return WriteAll(file, path, text);
}

Result<std::optional<Range>> TakeQueuedRange(const std::string& path,
                                             const std::function<void()>& beforeSwap) {
  const std::string spare = path + ".taking";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const OpenFile queue(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (queue.fd() < 0) {
      if (errno == ENOENT) return std::optional<Range>();
      return SystemError(path, errno);
    }
    Result<std::string> text = ReadAll(queue, path);
    if (!text) return text.error();
    const std::vector<Range> ranges = ParseQueuedRanges(text.value());
    if (ranges.empty()) return std::optional<Range>();

    Result<OpenFile> rest = WriteNew(spare, FormatQueuedRanges({ranges.begin() + 1, ranges.end()}));
    if (!rest) return rest.error();
    if (const Status swapped = Exchange(spare, path, beforeSwap); !swapped) {
      ::unlink(spare.c_str());
      return swapped.error();
    }
    if (queue.IsAt(spare)) {
      ::unlink(spare.c_str());
      return std::optional<Range>(ranges.front());
    }
    // The queue was rewritten after it was read: the new one goes back and
    // the range is taken from it.
    if (const Status putBack = PutBack(spare, path, std::move(rest.value()), beforeSwap); !putBack)
      return putBack.error();
  }
  return SystemError(path, EAGAIN);
}
