// Test pictures: a pattern painted into an image, images from listed pixels, and
// deterministic random colours.
#ifndef PIXELRY_TESTS_PATTERN_H
#define PIXELRY_TESTS_PATTERN_H

#include <random>
#include <vector>

#include "Pixelry/Pixelry.h"
#include "support/Pixel.h"

namespace testing_support {

// Pixel (x, y) of the pattern: neighbours differ in every channel, Alpha included, and
// seed shifts the colours, so that two seeds give two pictures.
inline RGBApixel patternAt(int x, int y, int seed = 0) {
  return pixel(10 + x + 71 * seed, 20 + y + 13 * seed, 30 + x + y + seed, 40 + x * y);
}

// Paints the pattern over the whole image.
inline void paintPattern(BMP& image, int seed = 0) {
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) image.SetPixel(x, y, patternAt(x, y, seed));
}

// A 24-bit image of the given size holding the pattern.
inline BMP patterned(int width, int height, int seed = 0) {
  BMP image;
  image.SetSize(width, height);
  paintPattern(image, seed);
  return image;
}

// An image of the given size whose pixels are listed row by row, top row first; those
// past the end of the list stay white.
inline BMP imageOf(int width, int height, const std::vector<RGBApixel>& pixels) {
  BMP image;
  image.SetSize(width, height);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    image.SetPixel(static_cast<int>(i % static_cast<std::size_t>(width)),
                   static_cast<int>(i / static_cast<std::size_t>(width)), pixels[i]);
  return image;
}

// Makes image an 8-bit 3 x 2 pattern with a changed table entry and resolution: what a
// call that leaves the object alone must keep.
inline void makeBusy(BMP& image) {
  image.SetSize(3, 2);
  paintPattern(image);
  image.SetBitDepth(8);
  image.SetColor(5, pixel(1, 2, 3, 4));
  image.SetDPI(10, 20);
}

// The pixels row by row, top row first.
inline std::vector<Rgba> pixelsOf(const BMP& image) {
  std::vector<Rgba> all;
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) all.push_back(rgba(image.GetPixel(x, y)));
  return all;
}

// Deterministic colours: mt19937's sequence is fixed by the C++ standard.
class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  int byte() { return static_cast<int>(engine_() & 0xFF); }
  int below(int n) { return static_cast<int>(engine_() % static_cast<unsigned>(n)); }
  RGBApixel colour() { return pixel(byte(), byte(), byte(), byte()); }

 private:
  std::mt19937 engine_;
};

}  // namespace testing_support

#endif
