// The codec API (pixelry::probe, load, decode and RowReader) on arbitrary bytes, against
// the image object's read of the same bytes (pixelry::readMemory) under the same pixel
// limit. probe gives readMemory's verdict and the size, depth, alpha and colour handling
// it reads. load
// refuses what readMemory refuses and otherwise gives the image's pixels by the rule of
// its format (Pixelry_Codec.h), with the same warnings and alpha. decode into a wider
// stride gives load's bytes and leaves the bytes past each row alone; a stride one byte
// short is refused and nothing is written. A RowReader gives every row once, each
// load's row, in the order asked for, with load's warnings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Pixelry/Pixelry_Codec.h"
#include "Pixelry/Pixelry_IO.h"
#include "Pixelry/Pixelry_Warnings.h"

using fuzz_support::require;
using fuzz_support::samePixel;
using pixelry::Code;
using pixelry::PixelFormat;
using pixelry::RowOrder;

namespace {

// A 256 KiB grid at most. Each input is decoded some five times over, and inputs stay
// under 10 KiB, so a larger grid is mostly white rows that no data reached: with the
// 2^18 of fuzz_full a run did 315 inputs a second, with this limit 507 (30 s, from the
// seeds).
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 16;
// Images up to this many pixels are checked in every format and row order; larger ones
// in one format and two orders (file and one other) chosen from the input. Every format
// up to 2^12 pixels and two above ran 102 inputs a second, this 315.
constexpr std::uint64_t kEveryFormatPixels = std::uint64_t{1} << 10;
// What the harness writes where the library must not: past a row's end in decode's
// buffer and the row reader's, and in a buffer that a refused decode must not touch.
constexpr std::uint8_t kSentinel = 0xA5;
// decode's wider stride: this many bytes past each row.
constexpr std::size_t kRowSlack = 7;

// The checks that walk every pixel are left out of the fuzzer's coverage, as in fuzz_full.
#if defined(__clang__)
#define PIXELRY_FUZZ_UNGUIDED __attribute__((no_sanitize("coverage")))
#else
#define PIXELRY_FUZZ_UNGUIDED
#endif

constexpr PixelFormat kFormats[] = {PixelFormat::rgba8, PixelFormat::bgra8, PixelFormat::rgb8,
                                    PixelFormat::bgr8,  PixelFormat::gray8, PixelFormat::index8};
constexpr std::size_t kFormatCount = sizeof kFormats / sizeof kFormats[0];

bool sameColour(const RGBApixel& a, const RGBApixel& b) {
  return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red;
}

bool sameRefusal(const pixelry::Result& a, const pixelry::Result& b) {
  return a.code == b.code && a.message == b.message;
}

// Whether a buffer still holds only the sentinel: each byte equals the next one, and the
// first is the sentinel (memcmp is much faster than a loop under the sanitizers).
bool allSentinel(const std::vector<std::uint8_t>& buffer) {
  return buffer.empty() ||
         (buffer[0] == kSentinel && std::memcmp(buffer.data(), buffer.data() + 1, buffer.size() - 1) == 0);
}

// FNV-1a of the input: the formats and orders an input is checked in.
PIXELRY_FUZZ_UNGUIDED std::uint32_t hashOf(const std::uint8_t* data, std::size_t size) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

// One pixel of the image in a format other than index8, by the rule stated with the
// format: Alpha is the image's where the file has an alpha mask and 255 elsewhere; luma
// is (19595 R + 38470 G + 7471 B + 32768) >> 16. Returns the number of bytes.
std::size_t expectedBytes(PixelFormat format, const RGBApixel& p, bool alpha, std::uint8_t* out) {
  const std::uint8_t a = alpha ? p.Alpha : 255;
  switch (format) {
    case PixelFormat::rgba8:
      out[0] = p.Red, out[1] = p.Green, out[2] = p.Blue, out[3] = a;
      return 4;
    case PixelFormat::bgra8:
      out[0] = p.Blue, out[1] = p.Green, out[2] = p.Red, out[3] = a;
      return 4;
    case PixelFormat::rgb8:
      out[0] = p.Red, out[1] = p.Green, out[2] = p.Blue;
      return 3;
    case PixelFormat::bgr8:
      out[0] = p.Blue, out[1] = p.Green, out[2] = p.Red;
      return 3;
    case PixelFormat::gray8:
      out[0] = static_cast<std::uint8_t>((19595u * p.Red + 38470u * p.Green + 7471u * p.Blue + 32768u) >> 16);
      return 1;
    case PixelFormat::index8:
      break;
  }
  return 0;
}

// load's picture against the image readMemory read. In index8 the picture's table is the
// image's (2^bits entries), and each index is one whose entry has the pixel's colour, or
// 0 for a white pixel the data never reached (cut: the read has warnings).
PIXELRY_FUZZ_UNGUIDED void checkPicture(const pixelry::Pixels& picture, PixelFormat format, BMP& image,
                                        bool alpha, bool cut) {
  const int width = image.TellWidth(), height = image.TellHeight();
  const std::size_t bpp = pixelry::bytesPerPixel(format);
  require(picture.width == width && picture.height == height, "load gives the image's size");
  require(picture.format == format, "load gives the format asked for");
  require(picture.stride == static_cast<std::size_t>(width) * bpp, "load packs its rows");
  require(picture.bytes.size() == picture.stride * static_cast<std::size_t>(height),
          "load holds height x stride bytes");
  if (format != PixelFormat::index8) {
    require(picture.table.empty(), "only index8 has a table");
    std::uint8_t want[4];
    for (int y = 0; y < height; ++y) {
      const RGBApixel* row = image(0, y);
      const std::uint8_t* got = picture.bytes.data() + static_cast<std::size_t>(y) * picture.stride;
      for (int x = 0; x < width; ++x, got += bpp) {
        expectedBytes(format, row[x], alpha, want);
        require(std::memcmp(got, want, bpp) == 0, "load gives the image's pixel by the format's rule");
      }
    }
    return;
  }
  const std::vector<RGBApixel>& table = picture.table;
  require(table.size() == std::size_t{1} << image.TellBitDepth(), "index8's table has 2^bits entries");
  for (std::size_t i = 0; i < table.size(); ++i)
    require(samePixel(table[i], image.GetColor(static_cast<int>(i))), "index8's table is the image's");
  const RGBApixel white{255, 255, 255, 0};
  for (int y = 0; y < height; ++y) {
    const RGBApixel* row = image(0, y);
    const std::uint8_t* got = picture.bytes.data() + static_cast<std::size_t>(y) * picture.stride;
    for (int x = 0; x < width; ++x) {
      const std::size_t index = got[x];
      const bool match = index < table.size() && sameColour(table[index], row[x]);
      require(match || (cut && index == 0 && sameColour(white, row[x])),
              "index8 gives an index of the pixel's colour (0 where the data ended early)");
    }
  }
}

// probe against readMemory: the same refusal, except that probe does not apply the pixel
// limit; on success the size, depth and alpha the image has, the same colour handling and
// profile, and the file's table (the image's, unless its colours were converted).
PIXELRY_FUZZ_UNGUIDED void checkProbe(const pixelry::Result& probed, const pixelry::Info& info,
                                      const pixelry::Result& read, BMP& image) {
  if (read.code == Code::tooLarge) {
    require(static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) > kMaxPixels,
            "readMemory refuses as too large only what probe finds over the limit");
    return;
  }
  if (!read) {
    require(sameRefusal(probed, read), "probe refuses as readMemory does");
    return;
  }
  require(static_cast<bool>(probed), "probe accepts what readMemory reads");
  require(probed.message.empty(), "probe's success has no message");
  require(info.width == image.TellWidth() && info.height == image.TellHeight(),
          "probe gives the image's size");
  require(info.bits == image.TellBitDepth(), "probe gives the image's depth");
  require(info.alpha == read.alpha, "probe says alpha where readMemory does");
  require(info.colour == read.colour && info.profile == read.profile,
          "probe says what readMemory does with the colour space, and gives its profile");
  // probe's table is the file's; the image's is converted when the colours are.
  if (info.bits <= 8 && read.colour != pixelry::ColourHandling::converted) {
    const std::size_t shared =
        std::min<std::size_t>(info.table.size(), static_cast<std::size_t>(image.TellNumberOfColors()));
    for (std::size_t i = 0; i < shared; ++i)
      require(samePixel(info.table[i], image.GetColor(static_cast<int>(i))), "probe's table is the image's");
  }
}

