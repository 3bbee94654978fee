// Pixels in a format encoded as a BMP file: the headers, and uncompressed rows.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "detail/ByteSource.h"
#include "detail/Dither.h"
#include "detail/Encode.h"
#include "detail/Layout.h"
#include "detail/PaletteSearch.h"
#include "detail/RowCodecs.h"
#include "detail/RunLength.h"

namespace pixelry::detail {

namespace {

// Where a file states its masks, and which: the header's size and compression, and the
// red, green, blue and alpha masks (none for plain pixels).
struct MaskForm {
  std::uint32_t header;
  std::uint32_t compression;
  std::array<std::uint32_t, 4> masks;
};

// In SixteenBitLayout's order.
constexpr MaskForm kSixteenBitForms[] = {
    {kInfoHeader, kBitFields, {0xF800, 0x07E0, 0x001F, 0}},
    {kInfoHeader, kUncompressed, {0x7C00, 0x03E0, 0x001F, 0}},
    {kV4Header, kBitFields, {0x7C00, 0x03E0, 0x001F, 0x8000}},
    {kV4Header, kBitFields, {0x0F00, 0x00F0, 0x000F, 0xF000}},
};
constexpr MaskForm kAlphaMaskForm{kV4Header, kBitFields, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}};
constexpr MaskForm kPlainForm{kInfoHeader, kUncompressed, {}};

const MaskForm& formOf(const FileShape& shape) {
  if (shape.bits == 16) return kSixteenBitForms[static_cast<std::size_t>(shape.sixteenBitLayout)];
  return shape.alphaMask ? kAlphaMaskForm : kPlainForm;
}

// The masks stated after a 40-byte header with bit fields: red, green and blue.
bool masksFollowHeader(const MaskForm& form) {
  return form.header == kInfoHeader && form.compression == kBitFields;
}

// biCompression: the form's, or the run-length coding of the depth.
std::uint32_t compressionOf(const FileShape& shape) {
  if (shape.runLength) return shape.bits == 8 ? kRle8 : kRle4;
  return formOf(shape).compression;
}

constexpr std::uint32_t kImagesIntent = 4;  // LCS_GM_IMAGES

bool writeBytes(ByteSink& sink, const PixelryBYTE* bytes, std::int64_t count) {
  return sink.write(bytes, static_cast<std::size_t>(count));
}

// The header's size: 124 bytes with a profile, which hold the masks; otherwise the form's.
std::uint32_t infoHeaderBytes(const FileShape& shape) {
  return shape.profile.empty() ? formOf(shape).header : kV5Header;
}

// The colour table, or the masks after a 40-byte header.
std::int64_t paletteBytes(const FileShape& shape) {
  return isIndexedDepth(shape.bits) ? std::int64_t{4} << shape.bits
         : infoHeaderBytes(shape) == kInfoHeader && masksFollowHeader(formOf(shape)) ? 12
                                                                                     : 0;
}

// The bytes that make a 40-byte info header a 108- or 124-byte one: the masks (with bit
// fields), the colour space, no endpoints or gammas; at 124 bytes, the rendering intent
// and where the profile lies, counted from the info header's start.
std::vector<PixelryBYTE> headerTail(const FileShape& shape) {
  std::vector<PixelryBYTE> tail(infoHeaderBytes(shape) - kInfoHeader, 0);
  const MaskForm& form = formOf(shape);
  if (form.compression == kBitFields)
    for (std::size_t c = 0; c < 4; ++c) putLe32(tail.data() + 4 * c, form.masks[c]);
  if (shape.profile.empty()) {
    std::memcpy(tail.data() + 16, "BGRs", 4);
    return tail;
  }
  putLe32(tail.data() + 16, kEmbeddedProfile);
  putLe32(tail.data() + 68, kImagesIntent);
  putLe32(tail.data() + 72, static_cast<std::uint32_t>(shape.fileBytes() - kFileHeaderBytes -
                                                       static_cast<std::int64_t>(shape.profile.size())));
  putLe32(tail.data() + 76, static_cast<std::uint32_t>(shape.profile.size()));
  return tail;
}

// A byte value as the n-bit level nearest to it, at its place in the word.
std::array<std::uint16_t, 256> levelsOf(std::uint32_t mask, bool opaque) {
  std::array<std::uint16_t, 256> words{};
  if (mask == 0) return words;
  int shift = 0;
  while ((mask >> shift & 1) == 0) ++shift;
  const std::uint32_t top = mask >> shift;
  for (std::uint32_t v = 0; v < 256; ++v)
    words[v] = static_cast<std::uint16_t>(((opaque ? 255 : v) * top + 127) / 255 << shift);
  return words;
}

}  // namespace

std::int64_t FileShape::rowSize() const { return rowSizeBytes(width, bits); }

std::int64_t FileShape::headerBytes() const {
  return kFileHeaderBytes + infoHeaderBytes(*this) + paletteBytes(*this);
}

bool FileShape::carriesAlpha() const { return formOf(*this).masks[3] != 0; }

