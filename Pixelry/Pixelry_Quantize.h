// Colour tables made for a picture, and pictures mapped onto a table: what writing a
// photograph at 1, 4 or 8 bits needs to look like the photograph.
//
//   std::vector<RGBApixel> table;
//   if (pixelry::quantize(image, 256, table))
//     pixelry::mapToTable(image, table, {/*dither=*/true});
//
// Writing with WriteOptions::palette = Palette::adaptive does both in one step.
#ifndef PIXELRY_QUANTIZE_H
#define PIXELRY_QUANTIZE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Pixelry_Codec.h"
#include "Pixelry_Export.h"
#include "Pixelry_IO.h"
#include "Pixelry_Image.h"

namespace pixelry {

struct QuantizeOptions {
  // When mapping: Floyd-Steinberg error diffusion, rows in serpentine order (the first
  // left to right), rather than each pixel to its nearest entry.
  bool dither = false;
};

// Builds a table of at most `colours` entries (2 to 256) for the picture's colours
// (alpha is not considered; every entry's Alpha is 0, as in a file's table). A picture
// with at most `colours` distinct colours gets exactly those; otherwise the table is
// chosen to keep small the error of the pixels mapped to their nearest entries (the
// absolute difference of each channel, as the eye sees a posterised area). Entries come
// in the order of their red, then green, then blue values. The same pixels always give
// the same table, byte for byte, on every machine. Needs about 20 MB of working memory
// whatever the picture's size. Refused (Code::badArgument, table untouched) for a count
// out of range, an empty image or the arguments encode refuses; index8 pixels carry no
// colours and are refused too.
PIXELRY_API Result quantize(const BMP& image, int colours, std::vector<RGBApixel>& table,
                            const QuantizeOptions& options = {});
PIXELRY_API Result quantize(const void* pixels, int width, int height, std::size_t stride, PixelFormat format,
                            int colours, std::vector<RGBApixel>& table, const QuantizeOptions& options = {});

// Maps each pixel to an index of table (1 to 256 entries): its nearest entry (smallest
// squared distance, the lower index among equals), or with options.dither the entry
// error diffusion gives. indices holds height rows of width bytes, indexStride apart.
PIXELRY_API Result mapToTable(const void* pixels, int width, int height, std::size_t stride,
                              PixelFormat format, const std::vector<RGBApixel>& table, std::uint8_t* indices,
                              std::size_t indexStride, const QuantizeOptions& options = {});
// Replaces each pixel of image by the table entry it maps to (its Alpha kept), so that
// the image is written at 1, 4 or 8 bits with exactly those colours once its colour
// table is set to table.
PIXELRY_API Result mapToTable(BMP& image, const std::vector<RGBApixel>& table,
                              const QuantizeOptions& options = {});

}  // namespace pixelry

#endif
