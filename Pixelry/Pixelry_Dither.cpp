// Floyd-Steinberg error diffusion onto a colour table.
#include <algorithm>
#include <new>

#include "detail/Dither.h"

namespace pixelry::detail {

namespace {

// Sixteenths of a level as whole levels, rounded to nearest, halves away from 0.
int levels(int sixteenths) { return (sixteenths + (sixteenths < 0 ? -8 : 8)) / 16; }

PixelryBYTE clampedLevel(int value) { return static_cast<PixelryBYTE>(std::clamp(value, 0, 255)); }

}  // namespace

bool ErrorDiffusion::allocate(int width) {
  width_ = width;
  leftToRight_ = true;
  try {
    here_.assign(3 * (static_cast<std::size_t>(width) + 2), 0);
    next_.assign(here_.size(), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ErrorDiffusion::operator()(const RGBApixel* row, const RGBApixel* table, PaletteSearch& search,
                                PixelryBYTE* indices) {
  const int step = leftToRight_ ? 1 : -1;
  std::fill(next_.begin(), next_.end(), 0);
  for (int k = 0, x = leftToRight_ ? 0 : width_ - 1; k < width_; ++k, x += step) {
    // The pixel's errors sit at (x + 1) * 3: one pixel of room before the first.
    const std::ptrdiff_t at = 3 * (static_cast<std::ptrdiff_t>(x) + 1);
    int* here = here_.data() + at;
    int* below = next_.data() + at;
    const RGBApixel& pixel = row[x];
    RGBApixel wanted = pixel;
    wanted.Blue = clampedLevel(pixel.Blue + levels(here[0]));
    wanted.Green = clampedLevel(pixel.Green + levels(here[1]));
    wanted.Red = clampedLevel(pixel.Red + levels(here[2]));
    const PixelryBYTE index = search(wanted);
    indices[x] = index;
    const RGBApixel& got = table[index];
    const int error[3] = {wanted.Blue - got.Blue, wanted.Green - got.Green, wanted.Red - got.Red};
    for (int c = 0; c < 3; ++c) {
      here[3 * step + c] += 7 * error[c];
      below[-3 * step + c] += 3 * error[c];
      below[c] += 5 * error[c];
      below[3 * step + c] += error[c];
    }
  }
  here_.swap(next_);
  leftToRight_ = !leftToRight_;
}

}  // namespace pixelry::detail
