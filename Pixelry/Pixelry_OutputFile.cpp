// Writing a file so that a failed write never destroys the file it was meant to replace.
#include "detail/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "detail/FileNames.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#define PIXELRY_REPLACES_FILES 1
#elif defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define PIXELRY_REPLACES_FILES 1
#endif

namespace pixelry::detail {

namespace {

#ifdef PIXELRY_REPLACES_FILES

// Tries at a free temporary name before giving up.
constexpr int kMostNames = 100;

#ifdef _WIN32
// A drive's letter and colon also end a folder part: "C:out.bmp" is out.bmp in C:'s
// current folder.
constexpr const char* kFolderEnds = "/\\:";
std::uint64_t processId() { return static_cast<std::uint64_t>(::_getpid()); }
#else
constexpr const char* kFolderEnds = "/";
std::uint64_t processId() { return static_cast<std::uint64_t>(::getpid()); }
#endif

// The folder part of a path, with its final separator ("" for a bare name), to which a
// name in the same folder is appended.
std::string folderOf(const std::string& path) {
  const std::size_t end = path.find_last_of(kFolderEnds);
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// A hidden name in folder (a folderOf) that no other writer is likely to pick; the
// exclusive create is what makes the file ours.
std::string temporaryName(const std::string& folder) {
  static std::atomic<std::uint64_t> counter{0};
  const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  // splitmix64 over the process, a per-process counter and the clock.
  std::uint64_t z = (processId() << 40) ^ (counter.fetch_add(1) << 20) ^ now;
  z += 0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  static const char kDigits[] = "0123456789abcdef";
  std::string name = folder + ".pixelry-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(z >> shift) & 15];
  return name + ".tmp";
}

// Errors that say the directory takes no new file from this process, although a file
// already in it may still be writable.
bool refusesNewFiles(int error) {
#ifdef _WIN32
  return error == EACCES || error == EPERM;
#else
  return error == EACCES || error == EPERM || error == EROFS;
#endif
}

#ifdef _WIN32

// What the target is: a file to replace (existing or new), or anything else.
struct Target {
  std::string path;
  bool replaceable = false;
  bool exists = false;
};

// A regular file with one link that this process may write, or a name that is free.
// Devices (NUL, CON), read-only files and names that are not UTF-8 are left to fopen.
Target inspect(const char* name) {
  Target target{name};
  const std::wstring wide = wideName(target.path);
  if (wide.empty()) return target;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    target.replaceable = ::GetLastError() == ERROR_FILE_NOT_FOUND;
    return target;
  }
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY |
                              FILE_ATTRIBUTE_REPARSE_POINT;
  if (attributes & kNotPlain) return target;
  // Opened for writing, as fopen would open it: ReplaceFileW itself needs less, and would
  // replace a file whose security refuses this user writes.
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return target;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool disk =
      ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &information) != 0;
  ::CloseHandle(handle);
  target.exists = true;
  target.replaceable = disk && information.nNumberOfLinks == 1;
  return target;
}

// A new file opened for writing only, or -1 with errno set (EEXIST when the name is taken).
int createExclusive(const std::string& name) {
  return ::_wopen(wideName(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}
// What the new file takes over from the one it replaces: ReplaceFileW carries it.
void carryOver(int /*fd*/, const Target& /*target*/) {}
unsigned specialBits(const Target& /*target*/) { return 0; }
void setSpecialBits(std::FILE* /*file*/, unsigned /*mode*/) {}
std::FILE* streamOf(int fd) { return ::_fdopen(fd, "wb"); }
void closeDescriptor(int fd) { ::_close(fd); }

// ReplaceFileW keeps the target's attributes and security; a target that does not exist
// (any more) is simply moved into.
bool replace(const std::string& temporary, const std::string& target, bool exists) {
  const std::wstring from = wideName(temporary), to = wideName(target);
  if (exists && ::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                               nullptr) != 0)
    return true;
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

#else

// Symbolic links are followed at most this many times, as the kernel does before it
// gives up with ELOOP.
constexpr int kMostLinks = 40;

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
    path = target[0] == '/' ? target : folderOf(path).append(target);
  }
  return {};
}

struct Target {
  std::string path;
  bool replaceable = false;
  bool exists = false;
  struct stat status {};
};

// A regular file with one link that this process may write, or a free name, at the end
// of any symbolic links.
Target inspect(const char* name) {
  Target target{followLinks(name)};
  if (target.path.empty()) return target;
  target.exists = ::stat(target.path.c_str(), &target.status) == 0;
  target.replaceable = target.exists ? S_ISREG(target.status.st_mode) && target.status.st_nlink == 1 &&
                                           ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) == 0
                                     : errno == ENOENT;
  return target;
}