bool writeHeaders(ByteSink& sink, const FileShape& shape) {
  BMFH bmfh;
  bmfh.bfSize = static_cast<PixelryDWORD>(shape.fileBytes());
  bmfh.bfOffBits = static_cast<PixelryDWORD>(shape.headerBytes());
  BMIH bmih;
  const MaskForm& form = formOf(shape);
  bmih.biSize = infoHeaderBytes(shape);
  bmih.biWidth = static_cast<PixelryDWORD>(shape.width);
  bmih.biHeight = static_cast<PixelryDWORD>(shape.height);
  bmih.biBitCount = static_cast<PixelryWORD>(shape.bits);
  bmih.biCompression = compressionOf(shape);
  bmih.biSizeImage = static_cast<PixelryDWORD>(shape.imageBytes());
  bmih.biXPelsPerMeter =
      static_cast<PixelryDWORD>(shape.xPelsPerMeter != 0 ? shape.xPelsPerMeter : kDefaultPelsPerMeter);
  bmih.biYPelsPerMeter =
      static_cast<PixelryDWORD>(shape.yPelsPerMeter != 0 ? shape.yPelsPerMeter : kDefaultPelsPerMeter);
  if (!writeRecord(sink, bmfh) || !writeRecord(sink, bmih)) return false;
  if (bmih.biSize > kInfoHeader) {
    const std::vector<PixelryBYTE> tail = headerTail(shape);
    if (!writeBytes(sink, tail.data(), static_cast<std::int64_t>(tail.size()))) return false;
  }

  PixelryBYTE palette[4 * 256];
  if (isIndexedDepth(shape.bits)) {
    // RGBApixel has the byte order of a palette entry.
    std::memcpy(palette, shape.table.data(), static_cast<std::size_t>(paletteBytes(shape)));
  } else if (paletteBytes(shape) > 0) {
    for (std::size_t c = 0; c < 3; ++c) putLe32(palette + 4 * c, form.masks[c]);
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
  if (shape_.bits == 16 && shape_.sixteenBitLayout != SixteenBitLayout::rgb565) {
    // Blue, green, red and alpha, in RGBApixel's order.
    constexpr std::size_t kMaskOf[4] = {2, 1, 0, 3};
    const MaskForm& form = formOf(shape_);
    for (std::size_t c = 0; c < 4; ++c) words_[c] = levelsOf(form.masks[kMaskOf[c]], c == 3 && shape_.opaque);
  }
  const bool dithered = search_ && shape_.dither;
  try {
    pixels_.resize(static_cast<std::size_t>(shape_.width));
    if (dithered) indices_.resize(static_cast<std::size_t>(shape_.width));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return !dithered || diffusion_.allocate(shape_.width);
}

bool RowEncoder::encode(const PixelryBYTE* in, PixelryBYTE* out, int packing) {
  const int width = shape_.width, bits = shape_.bits;
  if (source_ == Target::index8) {
    const auto entries = static_cast<PixelryBYTE>(shape_.tableEntries - 1);
    if (std::any_of(in, in + width, [entries](PixelryBYTE index) { return index > entries; })) return false;
    if (isIndexedDepth(bits)) {
      packIndices(packing, out, width, [in](int x) { return unsigned{in[x]}; });
      return true;
    }
  }
  // Other layouts become RGBApixels first (opaque, but for rgba8's own alpha); bgra8 and
  // the image object's pixels are RGBApixels already.
  const RGBApixel* row = pixels_.data();
  if (source_ == Target::index8) {
    for (int x = 0; x < width; ++x) {
      pixels_[x] = shape_.table[in[x]];
      pixels_[x].Alpha = 255;
    }
  } else if ((source_ == Target::image || source_ == Target::bgra8) && !(shape_.opaque && bits == 32)) {
    row = reinterpret_cast<const RGBApixel*>(in);
  } else {
    loadPixels(source_, in, width, pixels_.data());
    if (shape_.opaque && bits == 32)
      for (RGBApixel& pixel : pixels_) pixel.Alpha = 255;
  }
  if (bits == 16 && shape_.sixteenBitLayout == SixteenBitLayout::rgb565) {
    encode16bitRow(row, out, width);
  } else if (bits == 16) {
    encodeWords(row, out);
  } else if (isIndexedDepth(bits) && shape_.dither) {
    diffusion_(row, shape_.table.data(), *search_, indices_.data());
    packIndices(packing, out, width, [this](int x) { return unsigned{indices_[x]}; });
  } else if (isIndexedDepth(bits)) {
    PaletteSearch& search = *search_;
    packIndices(packing, out, width, [&](int x) { return unsigned{search(row[x])}; });
  } else {
    encodeDirectRow(bits, row, out, width);
  }
  return true;
}

void RowEncoder::encodeWords(const RGBApixel* row, PixelryBYTE* out) const {
  const auto& [blue, green, red, alpha] = words_;
  for (int x = 0; x < shape_.width; ++x, out += 2) {
    const RGBApixel& p = row[x];
    const unsigned word = blue[p.Blue] | green[p.Green] | red[p.Red] | alpha[p.Alpha];
    out[0] = static_cast<PixelryBYTE>(word);
    out[1] = static_cast<PixelryBYTE>(word >> 8);
  }
  if (shape_.width % 2 == 1) out[0] = out[1] = 0;
}

EncodeStatus encodeWhole(ByteSink& sink, const FileShape& shape, Target source, const PixelryBYTE* pixels,
                         std::size_t stride) {
  if (shape.runLength) return encodeRunLength(sink, shape, source, pixels, stride);
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
