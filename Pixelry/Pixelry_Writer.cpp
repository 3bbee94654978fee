// Saving an image as a BMP file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "Pixelry_IO.h"
#include "Pixelry_Integers.h"
#include "detail/ByteSource.h"
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
  std::int64_t headerBytes;   // both headers
  std::int64_t paletteBytes;  // colour table, or the three masks at 16 bits
  std::int64_t rowSize;
  std::int64_t imageBytes;
  std::int64_t fileBytes;
};

// The longer info header of a 32-bit file with an alpha mask: bit fields and a colour
// space after the 40 bytes of the classic one.
constexpr std::int64_t kV4HeaderBytes = 108;
constexpr PixelryDWORD kBitFields = 3;

Layout layoutOf(int width, int height, int bits, bool alphaMask) {
  Layout layout{};
  layout.headerBytes = alphaMask ? 14 + kV4HeaderBytes : kHeadersBytes;
  layout.paletteBytes = isIndexedDepth(bits) ? 4 * IntPow(2, bits) : bits == 16 ? 12 : 0;
  layout.rowSize = rowSizeBytes(width, bits);
  layout.imageBytes = height * layout.rowSize;
  layout.fileBytes = layout.headerBytes + layout.paletteBytes + layout.imageBytes;
  return layout;
}

// The 68 bytes that make a 40-byte info header a 108-byte one: the red, green, blue and
// alpha masks of BGRA pixels, then the colour space "sRGB" (its endpoints and gammas,
// unused with it, stay 0).
constexpr PixelryBYTE kV4Tail[68] = {0, 0, 0xFF, 0, 0, 0xFF, 0,   0,   0xFF, 0,
                                     0, 0, 0,    0, 0, 0xFF, 'B', 'G', 'R',  's'};

// 16-bit files are written 5-6-5: red 0xF800, green 0x07E0, blue 0x001F, each stored as
// a little-endian 32-bit value.
constexpr PixelryBYTE k565Masks[12] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0};

bool writeBytes(ByteSink& sink, const PixelryBYTE* bytes, std::int64_t count) {
  return sink.write(bytes, static_cast<std::size_t>(count));
}

// Packs one image row at the image's depth; only a 16-bit row gets its padding here.
void packRow(const BMP& image, const RGBApixel* row, PixelryBYTE* out) {
  const int bits = image.TellBitDepth(), width = image.TellWidth();
  if (bits == 16)
    encode16bitRow(row, out, width);
  else if (isIndexedDepth(bits))
    encodeIndexedRow(bits, row, out, width,
                     paletteSearchFor(ImageAccess::table(image), image.TellNumberOfColors()));
  else
    encodeDirectRow(bits, row, out, width);
}

// Writes the whole file; false when a write failed.
bool writeImage(const BMP& image, ByteSink& sink, bool alphaMask) {
  const int width = image.TellWidth(), height = image.TellHeight(), bits = image.TellBitDepth();
  const Layout layout = layoutOf(width, height, bits, alphaMask);
  const auto [xPelsPerMeter, yPelsPerMeter] = ImageAccess::resolution(image);

  BMFH bmfh;
  bmfh.bfSize = static_cast<PixelryDWORD>(layout.fileBytes);
  bmfh.bfOffBits = static_cast<PixelryDWORD>(layout.headerBytes + layout.paletteBytes);
  BMIH bmih;
  bmih.biSize = static_cast<PixelryDWORD>(layout.headerBytes - 14);
  bmih.biWidth = static_cast<PixelryDWORD>(width);
  bmih.biHeight = static_cast<PixelryDWORD>(height);
  bmih.biBitCount = static_cast<PixelryWORD>(bits);
  bmih.biCompression = bits == 16 || alphaMask ? kBitFields : 0;
  bmih.biSizeImage = static_cast<PixelryDWORD>(layout.imageBytes);
  // An unset resolution is written as 96 dpi.
  bmih.biXPelsPerMeter = static_cast<PixelryDWORD>(xPelsPerMeter != 0 ? xPelsPerMeter : 3780);
  bmih.biYPelsPerMeter = static_cast<PixelryDWORD>(yPelsPerMeter != 0 ? yPelsPerMeter : 3780);
  if (!writeRecord(sink, bmfh) || !writeRecord(sink, bmih)) return false;
  if (alphaMask && !writeBytes(sink, kV4Tail, sizeof kV4Tail)) return false;

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
    if (!writeBytes(sink, table, layout.paletteBytes)) return false;
  } else if (bits == 16) {
    if (!writeBytes(sink, k565Masks, sizeof k565Masks)) return false;
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
    if (!writeBytes(sink, buffer.get(), rows * layout.rowSize)) return false;
  }
  return true;
}

