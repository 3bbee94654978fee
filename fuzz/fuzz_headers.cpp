// Header inspection on arbitrary bytes: the records report exactly what the first 54
// bytes say (constructor values where the file is shorter), and the listing always has
// its 22 lines.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzSupport.h"

using fuzz_support::require;

namespace {

// The inspection functions take a path; the input lives in a file in shared memory.
class MemoryPath {
 public:
  MemoryPath()
      : path_("/dev/shm/pixelry-fuzz-headers-" + std::to_string(getpid()) + ".bmp"),
        fd_(open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600)) {}
  ~MemoryPath() {
    close(fd_);
    unlink(path_.c_str());
  }
  MemoryPath(const MemoryPath&) = delete;
  MemoryPath& operator=(const MemoryPath&) = delete;

  const char* hold(const std::uint8_t* data, std::size_t size) {
    require(fd_ >= 0 && ftruncate(fd_, 0) == 0, "in-memory file");
    require(size == 0 || pwrite(fd_, data, size, 0) == static_cast<ssize_t>(size), "in-memory file written");
    return path_.c_str();
  }

 private:
  std::string path_;
  int fd_;
};

// The little-endian value of bytes [at, at + width) of the file laid over the record's
// constructor value: bytes the file does not have keep the constructor's.
std::uint32_t expectedField(const std::uint8_t* data, std::size_t size, std::size_t at, std::size_t width,
                            std::uint32_t constructed) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::uint32_t byte = at + i < size ? data[at + i] : (constructed >> (8 * i)) & 0xFF;
    value |= byte << (8 * i);
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::silenceOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryPath file;
  const char* path = file.hold(data, size);
  // GetBMIH reads past the file header before its own 40 bytes; a file that ends inside
  // the file header leaves nothing for the info header.
  const std::size_t infoSize = size < 14 ? 0 : size;

  const BMFH fh = GetBMFH(path);
  require(fh.bfType == expectedField(data, size, 0, 2, 19778), "bfType");
  require(fh.bfSize == expectedField(data, size, 2, 4, 0), "bfSize");
  require(fh.bfReserved1 == expectedField(data, size, 6, 2, 0), "bfReserved1");
  require(fh.bfReserved2 == expectedField(data, size, 8, 2, 0), "bfReserved2");
  require(fh.bfOffBits == expectedField(data, size, 10, 4, 0), "bfOffBits");

  const BMIH ih = GetBMIH(path);
  require(ih.biSize == expectedField(data, infoSize, 14, 4, 0), "biSize");
  require(ih.biWidth == expectedField(data, infoSize, 18, 4, 0), "biWidth");
  require(ih.biHeight == expectedField(data, infoSize, 22, 4, 0), "biHeight");
  require(ih.biPlanes == expectedField(data, infoSize, 26, 2, 1), "biPlanes");
  require(ih.biBitCount == expectedField(data, infoSize, 28, 2, 0), "biBitCount");
  require(ih.biCompression == expectedField(data, infoSize, 30, 4, 0), "biCompression");
  require(ih.biSizeImage == expectedField(data, infoSize, 34, 4, 0), "biSizeImage");
  require(ih.biXPelsPerMeter == expectedField(data, infoSize, 38, 4, 3780), "biXPelsPerMeter");
  require(ih.biYPelsPerMeter == expectedField(data, infoSize, 42, 4, 3780), "biYPelsPerMeter");
  require(ih.biClrUsed == expectedField(data, infoSize, 46, 4, 0), "biClrUsed");
  require(ih.biClrImportant == expectedField(data, infoSize, 50, 4, 0), "biClrImportant");
  require(GetBitmapColorDepth(path) == static_cast<int>(ih.biBitCount), "GetBitmapColorDepth");

  std::ostringstream listing;
  std::streambuf* previous = std::cout.rdbuf(listing.rdbuf());
  DisplayBitmapInfo(path);
  std::cout.rdbuf(previous);
  const std::string text = listing.str();
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  require(lines == 22, "the listing has 22 lines");
  require(text.find("\nbfType: " + std::to_string(fh.bfType) + "\n") != std::string::npos, "listed bfType");
  require(text.find("\nbiHeight: " + std::to_string(ih.biHeight) + "\n") != std::string::npos,
          "listed biHeight");
  return 0;
}
