// What the harnesses share: silent output, in-memory files and the pixel limit.
#ifndef PIXELRY_FUZZ_SUPPORT_H
#define PIXELRY_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "Pixelry/Pixelry.h"
#include "Pixelry/detail/Streams.h"

namespace fuzz_support {

// A stream buffer that drops everything: the library keeps printing its messages (so the
// code that builds them runs), but nothing reaches the terminal.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

inline void silenceOutput() {
  static NullBuffer sink;
  std::cout.rdbuf(&sink);
}

// Stops the run with a message on stderr when an expectation fails, so that libFuzzer
// records the input as a crash.
inline void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "expectation failed: %s\n", what);
  std::abort();
}

// All four channels equal.
inline bool samePixel(const RGBApixel& a, const RGBApixel& b) {
  return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red && a.Alpha == b.Alpha;
}

// The input as a read-only stream. An empty input is a stream at its end.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size)
      : file_(size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb") : fmemopen(empty_, 1, "rb")) {
    if (size == 0 && file_) std::fgetc(file_);
  }
  ~MemoryFile() {
    if (file_) std::fclose(file_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::FILE* get() const { return file_; }

 private:
  char empty_[1] = {0};
  std::FILE* file_;
};

inline std::uint32_t le32(const std::uint8_t* data, std::size_t size, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{at + i < size ? data[at + i] : 0u} << (8 * i);
  return value;
}

// Pixels the info header claims, 0 when it claims no positive size. A harness skips
// inputs that claim more than it can work through quickly: the grid is a legitimate
// allocation whose cost grows with the claim, and the hostile tests cover huge sizes
// under an address-space limit.
inline std::int64_t claimedPixels(const std::uint8_t* data, std::size_t size) {
  const auto width = static_cast<std::int32_t>(le32(data, size, 18));
  const auto height = static_cast<std::int32_t>(le32(data, size, 22));
  if (width <= 0 || height <= 0) return 0;
  return std::int64_t{width} * height;
}

}  // namespace fuzz_support

#endif
