// Pixels as comparable values, so that assertions print the channels that differ.
#ifndef PIXELRY_TESTS_PIXEL_H
#define PIXELRY_TESTS_PIXEL_H

#include <array>

#include "Pixelry/Pixelry.h"

namespace testing_support {

// Red, Green, Blue, Alpha.
using Rgba = std::array<int, 4>;

inline Rgba rgba(const RGBApixel& p) { return {p.Red, p.Green, p.Blue, p.Alpha}; }

inline RGBApixel pixel(int red, int green, int blue, int alpha = 0) {
  return RGBApixel{static_cast<PixelryBYTE>(blue), static_cast<PixelryBYTE>(green),
                   static_cast<PixelryBYTE>(red), static_cast<PixelryBYTE>(alpha)};
}

constexpr Rgba kWhite{255, 255, 255, 0};

}  // namespace testing_support

#endif
