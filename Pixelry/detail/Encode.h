// Internal: pixels in a format encoded as a BMP file, whole or by rows. The image object's
// writers and the buffer encoders share it.
#ifndef PIXELRY_DETAIL_ENCODE_H
#define PIXELRY_DETAIL_ENCODE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "../Pixelry_IO.h"
#include "../Pixelry_Image.h"
#include "Dither.h"
#include "PixelFormats.h"

namespace pixelry::detail {

class ByteSink;

// What is written: size, depth, layout, resolution and colour table.
struct FileShape {
  int width = 1;
  int height = 1;
  int bits = 24;
  // At 32 bits: a 108-byte header with the masks of BGRA pixels, alpha included.
  bool alphaMask = false;
  SixteenBitLayout sixteenBitLayout = SixteenBitLayout::rgb565;
  // Alpha written as 255 whatever the pixels hold (an image whose Alpha nobody set).
  bool opaque = false;
  std::int32_t xPelsPerMeter = 0;  // 0: not set, written as 96 dpi
  std::int32_t yPelsPerMeter = 0;
  // At 1, 4 and 8 bits the 2^bits entries written; indices up to tableEntries - 1 are
  // accepted from index8 pixels.
  std::array<RGBApixel, 256> table{};
  int tableEntries = 0;
  // An ICC profile to embed after the pixels, named by a 124-byte header; empty: none.
  std::vector<PixelryBYTE> profile;
  // At 1, 4 and 8 bits: pixels mapped to the table by error diffusion.
  bool dither = false;
  // At 4 and 8 bits: pixels coded by runs (RLE4, RLE8), and the bytes of the coded stream,
  // 0 until it is coded.
  bool runLength = false;
  std::int64_t runLengthBytes = 0;

  // The bytes of one stored row, padding included.
  std::int64_t rowSize() const;
  // The bytes of the pixels, as biSizeImage gives them: the rows, or the coded stream; past
  // UINT32_MAX (without overflowing) when they cannot be written.
  std::int64_t imageBytes() const {
    if (runLength) return runLengthBytes;
    return rowSize() > INT64_C(0xFFFFFFFF) / height ? INT64_C(0x100000000) : height * rowSize();
  }
  // The bytes before the pixels: headers and colour table or masks.
  std::int64_t headerBytes() const;
  // Whether the pixels carry alpha: an alpha mask at 32 bits, or a 16-bit layout with it.
  bool carriesAlpha() const;
  // The bytes of the whole file; past UINT32_MAX (without overflowing) when it cannot be
  // written, since the file header holds its size in 32 bits. Before a run-length stream
  // is coded, the bytes around it only.
  std::int64_t fileBytes() const {
    return headerBytes() + imageBytes() + static_cast<std::int64_t>(profile.size());
  }
};

// Writes the headers and the colour table or masks. False when a write failed.
bool writeHeaders(ByteSink& sink, const FileShape& shape);
// Writes the profile that follows the pixels, if any. False when a write failed.
bool writeProfile(ByteSink& sink, const FileShape& shape);

// Packs rows of pixels in a source format into stored rows.
class RowEncoder {
 public:
  // The image object's pixels come as Target::image: Alpha as stored.
  RowEncoder(const FileShape& shape, Target source);
  ~RowEncoder();
  RowEncoder(const RowEncoder&) = delete;
  RowEncoder& operator=(const RowEncoder&) = delete;
  // False when the buffers could not be allocated.
  bool allocate();
  // Packs one row (width pixels) into out (rowSize bytes, padding included; the padding
  // of 1-, 4-, 8-, 24- and 32-bit rows is left as it is). False, for index8 pixels, when
  // an index lies past the table.
  bool operator()(const PixelryBYTE* in, PixelryBYTE* out) { return encode(in, out, shape_.bits); }
  // At 1, 4 and 8 bits: the row's colour-table indices, as operator() would pack them, one
  // byte a pixel (width bytes). False as operator() is.
  bool indices(const PixelryBYTE* in, PixelryBYTE* out) { return encode(in, out, 8); }

 private:
  // Packs a row with indices at packing bits.
  bool encode(const PixelryBYTE* in, PixelryBYTE* out, int packing);
  // A row of RGBApixels in a 16-bit layout other than 5-6-5, padding included.
  void encodeWords(const RGBApixel* row, PixelryBYTE* out) const;

  const FileShape& shape_;
  Target source_;
  PaletteSearch* search_ = nullptr;
  std::vector<RGBApixel> pixels_;  // the row as RGBApixels, for sources of other layouts
  // For 16-bit layouts but 5-6-5: each channel's byte value as its bits of the word.
  std::array<std::array<std::uint16_t, 256>, 4> words_{};
  // With dithering: the error carried between rows, and a row's indices.
  ErrorDiffusion diffusion_;
  std::vector<PixelryBYTE> indices_;
};

// Encodes height rows at pixels, stride bytes apart, row 0 the top, as a whole file
// (run-length coded when shape.runLength is set). tooLarge: the coded file would not fit
// the 32-bit size the file header gives.
enum class EncodeStatus { written, writeFailed, badIndex, noMemory, tooLarge };
EncodeStatus encodeWhole(ByteSink& sink, const FileShape& shape, Target source, const PixelryBYTE* pixels,
                         std::size_t stride);

}  // namespace pixelry::detail

#endif
