// Saving an image as a BMP file.
#include <cstdint>
#include <new>
#include <string>

#include "Pixelry_FormatDetail.h"
#include "Pixelry_Report.h"

using namespace pixelry::detail;

namespace {

// Sizes of the parts of the file the writer produces.
struct Layout {
  std::int64_t paletteBytes;  // colour table, or the three masks at 16 bits
  std::int64_t rowSize;
  std::int64_t imageBytes;
  std::int64_t fileBytes;
};

Layout layoutOf(int width, int height, int bits) {
  Layout layout{};
  layout.paletteBytes = isIndexedDepth(bits) ? 4 * IntPow(2, bits) : bits == 16 ? 12 : 0;
  layout.rowSize = rowSizeBytes(width, bits);
  layout.imageBytes = height * layout.rowSize;
  layout.fileBytes = kHeadersBytes + layout.paletteBytes + layout.imageBytes;
  return layout;
}

// 16-bit files are written 5-6-5: red 0xF800, green 0x07E0, blue 0x001F, each stored as
// a little-endian 32-bit value.
constexpr PixelryBYTE k565Masks[12] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0};

bool writeBytes(std::FILE* file, const PixelryBYTE* bytes, std::int64_t count) {
  return std::fwrite(bytes, 1, static_cast<std::size_t>(count), file) == static_cast<std::size_t>(count);
}

}  // namespace

bool BMP::WriteToFile(const char* FileName) {
  if (!PixelrycheckDataSize()) {
    failDataSize();
    return false;
  }
  const std::string name = quoted(FileName);
  if (layoutOf(Width, Height, BitDepth).fileBytes > UINT32_MAX) {
    fail({"Cannot write " + name + ": the image is too large for a BMP file."});
    return false;
  }
  std::FILE* file = FileName ? std::fopen(FileName, "wb") : nullptr;
  if (!file) {
    fail({"Cannot open file " + name + " for output."});
    return false;
  }
  const bool written = WriteToStream(file);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    fail({"Could not write proper amount of data."});
    return false;
  }
  return true;
}

bool BMP::WriteToStream(std::FILE* file) {
  const Layout layout = layoutOf(Width, Height, BitDepth);

  BMFH bmfh;
  bmfh.bfSize = static_cast<PixelryDWORD>(layout.fileBytes);
  bmfh.bfOffBits = static_cast<PixelryDWORD>(kHeadersBytes + layout.paletteBytes);
  BMIH bmih;
  bmih.biSize = 40;
  bmih.biWidth = static_cast<PixelryDWORD>(Width);
  bmih.biHeight = static_cast<PixelryDWORD>(Height);
  bmih.biBitCount = static_cast<PixelryWORD>(BitDepth);
  bmih.biCompression = BitDepth == 16 ? 3 : 0;
  bmih.biSizeImage = static_cast<PixelryDWORD>(layout.imageBytes);
  // An unset resolution is written as 96 dpi.
  bmih.biXPelsPerMeter = static_cast<PixelryDWORD>(XPelsPerMeter != 0 ? XPelsPerMeter : 3780);
  bmih.biYPelsPerMeter = static_cast<PixelryDWORD>(YPelsPerMeter != 0 ? YPelsPerMeter : 3780);
  if (!writeRecord(file, bmfh) || !writeRecord(file, bmih)) return false;

  if (HasColorTable()) {
    // RGBApixel has the byte order of a palette entry.
    PixelryBYTE table[4 * 256];
    for (std::size_t i = 0; i < static_cast<std::size_t>(TellNumberOfColors()); ++i) {
      const RGBApixel& entry = ColorTable[i];
      table[4 * i] = entry.Blue;
      table[4 * i + 1] = entry.Green;
      table[4 * i + 2] = entry.Red;
      table[4 * i + 3] = entry.Alpha;
    }
    if (!writeBytes(file, table, layout.paletteBytes)) return false;
  } else if (BitDepth == 16) {
    if (!writeBytes(file, k565Masks, sizeof k565Masks)) return false;
  }

  // Cleared once: the encoders never touch the padding, so it stays 0.
  std::unique_ptr<PixelryBYTE[]> buffer(new (std::nothrow) PixelryBYTE[static_cast<std::size_t>(layout.rowSize)]());
  if (!buffer) return false;
  // The file stores the bottom row first.
  for (int y = Height - 1; y >= 0; --y) {
    PackRow(buffer.get(), y);
    if (!writeBytes(file, buffer.get(), layout.rowSize)) return false;
  }
  return true;
}

PixelryBYTE BMP::FindClosestColor(RGBApixel& input) {
  int best = 0;
  int bestDistance = 999999;
  for (int i = 0; i < TellNumberOfColors(); ++i) {
    const RGBApixel entry = GetColor(i);
    const int distance = IntSquare(entry.Red - input.Red) + IntSquare(entry.Green - input.Green) +
                         IntSquare(entry.Blue - input.Blue);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
    if (bestDistance <= 0) break;
  }
  return static_cast<PixelryBYTE>(best);
}

bool pixelry::detail::writeToStream(BMP& image, std::FILE* file) { return image.WriteToStream(file); }
