// The full reader (pixelry::readMemory) on arbitrary bytes, under a pixel limit. A refusal
// leaves the image exactly as it was; a success has a supported depth, the size and depth
// the header claims, within the limit, and only the pixel values its depth can produce.
// The same bytes with the height's sign turned read as the same image upside down.
// When the colours are not converted from a profile or calibration, the classic reader
// accepts the same bytes and both readers take the table, the
// masks and the pixels from the same place, the two images agree: exactly at 24 and 32
// bits, in colour at 1, 4 and 8 bits (the full reader sets Alpha 0 where the classic one
// keeps the table's fourth byte), and at 16 bits by the widening rule of each reader.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Pixelry/Pixelry_IO.h"
#include "Pixelry/Pixelry_Warnings.h"

using fuzz_support::le32;
using fuzz_support::require;
using fuzz_support::samePixel;

namespace {

// A 1 MiB grid at most. Inputs stay under 10 KiB, so a larger grid is only more white to
// fill: at 2^22 pixels, clearing fresh pages took half the run.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 18;

// The checks that walk every pixel are left out of the fuzzer's coverage: their branches
// say nothing about the library, and instrumenting them costs most of the run.
#if defined(__clang__)
#define PIXELRY_FUZZ_UNGUIDED __attribute__((no_sanitize("coverage")))
#else
#define PIXELRY_FUZZ_UNGUIDED
#endif

std::uint32_t le16(const std::uint8_t* data, std::size_t size, std::size_t at) {
  return le32(data, size, at) & 0xFFFF;
}

bool sameColour(const RGBApixel& a, const RGBApixel& b) {
  return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red;
}

std::uint32_t rgbKey(const RGBApixel& p) {
  return std::uint32_t{p.Red} << 16 | std::uint32_t{p.Green} << 8 | p.Blue;
}

// Everything a caller can observe of an image.
struct Snapshot {
  int width = 0, height = 0, bits = 0, horizontalDpi = 0, verticalDpi = 0;
  std::vector<RGBApixel> table, pixels;
};

PIXELRY_FUZZ_UNGUIDED Snapshot snapshotOf(BMP& image) {
  Snapshot s;
  s.width = image.TellWidth();
  s.height = image.TellHeight();
  s.bits = image.TellBitDepth();
  s.horizontalDpi = image.TellHorizontalDPI();
  s.verticalDpi = image.TellVerticalDPI();
  if (s.bits <= 8)
    for (int i = 0; i < image.TellNumberOfColors(); ++i) s.table.push_back(image.GetColor(i));
  for (int y = 0; y < s.height; ++y) s.pixels.insert(s.pixels.end(), image(0, y), image(0, y) + s.width);
  return s;
}

PIXELRY_FUZZ_UNGUIDED bool sameSnapshot(const Snapshot& a, const Snapshot& b) {
  return a.width == b.width && a.height == b.height && a.bits == b.bits &&
         a.horizontalDpi == b.horizontalDpi && a.verticalDpi == b.verticalDpi &&
         std::equal(a.table.begin(), a.table.end(), b.table.begin(), b.table.end(), samePixel) &&
         std::equal(a.pixels.begin(), a.pixels.end(), b.pixels.begin(), b.pixels.end(), samePixel);
}

// The image a read starts from: nothing a reader would produce by itself (an odd size, a
// table that is not the standard one, a set resolution), so that any change shows.
void prepare(BMP& image) {
  image.SetSize(3, 2);
  image.SetBitDepth(4);
  for (int i = 0; i < 16; ++i) {
    const auto v = static_cast<PixelryBYTE>(16 * i + 1);
    image.SetColor(i, RGBApixel{v, static_cast<PixelryBYTE>(255 - v), static_cast<PixelryBYTE>(i), 7});
  }
  for (int x = 0; x < 3; ++x) image.SetPixel(x, 1, RGBApixel{static_cast<PixelryBYTE>(x), 9, 8, 200});
  image.SetDPI(50, 70);
}

// The header fields both readers go by, as the file gives them: OS/2 1.x headers (12
// bytes) have 16-bit sizes and no compression; every other header has the 40-byte
// header's fields in its first bytes; those past its end read 0.
struct Claims {
  std::int64_t offBits = 0, headerSize = 0, width = 0, height = 0;
  int bits = 0;
  std::uint32_t compression = 0;
};

Claims claimsOf(const std::uint8_t* data, std::size_t size) {
  Claims claims;
  claims.offBits = le32(data, size, 10);
  claims.headerSize = le32(data, size, 14);
  if (claims.headerSize == 12) {
    claims.width = le16(data, size, 18);
    claims.height = le16(data, size, 20);
    claims.bits = static_cast<int>(le16(data, size, 24));
    return claims;
  }
  claims.width = static_cast<std::int32_t>(le32(data, size, 18));
  claims.height = static_cast<std::int32_t>(le32(data, size, 22));
  claims.bits = static_cast<int>(le16(data, size, 28));
  // A 16- to 19-byte header holds the low bytes of the compression, if any.
  const std::int64_t compressionBytes = std::min<std::int64_t>(claims.headerSize - 16, 4);
  if (compressionBytes > 0)
    claims.compression = le32(data, size, 30) & (0xFFFFFFFFu >> (8 * (4 - compressionBytes)));
  return claims;
}

// A binary search written out: the standard one would be instrumented.
PIXELRY_FUZZ_UNGUIDED bool sortedHolds(const std::vector<std::uint32_t>& sorted, std::uint32_t key) {
  std::size_t low = 0, high = sorted.size();
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (sorted[middle] < key)
      low = middle + 1;
    else
      high = middle;
  }
  return low < sorted.size() && sorted[low] == key;
}

