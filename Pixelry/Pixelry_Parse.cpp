// The headers of a BMP file turned into a description of the file, or a refusal.
#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "detail/ByteSource.h"
#include "detail/Colour.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/Parse.h"

namespace pixelry::detail {

namespace {

constexpr RGBApixel kWhite{255, 255, 255, 0};
constexpr RGBApixel kBlack{0, 0, 0, 0};

// The widest bit-field channel read.
constexpr int kWidestChannel = 10;

// The three masks of a 16-bit file: 32-bit values of which the classic reader takes only
// the low word. Bytes the file does not have leave the default 5-5-5 masks in place.
void readClassicMasks(ByteSource& source, std::uint32_t* masks) {
  PixelryBYTE bytes[12];
  for (std::size_t c = 0; c < 3; ++c) putLe32(bytes + 4 * c, k555Masks[c]);
  source.read(bytes, sizeof bytes);
  for (std::size_t c = 0; c < 3; ++c) masks[c] = le16(bytes + 4 * c);
}

Refusal check(const BMIH& bmih) {
  const PixelryDWORD compression = bmih.biCompression;
  const int bits = bmih.biBitCount;
  if (compression == kRle8 || compression == kRle4) return Refusal::rle;
  if (compression > kBitFields) return Refusal::unknownFormat;
  if (compression == kBitFields && bits != 16) return Refusal::bitFieldsDepth;
  if (!isSupportedDepth(bits)) return Refusal::unsupportedDepth;
  if (static_cast<std::int32_t>(bmih.biWidth) <= 0 || static_cast<std::int32_t>(bmih.biHeight) <= 0)
    return Refusal::badSize;
  return Refusal::none;
}

// Where a parse stands while it reads: the outcome it builds and the bytes taken so far.
struct Parse {
  ByteSource& source;
  ParseOutcome outcome;
  std::int64_t at = 0;

