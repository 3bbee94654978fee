// The headers of a BMP file turned into a description of the file, or a refusal.
#include <algorithm>
#include <cstdint>

#include "detail/ByteSource.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/Parse.h"

namespace pixelry::detail {

namespace {

constexpr RGBApixel kWhite{255, 255, 255, 0};

// The three masks of a bit-field file: 32-bit values of which only the low word counts.
// Bytes the file does not have leave the default 5-5-5 masks in place.
BitFields readBitFields(ByteSource& source) {
  PixelryBYTE bytes[12] = {0x00, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0x00, 0, 0};
  source.read(bytes, sizeof bytes);
  auto word = [&](int at) { return static_cast<PixelryWORD>(bytes[at] | (bytes[at + 1] << 8)); };
  return makeBitFields(word(0), word(4), word(8));
}

Refusal check(const BMIH& bmih) {
  const PixelryDWORD compression = bmih.biCompression;
  const int bits = bmih.biBitCount;
  if (compression == 1 || compression == 2) return Refusal::rle;
  if (compression > 3) return Refusal::unknownFormat;
  if (compression == 3 && bits != 16) return Refusal::bitFieldsDepth;
  if (!isSupportedDepth(bits)) return Refusal::unsupportedDepth;
  if (static_cast<std::int32_t>(bmih.biWidth) <= 0 || static_cast<std::int32_t>(bmih.biHeight) <= 0)
    return Refusal::badSize;
  return Refusal::none;
}

}  // namespace

ParseOutcome parseBmp(ByteSource& source) {
  ParseOutcome outcome;
  // A short file leaves the header defaults in place, so an empty file still carries
  // the signature and is reported as corrupted rather than as not a BMP file.
  BMFH bmfh;
  BMIH bmih;
  bool whole = readRecord(source, bmfh);
  if (bmfh.bfType != kSignature) {
    outcome.refusal = Refusal::notBmp;
    return outcome;
  }
  whole = readRecord(source, bmih) && whole;
  if (!whole) {
    outcome.refusal = Refusal::corrupted;
    return outcome;
  }
  outcome.headersRead = true;
  FileLayout& layout = outcome.layout;
  layout.xPelsPerMeter = static_cast<std::int32_t>(bmih.biXPelsPerMeter);
  layout.yPelsPerMeter = static_cast<std::int32_t>(bmih.biYPelsPerMeter);
  layout.compression = bmih.biCompression;
  outcome.refusal = check(bmih);
  if (outcome.refusal != Refusal::none) return outcome;
  layout.bits = bmih.biBitCount;
  layout.width = static_cast<std::int32_t>(bmih.biWidth);
  layout.height = static_cast<std::int32_t>(bmih.biHeight);

  auto skipExtra = [&](std::int64_t count) {
    if (count <= 0) return;
    if (std::find(outcome.oddities.begin(), outcome.oddities.end(), Oddity::extraBytes) == outcome.oddities.end())
      outcome.oddities.push_back(Oddity::extraBytes);
    source.skip(count);
  };

  const std::int64_t offBits = bmfh.bfOffBits;
  layout.fields = makeBitFields(0x7C00, 0x03E0, 0x001F);
  if (isIndexedDepth(layout.bits)) {
    const std::int64_t colors = std::int64_t{1} << layout.bits;
    fillStandardTable(layout.table.data(), layout.bits);
    // The table follows the info header. A header longer than 40 bytes is skipped when
    // the pixel offset leaves room for it; otherwise the table is taken to start at 54.
    std::int64_t tableStart = kHeadersBytes;
    const std::int64_t headerSize = bmih.biSize;
    if (headerSize > 40 && 14 + headerSize <= offBits) {
      skipExtra(headerSize - 40);
      tableStart = 14 + headerSize;
    }
    const std::int64_t entries = std::min((offBits - tableStart) / 4, colors);
    if (entries < colors) outcome.oddities.push_back(Oddity::shortTable);
    PixelryBYTE raw[4 * 256];
    const std::size_t got = entries > 0 ? source.read(raw, static_cast<std::size_t>(4 * entries)) : 0;
    // Entries the file ends before keep their standard colours.
    for (std::size_t i = 0; i < got / 4; ++i)
      layout.table[i] = RGBApixel{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
    for (std::int64_t i = std::max<std::int64_t>(entries, 0); i < colors; ++i)
      layout.table[static_cast<std::size_t>(i)] = kWhite;
    skipExtra(offBits - tableStart - 4 * colors);
  } else {
    const bool masked = layout.bits == 16 && layout.compression == 3;
    if (masked) layout.fields = readBitFields(source);
    skipExtra(offBits - kHeadersBytes - (masked ? 12 : 0));
  }
  return outcome;
}

}  // namespace pixelry::detail
