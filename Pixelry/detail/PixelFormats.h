// Internal: the pixel formats decoded pixels are stored in, each rule in one place.
#ifndef PIXELRY_DETAIL_PIXELFORMATS_H
#define PIXELRY_DETAIL_PIXELFORMATS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../Pixelry_Codec.h"
#include "../Pixelry_Image.h"

// Row loops work on bytes through pointers that never overlap; saying so lets the
// compiler keep its loads out of the loop and turn the loop into vector code.
#if defined(__GNUC__) || defined(_MSC_VER)
#define PIXELRY_RESTRICT __restrict
#else
#define PIXELRY_RESTRICT
#endif

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

// Writes count pixels into out in target's layout (not index8). The pixels are inSize
// bytes each: blue, green, red and, with 4, a fourth byte that is their Alpha unless alpha
// points to the Alpha they all take (as it must for 3-byte pixels). in and out do not
// overlap.
void storePixels(Target target, const PixelryBYTE* in, int inSize, std::int64_t count, PixelryBYTE* out,
                 const PixelryBYTE* alpha = nullptr);

// Reads count pixels in source's layout (not index8) as RGBApixels: Alpha 255 from
// layouts without it.
void loadPixels(Target source, const PixelryBYTE* in, std::int64_t count, RGBApixel* out);

// Sets count pixels to white in target's layout, opaque or with Alpha 0 (as the image
// object has it, and where the file has an alpha mask); index 0 in index8.
void fillWhite(Target target, PixelryBYTE* out, std::int64_t count, bool opaque);

}  // namespace pixelry::detail

#endif
