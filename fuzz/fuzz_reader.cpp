// The reader on arbitrary bytes: whatever the file says, the read ends with a valid image
// in the state the reader promises, and the pixels it could read are the file's.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"

using fuzz_support::le32;
using fuzz_support::require;
using fuzz_support::samePixel;

namespace {

constexpr RGBApixel kMarker{1, 2, 3, 4};
// A 1 MiB grid at most: large enough for rows far wider than any buffer the reader keeps.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 18;

// The header fields that decide where things are, as the file gives them.
struct Claims {
  std::int64_t offBits;
  std::int64_t headerSize;
  std::int32_t width;
  std::int32_t height;
  int bits;
  std::uint32_t compression;
};

Claims claimsOf(const std::uint8_t* data, std::size_t size) {
  return {le32(data, size, 10),
          le32(data, size, 14),
          static_cast<std::int32_t>(le32(data, size, 18)),
          static_cast<std::int32_t>(le32(data, size, 22)),
          static_cast<int>(le32(data, size, 28) & 0xFFFF),
          le32(data, size, 30)};
}

std::int64_t tableStart(const Claims& c) {
  return c.headerSize > 40 && 14 + c.headerSize <= c.offBits ? 14 + c.headerSize : 54;
}

// Entries the pixel offset leaves room for, at most the whole table.
std::int64_t tableEntries(const Claims& c, std::int64_t colors) {
  const std::int64_t entries = (c.offBits - tableStart(c)) / 4;
  return entries < 0 ? 0 : entries > colors ? colors : entries;
}

// Colour-table entries that the file holds in full are the image's; entries the pixel
// offset leaves no room for are white.
void checkColorTable(BMP& image, const Claims& c, const std::uint8_t* data, std::size_t size) {
  const std::int64_t colors = image.TellNumberOfColors();
  const std::int64_t entries = tableEntries(c, colors);
  for (std::int64_t i = 0; i < colors; ++i) {
    const RGBApixel entry = image.GetColor(static_cast<int>(i));
    const std::int64_t at = tableStart(c) + 4 * i;
    if (i >= entries) {
      require(samePixel(entry, RGBApixel{255, 255, 255, 0}), "colour beyond the table is white");
    } else if (at + 4 <= static_cast<std::int64_t>(size)) {
      const std::size_t k = static_cast<std::size_t>(at);
      require(samePixel(entry, RGBApixel{data[k], data[k + 1], data[k + 2], data[k + 3]}),
              "colour-table entry is the file's");
    }
  }
}

// Where the pixel rows start: after the table entries read (or the 40-byte header) and
// any extra bytes the pixel offset announces.
std::int64_t pixelStart(const Claims& c, std::int64_t colors) {
  if (c.bits > 8) return c.offBits > 54 ? c.offBits : 54;
  const std::int64_t start = tableStart(c);
  const std::int64_t extra = c.offBits - start - 4 * colors;
  return start + 4 * tableEntries(c, colors) + (extra > 0 ? extra : 0);
}

// The first stored row is the bottom row of the image. When the file holds all of it,
// its pixels are the file's bytes (24 and 32 bits) or table entries (8 bits).
void checkBottomRow(BMP& image, const Claims& c, const std::uint8_t* data, std::size_t size) {
  const int bits = c.bits;
  if (bits != 8 && bits != 24 && bits != 32) return;
  const std::int64_t start = pixelStart(c, bits == 8 ? 256 : 0);
  // A row counts only when it arrives whole, padding included.
  const std::int64_t bytes = (std::int64_t{image.TellWidth()} * (bits / 8) + 3) / 4 * 4;
  if (start + bytes > static_cast<std::int64_t>(size)) return;
  const std::uint8_t* row = data + start;
  const int y = image.TellHeight() - 1;
  const auto pixelBytes = static_cast<std::size_t>(bits / 8);
  for (int x = 0; x < image.TellWidth(); ++x) {
    const RGBApixel got = image.GetPixel(x, y);
    const std::uint8_t* pixel = row + static_cast<std::size_t>(x) * pixelBytes;
    RGBApixel want{};
    if (bits == 8) want = image.GetColor(pixel[0]);
    if (bits == 24) want = RGBApixel{pixel[0], pixel[1], pixel[2], 0};
    if (bits == 32) want = RGBApixel{pixel[0], pixel[1], pixel[2], pixel[3]};
    require(samePixel(got, want), "bottom row holds the file's pixels");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::silenceOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (fuzz_support::claimedPixels(data, size) > kMaxPixels) return 0;
  fuzz_support::MemoryFile file(data, size);
  require(file.get() != nullptr, "in-memory stream opens");

  BMP image;
  image.SetSize(2, 3);
  image.SetPixel(1, 2, kMarker);
  const bool loaded = pixelry::detail::readFromStream(image, file.get(), "fuzz.bmp");

  const int bits = image.TellBitDepth();
  require(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32, "supported depth");
  require(image.TellWidth() >= 1 && image.TellHeight() >= 1, "at least one pixel");

  // Bytes a short file does not have keep the signature's, so an empty file is "BM".
  const bool signature = (size < 1 || data[0] == 'B') && (size < 2 || data[1] == 'M');
  const Claims claims = claimsOf(data, size);
  if (!signature) {
    require(!loaded, "a file without the signature is refused");
    require(image.TellWidth() == 2 && image.TellHeight() == 3 && bits == 24, "refused file leaves the image");
    require(samePixel(image.GetPixel(1, 2), kMarker), "refused file leaves the pixels");
    return 0;
  }
  if (!loaded) {
    require(image.TellWidth() == 1 && image.TellHeight() == 1 && bits == 1,
            "a refused file resets the image");
    require(samePixel(image.GetPixel(0, 0), RGBApixel{255, 255, 255, 0}), "reset pixel is white");
    return 0;
  }
  require(size >= 54, "a loaded file holds both headers");
  require(image.TellWidth() == claims.width && image.TellHeight() == claims.height, "size is the file's");
  require(bits == claims.bits, "depth is the file's");
  require(claims.compression == 0 || (claims.compression == 3 && bits == 16),
          "only plain or 16-bit bit fields");

  // Touch every pixel: the grid must be whole.
  unsigned sum = 0;
  for (int y = 0; y < image.TellHeight(); ++y) {
    const RGBApixel* row = image(0, y);
    for (int x = 0; x < image.TellWidth(); ++x) sum += row[x].Red + row[x].Alpha;
  }
  (void)sum;

  if (bits <= 8) checkColorTable(image, claims, data, size);
  checkBottomRow(image, claims, data, size);
  return 0;
}
