// Pixels in a format encoded as an uncompressed BMP file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "detail/ByteSource.h"
#include "detail/Encode.h"
#include "detail/Layout.h"
#include "detail/PaletteSearch.h"
#include "detail/RowCodecs.h"

namespace pixelry::detail {

namespace {

// The 68 bytes that make a 40-byte info header a 108-byte one: the red, green, blue and
// alpha masks of BGRA pixels, then the colour space "sRGB" (its endpoints and gammas,
// unused with it, stay 0).
constexpr PixelryBYTE kV4Tail[kV4Header - kInfoHeader] = {0, 0, 0xFF, 0, 0, 0xFF, 0,   0,   0xFF, 0,
                                                          0, 0, 0,    0, 0, 0xFF, 'B', 'G', 'R',  's'};

constexpr std::uint32_t kImagesIntent = 4;  // LCS_GM_IMAGES

bool writeBytes(ByteSink& sink, const PixelryBYTE* bytes, std::int64_t count) {
  return sink.write(bytes, static_cast<std::size_t>(count));
}

// The colour table, or the masks of a 16-bit file that a 124-byte header does not hold.
std::int64_t paletteBytes(const FileShape& shape) {
  return isIndexedDepth(shape.bits)                  ? std::int64_t{4} << shape.bits
         : shape.bits == 16 && shape.profile.empty() ? 12
                                                     : 0;
}

std::uint32_t infoHeaderBytes(const FileShape& shape) {
  return !shape.profile.empty() ? kV5Header : shape.alphaMask ? kV4Header : kInfoHeader;
}

// The 84 bytes that make a 40-byte info header a 124-byte one naming an embedded profile:
// the masks of 16-bit and alpha-mask files, the colour space, no endpoints or gammas, the
// rendering intent, and where the profile lies, counted from the info header's start.
void fillV5Tail(const FileShape& shape, PixelryBYTE (&tail)[kV5Header - kInfoHeader]) {
  if (shape.bits == 16)
    for (std::size_t c = 0; c < 3; ++c) putLe32(tail + 4 * c, k565Masks[c]);
  if (shape.alphaMask) std::memcpy(tail, kV4Tail, 16);
  putLe32(tail + 16, kEmbeddedProfile);
  putLe32(tail + 68, kImagesIntent);
  putLe32(tail + 72, static_cast<std::uint32_t>(shape.fileBytes() - kFileHeaderBytes -
                                                static_cast<std::int64_t>(shape.profile.size())));
  putLe32(tail + 76, static_cast<std::uint32_t>(shape.profile.size()));
}

}  // namespace

std::int64_t FileShape::rowSize() const { return rowSizeBytes(width, bits); }

std::int64_t FileShape::headerBytes() const {
  return kFileHeaderBytes + infoHeaderBytes(*this) + paletteBytes(*this);
}

bool writeHeaders(ByteSink& sink, const FileShape& shape) {
  BMFH bmfh;
  bmfh.bfSize = static_cast<PixelryDWORD>(shape.fileBytes());
  bmfh.bfOffBits = static_cast<PixelryDWORD>(shape.headerBytes());
  BMIH bmih;
  bmih.biSize = infoHeaderBytes(shape);
  bmih.biWidth = static_cast<PixelryDWORD>(shape.width);
  bmih.biHeight = static_cast<PixelryDWORD>(shape.height);
  bmih.biBitCount = static_cast<PixelryWORD>(shape.bits);
  bmih.biCompression = shape.bits == 16 || shape.alphaMask ? kBitFields : kUncompressed;
  bmih.biSizeImage = static_cast<PixelryDWORD>(shape.height * shape.rowSize());
  bmih.biXPelsPerMeter =
      static_cast<PixelryDWORD>(shape.xPelsPerMeter != 0 ? shape.xPelsPerMeter : kDefaultPelsPerMeter);
  bmih.biYPelsPerMeter =
      static_cast<PixelryDWORD>(shape.yPelsPerMeter != 0 ? shape.yPelsPerMeter : kDefaultPelsPerMeter);
  if (!writeRecord(sink, bmfh) || !writeRecord(sink, bmih)) return false;
  if (!shape.profile.empty()) {
    PixelryBYTE tail[kV5Header - kInfoHeader] = {};
    fillV5Tail(shape, tail);
    if (!writeBytes(sink, tail, sizeof tail)) return false;
  } else if (shape.alphaMask && !writeBytes(sink, kV4Tail, sizeof kV4Tail)) {
    return false;
  }

  PixelryBYTE palette[4 * 256];
  if (isIndexedDepth(shape.bits)) {
    // RGBApixel has the byte order of a palette entry.
    std::memcpy(palette, shape.table.data(), static_cast<std::size_t>(paletteBytes(shape)));
  } else if (shape.bits == 16) {
    for (std::size_t c = 0; c < 3; ++c) putLe32(palette + 4 * c, k565Masks[c]);
  }
  return writeBytes(sink, palette, paletteBytes(shape));
}

bool writeProfile(ByteSink& sink, const FileShape& shape) {
  return writeBytes(sink, shape.profile.data(), static_cast<std::int64_t>(shape.profile.size()));
}

RowEncoder::RowEncoder(const FileShape& shape, Target source) : shape_(shape), source_(source) {}

RowEncoder::~RowEncoder() = default;

bool RowEncoder::allocate() {
  if (isIndexedDepth(shape_.bits) && source_ != Target::index8)
    search_ = &paletteSearchFor(shape_.table.data(), shape_.tableEntries);
  if (source_ == Target::image || source_ == Target::bgra8) return true;
  try {
    pixels_.resize(static_cast<std::size_t>(shape_.width));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool RowEncoder::operator()(const PixelryBYTE* in, PixelryBYTE* out) {
  const int width = shape_.width, bits = shape_.bits;
  if (source_ == Target::index8) {
    const auto entries = static_cast<PixelryBYTE>(shape_.tableEntries - 1);
    if (std::any_of(in, in + width, [entries](PixelryBYTE index) { return index > entries; })) return false;
    if (isIndexedDepth(bits)) {
      packIndices(bits, out, width, [in](int x) { return unsigned{in[x]}; });
      return true;
    }
  }
  // Other layouts become RGBApixels first (opaque, but for rgba8's own alpha); bgra8 and
  // the image object's pixels are RGBApixels already.
  const RGBApixel* row = pixels_.data();
  switch (source_) {
    case Target::image:
    case Target::bgra8:
      row = reinterpret_cast<const RGBApixel*>(in);
      break;
    case Target::rgba8:
      for (int x = 0; x < width; ++x, in += 4) pixels_[x] = RGBApixel{in[2], in[1], in[0], in[3]};
      break;
    case Target::rgb8:
      for (int x = 0; x < width; ++x, in += 3) pixels_[x] = RGBApixel{in[2], in[1], in[0], 255};
      break;
    case Target::bgr8:
      for (int x = 0; x < width; ++x, in += 3) pixels_[x] = RGBApixel{in[0], in[1], in[2], 255};
      break;
    case Target::gray8:
      for (int x = 0; x < width; ++x) pixels_[x] = RGBApixel{in[x], in[x], in[x], 255};
      break;
    case Target::index8:
      for (int x = 0; x < width; ++x) {
        pixels_[x] = shape_.table[in[x]];
        pixels_[x].Alpha = 255;
      }
      break;
  }
  if (bits == 16) {
    encode16bitRow(row, out, width);
  } else if (isIndexedDepth(bits)) {
    PaletteSearch& search = *search_;
    packIndices(bits, out, width, [&](int x) { return unsigned{search(row[x])}; });
  } else {
    encodeDirectRow(bits, row, out, width);
  }
  return true;
}

EncodeStatus encodeWhole(ByteSink& sink, const FileShape& shape, Target source, const PixelryBYTE* pixels,
                         std::size_t stride) {
  RowEncoder encodeRow(shape, source);
  // Many rows go out in one write. The buffer is cleared once: the 1-, 4-, 8-, 24- and
  // 32-bit encoders never touch the padding, so it stays 0, and the 16-bit encoder
  // writes its own.
  const std::int64_t rowSize = shape.rowSize();
  const std::int64_t rowsPerChunk = std::clamp<std::int64_t>(kChunkBytes / rowSize, 1, shape.height);
  std::unique_ptr<PixelryBYTE[]> buffer(new (std::nothrow)
                                            PixelryBYTE[static_cast<std::size_t>(rowsPerChunk * rowSize)]());
  if (!buffer || !encodeRow.allocate()) return EncodeStatus::noMemory;
  if (!writeHeaders(sink, shape)) return EncodeStatus::writeFailed;
  // The file stores the bottom row first.
  for (int y = shape.height - 1; y >= 0;) {
    const std::int64_t rows = std::min<std::int64_t>(rowsPerChunk, y + 1);
    for (std::int64_t k = 0; k < rows; ++k, --y)
      if (!encodeRow(pixels + static_cast<std::size_t>(y) * stride, buffer.get() + k * rowSize))
        return EncodeStatus::badIndex;
    if (!writeBytes(sink, buffer.get(), rows * rowSize)) return EncodeStatus::writeFailed;
  }
  return writeProfile(sink, shape) ? EncodeStatus::written : EncodeStatus::writeFailed;
}

}  // namespace pixelry::detail
