// Pixels and images as comparable values, so that assertions print what differs.
#ifndef PIXELRY_TESTS_PIXEL_H
#define PIXELRY_TESTS_PIXEL_H

#include <array>
#include <string>

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

// Everything a caller can observe of an image, as text: size, depth, resolution, the
// pixels row by row and, at 1, 4 and 8 bits, the colour table.
inline std::string describe(BMP& image) {
  std::string text = std::to_string(image.TellWidth()) + " x " + std::to_string(image.TellHeight()) + " at " +
                     std::to_string(image.TellBitDepth()) + " bits, " +
                     std::to_string(image.TellHorizontalDPI()) + " x " +
                     std::to_string(image.TellVerticalDPI()) + " dpi\n";
  const auto add = [&](const RGBApixel& p) {
    for (int channel : rgba(p)) text += std::to_string(channel) + ",";
    text += " ";
  };
  for (int y = 0; y < image.TellHeight(); ++y, text += "\n")
    for (int x = 0; x < image.TellWidth(); ++x) add(image.GetPixel(x, y));
  for (int n = 0; image.TellBitDepth() <= 8 && n < image.TellNumberOfColors(); ++n) add(image.GetColor(n));
  return text;
}

}  // namespace testing_support

#endif
