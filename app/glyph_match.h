// Resampling of an input's red channel to a template's size, as glyph_guess scores it.
// Shared with the tools that build and evaluate the templates, so that a template is made
// from exactly the values the matcher will compare it with.
#ifndef GLYPH_MATCH_H
#define GLYPH_MATCH_H

#include <cmath>

namespace glyph_match {

// Maps a template pixel (l, k) to a value taken from an input of width x height pixels:
// horizontal linear interpolation on the nearest input row above, a missing right
// neighbour counting as white, the blend truncated to an integer 0..255.
class Resampler {
 public:
  Resampler(int width, int height, int patternWidth, int patternHeight)
      : width_(width),
        height_(height),
        scaleX_(static_cast<double>(patternWidth) / width),
        scaleY_(static_cast<double>(patternHeight) / height) {}

  // redAt(column, row) returns the input's red value at that pixel.
  template <class RedAt>
  int at(RedAt&& redAt, int l, int k) const {
    const double y = k / scaleY_;
    const int y0 = static_cast<int>(std::floor(y));
    const double x = l / scaleX_;
    const int x0 = static_cast<int>(std::floor(x));
    const double fx = x - std::floor(x);
    const double left = redAt(x0, y0) * (1 - fx);
    const bool interior = x0 >= 0 && y0 >= 0 && x0 + 1 < width_ && y0 < height_;
    return static_cast<int>(interior ? left + redAt(x0 + 1, y0) * fx : left + 255 * fx);
  }

 private:
  int width_;
  int height_;
  double scaleX_;
  double scaleY_;
};

}  // namespace glyph_match

#endif
