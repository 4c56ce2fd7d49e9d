#pragma once

#include <chrono>
#include <string>

#include "model/Result.h"

// An advisory lock that processes of this program take before they change a
// file, so that they take turns instead of losing each other's changes. It
// is held on a lock file beside the file ("quillstrand.ini" is locked
// through "quillstrand.ini.lock"), not on the file itself: a file replaced
// by a rename is a new file, and a lock on the old one would guard nothing.
// The lock file stays after use; removing it would let a waiting process
// lock a file that no one else can see any more.
//
// The lock is the system's (flock): it ends with its holder, however that
// ends, so a killed process never leaves the file locked. Two locks on the
// same file exclude each other in one process too.
class FileLock {
 public:
  // Takes the lock on the file at `path`, waiting up to `wait` for another
  // holder to let go. The error names the file: it is busy, or its lock
  // file cannot be made.
  static Result<FileLock> Acquire(const std::string& path, std::chrono::milliseconds wait);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();  // lets go

 private:
  explicit FileLock(int fd) : fd_(fd) {}

  int fd_;
};

// The path of the lock file that guards `path`.
std::string LockFilePath(const std::string& path);
