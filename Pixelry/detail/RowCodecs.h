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

// Encodes a row as 5-6-5 words, padding included.
void encode16bitRow(const RGBApixel* in, PixelryBYTE* out, int width);

// Packs one row of palette indices, most significant bits first; indexAt(x) gives the
// index of pixel x. The bits after the last pixel of a partly filled byte are 0. A byte is
// the low 8 bits of the sum of its indices, each weighted by its place, so an index too
// wide for the depth (a 1-bit row of an 8-bit image) spills into the places before it.
template <class IndexAt>
void packIndices(int bits, PixelryBYTE* out, int width, IndexAt&& indexAt) {
  if (bits == 8) {
    for (int x = 0; x < width; ++x) out[x] = static_cast<PixelryBYTE>(indexAt(x));
    return;
  }
  const int perByte = 8 / bits;
  int x = 0;
  for (; x + perByte <= width; x += perByte) {
    unsigned packed = 0;
    for (int k = 0; k < perByte; ++k) packed = (packed << bits) + indexAt(x + k);
    *out++ = static_cast<PixelryBYTE>(packed);
  }
  if (x < width) {
    unsigned packed = 0;
    for (int k = 0; k < perByte; ++k) packed = (packed << bits) + (x + k < width ? indexAt(x + k) : 0u);
    *out = static_cast<PixelryBYTE>(packed);
  }
}

}  // namespace pixelry::detail

#endif
