// Colour tables built for a picture, and pictures mapped onto a table.
#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "Pixelry_Quantize.h"
#include "detail/ColourCut.h"
#include "detail/Dither.h"
#include "detail/ImageAccess.h"
#include "detail/PaletteSearch.h"
#include "detail/PixelFormats.h"
#include "detail/Verdicts.h"

using namespace pixelry::detail;

namespace pixelry {

namespace {

Result refused(const std::string& what, const std::string& why) {
  return failure(Code::badArgument, "Cannot " + what + ": " + why + ".");
}

// The checks encode makes of a buffer; index8 pixels carry no colours.
Result checkPixels(const std::string& what, const void* pixels, int width, int height, std::size_t stride,
                   PixelFormat format) {
  if (!pixels) return refused(what, "no pixels");
  if (!isKnown(format)) return refused(what, "unknown pixel format");
  if (format == PixelFormat::index8) return refused(what, "index8 pixels carry no colours");
  if (width < 1 || height < 1) return refused(what, "a width or height below 1");
  if (stride < static_cast<std::size_t>(width) * bytesOf(targetOf(format)))
    return refused(what, "a stride shorter than a row of pixels");
  return {};
}

// A picture's rows as RGBApixels, one at a time.
class Rows {
 public:
  Rows(const void* pixels, int width, std::size_t stride, Target source)
      : pixels_(static_cast<const PixelryBYTE*>(pixels)), width_(width), stride_(stride), source_(source) {}
  bool allocate() {
    try {
      row_.resize(static_cast<std::size_t>(width_));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  const RGBApixel* operator()(int y) {
    const PixelryBYTE* in = pixels_ + static_cast<std::size_t>(y) * stride_;
    if (source_ == Target::image || source_ == Target::bgra8) return reinterpret_cast<const RGBApixel*>(in);
    loadPixels(source_, in, width_, row_.data());
    return row_.data();
  }

 private:
  const PixelryBYTE* pixels_;
  int width_;
  std::size_t stride_;
  Target source_;
  std::vector<RGBApixel> row_;
};

Result noMemory(const std::string& what) {
  return failure(Code::tooLarge, "Cannot " + what + ": out of memory.");
}

Result quantizeRows(Rows& rows, int width, int height, int colours, std::vector<RGBApixel>& table) {
  if (colours < 2 || colours > 256)
    return refused("quantize", "a table of " + std::to_string(colours) + " colours");
  if (!rows.allocate()) return noMemory("quantize");
  try {
    cutColours([&rows](int y) { return rows(y); }, width, height, colours, table);
  } catch (const std::bad_alloc&) {
    return noMemory("quantize");
  }
  return {};
}

// Maps the rows in order, handing each row's indices to take(y, indices) once the row is
// read.
template <class Take>
Result mapRows(Rows& rows, int width, int height, const std::vector<RGBApixel>& table,
               const QuantizeOptions& options, Take&& take) {
  if (table.empty() || table.size() > 256)
    return refused("map to a table", "a table of " + std::to_string(table.size()) + " entries");
  ErrorDiffusion diffusion;
  std::vector<std::uint8_t> out;
  try {
    out.resize(static_cast<std::size_t>(width));
  } catch (const std::bad_alloc&) {
    return noMemory("map to a table");
  }
  if (!rows.allocate() || (options.dither && !diffusion.allocate(width))) return noMemory("map to a table");
  PaletteSearch& search = paletteSearchFor(table.data(), static_cast<int>(table.size()));
  for (int y = 0; y < height; ++y) {
    const RGBApixel* row = rows(y);
    if (options.dither)
      diffusion(row, table.data(), search, out.data());
    else
      for (int x = 0; x < width; ++x) out[x] = search(row[x]);
    take(y, out.data());
  }
  return {};
}

}  // namespace

Result quantize(const BMP& image, int colours, std::vector<RGBApixel>& table, const QuantizeOptions&) {
  const int width = image.TellWidth(), height = image.TellHeight();
  Rows rows(ImageAccess::pixels(image), width, static_cast<std::size_t>(width) * sizeof(RGBApixel),
            Target::image);
  return quantizeRows(rows, width, height, colours, table);
}

Result quantize(const void* pixels, int width, int height, std::size_t stride, PixelFormat format,
                int colours, std::vector<RGBApixel>& table, const QuantizeOptions&) {
  Result checked = checkPixels("quantize", pixels, width, height, stride, format);
  if (!checked) return checked;
  Rows rows(pixels, width, stride, targetOf(format));
  return quantizeRows(rows, width, height, colours, table);
}

Result mapToTable(const void* pixels, int width, int height, std::size_t stride, PixelFormat format,
                  const std::vector<RGBApixel>& table, std::uint8_t* indices, std::size_t indexStride,
                  const QuantizeOptions& options) {
  Result checked = checkPixels("map to a table", pixels, width, height, stride, format);
  if (!checked) return checked;
  if (!indices || indexStride < static_cast<std::size_t>(width))
    return refused("map to a table", "no room for the indices");
  Rows rows(pixels, width, stride, targetOf(format));
  return mapRows(rows, width, height, table, options, [&](int y, const std::uint8_t* row) {
    std::copy_n(row, width, indices + static_cast<std::size_t>(y) * indexStride);
  });
}

Result mapToTable(BMP& image, const std::vector<RGBApixel>& table, const QuantizeOptions& options) {
  const int width = image.TellWidth(), height = image.TellHeight();
  RGBApixel* pixels = ImageAccess::pixels(image);
  Rows rows(pixels, width, static_cast<std::size_t>(width) * sizeof(RGBApixel), Target::image);
  // A row is written over once it is mapped; its Alpha stays.
  return mapRows(rows, width, height, table, options, [&](int y, const std::uint8_t* row) {
    RGBApixel* pixel = pixels + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x, ++pixel) {
      const RGBApixel& entry = table[row[x]];
      pixel->Red = entry.Red;
      pixel->Green = entry.Green;
      pixel->Blue = entry.Blue;
    }
  });
}

}  // namespace pixelry
