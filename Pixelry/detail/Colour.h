// Internal: the colours a file's pixels are in, as an embedded ICC profile or a calibrated
// header describes them, and their conversion to sRGB.
#ifndef PIXELRY_DETAIL_COLOUR_H
#define PIXELRY_DETAIL_COLOUR_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "../Pixelry_DataTypes.h"

namespace pixelry::detail {

// Why a file's colours cannot be converted to sRGB; each has its warning.
enum class ColourFault {
  none,
  linked,        // the profile is named by a file name, not stored in the file
  unreachable,   // its bytes lie past the end of the data, or in a stream that cannot seek
  size,          // fewer bytes than a header and a tag count, or more than kLargestProfile
  notProfile,    // no "acsp" signature
  notRgb,        // a colour space other than RGB (CMYK, grey, Lab...)
  lookUpTables,  // the profile converts through lookup tables (A2B0, A2B1, D2B0, D2B1)
  tagTable,      // the tag table runs past the end of the profile
  tagOutside,    // a tag's data lies outside the profile
  missingTag,    // no rXYZ, gXYZ, bXYZ, rTRC, gTRC or bTRC tag
  colorant,      // a colorant tag that is not an XYZ number
  curveShort,    // a curve with fewer bytes than its points or parameters need
  curveType,     // a para function type above 4, or a curve of another type
  calibration,   // calibrated endpoints that are no primaries, or a gamma outside 1/16..16
};

// The colour space of a file's pixels and, where it can be converted, the conversion:
// 8-bit values to linear light by three tone curves, a 3 x 3 matrix from the file's
// primaries to linear sRGB (through the D50 white of ICC's connection space), and sRGB's
// encoding curve. What Little CMS's relative colorimetric transform to sRGB computes for
// 8-bit RGB (a matrix-shaper), within 1.
class ColourSpace {
 public:
  // The profile's bytes (at most kLargestProfile of them); fault tells whether they
  // can be converted.
  static ColourSpace fromProfile(std::vector<PixelryBYTE> bytes);
  // A V4 or V5 header's LCS_CALIBRATED_RGB: the 36 bytes of the red, green and blue
  // endpoints (XYZ in 2.30 fixed point, of which only the chromaticities count; the white
  // is D65) and the 12 bytes of the three gammas (16.16 fixed point). Endpoints all 0 say
  // nothing: no colour space at all.
  static ColourSpace fromCalibration(const PixelryBYTE* endpoints, const PixelryBYTE* gammas);
  // A colour space the reader cannot use: fault says why (linked, unreachable, size).
  static ColourSpace unusable(ColourFault fault, std::vector<PixelryBYTE> bytes = {});

  // Whether the file describes its colours at all (other than as sRGB).
  bool given() const { return given_; }
  ColourFault fault() const { return fault_; }
  // Whether the conversion leaves every 8-bit grey and every pure red, green and blue
  // ramp value as it is: sRGB itself, within rounding. Such a file needs no work.
  bool identity() const { return identity_; }
  // Whether converting changes pixels: given, no fault and not the identity.
  bool converts() const { return given_ && fault_ == ColourFault::none && !identity_; }
  // The profile's bytes; empty for calibrated RGB and where none could be read.
  const std::vector<PixelryBYTE>& profile() const;

  // Converts count pixels of size bytes (3 or 4: blue, green, red and a fourth byte copied
  // as it is) from in to out, which may be the same pixels.
  void convert(const PixelryBYTE* in, int size, std::int64_t count, PixelryBYTE* out) const;

 private:
  // Makes the conversion from the tone curves' values (linear light for the inputs 0 to
  // 255 of red, green and blue) and the colorants (columns: red, green and blue in XYZ,
  // D50), and tells whether it is the identity.
  void build(const double (&curves)[3][256], const double (&colorants)[3][3]);

  bool given_ = false;
  bool identity_ = false;
  ColourFault fault_ = ColourFault::none;
  std::shared_ptr<const std::vector<PixelryBYTE>> profile_;
  // For each input channel (red, green, blue) and 8-bit value, its terms of linear sRGB's
  // red, green and blue (the matrix times the curve), packed in one word (see convert).
  std::uint64_t terms_[3][256] = {};
};

// Embedded profiles larger than this are not read.
constexpr std::uint32_t kLargestProfile = 1 << 20;

}  // namespace pixelry::detail

#endif
