// Internal: the pixel formats decoded pixels are stored in, each rule in one place.
#ifndef PIXELRY_DETAIL_PIXELFORMATS_H
#define PIXELRY_DETAIL_PIXELFORMATS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../Pixelry_Codec.h"
#include "../Pixelry_Image.h"

namespace pixelry::detail {

// The caller's formats, in PixelFormat's order, and the image object's own: RGBApixels
// whose Alpha is what the file stores (the fourth byte of a 32-bit pixel or table entry,
// an alpha mask's value) and 0 where it stores none.
enum class Target { rgba8, bgra8, rgb8, bgr8, gray8, index8, image };

inline Target targetOf(PixelFormat format) { return static_cast<Target>(format); }
inline bool isKnown(PixelFormat format) {
  return static_cast<unsigned>(format) <= static_cast<unsigned>(PixelFormat::index8);
}
std::size_t bytesOf(Target target);

// Luma by ITU-R BT.601, rounded: weights 0.299, 0.587 and 0.114 in 16-bit fixed point.
inline PixelryBYTE luma(const RGBApixel& p) {
  return static_cast<PixelryBYTE>((19595u * p.Red + 38470u * p.Green + 7471u * p.Blue + 32768u) >> 16);
}

// Writes count pixels into out in target's layout (not index8); pixelAt(x) gives pixel x
// with the Alpha to store.
template <class PixelAt>
void storeRow(Target target, std::int64_t count, PixelryBYTE* out, PixelAt&& pixelAt) {
  switch (target) {
    case Target::rgba8:
      for (std::int64_t x = 0; x < count; ++x, out += 4) {
        const RGBApixel p = pixelAt(x);
        out[0] = p.Red, out[1] = p.Green, out[2] = p.Blue, out[3] = p.Alpha;
      }
      return;
    case Target::bgra8:
    case Target::image:
      // RGBApixel has the byte order of bgra8.
      for (std::int64_t x = 0; x < count; ++x, out += 4) {
        const RGBApixel p = pixelAt(x);
        std::memcpy(out, &p, 4);
      }
      return;
    case Target::rgb8:
      for (std::int64_t x = 0; x < count; ++x, out += 3) {
        const RGBApixel p = pixelAt(x);
        out[0] = p.Red, out[1] = p.Green, out[2] = p.Blue;
      }
      return;
    case Target::bgr8:
      for (std::int64_t x = 0; x < count; ++x, out += 3) {
        const RGBApixel p = pixelAt(x);
        out[0] = p.Blue, out[1] = p.Green, out[2] = p.Red;
      }
      return;
    case Target::gray8:
      for (std::int64_t x = 0; x < count; ++x) out[x] = luma(pixelAt(x));
      return;
    case Target::index8:
      return;
  }
}

// Sets count pixels to white in target's layout, opaque or with Alpha 0 (as the image
// object has it, and where the file has an alpha mask); index 0 in index8.
void fillWhite(Target target, PixelryBYTE* out, std::int64_t count, bool opaque);

}  // namespace pixelry::detail

#endif