// A new file opened for writing only, or -1 with errno set (EEXIST when the name is taken).
// 0666 as fopen uses, so that a new file gets the permissions the umask allows.
int createExclusive(const std::string& name) {
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
// The target's permission bits, and where the process may its owner and group.
void carryOver(int fd, const Target& target) {
  if (!target.exists) return;
  // The owner first: changing it may clear the set-user-ID and set-group-ID bits.
  (void)!::fchown(fd, target.status.st_uid, target.status.st_gid);
  (void)!::fchmod(fd, target.status.st_mode & 07777);
}
// The system clears the set-user-ID and set-group-ID bits of a file that a process without
// the privilege to keep them writes into: a target with special bits has its whole mode
// (0: none) set once more after the last byte is written.
unsigned specialBits(const Target& target) {
  const unsigned mode = target.status.st_mode & 07777;
  return target.exists && (mode & 07000) != 0 ? mode : 0;
}
void setSpecialBits(std::FILE* file, unsigned mode) {
  (void)!::fchmod(::fileno(file), static_cast<mode_t>(mode));
}
std::FILE* streamOf(int fd) { return ::fdopen(fd, "wb"); }
void closeDescriptor(int fd) { ::close(fd); }

// Copies the finished temporary file into the target in place, and removes it.
bool copyInto(const std::string& temporary, const std::string& target) {
  std::FILE* in = std::fopen(temporary.c_str(), "rb");
  std::FILE* out = in ? std::fopen(target.c_str(), "wb") : nullptr;
  bool copied = out != nullptr;
  char chunk[65536];
  for (std::size_t got; copied && (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
    copied = std::fwrite(chunk, 1, got, out) == got;
  copied = copied && std::ferror(in) == 0;
  if (out && std::fclose(out) != 0) copied = false;
  if (in) std::fclose(in);
  if (copied) removeFile(temporary);
  return copied;
}

// A target that is itself a mount point (a single file mounted into a container, as
// /etc/hosts is) cannot be renamed over: it is written in place, from the finished file.
bool replace(const std::string& temporary, const std::string& target, bool /*exists*/) {
  if (std::rename(temporary.c_str(), target.c_str()) == 0) return true;
  return errno == EBUSY && copyInto(temporary, target);
}

#endif

// Creates the temporary file beside the target; null with errno set when it cannot be.
std::FILE* createTemporary(const Target& target, std::string& name) {
  const std::string folder = folderOf(target.path);
  for (int attempt = 0; attempt < kMostNames; ++attempt) {
    name = temporaryName(folder);
    const int fd = createExclusive(name);
    if (fd >= 0) {
      carryOver(fd, target);
      std::FILE* file = streamOf(fd);
      if (!file) {
        closeDescriptor(fd);
        removeFile(name);
      }
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

#endif

}  // namespace

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
  if (!temporary_.empty()) removeFile(temporary_);
}

bool OutputFile::open(const char* name) {
  if (!name) return false;
#ifdef PIXELRY_REPLACES_FILES
  const Target target = inspect(name);
  if (target.replaceable) {
    std::string temporary;
    file_ = createTemporary(target, temporary);
    if (file_) {
      temporary_ = temporary;
      target_ = target.path;
      exists_ = target.exists;
      specialMode_ = specialBits(target);
      return true;
    }
    if (!refusesNewFiles(errno)) return false;
  }
#endif
  file_ = openFile(name, "wb");
  return file_ != nullptr;
}

bool OutputFile::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  // Flushed apart from the close, so that a failure to write the last buffered bytes is
  // seen even where fclose would not report it.
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
#ifdef PIXELRY_REPLACES_FILES
  if (specialMode_ != 0) setSpecialBits(file, specialMode_);
#endif
  return std::fclose(file) == 0 && flushed;
}

bool OutputFile::commit(bool written) {
  const bool closed = close();
  if (temporary_.empty()) return written && closed;
#ifdef PIXELRY_REPLACES_FILES
  const bool replaced = written && closed && replace(temporary_, target_, exists_);
#else
  const bool replaced = false;
#endif
  if (!replaced) removeFile(temporary_);
  temporary_.clear();
  return replaced;
}

}  // namespace pixelry::detail
