// Loading a BMP file into an image.
#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "Pixelry_FormatDetail.h"
#include "Pixelry_Report.h"

using namespace pixelry::detail;

namespace {

constexpr RGBApixel kWhite{255, 255, 255, 0};

// Reads and drops count bytes in bounded chunks, stopping at the end of the file.
void skipBytes(std::FILE* file, std::int64_t count) {
  char chunk[4096];
  while (count > 0) {
    const int size = count < static_cast<std::int64_t>(sizeof chunk) ? static_cast<int>(count)
                                                                      : static_cast<int>(sizeof chunk);
    if (!SafeFread(chunk, 1, size, file)) return;
    count -= size;
  }
}

// The three masks of a bit-field file: 32-bit values of which only the low word counts.
// Bytes the file does not have leave the default 5-5-5 masks in place.
BitFields readBitFields(std::FILE* file) {
  PixelryBYTE bytes[12] = {0x00, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0x00, 0, 0};
  SafeFread(reinterpret_cast<char*>(bytes), 1, sizeof bytes, file);
  auto word = [&](int at) { return static_cast<PixelryWORD>(bytes[at] | (bytes[at + 1] << 8)); };
  return makeBitFields(word(0), word(4), word(8));
}

}  // namespace

bool BMP::ReadFromFile(const char* FileName) {
  if (!PixelrycheckDataSize()) {
    failDataSize();
    return false;
  }
  std::FILE* file = FileName ? std::fopen(FileName, "rb") : nullptr;
  if (!file) {
    fail({"Cannot open file " + quoted(FileName) + " for input."});
    SetBitDepth(1);
    SetSize(1, 1);
    return false;
  }
  const bool loaded = ReadFromStream(file, FileName);
  std::fclose(file);
  return loaded;
}

bool BMP::ReadFromStream(std::FILE* file, const char* FileName) {
  const std::string name = quoted(FileName);
  auto refuse = [&](std::initializer_list<std::string> lines) {
    fail(lines);
    Reset();
    return false;
  };

  // A short file leaves the header defaults in place, so an empty file still carries
  // the signature and is reported as corrupted rather than as not a BMP file.
  BMFH bmfh;
  BMIH bmih;
  bool whole = readRecord(file, bmfh);
  if (bmfh.bfType != kSignature) {
    fail({name + " is not a Windows BMP file!"});
    return false;
  }
  whole = readRecord(file, bmih) && whole;
  if (!whole) return refuse({name + " is obviously corrupted."});

  // The resolution is taken over even from a file refused below.
  XPelsPerMeter = static_cast<int>(bmih.biXPelsPerMeter);
  YPelsPerMeter = static_cast<int>(bmih.biYPelsPerMeter);

  const PixelryDWORD compression = bmih.biCompression;
  const int bits = bmih.biBitCount;
  if (compression == 1 || compression == 2)
    return refuse({name + " is (RLE) compressed.", "Pixelry does not support compression."});
  if (compression > 3)
    return refuse({name + " is in an unsupported format.",
                   "(bmih.biCompression = " + std::to_string(compression) + ")",
                   "The file is probably an old OS2 bitmap or corrupted."});
  if (compression == 3 && bits != 16)
    return refuse({name + " uses bit fields and is not a", "16-bit file. This is not supported."});
  if (!isSupportedDepth(bits)) return refuse({name + " has unrecognized bit depth."});
  SetBitDepth(bits);

  const auto width = static_cast<std::int32_t>(bmih.biWidth);
  const auto height = static_cast<std::int32_t>(bmih.biHeight);
  if (width <= 0 || height <= 0) return refuse({name + " has a non-positive width or height."});
  // Not white yet: the rows the file holds are decoded over it, the others whitened.
  if (!replaceGrid(Pixels, Width, Height, width, height, false))
    return refuse({name + " is too large to fit in memory."});

  bool warnedExtra = false;
  auto skipExtra = [&](std::int64_t count) {
    if (count <= 0) return;
    if (!warnedExtra) warn({"Extra meta data detected in file " + name, "Data will be skipped."});
    warnedExtra = true;
    skipBytes(file, count);
  };

  const std::int64_t offBits = bmfh.bfOffBits;
  BitFields fields = makeBitFields(0x7C00, 0x03E0, 0x001F);
  if (HasColorTable()) {
    const std::int64_t colors = TellNumberOfColors();
    // The table follows the info header. A header longer than 40 bytes is skipped when
    // the pixel offset leaves room for it; otherwise the table is taken to start at 54.
    std::int64_t tableStart = kHeadersBytes;
    const std::int64_t headerSize = bmih.biSize;
    if (headerSize > 40 && 14 + headerSize <= offBits) {
      skipExtra(headerSize - 40);
      tableStart = 14 + headerSize;
    }
    std::int64_t entries = (offBits - tableStart) / 4;
    if (entries > colors) entries = colors;
    if (entries < colors)
      warn({"file " + name + " has an underspecified", "color table. The table will be padded with extra",
            "white (255,255,255,0) entries."});
    PixelryBYTE raw[4 * 256];
    const std::size_t got = entries > 0 ? std::fread(raw, 1, static_cast<std::size_t>(4 * entries), file) : 0;
    // Entries the file ends before keep their standard colours.
    for (std::size_t i = 0; i < got / 4; ++i)
      ColorTable[i] = RGBApixel{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
    for (std::int64_t i = entries > 0 ? entries : 0; i < colors; ++i) ColorTable[static_cast<std::size_t>(i)] = kWhite;
    skipExtra(offBits - tableStart - 4 * colors);
  } else {
    const bool masked = bits == 16 && compression == 3;
    if (masked) fields = readBitFields(file);
    skipExtra(offBits - kHeadersBytes - (masked ? 12 : 0));
  }

  // Many rows come in with one read. The file stores the bottom row first.
  const std::int64_t rowSize = rowSizeBytes(Width, bits);
  const std::int64_t rowsPerChunk = std::clamp<std::int64_t>(kChunkBytes / rowSize, 1, Height);
  std::unique_ptr<PixelryBYTE[]> buffer(
      new (std::nothrow) PixelryBYTE[static_cast<std::size_t>(rowsPerChunk * rowSize)]);
  if (!buffer) return refuse({name + " is too large to fit in memory."});
  for (int y = Height - 1; y >= 0;) {
    const std::int64_t rows = std::min<std::int64_t>(rowsPerChunk, y + 1);
    const auto got = static_cast<std::int64_t>(
        std::fread(buffer.get(), 1, static_cast<std::size_t>(rows * rowSize), file));
    const std::int64_t whole = got / rowSize;
    const PixelryBYTE* row = buffer.get();
    for (std::int64_t k = 0; k < whole; ++k, --y, row += rowSize) {
      if (bits == 16)
        decode16bitRow(row, rowSize, RowPointer(y), Width, fields);
      else
        UnpackRow(row, y);
    }
    if (whole == rows) continue;
    // The file ends inside row y: it and the rows above it stay white.
    fillWhite(RowPointer(0), static_cast<std::size_t>(y + 1) * static_cast<std::size_t>(Width));
    if (bits == 16)
      decode16bitRow(row, got - whole * rowSize, RowPointer(y), Width, fields);  // silently, as far as it goes
    else
      fail({"Could not read proper amount of data."});
    break;
  }
  return true;
}

bool pixelry::detail::readFromStream(BMP& image, std::FILE* file, const char* name) {
  return image.ReadFromStream(file, name);
}