  std::size_t read(PixelryBYTE* out, std::size_t count) {
    const std::size_t got = source.read(out, count);
    at += static_cast<std::int64_t>(got);
    return got;
  }
  // Skips count bytes, with the extra-bytes warning once.
  void skip(std::int64_t count) {
    if (count <= 0) return;
    outcome.oddities.add(Oddity::extraBytes);
    source.skip(count);
    at += count;
  }
  void skipTo(std::int64_t offset) { skip(offset - at); }
  ParseOutcome refuse(Refusal refusal) {
    outcome.refusal = refusal;
    return outcome;
  }
  // A kind of file the full reader does not read; feature names it.
  Refusal unsupported(const char* feature) {
    outcome.feature = feature;
    return Refusal::unsupportedFeature;
  }
};

// A mask is a run of set bits; an empty one leaves its channel 0.
bool contiguous(std::uint32_t mask) {
  if (mask == 0) return true;
  while ((mask & 1) == 0) mask >>= 1;
  return (mask & (mask + 1)) == 0;
}

int bitCount(std::uint32_t mask) {
  int count = 0;
  for (; mask != 0; mask >>= 1) count += static_cast<int>(mask & 1);
  return count;
}

// The classic reader's rules after the two records: the table or masks at 54, unless a
// longer info header leaves room for the table after it.
ParseOutcome parseClassic(Parse& parse, const BMFH& bmfh, const BMIH& bmih) {
  FileLayout& layout = parse.outcome.layout;
  layout.widening = Widening::classic;
  const std::int64_t offBits = bmfh.bfOffBits;
  if (isIndexedDepth(layout.bits)) {
    const std::int64_t colors = std::int64_t{1} << layout.bits;
    fillStandardTable(layout.table.data(), layout.bits);
    std::int64_t tableStart = kHeadersBytes;
    const std::int64_t headerSize = bmih.biSize;
    if (headerSize > kInfoHeader && kFileHeaderBytes + headerSize <= offBits) {
      parse.skip(headerSize - kInfoHeader);
      tableStart = kFileHeaderBytes + headerSize;
    }
    const std::int64_t entries = std::min((offBits - tableStart) / 4, colors);
    if (entries < colors) parse.outcome.oddities.add(Oddity::shortTable);
    PixelryBYTE raw[4 * 256];
    const std::size_t got = entries > 0 ? parse.read(raw, static_cast<std::size_t>(4 * entries)) : 0;
    // Entries the file ends before keep their standard colours.
    layout.tableEntries = static_cast<int>(got / 4);
    for (std::size_t i = 0; i < got / 4; ++i)
      layout.table[i] = RGBApixel{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
    for (std::int64_t i = std::max<std::int64_t>(entries, 0); i < colors; ++i)
      layout.table[static_cast<std::size_t>(i)] = kWhite;
    // Counted from the whole table, however many entries arrived.
    parse.skip(offBits - tableStart - 4 * colors);
  } else {
    layout.masked = layout.bits == 16;
    const bool fields = layout.masked && layout.compression == kBitFields;
    for (int c = 0; c < 3 && layout.masked; ++c) layout.masks[c] = k555Masks[c];
    if (fields) readClassicMasks(parse.source, layout.masks);
    parse.skip(offBits - kHeadersBytes - (fields ? 12 : 0));
  }
  return parse.outcome;
}

// The info header of any kind, as far as the full reader needs it.
struct InfoHeader {
  std::uint32_t size = 0;
  std::int64_t width = 0, height = 0;
  int bits = 0;
  std::uint32_t compression = 0, colorsUsed = 0;
  std::int32_t xPels = 0, yPels = 0;
  std::uint32_t masks[4] = {};
  bool hasMasks = false;  // the header itself holds the masks
  bool os2 = false;       // OS/2: 3-byte table entries (core), other compression codes (2.x)
  ColourSpace colour;     // a calibrated header's or an embedded profile's
};

// The profile of size bytes at offset, wherever it lies in the file: unreachable when its
// bytes are not all there or the stream cannot seek back and forth.
ColourSpace embeddedProfile(Parse& parse, std::int64_t offset, std::uint32_t size) {
  if (size == 0 || size > kLargestProfile) return ColourSpace::unusable(ColourFault::size);
  const std::int64_t distance = offset - parse.at;
  PixelryBYTE last = 0;
  if (!parse.source.peek(distance + size - 1, &last, 1))
    return ColourSpace::unusable(ColourFault::unreachable);
  try {
    std::vector<PixelryBYTE> profile(size);
    if (!parse.source.peek(distance, profile.data(), size))
      return ColourSpace::unusable(ColourFault::unreachable);
    return ColourSpace::fromProfile(std::move(profile));
  } catch (const std::bad_alloc&) {
    return ColourSpace::unusable(ColourFault::unreachable);
  }
}

// The colour space a V4 or V5 header names; sRGB and Windows' own are none.
ColourSpace colourSpaceOf(Parse& parse, const InfoHeader& info, const PixelryBYTE* header) {
  const std::uint32_t type = le32(header + 56);
  if (type == kCalibratedRgb) return ColourSpace::fromCalibration(header + 60, header + 96);
  if (type == kLinkedProfile) return ColourSpace::unusable(ColourFault::linked);
  if (type != kEmbeddedProfile) return {};
  // A V5 header gives the profile's place from its own start; a V4 header has no room to.
  if (info.size < kV5Header) return ColourSpace::unusable(ColourFault::unreachable);
  return embeddedProfile(parse, kFileHeaderBytes + std::int64_t{le32(header + 112)}, le32(header + 116));
}

// Reads the info header that follows the file header, whatever its size. False when the
// file ends inside it or its size is not one the format has.
bool readInfoHeader(Parse& parse, InfoHeader& info) {
  PixelryBYTE bytes[kV5Header] = {};
  if (parse.read(bytes, 4) < 4) return false;
  info.size = le32(bytes);
  if (info.size == kCoreHeader) {
    if (parse.read(bytes + 4, 8) < 8) return false;
    info.width = le16(bytes + 4);
    info.height = le16(bytes + 6);
    info.bits = le16(bytes + 10);
    info.os2 = true;
    return true;
  }
  if (info.size < kOs2Smallest) return false;
  const std::size_t kept = std::min<std::uint32_t>(info.size, kV5Header);
  if (parse.read(bytes + 4, kept - 4) < kept - 4) return false;
  info.width = static_cast<std::int32_t>(le32(bytes + 4));
  info.height = static_cast<std::int32_t>(le32(bytes + 8));
  info.bits = le16(bytes + 14);
  info.compression = le32(bytes + 16);
  info.xPels = static_cast<std::int32_t>(le32(bytes + 24));
  info.yPels = static_cast<std::int32_t>(le32(bytes + 28));
  info.colorsUsed = le32(bytes + 32);
  // Sizes other than Windows' 40, 52, 56, 108 and 124 up to 64 are OS/2 2.x headers.
  info.os2 = info.size <= kOs2Largest && info.size != kInfoHeader && info.size != kV2Header &&
             info.size != kV3Header;
  // A V4 or V5 header names its colour space after the masks.
  if (!info.os2 && info.size >= kV4Header) info.colour = colourSpaceOf(parse, info, bytes);
  if (!info.os2 && info.size >= kV2Header) {
    info.hasMasks = true;
    for (std::size_t c = 0; c < 4; ++c)
      info.masks[c] = c < 3 || info.size >= kV3Header ? le32(bytes + kInfoHeader + 4 * c) : 0;
  }
  parse.skipTo(kFileHeaderBytes + static_cast<std::int64_t>(info.size));
  return true;
}

// The full reader's steps after the info header. Each returns the refusal it finds, or
// Refusal::none with its part of the layout filled.

// What the pixel data is: depth and compression.
Refusal checkEncoding(Parse& parse, const InfoHeader& info) {
  const std::uint32_t compression = info.compression;
  if (info.os2 && compression == kBitFields) return parse.unsupported("OS/2 Huffman 1D compression");
  if (info.os2 && compression == kJpeg) return parse.unsupported("OS/2 RLE24 compression");
  if (compression == kJpeg) return parse.unsupported("an embedded JPEG image");
  if (compression == kPng) return parse.unsupported("an embedded PNG image");
  if (compression > kAlphaBitFields) return Refusal::unknownFormat;
  if (info.bits == 2) return parse.unsupported("2-bit pixels");
  if (info.bits == 64) return parse.unsupported("64-bit pixels");
  if (!isSupportedDepth(info.bits)) return Refusal::unsupportedDepth;
  const bool fields = compression == kBitFields || compression == kAlphaBitFields;
  if (fields && info.bits != 16 && info.bits != 32) return Refusal::bitFieldsDepth;
  if (compression == kRle8 && info.bits != 8) return parse.unsupported("RLE8 at a depth other than 8 bits");
  if (compression == kRle4 && info.bits != 4) return parse.unsupported("RLE4 at a depth other than 4 bits");
  FileLayout& layout = parse.outcome.layout;
  layout.encoding = compression == kRle8   ? FileLayout::Encoding::rle8
                    : compression == kRle4 ? FileLayout::Encoding::rle4
                                           : FileLayout::Encoding::rows;
  return Refusal::none;
}

// The size; a negative height stores the top row first.
Refusal checkSize(Parse& parse, const InfoHeader& info, std::uint64_t maxPixels) {
  FileLayout& layout = parse.outcome.layout;
  const std::int64_t height = info.height < 0 ? -info.height : info.height;
  if (info.width <= 0 || height <= 0 || info.width > INT32_MAX || height > INT32_MAX) return Refusal::badSize;
  layout.width = static_cast<int>(info.width);
  layout.height = static_cast<int>(height);
  if (layout.topDown && layout.encoding != FileLayout::Encoding::rows)
    return parse.unsupported("top-down run-length compression");
  if (maxPixels != 0 &&
      static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(height) > maxPixels)
    return Refusal::tooLarge;
  return Refusal::none;
}

// The masks: in the header, or in the 12 (16 with alpha) bytes after a 40-byte one; 5-5-5
// for a 16-bit file without bit fields.
Refusal readMasks(Parse& parse, InfoHeader& info) {
  FileLayout& layout = parse.outcome.layout;
  const bool fields = info.compression == kBitFields || info.compression == kAlphaBitFields;
  if (fields) {
    if (!info.hasMasks) {
      PixelryBYTE bytes[16] = {};
      const std::size_t count = info.compression == kAlphaBitFields ? 16 : 12;
      parse.read(bytes, count);
      for (std::size_t c = 0; c < count / 4; ++c) info.masks[c] = le32(bytes + 4 * c);
    }
    for (int c = 0; c < 4; ++c) layout.masks[c] = info.masks[c];
    if (info.compression == kBitFields && !info.hasMasks) layout.masks[3] = 0;
  } else if (info.bits == 16) {
    for (int c = 0; c < 3; ++c) layout.masks[c] = k555Masks[c];
  }
  layout.masked = fields || info.bits == 16;
  if (!layout.masked) return Refusal::none;
  for (const std::uint32_t mask : layout.masks) {
    if (!contiguous(mask) || (info.bits == 16 && mask > 0xFFFF))
      return parse.unsupported("bit-field masks that are not one run of bits");
    // Wider channels are rare, and programs disagree on how to bring them to 8 bits.
    if (bitCount(mask) > kWidestChannel) return parse.unsupported("bit-field channels wider than 10 bits");
  }
  return Refusal::none;
}

// A table beside pixels that do not index it: as many entries as the header says are
// used and stand before the pixels, at most 256, looked at where the source allows and
// left in place (they are skipped as extra bytes).
void describeUnusedTable(Parse& parse, const InfoHeader& info, std::int64_t offBits) {
  FileLayout& layout = parse.outcome.layout;
  std::int64_t entries = std::min<std::int64_t>(info.colorsUsed, 256);
  entries = std::min(entries, std::max<std::int64_t>(offBits - parse.at, 0) / 4);
  PixelryBYTE raw[4 * 256];
  if (entries <= 0 || !parse.source.peek(0, raw, static_cast<std::size_t>(4 * entries))) return;
  layout.tableEntries = static_cast<int>(entries);
  for (std::size_t i = 0; i < static_cast<std::size_t>(entries); ++i)
    layout.table[i] = RGBApixel{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], 0};
}

// The colour table: as many entries as the header says are used (all when it says 0), no
// more than the depth can index. An offset at or before the end of the info header is
// taken as not given; one past it that falls inside the table cuts the table there.
// Indices past the table read black.
void readTable(Parse& parse, const InfoHeader& info, std::int64_t offBits) {
  FileLayout& layout = parse.outcome.layout;
  if (!isIndexedDepth(info.bits)) return describeUnusedTable(parse, info, offBits);
  const std::int64_t colors = std::int64_t{1} << info.bits;
  const std::int64_t entrySize = info.size == kCoreHeader ? 3 : 4;
  std::int64_t entries = info.colorsUsed == 0 || info.colorsUsed > colors ? colors : info.colorsUsed;
  if (offBits > parse.at) entries = std::min(entries, (offBits - parse.at) / entrySize);
  if (entries < colors && info.colorsUsed == 0) parse.outcome.oddities.add(Oddity::shortTable);
  PixelryBYTE raw[4 * 256];
  const std::size_t got =
      parse.read(raw, static_cast<std::size_t>(entrySize * entries)) / static_cast<std::size_t>(entrySize);
  layout.tableEntries = static_cast<int>(got);
  for (std::size_t i = 0; i < static_cast<std::size_t>(colors); ++i) {
    const PixelryBYTE* e = raw + entrySize * static_cast<std::int64_t>(i);
    layout.table[i] = i < got ? RGBApixel{e[0], e[1], e[2], 0} : kBlack;
  }
}

// The fourth byte of a 32-bit pixel without bit fields is alpha for some writers and 0
// for others: it is alpha when it is not 0 in every pixel. The pixel data is looked
// through where the source allows, up to the first fourth byte that is not 0.
void findFourthByteAlpha(Parse& parse) {
  FileLayout& layout = parse.outcome.layout;
  if (layout.bits != 32 || layout.masked) return;
  // 32-bit rows have no padding. Each piece of whole pixels is looked through without a
  // branch a byte, so that the loop is vector code; a piece that ends inside a pixel
  // leaves its part for the next.
  const std::int64_t size = std::int64_t{layout.width} * layout.height * 4;
  std::size_t phase = 3;
  parse.source.scan(0, size, [&layout, &phase](const PixelryBYTE* bytes, std::size_t count) {
    unsigned any = 0;
    std::size_t i = phase;
    for (; i < count; i += 4) any |= bytes[i];
    phase = i - count;
    layout.fourthByteAlpha = any != 0;
    return !layout.fourthByteAlpha;
  });
}

ParseOutcome parseFull(Parse& parse, const BMFH& bmfh, std::uint64_t maxPixels, bool toSrgb) {
  InfoHeader info;
  if (!readInfoHeader(parse, info)) return parse.refuse(Refusal::corrupted);
  parse.outcome.headersRead = true;
  FileLayout& layout = parse.outcome.layout;
  layout.xPelsPerMeter = info.xPels;
  layout.yPelsPerMeter = info.yPels;
  layout.compression = info.compression;
  layout.headerSize = info.size;
  layout.bits = info.bits;
  layout.topDown = info.height < 0;
  layout.colour = std::move(info.colour);
  layout.toSrgb = toSrgb;
  // What the headers claim, for a description of a file refused below.
  layout.width = static_cast<int>(std::clamp<std::int64_t>(info.width, INT32_MIN, INT32_MAX));
  layout.height =
      static_cast<int>(std::min<std::int64_t>(info.height < 0 ? -info.height : info.height, INT32_MAX));
  Refusal refusal = checkEncoding(parse, info);
  if (refusal == Refusal::none) refusal = checkSize(parse, info, maxPixels);
  if (refusal == Refusal::none) refusal = readMasks(parse, info);
  // The table of a file refused for its encoding or size still says what it says.
  if (refusal == Refusal::none || isIndexedDepth(info.bits)) readTable(parse, info, bmfh.bfOffBits);
  if (refusal != Refusal::none) return parse.refuse(refusal);
  // The pixels start at the offset the file header gives; one that points back into the
  // headers is taken to mean right after them.
  parse.skipTo(bmfh.bfOffBits);
  findFourthByteAlpha(parse);
  return parse.outcome;
}

}  // namespace

ParseOutcome parseBmp(ByteSource& source, Policy policy, std::uint64_t maxPixels, bool toSrgb) {
  Parse parse{source, {}, 0};
  // A short file leaves the header defaults in place, so an empty file still carries
  // the signature and is reported as corrupted rather than as not a BMP file.
  BMFH bmfh;
  bool whole = readRecord(source, bmfh);
  parse.at = kFileHeaderBytes;
  parse.outcome.layout.fileSize = bmfh.bfSize;
  parse.outcome.layout.dataOffset = bmfh.bfOffBits;
  if (bmfh.bfType != kSignature) {
    const bool array = policy == Policy::full && bmfh.bfType == kArraySignature;
    if (array) parse.unsupported("an OS/2 bitmap array");
    return parse.refuse(array ? Refusal::unsupportedFeature : Refusal::notBmp);
  }
  if (policy == Policy::full) {
    if (!whole) return parse.refuse(Refusal::corrupted);
    return parseFull(parse, bmfh, maxPixels, toSrgb);
  }

  BMIH bmih;
  whole = readRecord(source, bmih) && whole;
  parse.at = kHeadersBytes;
  // Headers shorter than 40 bytes (OS/2's) have other fields where the 40-byte header
  // has its own: none of their bytes is taken for one.
  parse.outcome.layout.headerSize = bmih.biSize;
  if (bmih.biSize >= 1 && bmih.biSize < kInfoHeader) {
    parse.outcome.layout.compression = bmih.biCompression;
    return parse.refuse(Refusal::unknownFormat);
  }
  if (!whole) return parse.refuse(Refusal::corrupted);
  parse.outcome.headersRead = true;
  FileLayout& layout = parse.outcome.layout;
  layout.xPelsPerMeter = static_cast<std::int32_t>(bmih.biXPelsPerMeter);
  layout.yPelsPerMeter = static_cast<std::int32_t>(bmih.biYPelsPerMeter);
  layout.compression = bmih.biCompression;
  const Refusal refusal = check(bmih);
  if (refusal != Refusal::none) return parse.refuse(refusal);
  layout.bits = bmih.biBitCount;
  layout.width = static_cast<std::int32_t>(bmih.biWidth);
  layout.height = static_cast<std::int32_t>(bmih.biHeight);
  return parseClassic(parse, bmfh, bmih);
}

}  // namespace pixelry::detail
