// Internal: one row of a file to or from one row of pixels, over plain pointers.
#ifndef PIXELRY_DETAIL_ROWCODECS_H
#define PIXELRY_DETAIL_ROWCODECS_H

#include <cstdint>

#include "../Pixelry_Image.h"

namespace pixelry::detail {

// Palette index of pixel x in a row packed at 1, 4 or 8 bits, first pixel in the most
// significant bits of its byte.
inline unsigned indexAt(const PixelryBYTE* row, int x, int bits) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (x % perByte + 1);
  return (row[x / perByte] >> shift) & ((1u << bits) - 1);
}

// Row codecs over plain pointers. Direct depths are 24 and 32; indexed 1, 4 and 8.
// A 24-bit row carries no Alpha: the decoder leaves each pixel's own (Alpha24::keep, the
// public row decoder) or sets it to 0 (Alpha24::zero, the reader's fresh grid).
enum class Alpha24 { keep, zero };
void decodeDirectRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width, Alpha24 alpha);
void decodeIndexedRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width, const RGBApixel* table);
void encodeDirectRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width);

// The red, green and blue masks of a 16-bit file with the shifts that bring each down to
// five bits, and the shifts that bring the result up to 8 bits: 3, or for a mask of
// fewer than five bits 8 less its bit count.
struct BitFields {
  PixelryWORD mask[3];
  int shift[3];
  int up[3];
};
BitFields makeBitFields(PixelryWORD red, PixelryWORD green, PixelryWORD blue);
// Decodes the whole 16-bit words among the first `available` bytes of a row into pixels
// with Alpha 0; the pixels whose word is missing are left as they are.
void decode16bitRow(const PixelryBYTE* in, std::int64_t available, RGBApixel* out, int width,
                    const BitFields& fields);
// Encodes a row as 5-6-5 words, padding included.
void encode16bitRow(const RGBApixel* in, PixelryBYTE* out, int width);

// Packs one row of palette indices, most significant bits first; indexOf maps a pixel
// to its index. The bits after the last pixel of a partly filled byte are 0. A byte is
// the low 8 bits of the sum of its indices, each weighted by its place, so an index too
// wide for the depth (a 1-bit row of an 8-bit image) spills into the places before it.
template <class IndexOf>
void encodeIndexedRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width, IndexOf&& indexOf) {
  if (bits == 8) {
    for (int x = 0; x < width; ++x) out[x] = indexOf(in[x]);
    return;
  }
  const int perByte = 8 / bits;
  int x = 0;
  for (; x + perByte <= width; x += perByte) {
    unsigned packed = 0;
    for (int k = 0; k < perByte; ++k) packed = (packed << bits) + indexOf(in[x + k]);
    *out++ = static_cast<PixelryBYTE>(packed);
  }
  if (x < width) {
    unsigned packed = 0;
    for (int k = 0; k < perByte; ++k) packed = (packed << bits) + (x + k < width ? indexOf(in[x + k]) : 0u);
    *out = static_cast<PixelryBYTE>(packed);
  }
}

}  // namespace pixelry::detail

#endif