// The pixel values a read can give, whatever the file holds: table colours (white too
// where the data ends early) at 1, 4 and 8 bits, and Alpha 0 where the file has no alpha
// channel.
PIXELRY_FUZZ_UNGUIDED void checkValues(BMP& image, bool cut, bool alphaZero) {
  const int bits = image.TellBitDepth(), width = image.TellWidth(), height = image.TellHeight();
  std::vector<std::uint32_t> colours;
  if (bits <= 8) {
    for (int i = 0; i < image.TellNumberOfColors(); ++i) {
      const RGBApixel entry = image.GetColor(i);
      require(entry.Alpha == 0, "the full reader's table entries have Alpha 0");
      colours.push_back(rgbKey(entry));
    }
    if (cut) colours.push_back(0xFFFFFF);
    std::sort(colours.begin(), colours.end());
  }
  std::uint32_t lastFound = 0x1000000;
  for (int y = 0; y < height; ++y) {
    const RGBApixel* row = image(0, y);
    for (int x = 0; x < width; ++x) {
      if (alphaZero) require(row[x].Alpha == 0, "Alpha 0 without an alpha channel");
      if (bits > 8) continue;
      const std::uint32_t key = rgbKey(row[x]);
      if (key == lastFound) continue;
      require(sortedHolds(colours, key), "an indexed pixel is a table colour");
      lastFound = key;
    }
  }
}

// The same bytes with the sign of the height turned read as the image upside down: a
// top-down file stores its rows in the opposite order, and nothing else changes. The
// 12-byte OS/2 header has an unsigned height, and run-length files are never top-down.
PIXELRY_FUZZ_UNGUIDED void checkFlipped(BMP& image, const pixelry::Result& read, const std::uint8_t* data,
                                        std::size_t size, const pixelry::ReadOptions& options) {
  std::vector<std::uint8_t> flipped(data, data + size);
  const std::uint32_t height = le32(data, size, 22);
  const std::uint32_t turned = ~height + 1;
  for (std::size_t i = 0; i < 4; ++i) flipped[22 + i] = static_cast<std::uint8_t>(turned >> (8 * i));
  BMP other;
  const pixelry::Result result = pixelry::readMemory(other, flipped.data(), flipped.size(), options);
  require(static_cast<bool>(result), "the height turned reads too");
  require(result.warnings == read.warnings, "the height turned reads with the same warnings");
  const int width = image.TellWidth(), rows = image.TellHeight();
  require(other.TellWidth() == width && other.TellHeight() == rows &&
              other.TellBitDepth() == image.TellBitDepth(),
          "the height turned keeps the size and depth");
  for (int y = 0; y < rows; ++y) {
    const RGBApixel* a = image(0, y);
    const RGBApixel* b = other(0, rows - 1 - y);
    for (int x = 0; x < width; ++x)
      require(samePixel(a[x], b[x]), "the height turned reads the image upside down");
  }
}

