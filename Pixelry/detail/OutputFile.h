// Internal: the file WriteToFile writes into, replaced whole or not at all.
#ifndef PIXELRY_DETAIL_OUTPUTFILE_H
#define PIXELRY_DETAIL_OUTPUTFILE_H

#include <cstdio>
#include <string>

namespace pixelry::detail {

// A regular file (new, or existing with a single link, in a directory that takes new
// files) is written as a temporary file beside it, created exclusively, which replaces the
// target by a rename only once every byte is written and the file is closed: a failed
// write leaves the target as it was, and readers see the old file or the new one, never a
// mix. A symbolic link is followed, and the file it points to is the one replaced; an
// existing target's permission bits, and where the process may its owner and group, pass
// to the new file (the special bits once the bytes are written, since writing clears
// them). Anything else (a device, a FIFO, a file with other hard links, a
// writable file in a directory that refuses new files) is written in place, as fopen
// "wb" does; so is a file mounted onto itself (renaming over a mount point fails), from
// the finished temporary file. Nothing is forced to the disk. On Windows the temporary file replaces the
// target through ReplaceFileW, which keeps its attributes and security; links are not
// followed there, and read-only files and devices are left to fopen.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes the temporary file of a write that was not committed.
  ~OutputFile();

  // Opens the file for binary writing. False when it cannot be (nothing was changed).
  bool open(const char* name);
  // The stream to write into, once open.
  std::FILE* stream() const { return file_; }
  // Flushes and closes the stream and, for a temporary file, renames it over the target.
  // With written false (the caller's writes failed) the temporary file is removed
  // instead. True when every byte reached the file and it stands in the target's place.
  bool commit(bool written);

 private:
  // Closes the stream; true when the last buffered bytes were written and it closed.
  bool close();

  std::FILE* file_ = nullptr;
  std::string temporary_;  // empty when writing in place
  std::string target_;     // the file the temporary one replaces
  bool exists_ = false;    // whether it existed when the write began
  // The target's mode when it has set-user-ID, set-group-ID or sticky bits, set again on
  // the temporary file once written (0: none).
  unsigned specialMode_ = 0;
};

}  // namespace pixelry::detail

#endif
