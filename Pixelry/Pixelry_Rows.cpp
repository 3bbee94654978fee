// Row codecs: one file row to or from one image row, with plain pointers.
#include <cstddef>

#include "Pixelry_FormatDetail.h"

namespace pixelry::detail {

std::int64_t pixelBytes(int width, int bits) {
  return (static_cast<std::int64_t>(width) * bits + 7) / 8;
}

std::int64_t rowSizeBytes(int width, int bits) { return (pixelBytes(width, bits) + 3) / 4 * 4; }

void decodeDirectRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width) {
  if (bits == 32) {
    for (int x = 0; x < width; ++x, in += 4) out[x] = RGBApixel{in[0], in[1], in[2], in[3]};
    return;
  }
  // 24 bits carry no Alpha: the pixel keeps its own.
  for (int x = 0; x < width; ++x, in += 3) {
    out[x].Blue = in[0];
    out[x].Green = in[1];
    out[x].Red = in[2];
  }
}

void decodeIndexedRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width,
                      const RGBApixel* table) {
  if (bits == 8) {
    for (int x = 0; x < width; ++x) out[x] = table[in[x]];
    return;
  }
  for (int x = 0; x < width; ++x) out[x] = table[indexAt(in, x, bits)];
}

void encodeDirectRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width) {
  for (int x = 0; x < width; ++x) {
    *out++ = in[x].Blue;
    *out++ = in[x].Green;
    *out++ = in[x].Red;
    if (bits == 32) *out++ = in[x].Alpha;
  }
}

BitFields makeBitFields(PixelryWORD red, PixelryWORD green, PixelryWORD blue) {
  BitFields fields{{red, green, blue}, {0, 0, 0}};
  for (int c = 0; c < 3; ++c)
    for (unsigned m = fields.mask[c]; m > 31; m >>= 1) ++fields.shift[c];
  return fields;
}

void decode16bitRow(const PixelryBYTE* in, std::int64_t available, RGBApixel* out, int width,
                    const BitFields& fields) {
  const std::int64_t words = available / 2 < width ? available / 2 : width;
  for (std::int64_t x = 0; x < words; ++x) {
    const unsigned word = in[2 * x] | (in[2 * x + 1] << 8);
    // Each channel keeps at most the top five bits of its mask, scaled by 8.
    PixelryBYTE channel[3];
    for (int c = 0; c < 3; ++c)
      channel[c] = static_cast<PixelryBYTE>(((word & fields.mask[c]) >> fields.shift[c]) << 3);
    out[x].Red = channel[0];
    out[x].Green = channel[1];
    out[x].Blue = channel[2];
  }
}

void encode16bitRow(const RGBApixel* in, PixelryBYTE* out, int width) {
  PixelryBYTE* at = out;
  for (int x = 0; x < width; ++x) {
    const unsigned word = ((in[x].Red >> 3) << 11) | ((in[x].Green >> 2) << 5) | (in[x].Blue >> 3);
    *at++ = static_cast<PixelryBYTE>(word);
    *at++ = static_cast<PixelryBYTE>(word >> 8);
  }
  // An odd width leaves two padding bytes; the format fills them with the low byte of
  // the row's last word rather than zeros.
  if (width % 2 == 1) {
    at[0] = at[-2];
    at[1] = at[-2];
  }
}

}  // namespace pixelry::detail

namespace {

using pixelry::detail::pixelBytes;

bool bufferHolds(const PixelryBYTE* buffer, int size, int width, int bits) {
  return buffer != nullptr && size >= 0 && size >= pixelBytes(width, bits);
}

}  // namespace

void BMP::UnpackRow(const PixelryBYTE* in, int Row) {
  if (HasColorTable())
    pixelry::detail::decodeIndexedRow(BitDepth, in, RowPointer(Row), Width, ColorTable.data());
  else
    pixelry::detail::decodeDirectRow(BitDepth, in, RowPointer(Row), Width);
}

void BMP::PackRow(PixelryBYTE* out, int Row) {
  const RGBApixel* row = RowPointer(Row);
  if (BitDepth == 16)
    pixelry::detail::encode16bitRow(row, out, Width);
  else if (HasColorTable())
    pixelry::detail::encodeIndexedRow(BitDepth, row, out, Width,
                                      [this](RGBApixel pixel) { return FindClosestColor(pixel); });
  else
    pixelry::detail::encodeDirectRow(BitDepth, row, out, Width);
}

// The public row members work at the depth they name, whatever the image's own depth.
bool BMP::DecodeRow(int bits, const PixelryBYTE* Buffer, int BufferSize, int Row) {
  if (!bufferHolds(Buffer, BufferSize, Width, bits) || Row < 0 || Row >= Height) return false;
  RGBApixel* row = RowPointer(Row);
  if (bits > 8) {
    pixelry::detail::decodeDirectRow(bits, Buffer, row, Width);
  } else if (HasColorTable() && IntPow(2, bits) <= TellNumberOfColors()) {
    pixelry::detail::decodeIndexedRow(bits, Buffer, row, Width, ColorTable.data());
  } else {
    // Indices this image's table cannot answer are refused by GetColor, with its warning.
    for (int x = 0; x < Width; ++x) row[x] = GetColor(static_cast<int>(pixelry::detail::indexAt(Buffer, x, bits)));
  }
  return true;
}

bool BMP::EncodeRow(int bits, PixelryBYTE* Buffer, int BufferSize, int Row) {
  if (!bufferHolds(Buffer, BufferSize, Width, bits) || Row < 0 || Row >= Height) return false;
  if (bits > 8)
    pixelry::detail::encodeDirectRow(bits, RowPointer(Row), Buffer, Width);
  else
    pixelry::detail::encodeIndexedRow(bits, RowPointer(Row), Buffer, Width,
                                      [this](RGBApixel pixel) { return FindClosestColor(pixel); });
  return true;
}

bool BMP::Read32bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return DecodeRow(32, Buffer, BufferSize, Row); }
bool BMP::Read24bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return DecodeRow(24, Buffer, BufferSize, Row); }
bool BMP::Read8bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return DecodeRow(8, Buffer, BufferSize, Row); }
bool BMP::Read4bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return DecodeRow(4, Buffer, BufferSize, Row); }
bool BMP::Read1bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return DecodeRow(1, Buffer, BufferSize, Row); }

bool BMP::Write32bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return EncodeRow(32, Buffer, BufferSize, Row); }
bool BMP::Write24bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return EncodeRow(24, Buffer, BufferSize, Row); }
bool BMP::Write8bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return EncodeRow(8, Buffer, BufferSize, Row); }
bool BMP::Write4bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return EncodeRow(4, Buffer, BufferSize, Row); }
bool BMP::Write1bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) { return EncodeRow(1, Buffer, BufferSize, Row); }
