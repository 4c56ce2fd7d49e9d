#include "model/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

#include "model/Redaction.h"

std::string LockFilePath(const std::string& path) { return path + ".lock"; }

Result<FileLock> FileLock::Acquire(const std::string& path, std::chrono::milliseconds wait) {
  const std::string lockPath = LockFilePath(path);
  if (lockPath.find('\0') != std::string::npos)
    return Error{RedactPasswords(path) + ": the name holds a NUL", EINVAL};
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    const int error = errno;
    return Error{RedactPasswords(lockPath) + ": " + std::generic_category().message(error), error};
  }
  // Polled rather than blocking, so that the wait has an end.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK && error != EINTR) {
      ::close(fd);
      return Error{RedactPasswords(lockPath) + ": " + std::generic_category().message(error), error};
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return Error{RedactPasswords(path) + ": another quillstrand is changing it; try again later",
                   EWOULDBLOCK};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return FileLock(fd);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

// Closing the descriptor lets go of the lock.
FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}
