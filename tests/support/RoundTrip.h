// What a pixel becomes when an image is written and read back, by the rules of its depth,
// and the colour tables that the palette search is checked on.
#ifndef PIXELRY_TESTS_ROUNDTRIP_H
#define PIXELRY_TESTS_ROUNDTRIP_H

#include <vector>

#include "Pixelry/Pixelry.h"
#include "support/Pattern.h"
#include "support/Pixel.h"

namespace testing_support {

using Palette = std::vector<RGBApixel>;

// The colour table, empty at the depths that have none.
inline Palette tableOf(const BMP& image) {
  Palette table;
  for (int i = 0; image.TellBitDepth() <= 8 && i < image.TellNumberOfColors(); ++i)
    table.push_back(image.GetColor(i));
  return table;
}

inline void setTable(BMP& image, const Palette& table) {
  for (std::size_t i = 0; i < table.size(); ++i) image.SetColor(static_cast<int>(i), table[i]);
}

// 2^bits random entries, Alpha included.
inline Palette randomTable(int bits, unsigned seed = 1000) {
  Random random(seed + static_cast<unsigned>(bits));
  Palette table;
  for (int i = 0; i < (1 << bits); ++i) table.push_back(random.colour());
  return table;
}

// The index of the table entry nearest to p, searched entry by entry: smallest squared
// distance in red, green and blue, the lowest index among equals.
inline int nearestEntry(const Palette& table, const RGBApixel& p) {
  int best = 0, bestDistance = 1 << 30;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const RGBApixel& e = table[i];
    const int d = (e.Red - p.Red) * (e.Red - p.Red) + (e.Green - p.Green) * (e.Green - p.Green) +
                  (e.Blue - p.Blue) * (e.Blue - p.Blue);
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

// What pixel p becomes after a write and a read at the given depth and table.
inline Rgba afterRoundTrip(int bits, const Palette& table, const RGBApixel& p) {
  switch (bits) {
    case 32:
      return rgba(p);
    case 24:
      return {p.Red, p.Green, p.Blue, 0};
    case 16:
      return {p.Red & 0xF8, p.Green & 0xF8, p.Blue & 0xF8, 0};
    default:
      return rgba(table[static_cast<std::size_t>(nearestEntry(table, p))]);
  }
}

}  // namespace testing_support

#endif
