// Saving an image as a BMP file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "Pixelry_Integers.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/OutputFile.h"
#include "detail/PaletteSearch.h"
#include "detail/Report.h"
#include "detail/RowCodecs.h"
#include "detail/Streams.h"

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

// Packs one image row at the image's depth; only a 16-bit row gets its padding here.
void packRow(const BMP& image, const RGBApixel* row, PixelryBYTE* out) {
  const int bits = image.TellBitDepth(), width = image.TellWidth();
  if (bits == 16)
    encode16bitRow(row, out, width);
  else if (isIndexedDepth(bits))
    encodeIndexedRow(bits, row, out, width, paletteSearchFor(ImageAccess::table(image), image.TellNumberOfColors()));
  else
    encodeDirectRow(bits, row, out, width);
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
  OutputFile file;
  if (!file.open(FileName)) {
    fail({"Cannot open file " + name + " for output."});
    return false;
  }
  if (!file.commit(writeToStream(*this, file.stream()))) {
    fail({"Could not write proper amount of data."});
    return false;
  }
  return true;
}

bool pixelry::detail::writeToStream(const BMP& image, std::FILE* file) {
  const int width = image.TellWidth(), height = image.TellHeight(), bits = image.TellBitDepth();
  const Layout layout = layoutOf(width, height, bits);
  const std::int32_t xPelsPerMeter = ImageAccess::resolution(image).first;
  const std::int32_t yPelsPerMeter = ImageAccess::resolution(image).second;

  BMFH bmfh;
  bmfh.bfSize = static_cast<PixelryDWORD>(layout.fileBytes);
  bmfh.bfOffBits = static_cast<PixelryDWORD>(kHeadersBytes + layout.paletteBytes);
  BMIH bmih;
  bmih.biSize = 40;
  bmih.biWidth = static_cast<PixelryDWORD>(width);
  bmih.biHeight = static_cast<PixelryDWORD>(height);
  bmih.biBitCount = static_cast<PixelryWORD>(bits);
  bmih.biCompression = bits == 16 ? 3 : 0;
  bmih.biSizeImage = static_cast<PixelryDWORD>(layout.imageBytes);
  // An unset resolution is written as 96 dpi.
  bmih.biXPelsPerMeter = static_cast<PixelryDWORD>(xPelsPerMeter != 0 ? xPelsPerMeter : 3780);
  bmih.biYPelsPerMeter = static_cast<PixelryDWORD>(yPelsPerMeter != 0 ? yPelsPerMeter : 3780);
  if (!writeRecord(file, bmfh) || !writeRecord(file, bmih)) return false;

  if (isIndexedDepth(bits)) {
    // RGBApixel has the byte order of a palette entry.
    PixelryBYTE table[4 * 256];
    const RGBApixel* entries = ImageAccess::table(image);
    for (std::size_t i = 0; i < static_cast<std::size_t>(image.TellNumberOfColors()); ++i) {
      table[4 * i] = entries[i].Blue;
      table[4 * i + 1] = entries[i].Green;
      table[4 * i + 2] = entries[i].Red;
      table[4 * i + 3] = entries[i].Alpha;
    }
    if (!writeBytes(file, table, layout.paletteBytes)) return false;
  } else if (bits == 16) {
    if (!writeBytes(file, k565Masks, sizeof k565Masks)) return false;
  }

  // Many rows go out in one write. The buffer is cleared once: the 1-, 4-, 8-, 24- and
  // 32-bit encoders never touch the padding, so it stays 0, and the 16-bit encoder
  // writes its own.
  const std::int64_t rowsPerChunk = std::clamp<std::int64_t>(kChunkBytes / layout.rowSize, 1, height);
  std::unique_ptr<PixelryBYTE[]> buffer(
      new (std::nothrow) PixelryBYTE[static_cast<std::size_t>(rowsPerChunk * layout.rowSize)]());
  if (!buffer) return false;
  const RGBApixel* pixels = ImageAccess::pixels(image);
  // The file stores the bottom row first.
  for (int y = height - 1; y >= 0;) {
    const std::int64_t rows = std::min<std::int64_t>(rowsPerChunk, y + 1);
    for (std::int64_t k = 0; k < rows; ++k, --y)
      packRow(image, pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
              buffer.get() + k * layout.rowSize);
    if (!writeBytes(file, buffer.get(), rows * layout.rowSize)) return false;
  }
  return true;
}
