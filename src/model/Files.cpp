#include "model/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "model/Lines.h"
#include "model/Numbers.h"
#include "model/Redaction.h"

namespace {

// A path in a message: a machine's location may be a URL taken for a file
// name, password and all.
std::string Shown(const std::string& path) { return RedactPasswords(path); }

Error SystemError(const std::string& path, int error) {
  return Error{Shown(path) + ": " + std::generic_category().message(error), error};
}

Error NotRegularFile(const std::string& path) {
  return Error{Shown(path) + ": not a regular file", EINVAL};
}

// The system would take the name as ending at the NUL: another file.
Error NulInName(const std::string& path) {
  return Error{Shown(path) + ": the name holds a NUL", EINVAL};
}

std::string SizeText(uint64_t bytes) {
  if (bytes >= (uint64_t{1} << 30) && bytes % (uint64_t{1} << 30) == 0)
    return std::to_string(bytes >> 30) + " GiB";
  if (bytes >= (uint64_t{1} << 20)) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

Error TooLarge(const std::string& path, uint64_t maxSize) {
  return Error{
      Shown(path) + ": larger than " + SizeText(maxSize) + ", more than such a file ever holds",
      EFBIG};
}

Error OutOfMemory(const std::string& path, uint64_t size) {
  return Error{Shown(path) + ": not enough memory to read its " + SizeText(size), ENOMEM};
}

// Large enough that the system calls cost little beside the scanning, small
// enough that many reading threads at once hold little.
constexpr size_t kBlockSize = 256 << 10;
constexpr size_t kMinBlockSize = 4096;

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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes a rename or a removal in the folder of `path` durable; a failure
// here loses nothing written.
void SyncFolderOf(const std::string& path) {
  Descriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
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

// The writer of `name` when it is a temporary file of CreateTemporaryBeside
// for the file named `base`: "BASE.PID.N.tmp".
std::optional<pid_t> TemporaryWriter(std::string_view name, std::string_view base) {
  if (!name.starts_with(base) || !name.ends_with(".tmp")) return std::nullopt;
  std::string_view rest = name.substr(base.size(), name.size() - base.size() - 4);
  const auto number = [&rest](uint64_t max) -> std::optional<uint64_t> {
    if (rest.size() < 2 || rest[0] != '.' || !IsDigit(rest[1])) return std::nullopt;
    return ReadLeadingNumber(rest.substr(1), &rest, max);
  };
  const auto pid = number(INT_MAX);
  if (!pid || *pid == 0 || !number(UINT_MAX) || !rest.empty()) return std::nullopt;
  return static_cast<pid_t>(*pid);
}

bool IsAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

// Removes what interrupted writes of `target` left beside it: temporary
// files whose writer is gone. A live writer's, and every other file, stay.
void RemoveLeftTemporaries(const std::string& target) {
  DIR* folder = ::opendir(FolderOf(target).c_str());
  if (!folder) return;
  const std::string base = target.substr(target.rfind('/') + 1);
  while (const dirent* entry = ::readdir(folder)) {
    const auto writer = TemporaryWriter(entry->d_name, base);
    if (writer && !IsAlive(*writer)) ::unlinkat(::dirfd(folder), entry->d_name, 0);
  }
  ::closedir(folder);
}

}  // namespace

Result<ReadableFile> ReadableFile::Open(const std::string& path, uint64_t maxSize) {
  if (path.find('\0') != std::string::npos) return NulInName(path);
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SystemError(path, errno);
  ReadableFile file(fd, path, maxSize, 0);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return SystemError(path, errno);
  if (S_ISDIR(info.st_mode)) return SystemError(path, EISDIR);
  // A device or a pipe may never end (/dev/zero) or never answer.
  if (!S_ISREG(info.st_mode)) return NotRegularFile(path);
  file.size_ = static_cast<uint64_t>(info.st_size);
  file.modified_ = static_cast<int64_t>(info.st_mtim.tv_sec);
  if (file.size_ > maxSize) return TooLarge(path, maxSize);
  return file;
}

ReadableFile::ReadableFile(int fd, std::string path, uint64_t maxSize, uint64_t size)
    : fd_(fd), path_(std::move(path)), maxSize_(maxSize), size_(size) {}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      maxSize_(other.maxSize_),
      size_(other.size_),
      modified_(other.modified_) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
  std::swap(fd_, other.fd_);
  std::swap(path_, other.path_);
  maxSize_ = other.maxSize_;
  size_ = other.size_;
  modified_ = other.modified_;
  return *this;
}

ReadableFile::~ReadableFile() {
  if (fd_ >= 0) ::close(fd_);
}

Status ReadableFile::ReadBlocks(const std::function<void(std::string_view)>& visit) const {
  std::vector<char> block(std::clamp<uint64_t>(size_ + 1, kMinBlockSize, kBlockSize));
  uint64_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(fd_, block.data(), block.size(), static_cast<off_t>(offset));
    if (got == 0) return Ok();
    if (got < 0) {
      if (errno == EINTR) continue;
      return SystemError(path_, errno);
    }
    offset += static_cast<uint64_t>(got);
    if (offset > maxSize_) return TooLarge(path_, maxSize_);
    visit(std::string_view(block.data(), static_cast<size_t>(got)));
  }
}

