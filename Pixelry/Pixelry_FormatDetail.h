// Internal: what the reader, the writer and the header utilities share about the layout.
#ifndef PIXELRY_FORMATDETAIL_H
#define PIXELRY_FORMATDETAIL_H

#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "Pixelry_Format.h"
#include "Pixelry_Image.h"

namespace pixelry::detail {

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

// Fill a record from the next bytes of the file, little-endian field by field. Fields
// the file does not reach keep their values. True when the whole record arrived.
bool readRecord(std::FILE* file, BMFH& header);
bool readRecord(std::FILE* file, BMIH& header);
// Write a record little-endian. True when every byte was written.
bool writeRecord(std::FILE* file, BMFH header);
bool writeRecord(std::FILE* file, BMIH header);

// Bytes that hold the pixels of one row: ceil(width x bits / 8).
std::int64_t pixelBytes(int width, int bits);
// Bytes of one stored row: pixelBytes padded to a multiple of 4.
std::int64_t rowSizeBytes(int width, int bits);

// Palette index of pixel x in a row packed at 1, 4 or 8 bits, first pixel in the most
// significant bits of its byte.
inline unsigned indexAt(const PixelryBYTE* row, int x, int bits) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (x % perByte + 1);
  return (row[x / perByte] >> shift) & ((1u << bits) - 1);
}

// Row codecs over plain pointers. Direct depths are 24 and 32; indexed 1, 4 and 8.
void decodeDirectRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width);
void decodeIndexedRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width,
                      const RGBApixel* table);
void encodeDirectRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width);

// The red, green and blue masks of a 16-bit file with the shifts that bring each down to
// five bits.
struct BitFields {
  PixelryWORD mask[3];
  int shift[3];
};
BitFields makeBitFields(PixelryWORD red, PixelryWORD green, PixelryWORD blue);
// Decodes the whole 16-bit words among the first `available` bytes of a row; the pixels
// whose word is missing are left as they are.
void decode16bitRow(const PixelryBYTE* in, std::int64_t available, RGBApixel* out, int width,
                    const BitFields& fields);
// Encodes a row as 5-6-5 words, padding included.
void encode16bitRow(const RGBApixel* in, PixelryBYTE* out, int width);

// Packs one row of palette indices, most significant bits first; indexOf maps a pixel
// to its index.
template <class IndexOf>
void encodeIndexedRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width, IndexOf indexOf) {
  if (bits == 8) {
    for (int x = 0; x < width; ++x) out[x] = indexOf(in[x]);
    return;
  }
  const int perByte = 8 / bits;
  for (int x = 0; x < width; x += perByte) {
    unsigned packed = 0;
    for (int k = 0; k < perByte; ++k) {
      packed <<= bits;
      if (x + k < width) packed += indexOf(in[x + k]);
    }
    *out++ = static_cast<PixelryBYTE>(packed);
  }
}

}  // namespace pixelry::detail

#endif
