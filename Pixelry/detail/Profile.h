// Internal: whether an embedded ICC colour profile describes sRGB, the colours a reader
// that does not apply profiles gives.
#ifndef PIXELRY_DETAIL_PROFILE_H
#define PIXELRY_DETAIL_PROFILE_H

#include <cstddef>

#include "../Pixelry_DataTypes.h"

namespace pixelry::detail {

// True for an RGB matrix profile whose red, green and blue colorants are sRGB's (within
// 0.005) and whose three tone curves take 0.5 to between 0.195 and 0.235 (sRGB gives
// 0.214, gamma 2.2 0.218). Anything else, or bytes that are not such a profile: false.
bool describesSrgb(const PixelryBYTE* profileBytes, std::size_t size);

}  // namespace pixelry::detail

#endif