// Why a write failed, in the order the checks are made.
enum class WriteFailure { none, dataSize, tooLarge, cannotOpen, incomplete };

// The message of a failure, as lines.
std::vector<std::string> writeFailureLines(WriteFailure failure, const std::string& name) {
  switch (failure) {
    case WriteFailure::tooLarge:
      return {"Cannot write " + name + ": the image is too large for a BMP file."};
    case WriteFailure::cannotOpen:
      return {"Cannot open file " + name + " for output."};
    case WriteFailure::incomplete:
      return {"Could not write proper amount of data."};
    default:
      return {};
  }
}

// Writes the file, replacing an existing one only once the new one is whole.
WriteFailure writeImageFile(const BMP& image, const char* fileName, bool alphaMask) {
  if (!PixelrycheckDataSize()) return WriteFailure::dataSize;
  if (layoutOf(image.TellWidth(), image.TellHeight(), image.TellBitDepth(), alphaMask).fileBytes > UINT32_MAX)
    return WriteFailure::tooLarge;
  OutputFile file;
  if (!file.open(fileName)) return WriteFailure::cannotOpen;
  ByteSink sink(file.stream());
  if (!file.commit(writeImage(image, sink, alphaMask))) return WriteFailure::incomplete;
  return WriteFailure::none;
}

pixelry::Result writeResult(WriteFailure failure, const std::string& name) {
  pixelry::Result result;
  if (failure == WriteFailure::none) return result;
  result.code = failure == WriteFailure::cannotOpen ? pixelry::Code::cannotOpen
                : failure == WriteFailure::tooLarge ? pixelry::Code::tooLarge
                                                    : pixelry::Code::writeFailed;
  const std::vector<std::string> lines = writeFailureLines(failure, name);
  result.message =
      lines.empty() ? "Cannot write " + name + ": the fixed-width types have the wrong size." : lines[0];
  return result;
}

// Alpha masks are written at 32 bits only; other depths have no fourth channel.
bool alphaMaskAt(const BMP& image, const pixelry::WriteOptions& options) {
  return options.alphaMask && image.TellBitDepth() == 32;
}

}  // namespace

bool BMP::WriteToFile(const char* FileName) {
  const WriteFailure failure = writeImageFile(*this, FileName, false);
  if (failure == WriteFailure::dataSize)
    failDataSize();
  else if (failure != WriteFailure::none)
    fail(writeFailureLines(failure, quoted(FileName)));
  return failure == WriteFailure::none;
}

bool pixelry::detail::writeToStream(const BMP& image, std::FILE* file) {
  ByteSink sink(file);
  return writeImage(image, sink, false);
}

pixelry::Result pixelry::writeFile(const BMP& image, const char* fileName, const WriteOptions& options) {
  return writeResult(writeImageFile(image, fileName, alphaMaskAt(image, options)), quoted(fileName));
}

pixelry::Result pixelry::writeMemory(const BMP& image, std::vector<PixelryBYTE>& out,
                                     const WriteOptions& options) {
  out.clear();
  const bool alphaMask = alphaMaskAt(image, options);
  if (layoutOf(image.TellWidth(), image.TellHeight(), image.TellBitDepth(), alphaMask).fileBytes > UINT32_MAX)
    return writeResult(WriteFailure::tooLarge, "memory");
  ByteSink sink(out);
  if (!writeImage(image, sink, alphaMask)) {
    out.clear();
    return writeResult(WriteFailure::incomplete, "memory");
  }
  return {};
}
