// Writing a file so that a failed write never destroys the file it was meant to replace.
#include "detail/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define PIXELRY_REPLACES_FILES 1
#endif

namespace pixelry::detail {

namespace {

#ifdef PIXELRY_REPLACES_FILES

// Symbolic links are followed at most this many times, as the kernel does before it
// gives up with ELOOP.
constexpr int kMostLinks = 40;
// Tries at a free temporary name before giving up.
constexpr int kMostNames = 100;

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path a chain of symbolic links ends at, which need not exist yet; empty when the
// chain cannot be followed to its end (a loop, an unreadable link).
std::string followLinks(std::string path) {
  for (int hop = 0; hop < kMostLinks; ++hop) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::string target(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 0) + 256, '\0');
    const ssize_t length = ::readlink(path.c_str(), &target[0], target.size());
    if (length <= 0 || static_cast<std::size_t>(length) == target.size()) return {};
    target.resize(static_cast<std::size_t>(length));
    // A relative link is relative to the directory that holds it.
    path = target[0] == '/' ? target : directoryOf(path).append("/").append(target);
  }
  return {};
}

// A hidden name in directory that no other writer is likely to pick; the exclusive
// create is what makes the file ours.
std::string temporaryName(const std::string& directory) {
  static std::atomic<std::uint64_t> counter{0};
  const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  // splitmix64 over the process, a per-process counter and the clock.
  std::uint64_t z = (static_cast<std::uint64_t>(::getpid()) << 40) ^ (counter.fetch_add(1) << 20) ^ now;
  z += 0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  static const char kDigits[] = "0123456789abcdef";
  std::string name = directory + "/.pixelry-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(z >> shift) & 15];
  return name + ".tmp";
}

// Errors that say the directory takes no new file from this process, although a file
// already in it may still be writable.
bool refusesNewFiles(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// Creates a temporary file beside target and returns its descriptor, or -1 with errno set.
int createTemporary(const std::string& target, std::string& name) {
  const std::string directory = directoryOf(target);
  for (int attempt = 0; attempt < kMostNames; ++attempt) {
    name = temporaryName(directory);
    // 0666 as fopen uses, so that a new file gets the permissions the umask allows.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

#endif

}  // namespace

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
  if (!temporary_.empty()) std::remove(temporary_.c_str());
}

bool OutputFile::open(const char* name) {
  if (!name) return false;
#ifdef PIXELRY_REPLACES_FILES
  const std::string target = followLinks(name);
  struct stat status {};
  const bool exists = !target.empty() && ::stat(target.c_str(), &status) == 0;
  const bool replaceable = exists ? S_ISREG(status.st_mode) && status.st_nlink == 1 &&
                                        ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0
                                  : !target.empty() && errno == ENOENT;
  if (replaceable) {
    std::string temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0 && !refusesNewFiles(errno)) return false;
    if (fd >= 0) {
      if (exists) {
        // The owner first: changing it may clear the set-user-ID and set-group-ID bits.
        (void)!::fchown(fd, status.st_uid, status.st_gid);
        (void)!::fchmod(fd, status.st_mode & 07777);
      }
      file_ = ::fdopen(fd, "wb");
      if (!file_) {
        ::close(fd);
        std::remove(temporary.c_str());
        return false;
      }
      temporary_ = temporary;
      target_ = target;
      return true;
    }
  }
#endif
  file_ = std::fopen(name, "wb");
  return file_ != nullptr;
}

bool OutputFile::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  // Flushed apart from the close, so that a failure to write the last buffered bytes is
  // seen even where fclose would not report it.
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  return std::fclose(file) == 0 && flushed;
}

bool OutputFile::commit(bool written) {
  const bool closed = close();
  if (temporary_.empty()) return written && closed;
  const bool replaced = written && closed && std::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!replaced) std::remove(temporary_.c_str());
  temporary_.clear();
  return replaced;
}

}  // namespace pixelry::detail
