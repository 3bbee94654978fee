// The pixel formats of decoded and encoded buffers.
#include <cstring>

#include "Pixelry_Codec.h"
#include "detail/PixelFormats.h"

namespace pixelry::detail {

std::size_t bytesOf(Target target) {
  switch (target) {
    case Target::rgba8:
    case Target::bgra8:
    case Target::image:
      return 4;
    case Target::rgb8:
    case Target::bgr8:
      return 3;
    case Target::gray8:
    case Target::index8:
      return 1;
  }
  return 0;
}

void fillWhite(Target target, PixelryBYTE* out, std::int64_t count, bool opaque) {
  if (target == Target::index8) {
    std::memset(out, 0, static_cast<std::size_t>(count));
    return;
  }
  std::memset(out, 255, static_cast<std::size_t>(count) * bytesOf(target));
  if (bytesOf(target) == 4 && !opaque)
    for (std::int64_t x = 0; x < count; ++x) out[4 * x + 3] = 0;
}

}  // namespace pixelry::detail

std::size_t pixelry::bytesPerPixel(PixelFormat format) {
  return detail::isKnown(format) ? detail::bytesOf(detail::targetOf(format)) : 0;
}
