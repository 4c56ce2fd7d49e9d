#include "model/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace {

Error SystemError(const std::string& path, int error) {
  return Error{path + ": " + std::generic_category().message(error), error};
}

Error NotRegularFile(const std::string& path) {
  return Error{path + ": not a regular file", EINVAL};
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, reporting what close says (a late write error on some
  // file systems).
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// The file that a write to `path` should replace: the target of a symbolic
// link, so that a linked settings file stays linked.
std::string ResolveTarget(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return path;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new, empty file beside `target` that nothing else uses. Gives
// its descriptor, or -1 with errno set.
int CreateTemporaryBeside(const std::string& target, std::string* name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = target + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
    const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

Result<std::string> ReadWholeFile(const std::string& path) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return SystemError(path, errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return SystemError(path, errno);
  if (S_ISDIR(info.st_mode)) return SystemError(path, EISDIR);
  // A device or a pipe may never end (/dev/zero) or never answer.
  if (!S_ISREG(info.st_mode)) return NotRegularFile(path);
  // Read straight into the string, one byte more than the file's size so
  // that a file still growing is noticed, and read on to its real end.
  std::string text(static_cast<size_t>(info.st_size) + 1, '\0');
  size_t length = 0;
  for (;;) {
    if (length == text.size()) text.resize(2 * text.size());
    const ssize_t got = ::read(fd.get(), text.data() + length, text.size() - length);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return SystemError(path, errno);
    }
    length += static_cast<size_t>(got);
  }
  text.resize(length);
  return text;
}

Status WriteFileAtomically(const std::string& path, std::string_view content,
                           std::optional<mode_t> mode) {
  const std::string target = ResolveTarget(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  // Renaming over a device or a folder would replace it, not write to it.
  if (exists && !S_ISREG(old.st_mode)) return NotRegularFile(path);

  std::string temporary;
  Descriptor fd(CreateTemporaryBeside(target, &temporary));
  if (fd.get() < 0) return SystemError(path, errno);
  const auto fail = [&](int error) -> Status {
    ::unlink(temporary.c_str());
    return SystemError(path, error);
  };

  if (mode || exists) {
    if (::fchmod(fd.get(), mode ? *mode : (old.st_mode & 07777)) != 0) return fail(errno);
  }
  if (!WriteAll(fd.get(), content) || ::fsync(fd.get()) != 0 || fd.close() != 0) return fail(errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(errno);

  // Make the rename itself durable; a failure here loses nothing written.
  Descriptor folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return Ok();
}