// decode into a buffer with kRowSlack bytes past each row gives load's bytes and leaves
// the slack alone; a stride one byte short and a null buffer are refused, and the
// refusal writes nothing.
PIXELRY_FUZZ_UNGUIDED void checkDecode(const std::uint8_t* data, std::size_t size, PixelFormat format,
                                       const pixelry::Pixels& picture, const pixelry::Result& loaded) {
  const std::size_t rowBytes = picture.stride, height = static_cast<std::size_t>(picture.height);
  const std::size_t stride = rowBytes + kRowSlack;
  // Buffers kept from one input to the next: fresh large ones cost a page fault a page.
  static std::vector<std::uint8_t> wide, narrow;
  wide.assign(stride * height, kSentinel);
  const pixelry::Result decoded = pixelry::decode(data, size, format, wide.data(), stride);
  require(static_cast<bool>(decoded) && decoded.message.empty(), "decode reads what load reads");
  require(decoded.warnings == loaded.warnings, "decode warns as load does");
  require(decoded.alpha == loaded.alpha, "decode says alpha where load does");
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* row = wide.data() + y * stride;
    require(std::memcmp(row, picture.bytes.data() + y * rowBytes, rowBytes) == 0, "decode gives load's row");
    for (std::size_t i = rowBytes; i < stride; ++i)
      require(row[i] == kSentinel, "decode writes nothing past a row's end");
  }

  narrow.assign(std::max<std::size_t>((rowBytes - 1) * height, 1), kSentinel);
  const pixelry::Result refused = pixelry::decode(data, size, format, narrow.data(), rowBytes - 1);
  require(refused.code == Code::badArgument && !refused.message.empty(),
          "decode refuses a stride one byte short as a bad argument");
  require(allSentinel(narrow), "a refused decode writes nothing");
  require(pixelry::decode(data, size, format, nullptr, rowBytes).code == Code::badArgument,
          "decode refuses a null buffer as a bad argument");
}