// A read without warnings of a file whose pixel offset lies past its headers and whole
// colour table took every entry of the table and every row from the file's bytes: rows
// from the pixel offset, bottom row first unless the height is negative, each padded to
// 4 bytes; 24 bits as blue, green, red, 32 bits as blue, green, red, Alpha, and 1, 4 and 8
// bits as indices into the table, first pixel in the high bits of its byte.
PIXELRY_FUZZ_UNGUIDED void checkRows(BMP& image, const Claims& claims, const std::uint8_t* data,
                                     std::size_t size) {
  const int bits = image.TellBitDepth(), width = image.TellWidth(), height = image.TellHeight();
  const std::int64_t rowSize = (std::int64_t{width} * bits + 31) / 32 * 4;
  require(claims.offBits + rowSize * height <= static_cast<std::int64_t>(size),
          "a read without warnings had every row");
  const std::size_t entrySize = claims.headerSize == 12 ? 3 : 4;
  const auto table = static_cast<std::size_t>(14 + claims.headerSize);
  if (bits <= 8)
    for (int i = 0; i < image.TellNumberOfColors(); ++i) {
      const std::uint8_t* entry = data + table + entrySize * static_cast<std::size_t>(i);
      require(samePixel(image.GetColor(i), RGBApixel{entry[0], entry[1], entry[2], 0}),
              "the table is the file's");
    }
  for (int y = 0; y < height; ++y) {
    const std::int64_t stored = claims.height < 0 ? y : height - 1 - y;
    const std::uint8_t* row = data + claims.offBits + stored * rowSize;
    const RGBApixel* pixels = image(0, y);
    for (int x = 0; x < width; ++x) {
      RGBApixel want{};
      if (bits == 24) {
        const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
        want = RGBApixel{p[0], p[1], p[2], 0};
      } else if (bits == 32) {
        const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
        want = RGBApixel{p[0], p[1], p[2], p[3]};
      } else {
        const int perByte = 8 / bits;
        const unsigned index = (row[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1u << bits) - 1);
        const std::uint8_t* entry = data + table + entrySize * index;
        want = RGBApixel{entry[0], entry[1], entry[2], 0};
      }
      require(samePixel(pixels[x], want), "a pixel is the file's");
    }
  }
}

int bitCount(std::uint32_t mask) {
  int count = 0;
  for (; mask != 0; mask >>= 1) count += static_cast<int>(mask & 1);
  return count;
}

// One 16-bit channel read both ways: for each 8-bit value the full reader may give, the
// range of values the classic reader gives for the same channel value v of n bits. The
// full reader widens to round(v x 255 / (2^n - 1)); the classic one keeps the top five
// bits times 8, or v << (8 - n) for a mask narrower than five bits. Both are monotonic
// in v, so each full value maps to one range.
struct ChannelPairs {
  PIXELRY_FUZZ_UNGUIDED explicit ChannelPairs(std::uint32_t mask) {
    std::fill(std::begin(low), std::end(low), 256);
    const int n = bitCount(mask);
    if (n == 0) {
      low[0] = high[0] = 0;
      return;
    }
    const std::uint32_t top = (std::uint32_t{1} << n) - 1;
    for (std::uint32_t v = 0; v <= top; ++v) {
      const std::uint32_t full = (2 * v * 255 + top) / (2 * top);
      const int classic = static_cast<int>(n >= 5 ? (v >> (n - 5)) << 3 : v << (8 - n));
      low[full] = std::min(low[full], classic);
      high[full] = std::max(high[full], classic);
    }
  }
  bool agree(PixelryBYTE full, PixelryBYTE classic) const {
    return low[full] <= classic && classic <= high[full];
  }

  int low[256];
  int high[256] = {};
};

// The bytes of a whole colour table: 3 per entry after the 12-byte OS/2 header, else 4.
std::int64_t tableBytes(const Claims& claims) {
  if (claims.bits > 8) return 0;
  return (claims.headerSize == 12 ? 3 : 4) * (std::int64_t{1} << claims.bits);
}

// Whether both readers take the colour table (or the masks) and the pixels from the same
// bytes. The classic reader looks for them right after a 40-byte header and the full one
// after the header the file has, so only a pixel offset past the header and the whole
// table makes the two read the same; an offset beyond that draws a warning from the full
// reader, and such reads are not compared.
bool sameLayout(const Claims& claims) {
  return claims.offBits >= 14 + claims.headerSize + tableBytes(claims);
}

