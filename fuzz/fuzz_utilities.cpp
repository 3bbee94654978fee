// Rescale and the ranged copies on small images with sizes, modes and rectangles chosen by
// the fuzzer. Rescale gives the size its mode names at 24 bits, keeps the corner pixel and
// leaves the image alone for an unknown mode; a ranged copy changes exactly the pixels a
// plain model of the clipping rules says, whatever the bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"

using fuzz_support::require;
using fuzz_support::samePixel;

namespace {

bool sameColour(const RGBApixel& a, const RGBApixel& b) {
  return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red;
}

void makeImage(FuzzedDataProvider& input, BMP& image) {
  static constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};
  image.SetSize(input.ConsumeIntegralInRange(1, 12), input.ConsumeIntegralInRange(1, 12));
  image.SetBitDepth(input.PickValueInArray(kDepths));
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) {
      // A few colours only, so that transparent pixels occur.
      const auto level = [&input] {
        return static_cast<PixelryBYTE>(input.ConsumeIntegralInRange(0, 3) * 85);
      };
      image.SetPixel(x, y, RGBApixel{level(), level(), level(), input.ConsumeIntegral<PixelryBYTE>()});
    }
}

std::vector<RGBApixel> pixelsOf(const BMP& image) {
  std::vector<RGBApixel> pixels;
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) pixels.push_back(image.GetPixel(x, y));
  return pixels;
}

int side(double exact) { return exact < 1.0 ? 1 : static_cast<int>(exact); }

void checkRescale(FuzzedDataProvider& input, BMP& image) {
  const char mode = input.ConsumeIntegral<char>();
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(mode)));
  // Small parameters: the target grid stays small whatever the mode.
  const int parameter = input.ConsumeIntegralInRange(-20, upper == 'P' ? 400 : 48);
  const BMP before(image);
  const int w = before.TellWidth(), h = before.TellHeight();
  const bool done = Rescale(image, mode, parameter);

  const char effective = upper == 'F' ? (w > h ? 'W' : 'H') : upper;
  int newW = 0, newH = 0;
  switch (effective) {
    case 'P':
      newW = side(std::floor(w * parameter / 100.0));
      newH = side(std::floor(h * parameter / 100.0));
      break;
    case 'W':
      newW = side(parameter);
      newH = side(h * (static_cast<double>(parameter) / w));
      break;
    case 'H':
      newW = side(w * (static_cast<double>(parameter) / h));
      newH = side(parameter);
      break;
    default: {
      require(!done, "an unknown mode is refused");
      require(
          image.TellWidth() == w && image.TellHeight() == h && image.TellBitDepth() == before.TellBitDepth(),
          "an unknown mode leaves the size and depth");
      const std::vector<RGBApixel> kept = pixelsOf(image), old = pixelsOf(before);
      require(std::equal(kept.begin(), kept.end(), old.begin(), samePixel),
              "an unknown mode leaves the pixels");
      return;
    }
  }
  require(done, "a known mode rescales");
  require(image.TellWidth() == newW && image.TellHeight() == newH, "the size the mode names");
  require(image.TellBitDepth() == 24, "a rescaled image is 24 bits");
  require(samePixel(image.GetPixel(newW - 1, newH - 1), before.GetPixel(w - 1, h - 1)),
          "corner pixel copied whole");
  if (newW == w && newH == h)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        require(sameColour(image.GetPixel(x, y), before.GetPixel(x, y)), "same size keeps every colour");
}

// The ranged copy as plain arithmetic on 64-bit values: bounds put in order and cut in
// the documented sequence, destination positions clamped onto the grid, later writes
// winning.
std::vector<RGBApixel> expectedCopy(BMP& from, std::int64_t left, std::int64_t right, std::int64_t bottom,
                                    std::int64_t top, BMP& to, std::int64_t toX, std::int64_t toY,
                                    const RGBApixel* transparent) {
  std::vector<RGBApixel> result = pixelsOf(to);
  const std::int64_t fromW = from.TellWidth(), fromH = from.TellHeight();
  const std::int64_t toW = to.TellWidth(), toH = to.TellHeight();
  if (bottom < top) std::swap(bottom, top);
  if (right >= fromW) right = fromW - 1;
  if (left < 0) left = 0;
  if (bottom >= fromH) bottom = fromH - 1;
  if (top < 0) top = 0;
  if (right - left + toX >= toW) right = toW - 1 + left - toX;
  if (bottom - top + toY >= toH) bottom = toH - 1 + top - toY;
  for (std::int64_t y = top; y <= bottom; ++y)
    for (std::int64_t x = left; x <= right; ++x) {
      const RGBApixel pixel = from.GetPixel(static_cast<int>(x), static_cast<int>(y));
      if (transparent && sameColour(pixel, *transparent)) continue;
      const std::int64_t dx = std::clamp<std::int64_t>(toX + x - left, 0, toW - 1);
      const std::int64_t dy = std::clamp<std::int64_t>(toY + y - top, 0, toH - 1);
      result[static_cast<std::size_t>(dy * toW + dx)] = pixel;
    }
  return result;
}

// A bound: mostly near the images, sometimes anywhere in the int range.
int bound(FuzzedDataProvider& input) {
  return input.ConsumeBool() ? input.ConsumeIntegral<int>() : input.ConsumeIntegralInRange(-16, 28);
}

void checkRangedCopy(FuzzedDataProvider& input, BMP& from, BMP& to) {
  const int left = bound(input), right = bound(input), bottom = bound(input), top = bound(input);
  const int toX = bound(input), toY = bound(input);
  const bool withTransparent = input.ConsumeBool();
  RGBApixel transparent{static_cast<PixelryBYTE>(input.ConsumeIntegralInRange(0, 3) * 85),
                        static_cast<PixelryBYTE>(input.ConsumeIntegralInRange(0, 3) * 85),
                        static_cast<PixelryBYTE>(input.ConsumeIntegralInRange(0, 3) * 85), 0};
  // The source is read before any write in the model, so the images must be distinct.
  BMP source(from);
  const std::vector<RGBApixel> want =
      expectedCopy(source, left, right, bottom, top, to, toX, toY, withTransparent ? &transparent : nullptr);
  if (withTransparent)
    RangedPixelToPixelCopyTransparent(source, left, right, bottom, top, to, toX, toY, transparent);
  else
    RangedPixelToPixelCopy(source, left, right, bottom, top, to, toX, toY);
  const std::vector<RGBApixel> got = pixelsOf(to);
  require(std::equal(got.begin(), got.end(), want.begin(), samePixel),
          "ranged copy writes the modelled pixels");
  // Within one image: no model for overlap, but the walk must stay on the grid.
  RangedPixelToPixelCopy(to, left, right, bottom, top, to, toX, toY);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::silenceOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  BMP first, second;
  makeImage(input, first);
  makeImage(input, second);
  checkRangedCopy(input, first, second);
  checkRescale(input, first);
  checkRescale(input, second);
  return 0;
}
