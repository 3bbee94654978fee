// The pixel formats of decoded and encoded buffers.
#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define PIXELRY_SSSE3 1
#include <immintrin.h>
#endif

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

namespace {

#ifdef PIXELRY_SSSE3
bool hasSsse3() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
}

// shuffle's work a group of pixels (four, or five 3-byte ones) at a time, with one byte
// shuffle each, as far as 16 bytes can be read and written inside the rows; returns how
// many pixels it moved. Each 16-byte store may write past its group's pixels: the next
// group (or the caller's loop) writes those bytes again.
template <int inSize, int outSize, bool fixedAlpha>
__attribute__((target("ssse3"))) std::int64_t shuffleGroups(const PixelryBYTE* in, std::int64_t count,
                                                            PixelryBYTE* out, const int (&order)[outSize],
                                                            PixelryBYTE alpha) {
  constexpr int group = inSize == 3 && outSize == 3 ? 5 : 4;
  alignas(16) signed char select[16];
  alignas(16) unsigned char fill[16] = {};
  for (int i = 0; i < 16; ++i) {
    const int pixel = i / outSize, k = i % outSize;
    const bool given = pixel < group && fixedAlpha && order[k] == 3;
    select[i] = static_cast<signed char>(pixel >= group || given ? -1 : pixel * inSize + order[k]);
    fill[i] = given ? alpha : 0;
  }
  const __m128i bySelect = _mm_load_si128(reinterpret_cast<const __m128i*>(select));
  const __m128i byFill = _mm_load_si128(reinterpret_cast<const __m128i*>(fill));
  std::int64_t x = 0;
  for (; x * inSize + 16 <= count * inSize && x * outSize + 16 <= count * outSize; x += group) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + inSize * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + outSize * x),
                     _mm_or_si128(_mm_shuffle_epi8(pixels, bySelect), byFill));
  }
  return x;
}
#endif

// Moves count pixels of inSize bytes (blue, green, red, and a fourth) into pixels of
// outSize bytes, byte k of each from byte order[k] of the source; with fixedAlpha, the
// byte taken from the source's fourth is alpha instead.
template <int inSize, int outSize, bool fixedAlpha>
void shuffle(const PixelryBYTE* PIXELRY_RESTRICT in, std::int64_t count, PixelryBYTE* PIXELRY_RESTRICT out,
             const int (&order)[outSize], PixelryBYTE alpha) {
  std::int64_t x = 0;
#ifdef PIXELRY_SSSE3
  if (hasSsse3()) x = shuffleGroups<inSize, outSize, fixedAlpha>(in, count, out, order, alpha);
#endif
  for (; x < count; ++x)
    for (int k = 0; k < outSize; ++k)
      out[outSize * x + k] = fixedAlpha && order[k] == 3 ? alpha : in[inSize * x + order[k]];
}

template <int inSize>
void lumas(const PixelryBYTE* PIXELRY_RESTRICT in, std::int64_t count, PixelryBYTE* PIXELRY_RESTRICT out) {
  for (std::int64_t x = 0; x < count; ++x)
    out[x] = static_cast<PixelryBYTE>(
        (19595u * in[inSize * x + 2] + 38470u * in[inSize * x + 1] + 7471u * in[inSize * x] + 32768u) >> 16);
}

template <int inSize, bool fixedAlpha>
void store(Target target, const PixelryBYTE* in, std::int64_t count, PixelryBYTE* out, PixelryBYTE alpha) {
  switch (target) {
    case Target::rgba8:
      return shuffle<inSize, 4, fixedAlpha>(in, count, out, {2, 1, 0, 3}, alpha);
    case Target::bgra8:
    case Target::image:
      if (inSize == 4 && !fixedAlpha) {
        std::memcpy(out, in, static_cast<std::size_t>(4 * count));
        return;
      }
      return shuffle<inSize, 4, fixedAlpha>(in, count, out, {0, 1, 2, 3}, alpha);
    case Target::rgb8:
      return shuffle<inSize, 3, fixedAlpha>(in, count, out, {2, 1, 0}, alpha);
    case Target::bgr8:
      if (inSize == 3) {
        std::memcpy(out, in, static_cast<std::size_t>(3 * count));
        return;
      }
      return shuffle<inSize, 3, fixedAlpha>(in, count, out, {0, 1, 2}, alpha);
    case Target::gray8:
      return lumas<inSize>(in, count, out);
    case Target::index8:
      return;
  }
}

}  // namespace

void storePixels(Target target, const PixelryBYTE* in, int inSize, std::int64_t count, PixelryBYTE* out,
                 const PixelryBYTE* alpha) {
  // A 3-byte pixel's Alpha is always given.
  if (inSize == 3) return store<3, true>(target, in, count, out, *alpha);
  if (alpha) return store<4, true>(target, in, count, out, *alpha);
  store<4, false>(target, in, count, out, 0);
}

void loadPixels(Target source, const PixelryBYTE* in, std::int64_t count, RGBApixel* out) {
  switch (source) {
    case Target::image:
    case Target::bgra8:
      // RGBApixel has the byte order of bgra8.
      std::memcpy(out, in, static_cast<std::size_t>(count) * sizeof(RGBApixel));
      return;
    case Target::rgba8:
      for (std::int64_t x = 0; x < count; ++x, in += 4) out[x] = RGBApixel{in[2], in[1], in[0], in[3]};
      return;
    case Target::rgb8:
      for (std::int64_t x = 0; x < count; ++x, in += 3) out[x] = RGBApixel{in[2], in[1], in[0], 255};
      return;
    case Target::bgr8:
      for (std::int64_t x = 0; x < count; ++x, in += 3) out[x] = RGBApixel{in[0], in[1], in[2], 255};
      return;
    case Target::gray8:
      for (std::int64_t x = 0; x < count; ++x) out[x] = RGBApixel{in[x], in[x], in[x], 255};
      return;
    case Target::index8:
      return;
  }
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
