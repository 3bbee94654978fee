// What a pixel becomes when an image is written and read back, by the rules of its depth.
#ifndef PIXELRY_TESTS_ROUNDTRIP_H
#define PIXELRY_TESTS_ROUNDTRIP_H

#include "Pixelry/Pixelry.h"
#include "support/Pixel.h"

namespace testing_support {

// The index of the table entry nearest to p, searched entry by entry: smallest squared
// distance in red, green and blue, the lowest index among equals.
inline int nearestEntry(const BMP& image, const RGBApixel& p) {
  int best = 0, bestDistance = 1 << 30;
  for (int i = 0; i < image.TellNumberOfColors(); ++i) {
    const RGBApixel e = image.GetColor(i);
    const int d = (e.Red - p.Red) * (e.Red - p.Red) + (e.Green - p.Green) * (e.Green - p.Green) +
                  (e.Blue - p.Blue) * (e.Blue - p.Blue);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

// What pixel p of image becomes after a write and a read at the image's depth.
inline Rgba afterRoundTrip(const BMP& image, const RGBApixel& p) {
  switch (image.TellBitDepth()) {
    case 32: return rgba(p);
    case 24: return {p.Red, p.Green, p.Blue, 0};
    case 16: return {p.Red & 0xF8, p.Green & 0xF8, p.Blue & 0xF8, 0};
    default: return rgba(image.GetColor(nearestEntry(image, p)));
  }
}

}  // namespace testing_support

#endif
