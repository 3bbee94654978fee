// Builds BMP files byte by byte, so that a test reads like the file it describes.
#ifndef PIXELRY_TESTS_BMPFILE_H
#define PIXELRY_TESTS_BMPFILE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// A BMP file as its parts: the two headers (fields by name), whatever stands between
// them and the pixels (colour table, masks, extra bytes), and the stored rows.
struct BmpFile {
  BMFH fileHeader;
  BMIH infoHeader;
  Bytes beforePixels;
  Bytes pixels;

  // Consistent headers for an uncompressed bottom-up image with nothing before the pixels.
  static BmpFile make(int width, int height, int bits) {
    BmpFile file;
    file.infoHeader.biSize = 40;
    file.infoHeader.biWidth = static_cast<PixelryDWORD>(width);
    file.infoHeader.biHeight = static_cast<PixelryDWORD>(height);
    file.infoHeader.biBitCount = static_cast<PixelryWORD>(bits);
    file.fileHeader.bfOffBits = 54;
    return file;
  }

  // Appends colour-table entries (Blue, Green, Red, Alpha) and moves bfOffBits past them.
  BmpFile& palette(const std::vector<RGBApixel>& entries) {
    for (const RGBApixel& e : entries) append(beforePixels, {e.Blue, e.Green, e.Red, e.Alpha});
    fileHeader.bfOffBits += static_cast<PixelryDWORD>(4 * entries.size());
    return *this;
  }

  // Appends raw bytes before the pixels (masks, extra data) and moves bfOffBits past them.
  BmpFile& before(const Bytes& bytes) {
    append(beforePixels, bytes);
    fileHeader.bfOffBits += static_cast<PixelryDWORD>(bytes.size());
    return *this;
  }

  // Appends one stored row (bottom row first), padding included.
  BmpFile& row(const Bytes& bytes) {
    append(pixels, bytes);
    return *this;
  }

  // The whole file; bfSize and biSizeImage are filled in unless a test set them.
  Bytes bytes() const {
    BMFH fh = fileHeader;
    BMIH ih = infoHeader;
    if (fh.bfSize == 0) fh.bfSize = static_cast<PixelryDWORD>(54 + beforePixels.size() + pixels.size());
    if (ih.biSizeImage == 0) ih.biSizeImage = static_cast<PixelryDWORD>(pixels.size());
    Bytes out;
    word(out, fh.bfType);
    dword(out, fh.bfSize);
    word(out, fh.bfReserved1);
    word(out, fh.bfReserved2);
    dword(out, fh.bfOffBits);
    dword(out, ih.biSize);
    dword(out, ih.biWidth);
    dword(out, ih.biHeight);
    word(out, ih.biPlanes);
    word(out, ih.biBitCount);
    dword(out, ih.biCompression);
    dword(out, ih.biSizeImage);
    dword(out, ih.biXPelsPerMeter);
    dword(out, ih.biYPelsPerMeter);
    dword(out, ih.biClrUsed);
    dword(out, ih.biClrImportant);
    append(out, beforePixels);
    append(out, pixels);
    return out;
  }

  static void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
  static void word(Bytes& out, std::uint32_t v) { append(out, {std::uint8_t(v), std::uint8_t(v >> 8)}); }
  static void dword(Bytes& out, std::uint32_t v) {
    append(out, {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
  }
};

inline void writeBytes(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline Bytes readBytes(const std::string& path) {
  Bytes bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
  std::fclose(f);
  return bytes;
}

inline std::uint32_t le32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
inline std::uint16_t le16(const Bytes& b, std::size_t at) { return std::uint16_t(b[at] | (b[at + 1] << 8)); }

}  // namespace testing_support

#endif