Status ReadableFile::ReadLines(const std::function<void(std::string_view)>& visit) const {
  std::string crossing;  // the start of a line that goes on in the next block
  // The last block read ended with a CR: an LF next belongs to that line end.
  bool afterCarriageReturn = false;
  // Reads the complete lines of `text`, gives what is left.
  const auto readLines = [&](std::string_view text) {
    if (afterCarriageReturn && text.starts_with('\n')) {
      text.remove_prefix(1);
      afterCarriageReturn = false;
    }
    if (text.empty()) return text;
    const size_t read = ForEachCompleteLine(text, visit);
    afterCarriageReturn = read > 0 && read == text.size() && text.back() == '\r';
    return text.substr(read);
  };
  return ReadBlocks([&](std::string_view block) {
    if (!crossing.empty()) {
      const size_t lineEnd = block.find_first_of("\r\n");
      if (lineEnd == std::string_view::npos) {
        crossing.append(block);
        return;
      }
      crossing.append(block.substr(0, lineEnd + 1));
      readLines(crossing);
      crossing.clear();
      block.remove_prefix(lineEnd + 1);
    }
    crossing.assign(readLines(block));
  });
}

Result<std::string> ReadableFile::ReadAll() const {
  try {
    // Read straight into the string, one byte more than the file's size so
    // that a file still growing is noticed, and read on to its real end.
    std::string text(static_cast<size_t>(size_) + 1, '\0');
    size_t length = 0;
    for (;;) {
      if (length == text.size()) {
        if (length > maxSize_) return TooLarge(path_, maxSize_);
        text.resize(std::min<uint64_t>(2 * text.size(), maxSize_ + 1));
      }
      const ssize_t got =
          ::pread(fd_, text.data() + length, text.size() - length, static_cast<off_t>(length));
      if (got == 0) break;
      if (got < 0) {
        if (errno == EINTR) continue;
        return SystemError(path_, errno);
      }
      length += static_cast<size_t>(got);
    }
    text.resize(length);
    return text;
  } catch (const std::bad_alloc&) {
    return OutOfMemory(path_, size_);
  }
}

Result<std::string> ReadWholeFile(const std::string& path, uint64_t maxSize) {
  Result<ReadableFile> file = ReadableFile::Open(path, maxSize);
  if (!file) return file.error();
  return file.value().ReadAll();
}

Status WriteFileAtomically(const std::string& path, std::string_view content,
                           std::optional<mode_t> mode) {
  if (path.find('\0') != std::string::npos) return NulInName(path);
  const std::string target = FileBehindLinks(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  // Renaming over a device or a folder would replace it, not write to it.
  if (exists && !S_ISREG(old.st_mode)) return NotRegularFile(path);

  RemoveLeftTemporaries(target);
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
  SyncFolderOf(target);
  return Ok();
}

std::string FileBehindLinks(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return path;
}

std::optional<mode_t> FilePermissions(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return info.st_mode & 07777;
}

Status RenameDurably(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return SystemError(to, errno);
  SyncFolderOf(to);
  return Ok();
}

Status RemoveDurably(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return SystemError(path, errno);
  SyncFolderOf(path);
  return Ok();
}
