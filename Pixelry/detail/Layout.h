// Internal: the facts of the file layout that the reader, the writer and the header
// utilities share: depths, header records, row sizes.
#ifndef PIXELRY_DETAIL_LAYOUT_H
#define PIXELRY_DETAIL_LAYOUT_H

#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "../Pixelry_Format.h"

namespace pixelry::detail {

class ByteSink;
class ByteSource;

inline bool isIndexedDepth(int bits) { return bits == 1 || bits == 4 || bits == 8; }
inline bool isSupportedDepth(int bits) {
  return isIndexedDepth(bits) || bits == 16 || bits == 24 || bits == 32;
}

constexpr std::int64_t kHeadersBytes = 54;  // file header (14) and info header (40)
constexpr PixelryWORD kSignature = 19778;   // "BM"

// The header fields in file order with their names: this table drives reading, writing,
// byte swapping and display alike. Header is BMFH or BMIH, const or not; visit is called
// as visit(name, field) for each field.
template <class Header, class Visit>
std::enable_if_t<std::is_same_v<std::remove_const_t<Header>, BMFH>> forEachField(Header& h, Visit&& visit) {
  visit("bfType", h.bfType);
  visit("bfSize", h.bfSize);
  visit("bfReserved1", h.bfReserved1);
  visit("bfReserved2", h.bfReserved2);
  visit("bfOffBits", h.bfOffBits);
}

template <class Header, class Visit>
std::enable_if_t<std::is_same_v<std::remove_const_t<Header>, BMIH>> forEachField(Header& h, Visit&& visit) {
  visit("biSize", h.biSize);
  visit("biWidth", h.biWidth);
  visit("biHeight", h.biHeight);
  visit("biPlanes", h.biPlanes);
  visit("biBitCount", h.biBitCount);
  visit("biCompression", h.biCompression);
  visit("biSizeImage", h.biSizeImage);
  visit("biXPelsPerMeter", h.biXPelsPerMeter);
  visit("biYPelsPerMeter", h.biYPelsPerMeter);
  visit("biClrUsed", h.biClrUsed);
  visit("biClrImportant", h.biClrImportant);
}

// Fill a record from the next bytes of the source, little-endian field by field. Fields
// the source does not reach keep their values. True when the whole record arrived.
bool readRecord(ByteSource& source, BMFH& header);
bool readRecord(ByteSource& source, BMIH& header);
// Write a record little-endian. True when every byte was written.
bool writeRecord(ByteSink& sink, BMFH header);
bool writeRecord(ByteSink& sink, BMIH header);

// Bytes that hold the pixels of one row: ceil(width x bits / 8).
std::int64_t pixelBytes(int width, int bits);
// Bytes of one stored row: pixelBytes padded to a multiple of 4.
std::int64_t rowSizeBytes(int width, int bits);

// Rows are moved between file and image this many bytes at a time (or one row, when a
// row is longer).
constexpr std::int64_t kChunkBytes = std::int64_t{1} << 20;

}  // namespace pixelry::detail

#endif
