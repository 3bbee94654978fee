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

// The format's constants, named once.
constexpr PixelryWORD kSignature = 19778;        // "BM"
constexpr PixelryWORD kArraySignature = 0x4142;  // "BA", an OS/2 bitmap array
constexpr std::int64_t kFileHeaderBytes = 14;
// Info header sizes: OS/2 1.x (core), Windows 3, and Windows' longer successors. Other
// sizes from 16 to 64 bytes are OS/2 2.x headers, which may stop after any field.
constexpr std::uint32_t kCoreHeader = 12, kInfoHeader = 40, kV2Header = 52, kV3Header = 56, kV4Header = 108,
                        kV5Header = 124, kOs2Smallest = 16, kOs2Largest = 64;
constexpr std::int64_t kHeadersBytes = kFileHeaderBytes + kInfoHeader;  // 54
// Compression codes (OS/2 2.x headers use 3 and 4 for Huffman 1D and RLE24).
constexpr std::uint32_t kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5,
                        kAlphaBitFields = 6;
// Colour spaces of V4 and V5 headers: calibrated by the header's endpoints and gammas, a
// profile in the file ("MBED"), a profile named by its file name ("LINK").
constexpr std::uint32_t kCalibratedRgb = 0, kEmbeddedProfile = 0x4D424544, kLinkedProfile = 0x4C494E4B;
// An unset resolution is written as 96 dpi.
constexpr std::int32_t kDefaultPelsPerMeter = 3780;
// Red, green and blue masks of a 16-bit file without bit fields (5-5-5).
constexpr std::uint32_t k555Masks[3] = {0x7C00, 0x03E0, 0x001F};

// Little-endian values in a byte array.
inline std::uint16_t le16(const PixelryBYTE* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }
inline std::uint32_t le32(const PixelryBYTE* at) {
  return at[0] | static_cast<std::uint32_t>(at[1]) << 8 | static_cast<std::uint32_t>(at[2]) << 16 |
         static_cast<std::uint32_t>(at[3]) << 24;
}
inline void putLe32(PixelryBYTE* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<PixelryBYTE>(value >> (8 * i));
}

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
