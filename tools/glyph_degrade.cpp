#include "glyph_degrade.h"

#include <algorithm>
#include <cmath>
#include <vector>

std::uint64_t Random::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double Random::uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

double Random::uniform(double low, double high) { return low + (high - low) * uniform(); }

int Random::below(int count) { return static_cast<int>(next() % static_cast<std::uint64_t>(count)); }

double Random::gaussian() {
  const double u = 1.0 - uniform();
  const double v = uniform();
  return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
}

namespace {

std::uint8_t clampToByte(double value) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// One pass of a separable kernel along rows (horizontal) or columns.
GrayImage convolved(const GrayImage& image, const std::vector<double>& kernel, bool horizontal) {
  const int radius = static_cast<int>(kernel.size() / 2);
  GrayImage out(image.width, image.height, 255);
  for (int row = 0; row < image.height; ++row)
    for (int column = 0; column < image.width; ++column) {
      double sum = 0.0;
      for (std::size_t k = 0; k < kernel.size(); ++k) {
        const int i = static_cast<int>(k) - radius;
        const int c = horizontal ? std::clamp(column + i, 0, image.width - 1) : column;
        const int r = horizontal ? row : std::clamp(row + i, 0, image.height - 1);
        sum += kernel[k] * image.at(c, r);
      }
      out.at(column, row) = clampToByte(sum);
    }
  return out;
}

}  // namespace

GrayImage blurred(const GrayImage& image, double sigma) {
  const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
  std::vector<double> kernel(static_cast<std::size_t>(2 * radius + 1));
  double total = 0.0;
  for (std::size_t k = 0; k < kernel.size(); ++k) {
    const int i = static_cast<int>(k) - radius;
    total += kernel[k] = std::exp(-0.5 * i * i / (sigma * sigma));
  }
  for (double& weight : kernel) weight /= total;
  return convolved(convolved(image, kernel, true), kernel, false);
}

GrayImage noisy(const GrayImage& image, double sigma, Random& random) {
  GrayImage out = image;
  for (std::uint8_t& value : out.red) value = clampToByte(value + sigma * random.gaussian());
  return out;
}

GrayImage binarised(const GrayImage& image, int threshold) {
  GrayImage out = image;
  for (std::uint8_t& value : out.red) value = value < threshold ? 0 : 255;
  return out;
}

Box inkBox(const GrayImage& image, int threshold) {
  Box box{image.width, image.height, 0, 0};
  for (int row = 0; row < image.height; ++row)
    for (int column = 0; column < image.width; ++column)
      if (image.at(column, row) < threshold) {
        box.left = std::min(box.left, column);
        box.top = std::min(box.top, row);
        box.right = std::max(box.right, column + 1);
        box.bottom = std::max(box.bottom, row + 1);
      }
  if (box.right == 0) return Box{0, 0, image.width, image.height};
  return box;
}

GrayImage cropped(const GrayImage& image, Box box) {
  box.left = std::clamp(box.left, 0, image.width - 1);
  box.top = std::clamp(box.top, 0, image.height - 1);
  box.right = std::clamp(box.right, box.left + 1, image.width);
  box.bottom = std::clamp(box.bottom, box.top + 1, image.height);
  GrayImage out(box.right - box.left, box.bottom - box.top, 255);
  for (int row = 0; row < out.height; ++row)
    for (int column = 0; column < out.width; ++column)
      out.at(column, row) = image.at(column + box.left, row + box.top);
  return out;
}