// A RowReader in an order gives every row once, in that order, each load's row, and
// ends with load's warnings. Every order opens but topFirst on a run-length file (its
// rows come bottom first and cannot be sought).
PIXELRY_FUZZ_UNGUIDED void checkRows(const std::uint8_t* data, std::size_t size, PixelFormat format,
                                     RowOrder order, const pixelry::Info& info,
                                     const pixelry::Pixels& picture, const pixelry::Result& loaded) {
  const bool runLength = info.compression == 1 || info.compression == 2;
  pixelry::ReadOptions options;
  options.maxPixels = kMaxPixels;
  pixelry::RowReader reader;
  const pixelry::Result opened = reader.open(data, size, format, order, options);
  if (runLength && order == RowOrder::topFirst) {
    require(opened.code == Code::unsupported && !opened.message.empty(),
            "a row reader refuses top-first rows of a run-length file as unsupported");
    return;
  }
  require(static_cast<bool>(opened), "a row reader opens what load reads");
  const int height = picture.height;
  require(reader.info().width == picture.width && reader.info().height == height,
          "a row reader gives load's size");
  require(reader.rowBytes() == picture.stride, "a row reader's rows are load's width");

  const bool bottomUp = order == RowOrder::bottomFirst || (order == RowOrder::file && !info.topDown);
  std::vector<std::uint8_t> row(picture.stride + kRowSlack, kSentinel);
  std::vector<bool> seen(static_cast<std::size_t>(height), false);
  int count = 0, y = -1;
  while (count <= height && reader.next(row.data(), y)) {
    require(count < height, "a row reader gives no more rows than the height");
    require(y == (bottomUp ? height - 1 - count : count),
            "a row reader gives its rows in the order asked for");
    require(!seen[static_cast<std::size_t>(y)], "a row reader gives each row once");
    seen[static_cast<std::size_t>(y)] = true;
    ++count;
    require(std::memcmp(row.data(), picture.bytes.data() + static_cast<std::size_t>(y) * picture.stride,
                        picture.stride) == 0,
            "a row reader gives load's row");
    for (std::size_t i = picture.stride; i < row.size(); ++i)
      require(row[i] == kSentinel, "a row reader writes nothing past a row's end");
  }
  require(count == height, "a row reader gives every row");
  require(!reader.next(row.data(), y), "a row reader gives nothing after the last row");
  require(static_cast<bool>(reader.result()), "a row reader that gave every row succeeded");
  require(reader.result().warnings == loaded.warnings, "a row reader warns as load does");
}

