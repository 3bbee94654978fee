// A sample file with a colour profile embedded, for the colour-managed cases.
#ifndef PIXELRY_BENCH_PROFILEDFILE_H
#define PIXELRY_BENCH_PROFILEDFILE_H

#include <cstdint>
#include <vector>

namespace bench {

// The same 24-bit file with a colour profile other than sRGB embedded (Display P3's
// primaries, parametric curves), written by Pixelry's encoder; empty when the profile
// cannot be read.
std::vector<std::uint8_t> withColourProfile(const std::vector<std::uint8_t>& file24);

}  // namespace bench

#endif
