// Fixed-width integer types for BMP header fields and pixel channels.
#ifndef PIXELRY_DATATYPES_H
#define PIXELRY_DATATYPES_H

#include <cstdint>

using PixelryBYTE = std::uint8_t;    // one unsigned byte
using PixelryWORD = std::uint16_t;   // an unsigned 16-bit word
using PixelryDWORD = std::uint32_t;  // an unsigned 32-bit double word

#endif