// index8 for a file without a colour table: decode and a row reader refuse it as
// unsupported, and the refused decode writes nothing.
PIXELRY_FUZZ_UNGUIDED void checkNoTable(const std::uint8_t* data, std::size_t size, BMP& image,
                                        const pixelry::ReadOptions& options) {
  const auto width = static_cast<std::size_t>(image.TellWidth());
  static std::vector<std::uint8_t> out;
  out.assign(width * static_cast<std::size_t>(image.TellHeight()), kSentinel);
  require(pixelry::decode(data, size, PixelFormat::index8, out.data(), width).code == Code::unsupported,
          "decode refuses index8 for a file without a colour table");
  require(allSentinel(out), "a refused decode writes nothing");
  pixelry::RowReader reader;
  require(reader.open(data, size, PixelFormat::index8, RowOrder::file, options).code == Code::unsupported,
          "a row reader refuses index8 for a file without a colour table");
}

// A picture no load would give, to see that a refused load leaves it as it was.
pixelry::Pixels untouchedPicture() {
  pixelry::Pixels picture;
  picture.width = 3;
  picture.height = 2;
  picture.format = PixelFormat::gray8;
  picture.stride = 3;
  picture.bytes = {1, 2, 3, 4, 5, 6};
  picture.table = {RGBApixel{9, 8, 7, 6}};
  return picture;
}

bool samePicture(const pixelry::Pixels& a, const pixelry::Pixels& b) {
  return a.width == b.width && a.height == b.height && a.format == b.format && a.stride == b.stride &&
         a.bytes == b.bytes &&
         std::equal(a.table.begin(), a.table.end(), b.table.begin(), b.table.end(), samePixel);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::silenceOutput();
  SetPixelrywarningsOff();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pixelry::ReadOptions options;
  options.maxPixels = kMaxPixels;
  pixelry::Info info;
  const pixelry::Result probed = pixelry::probe(data, size, info);
  BMP image;
  const pixelry::Result read = pixelry::readMemory(image, data, size, options);
  checkProbe(probed, info, read, image);

  const std::uint32_t hash = hashOf(data, size);
  const bool every = !read || static_cast<std::uint64_t>(image.TellWidth()) *
                                      static_cast<std::uint64_t>(image.TellHeight()) <=
                                  kEveryFormatPixels;
  const std::size_t chosen = hash % kFormatCount;
  for (std::size_t k = 0; k < kFormatCount; ++k) {
    if (!every && k != chosen) continue;
    const PixelFormat format = kFormats[k];
    pixelry::Pixels picture = untouchedPicture();
    const pixelry::Result loaded = pixelry::load(data, size, format, picture, options);

    if (!read) {
      // An index8 load may meet the format's refusal first.
      require(
          sameRefusal(loaded, read) || (format == PixelFormat::index8 && loaded.code == Code::unsupported),
          "load refuses as readMemory does");
      require(samePicture(picture, untouchedPicture()), "a refused load leaves the picture as it was");
      pixelry::RowReader reader;
      const pixelry::Result opened = reader.open(data, size, format, RowOrder::file, options);
      require(sameRefusal(opened, loaded), "a row reader refuses as load does");
      continue;
    }
    if (format == PixelFormat::index8 && image.TellBitDepth() > 8) {
      require(loaded.code == Code::unsupported && !loaded.message.empty(),
              "index8 is refused for a file without a colour table");
      require(samePicture(picture, untouchedPicture()), "a refused load leaves the picture as it was");
      checkNoTable(data, size, image, options);
      continue;
    }
    require(static_cast<bool>(loaded) && loaded.message.empty(), "load reads what readMemory reads");
    require(loaded.warnings == read.warnings, "load warns as readMemory does");
    require(loaded.alpha == read.alpha, "load says alpha where readMemory does");
    checkPicture(picture, format, image, read.alpha, !read.warnings.empty());
    checkDecode(data, size, format, picture, loaded);
    checkRows(data, size, format, RowOrder::file, info, picture, loaded);
    if (every || (hash >> 16) % 2 == 0)
      checkRows(data, size, format, RowOrder::topFirst, info, picture, loaded);
    if (every || (hash >> 16) % 2 == 1)
      checkRows(data, size, format, RowOrder::bottomFirst, info, picture, loaded);
  }
  return 0;
}
