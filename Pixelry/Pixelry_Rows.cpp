// Row codecs: one file row to or from one image row, with plain pointers.
#include <cstddef>
#include <cstring>

#include "Pixelry_Integers.h"
#include "detail/Layout.h"
#include "detail/PaletteSearch.h"
#include "detail/Report.h"
#include "detail/RowCodecs.h"

namespace pixelry::detail {

std::int64_t pixelBytes(int width, int bits) { return (static_cast<std::int64_t>(width) * bits + 7) / 8; }

std::int64_t rowSizeBytes(int width, int bits) { return (pixelBytes(width, bits) + 3) / 4 * 4; }

void decodeDirectRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width, Alpha24 alpha) {
  if (bits == 32) {
    // RGBApixel has the byte order of a 32-bit pixel.
    std::memcpy(out, in, static_cast<std::size_t>(width) * sizeof(RGBApixel));
    return;
  }
  if (alpha == Alpha24::zero) {
    for (int x = 0; x < width; ++x, in += 3) out[x] = RGBApixel{in[0], in[1], in[2], 0};
    return;
  }
  for (int x = 0; x < width; ++x, in += 3) {
    out[x].Blue = in[0];
    out[x].Green = in[1];
    out[x].Red = in[2];
  }
}

void decodeIndexedRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width, const RGBApixel* table) {
  if (bits == 8) {
    for (int x = 0; x < width; ++x) out[x] = table[in[x]];
    return;
  }
  // Whole bytes first, then the pixels of the last, partly used byte.
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  int x = 0;
  for (; x + perByte <= width; x += perByte, ++in)
    for (int k = 0, shift = 8 - bits; k < perByte; ++k, shift -= bits)
      out[x + k] = table[(*in >> shift) & mask];
  for (int shift = 8 - bits; x < width; ++x, shift -= bits) out[x] = table[(*in >> shift) & mask];
}

void encodeDirectRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width) {
  if (bits == 32) {
    std::memcpy(out, in, static_cast<std::size_t>(width) * sizeof(RGBApixel));
    return;
  }
  // Blue, Green and Red are the first three bytes of an RGBApixel. Each pixel but the
  // last is copied whole; its Alpha byte is overwritten by the next pixel.
  for (int x = 0; x + 1 < width; ++x, out += 3) std::memcpy(out, in + x, sizeof(RGBApixel));
  std::memcpy(out, in + width - 1, 3);
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

// The public row members work at the depth they name, whatever the image's own depth.
bool BMP::DecodeRow(int bits, const PixelryBYTE* Buffer, int BufferSize, int Row) {
  if (!bufferHolds(Buffer, BufferSize, Width, bits) || Row < 0 || Row >= Height) return false;
  RGBApixel* row = RowPointer(Row);
  if (bits > 8) {
    pixelry::detail::decodeDirectRow(bits, Buffer, row, Width, pixelry::detail::Alpha24::keep);
  } else if (HasColorTable() && IntPow(2, bits) <= TellNumberOfColors()) {
    pixelry::detail::decodeIndexedRow(bits, Buffer, row, Width, ColorTable.data());
  } else {
    // Indices this image's table cannot answer are refused by GetColor, with its warning.
    for (int x = 0; x < Width; ++x)
      row[x] = GetColor(static_cast<int>(pixelry::detail::indexAt(Buffer, x, bits)));
  }
  return true;
}

bool BMP::EncodeRow(int bits, PixelryBYTE* Buffer, int BufferSize, int Row) {
  if (!bufferHolds(Buffer, BufferSize, Width, bits) || Row < 0 || Row >= Height) return false;
  if (bits > 8) {
    pixelry::detail::encodeDirectRow(bits, RowPointer(Row), Buffer, Width);
  } else if (HasColorTable()) {
    pixelry::detail::PaletteSearch& search =
        pixelry::detail::paletteSearchFor(ColorTable.data(), TellNumberOfColors());
    const RGBApixel* row = RowPointer(Row);
    pixelry::detail::packIndices(bits, Buffer, Width, [&](int x) { return unsigned{search(row[x])}; });
  } else {
    // Every pixel takes index 0, as FindClosestColor answers without a table; the
    // warning comes once for the row.
    pixelry::detail::warnNoTable("access");
    std::memset(Buffer, 0, static_cast<std::size_t>(pixelBytes(Width, bits)));
  }
  return true;
}

bool BMP::Read32bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return DecodeRow(32, Buffer, BufferSize, Row);
}
bool BMP::Read24bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return DecodeRow(24, Buffer, BufferSize, Row);
}
bool BMP::Read8bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return DecodeRow(8, Buffer, BufferSize, Row);
}
bool BMP::Read4bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return DecodeRow(4, Buffer, BufferSize, Row);
}
bool BMP::Read1bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return DecodeRow(1, Buffer, BufferSize, Row);
}

bool BMP::Write32bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return EncodeRow(32, Buffer, BufferSize, Row);
}
bool BMP::Write24bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return EncodeRow(24, Buffer, BufferSize, Row);
}
bool BMP::Write8bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return EncodeRow(8, Buffer, BufferSize, Row);
}
bool BMP::Write4bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return EncodeRow(4, Buffer, BufferSize, Row);
}
bool BMP::Write1bitRow(PixelryBYTE* Buffer, int BufferSize, int Row) {
  return EncodeRow(1, Buffer, BufferSize, Row);
}
