// Seeded degradations of a rendered letter: blur, noise, binarisation, cropping.
#ifndef GLYPH_DEGRADE_H
#define GLYPH_DEGRADE_H

#include <cstdint>

#include "glyph_raster.h"

// A small deterministic generator (splitmix64), so that the same seed gives the same
// images on every platform; the standard distributions do not promise that.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  double uniform();  // in [0, 1)
  double uniform(double low, double high);
  int below(int count);  // in [0, count)
  double gaussian();     // mean 0, standard deviation 1

 private:
  std::uint64_t state_;
};

// Gaussian blur with standard deviation sigma pixels; the border repeats the edge pixel.
GrayImage blurred(const GrayImage& image, double sigma);
// Adds Gaussian noise of standard deviation sigma grey levels to every pixel.
GrayImage noisy(const GrayImage& image, double sigma, Random& random);
// Pixels darker than threshold become 0, the others 255.
GrayImage binarised(const GrayImage& image, int threshold);

// A rectangle of pixels.
struct Box {
  int left = 0;
  int top = 0;
  int right = 0;   // one past the last column
  int bottom = 0;  // one past the last row
};
// The smallest box holding every pixel darker than threshold; the whole image when no
// pixel is.
Box inkBox(const GrayImage& image, int threshold);
// The part of the image inside the box, after clipping the box to the image (at least
// one pixel).
GrayImage cropped(const GrayImage& image, Box box);

#endif