PIXELRY_FUZZ_UNGUIDED void compareWithClassic(BMP& full, const Claims& claims, const std::uint8_t* data,
                                              std::size_t size) {
  fuzz_support::MemoryFile file(data, size);
  require(file.get() != nullptr, "in-memory stream opens");
  BMP classic;
  if (!pixelry::detail::readFromStream(classic, file.get(), "fuzz.bmp")) return;

  const int bits = full.TellBitDepth();
  require(classic.TellWidth() == full.TellWidth() && classic.TellHeight() == full.TellHeight(),
          "the classic and full readers give the same size");
  require(classic.TellBitDepth() == bits, "the classic and full readers give the same depth");
  require(classic.TellHorizontalDPI() == full.TellHorizontalDPI() &&
              classic.TellVerticalDPI() == full.TellVerticalDPI(),
          "the classic and full readers give the same resolution");
  if (bits <= 8)
    for (int i = 0; i < full.TellNumberOfColors(); ++i)
      require(sameColour(classic.GetColor(i), full.GetColor(i)),
              "the classic and full readers give the same table");

  // The masks of a 16-bit file: bit fields after the 40-byte header (inside a longer one,
  // at the same place), else 5-5-5.
  const bool fields = bits == 16 && claims.compression == 3;
  const std::uint32_t red = fields ? le32(data, size, 54) : 0x7C00;
  const std::uint32_t green = fields ? le32(data, size, 58) : 0x03E0;
  const std::uint32_t blue = fields ? le32(data, size, 62) : 0x001F;
  const ChannelPairs redPairs(bits == 16 ? red : 0), greenPairs(bits == 16 ? green : 0),
      bluePairs(bits == 16 ? blue : 0);

  for (int y = 0; y < full.TellHeight(); ++y) {
    const RGBApixel* f = full(0, y);
    const RGBApixel* c = classic(0, y);
    for (int x = 0; x < full.TellWidth(); ++x) {
      if (bits == 24 || bits == 32) {
        require(samePixel(f[x], c[x]), "the classic and full readers give the same pixel");
      } else if (bits <= 8) {
        require(sameColour(f[x], c[x]), "the classic and full readers give the same colour");
      } else {
        require(redPairs.agree(f[x].Red, c[x].Red) && greenPairs.agree(f[x].Green, c[x].Green) &&
                    bluePairs.agree(f[x].Blue, c[x].Blue),
                "the classic and full readers widen the same 16-bit channels by their rules");
        require(c[x].Alpha == 0, "the classic reader gives 16-bit pixels Alpha 0");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::silenceOutput();
  SetPixelrywarningsOff();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BMP image;
  prepare(image);
  const Snapshot before = snapshotOf(image);
  pixelry::ReadOptions options;
  options.maxPixels = kMaxPixels;
  const pixelry::Result result = pixelry::readMemory(image, data, size, options);

  if (!result) {
    require(!result.message.empty() && result.message.find('\n') == std::string::npos,
            "a refusal has a one-line message");
    require(sameSnapshot(snapshotOf(image), before), "a refused read leaves the image exactly as it was");
    return 0;
  }
  require(result.message.empty(), "a success has no message");
  for (const std::string& warning : result.warnings)
    require(!warning.empty() && warning.find('\n') == std::string::npos, "a warning is one line");

  const int bits = image.TellBitDepth();
  const std::int64_t width = image.TellWidth(), height = image.TellHeight();
  require(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32, "supported depth");
  require(width >= 1 && height >= 1, "at least one pixel");
  require(static_cast<std::uint64_t>(width * height) <= kMaxPixels, "no more pixels than the limit");
  const Claims claims = claimsOf(data, size);
  require(width == claims.width && height == (claims.height < 0 ? -claims.height : claims.height),
          "the size the header claims");
  require(bits == claims.bits, "the depth the header claims");

  // No alpha channel: indexed and 24-bit pixels, 16-bit ones without bit fields, and bit
  // fields in the 12 bytes after a 40-byte header, which hold no alpha mask.
  const bool alphaZero = bits <= 8 || bits == 24 || (bits == 16 && claims.compression == 0) ||
                         (claims.compression == 3 && claims.headerSize == 40);
  checkValues(image, !result.warnings.empty(), alphaZero);

  if (claims.headerSize != 12 && claims.compression != 1 && claims.compression != 2)
    checkFlipped(image, result, data, size, options);
  // Colours converted from the file's profile are not the file's bytes.
  if (result.warnings.empty() && result.colour != pixelry::ColourHandling::converted && sameLayout(claims)) {
    if (claims.compression == 0 && bits != 16) checkRows(image, claims, data, size);
    compareWithClassic(image, claims, data, size);
  }
  return 0;
}
