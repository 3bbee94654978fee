// Colour spaces of BMP files: ICC matrix/TRC profiles (big-endian throughout) and the
// calibrated RGB of V4 and V5 headers, converted to sRGB as ICC's relative colorimetric
// intent has it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "detail/Colour.h"

namespace pixelry::detail {

namespace {

using Matrix = double[3][3];
struct Xyz {
  double x, y, z;
};

constexpr std::size_t kHeaderSize = 128, kTagEntrySize = 12;
constexpr std::size_t kSmallestProfile = kHeaderSize + 4;
// The connection space's white, as Little CMS and ICC give it.
constexpr Xyz kD50{0.9642, 1.0, 0.8249};
// D65 and the primaries of sRGB (ITU-R BT.709) as chromaticities.
constexpr double kD65[2] = {0.3127, 0.3290};
constexpr double kSrgbPrimaries[3][2] = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
// sRGB's tone curve as ICC parametric type 3: g, a, b, c, d.
constexpr double kSrgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
// Linear light in [0, 1] is looked up in kEncodingSteps + 1 steps; the matrix arithmetic
// rounds to the nearest step, as Little CMS's 1.14 fixed point does.
constexpr int kEncodingSteps = 16384;
// The matrix's terms are summed in fixed point with kFractionBits bits, four times finer
// than a step, three outputs to a 64-bit word: fields of kFieldBits bits, each term
// limited to +-kLargestTerm (4.0) and each field offset by kFieldBias, so that no sum
// leaves its field. A field's top bits are then an index into a table of encoded values
// that also holds the clipping: 0 below linear 0, 255 above 1.
constexpr int kFractionBits = 16, kFieldBits = 21, kShift = kFractionBits - 14;
constexpr std::int64_t kLargestTerm = std::int64_t{1} << 18;
// Three terms at most, and half a step that rounds each sum to the nearest step.
constexpr std::int64_t kFieldBias = 3 * kLargestTerm + (1 << (kShift - 1));
constexpr std::uint64_t kIndexMask = (std::uint64_t{1} << (kFieldBits - kShift)) - 1;
constexpr std::int64_t kZeroIndex = kFieldBias >> kShift;
constexpr std::int64_t kIndices = (2 * kFieldBias >> kShift) + 1;
// Gammas of a calibrated header outside this range describe no display.
constexpr double kLowestGamma = 1.0 / 16, kHighestGamma = 16;

std::uint32_t be32(const PixelryBYTE* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}
std::uint16_t be16(const PixelryBYTE* at) { return static_cast<std::uint16_t>(at[0] << 8 | at[1]); }
std::uint32_t le32(const PixelryBYTE* at) {
  return at[0] | static_cast<std::uint32_t>(at[1]) << 8 | static_cast<std::uint32_t>(at[2]) << 16 |
         static_cast<std::uint32_t>(at[3]) << 24;
}
double s15Fixed16(const PixelryBYTE* at) { return static_cast<std::int32_t>(be32(at)) / 65536.0; }
bool is(const PixelryBYTE* at, const char* signature) { return std::memcmp(at, signature, 4) == 0; }

void multiply(const Matrix& a, const Matrix& b, Matrix& out) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
}

// False for a matrix without an inverse.
bool invert(const Matrix& m, Matrix& out) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!(std::fabs(det) > 1e-12)) return false;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
      out[i][j] = (m[a][c] * m[b][d] - m[a][d] * m[b][c]) / det;
    }
  return true;
}

Xyz xyzOf(const double (&xy)[2]) { return {xy[0] / xy[1], 1.0, (1 - xy[0] - xy[1]) / xy[1]}; }

// Bradford's chromatic adaptation from white `from` to D50.
void adaptToD50(const Xyz& from, Matrix& out) {
  static constexpr Matrix kBradford = {
      {0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};
  Matrix back;
  invert(kBradford, back);
  const double source[3] = {from.x, from.y, from.z}, target[3] = {kD50.x, kD50.y, kD50.z};
  Matrix scale = {};
  for (int i = 0; i < 3; ++i) {
    double s = 0, t = 0;
    for (int j = 0; j < 3; ++j) {
      s += kBradford[i][j] * source[j];
      t += kBradford[i][j] * target[j];
    }
    scale[i][i] = t / s;
  }
  Matrix partial;
  multiply(scale, kBradford, partial);
  multiply(back, partial, out);
}

// The colorants (columns: red, green, blue in XYZ, adapted to D50) of primaries with
// chromaticities xy and a D65 white. False when they span no colour space.
bool colorantsOf(const double (&xy)[3][2], Matrix& out) {
  Matrix primaries;
  for (int c = 0; c < 3; ++c) {
    primaries[0][c] = xy[c][0];
    primaries[1][c] = xy[c][1];
    primaries[2][c] = 1 - xy[c][0] - xy[c][1];
  }
  Matrix inverse;
  if (!invert(primaries, inverse)) return false;
  const Xyz white = xyzOf(kD65);
  const double w[3] = {white.x, white.y, white.z};
  Matrix scaled;
  for (int c = 0; c < 3; ++c) {
    const double k = inverse[c][0] * w[0] + inverse[c][1] * w[1] + inverse[c][2] * w[2];
    for (int r = 0; r < 3; ++r) scaled[r][c] = primaries[r][c] * k;
  }
  Matrix adapt;
  adaptToD50(white, adapt);
  multiply(adapt, scaled, out);
  return true;
}

// From the connection space (XYZ, D50) to linear sRGB.
const Matrix& fromConnectionSpace() {
  static const struct Inverse {
    Matrix m;
    Inverse() : m() {
      Matrix colorants;
      colorantsOf(kSrgbPrimaries, colorants);
      invert(colorants, m);
    }
  } kInverse;
  return kInverse.m;
}

// Linear light in kEncodingSteps + 1 steps to 8-bit sRGB, rounded as Little CMS rounds
// its 16-bit values to 8 bits, by the index of a sum's field: steps below 0 and above
// kEncodingSteps clipped.
const PixelryBYTE* srgbEncoding() {
  static const struct Table {
    PixelryBYTE values[kIndices];
    Table() : values() {
      const double g = kSrgbCurve[0], a = kSrgbCurve[1], b = kSrgbCurve[2], c = kSrgbCurve[3];
      const double knee = std::pow(a * kSrgbCurve[4] + b, g);
      for (int i = 0; i <= kEncodingSteps; ++i) {
        const double linear = static_cast<double>(i) / kEncodingSteps;
        double v = linear >= knee ? (std::pow(linear, 1 / g) - b) / a : linear / c;
        v = v < 0 ? 0 : v > 1 ? 1 : v;
        const auto word = static_cast<std::uint32_t>(std::floor(v * 65535 + 0.5));
        values[kZeroIndex + i] = static_cast<PixelryBYTE>((word * 65281u + 8388608u) >> 24);
      }
      std::fill(values + kZeroIndex + kEncodingSteps + 1, values + kIndices,
                values[kZeroIndex + kEncodingSteps]);
    }
  } kTable;
  return kTable.values;
}

// A tag's data, which lies whole inside the profile.
struct Tag {
  const PixelryBYTE* data = nullptr;
  std::size_t size = 0;
};

// Reads a tone curve into 256 values of linear light for the inputs 0 to 255.
ColourFault readCurve(const Tag& tag, double (&out)[256]) {
  if (tag.size < 12) return ColourFault::curveShort;
  if (is(tag.data, "curv")) {
    const std::uint32_t points = be32(tag.data + 8);
    if (points > (tag.size - 12) / 2) return ColourFault::curveShort;
    const PixelryBYTE* values = tag.data + 12;
    for (int i = 0; i < 256; ++i) {
      const double x = i / 255.0;
      if (points == 0) {
        out[i] = x;
      } else if (points == 1) {
        out[i] = std::pow(x, be16(values) / 256.0);  // u8Fixed8
      } else {
        const double at = x * (points - 1);
        const auto below = std::min(static_cast<std::uint32_t>(at), points - 2);
        const double low = be16(values + std::size_t{2} * below),
                     high = be16(values + std::size_t{2} * below + 2);
        out[i] = (low + (high - low) * (at - below)) / 65535.0;
      }
    }
    return ColourFault::none;
  }
  if (!is(tag.data, "para")) return ColourFault::curveType;
  // Function types 0 to 4 with their 1, 3, 4, 5 and 7 parameters g, a, b, c, d, e, f.
  static constexpr std::size_t kParameters[5] = {1, 3, 4, 5, 7};
  const std::uint16_t type = be16(tag.data + 8);
  if (type > 4) return ColourFault::curveType;
  if (tag.size < 12 + 4 * kParameters[type]) return ColourFault::curveShort;
  double p[7] = {0, 1, 0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < kParameters[type]; ++i) p[i] = s15Fixed16(tag.data + 12 + 4 * i);
  const double g = p[0], a = p[1], b = p[2], c = p[3], d = p[4], e = p[5], f = p[6];
  // Where a x + b turns positive: below it types 1 and 2 give 0 and c.
  const double start = a == 0 ? 0 : type == 2 ? std::max(-b / a, 0.0) : -b / a;
  for (int i = 0; i < 256; ++i) {
    const double x = i / 255.0, base = a * x + b;
    const double power = base > 0 ? std::pow(base, g) : 0;
    double y = 0;
    switch (type) {
      case 0:
        y = std::pow(x, g);
        break;
      case 1:
        y = a != 0 && x >= start ? power : 0;
        break;
      case 2:
        y = a == 0 ? 0 : x >= start ? (base > 0 ? power + c : 0) : c;
        break;
      case 3:
        y = x >= d ? power : c * x;
        break;
      default:
        y = x >= d ? power + e : c * x + f;
        break;
    }
    out[i] = y;
  }
  return ColourFault::none;
}

// An ICC profile's header and tag table, checked once, then searched by signature.
class IccProfile {
 public:
  IccProfile(const PixelryBYTE* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  ColourFault check() {
    if (size_ < kSmallestProfile) return ColourFault::size;
    if (!is(bytes_ + 36, "acsp")) return ColourFault::notProfile;
    // A profile that says it is shorter ends there; tags past it are outside.
    size_ = std::min<std::size_t>(size_, std::max<std::size_t>(be32(bytes_), kSmallestProfile));
    if (!is(bytes_ + 16, "RGB ")) return ColourFault::notRgb;
    const std::uint32_t count = be32(bytes_ + kHeaderSize);
    if (count > (size_ - kSmallestProfile) / kTagEntrySize) return ColourFault::tagTable;
    count_ = count;
    for (std::uint32_t i = 0; i < count_; ++i) {
      const PixelryBYTE* entry = this->entry(i);
      const std::uint32_t offset = be32(entry + 4), length = be32(entry + 8);
      if (offset > size_ || length > size_ - offset) return ColourFault::tagOutside;
    }
    for (const char* table : {"A2B0", "A2B1", "D2B0", "D2B1"})
      if (find(table).data) return ColourFault::lookUpTables;
    return ColourFault::none;
  }

  Tag find(const char* signature) const {
    for (std::uint32_t i = 0; i < count_; ++i)
      if (is(entry(i), signature)) return {bytes_ + be32(entry(i) + 4), be32(entry(i) + 8)};
    return {};
  }

 private:
  const PixelryBYTE* entry(std::uint32_t i) const { return bytes_ + kSmallestProfile + kTagEntrySize * i; }

  const PixelryBYTE* bytes_;
  std::size_t size_;
  std::uint32_t count_ = 0;
};

}  // namespace

ColourSpace ColourSpace::unusable(ColourFault fault, std::vector<PixelryBYTE> bytes) {
  ColourSpace space;
  space.given_ = true;
  space.fault_ = fault;
  // Shared, so that the layouts that carry it are copied without copying the bytes.
  if (!bytes.empty()) space.profile_ = std::make_shared<const std::vector<PixelryBYTE>>(std::move(bytes));
  return space;
}

ColourSpace ColourSpace::fromProfile(std::vector<PixelryBYTE> bytes) {
  ColourSpace space = unusable(ColourFault::none, std::move(bytes));
  IccProfile profile(space.profile().data(), space.profile().size());
  space.fault_ = profile.check();
  static const char* const kColorants[3] = {"rXYZ", "gXYZ", "bXYZ"};
  static const char* const kCurves[3] = {"rTRC", "gTRC", "bTRC"};
  Matrix colorants;
  double curves[3][256];
  for (int c = 0; c < 3 && space.fault_ == ColourFault::none; ++c) {
    const Tag colorant = profile.find(kColorants[c]), curve = profile.find(kCurves[c]);
    if (!colorant.data || !curve.data) {
      space.fault_ = ColourFault::missingTag;
    } else if (colorant.size < 20 || !is(colorant.data, "XYZ ")) {
      space.fault_ = ColourFault::colorant;
    } else {
      for (std::size_t r = 0; r < 3; ++r) colorants[r][c] = s15Fixed16(colorant.data + 8 + 4 * r);
      space.fault_ = readCurve(curve, curves[c]);
    }
  }
  if (space.fault_ == ColourFault::none) space.build(curves, colorants);
  return space;
}

ColourSpace ColourSpace::fromCalibration(const PixelryBYTE* endpoints, const PixelryBYTE* gammas) {
  ColourSpace space;
  if (std::all_of(endpoints, endpoints + 36, [](PixelryBYTE b) { return b == 0; })) return space;
  space.given_ = true;
  space.fault_ = ColourFault::calibration;
  double xy[3][2];
  for (int c = 0; c < 3; ++c) {
    double sum = 0, xyz[3];
    for (std::size_t k = 0; k < 3; ++k)
      sum += xyz[k] = static_cast<std::int32_t>(le32(endpoints + 12 * static_cast<std::size_t>(c) + 4 * k));
    if (!(sum > 0) || !(xyz[1] > 0)) return space;
    xy[c][0] = xyz[0] / sum;
    xy[c][1] = xyz[1] / sum;
  }
  Matrix colorants;
  if (!colorantsOf(xy, colorants)) return space;
  double curves[3][256];
  for (int c = 0; c < 3; ++c) {
    const double gamma = le32(gammas + 4 * static_cast<std::size_t>(c)) / 65536.0;
    if (!(gamma >= kLowestGamma && gamma <= kHighestGamma)) return space;
    for (int i = 0; i < 256; ++i) curves[c][i] = std::pow(i / 255.0, gamma);
  }
  space.fault_ = ColourFault::none;
  space.build(curves, colorants);
  return space;
}

const std::vector<PixelryBYTE>& ColourSpace::profile() const {
  static const std::vector<PixelryBYTE> kNone;
  return profile_ ? *profile_ : kNone;
}

void ColourSpace::build(const double (&curves)[3][256], const double (&colorants)[3][3]) {
  Matrix toSrgb;
  multiply(fromConnectionSpace(), colorants, toSrgb);
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) {
      // Summed as unsigned words: the terms' fields may be negative, the sums' are not.
      std::uint64_t word = 0;
      for (int o = 0; o < 3; ++o) {
        const double term = std::ldexp(toSrgb[o][c] * curves[c][v], kFractionBits);
        const auto fixed = static_cast<std::int64_t>(std::lround(
            std::clamp(term, -static_cast<double>(kLargestTerm), static_cast<double>(kLargestTerm))));
        word += static_cast<std::uint64_t>(fixed + (c == 0 ? kFieldBias : 0)) << (kFieldBits * o);
      }
      terms_[c][v] = word;
    }
  // Every grey, then the red, green and blue ramps, in blue-green-red order.
  PixelryBYTE ramps[4][256][3] = {};
  for (int v = 0; v < 256; ++v) {
    const auto value = static_cast<PixelryBYTE>(v);
    ramps[0][v][0] = ramps[0][v][1] = ramps[0][v][2] = value;
    for (int c = 0; c < 3; ++c) ramps[c + 1][v][2 - c] = value;
  }
  PixelryBYTE converted[sizeof ramps];
  convert(&ramps[0][0][0], 3, std::int64_t{4} * 256, converted);
  identity_ = std::memcmp(converted, ramps, sizeof ramps) == 0;
}

namespace {

// The loop of convert for pixels of size bytes.
template <int size>
void convertPixels(const std::uint64_t (&terms)[3][256], const PixelryBYTE* in, std::int64_t count,
                   PixelryBYTE* out) {
  const PixelryBYTE* encode = srgbEncoding();
  // A sum's field, to its index in the table.
  const auto step = [encode](std::uint64_t field) { return encode[(field >> kShift) & kIndexMask]; };
  for (std::int64_t x = 0; x < count; ++x, in += size, out += size) {
    const std::uint64_t sum = terms[0][in[2]] + terms[1][in[1]] + terms[2][in[0]];
    if (size == 4) out[3] = in[3];
    out[2] = step(sum);
    out[1] = step(sum >> kFieldBits);
    out[0] = step(sum >> (2 * kFieldBits));
  }
}

}  // namespace

void ColourSpace::convert(const PixelryBYTE* in, int size, std::int64_t count, PixelryBYTE* out) const {
  if (size == 4)
    convertPixels<4>(terms_, in, count, out);
  else
    convertPixels<3>(terms_, in, count, out);
}

}  // namespace pixelry::detail
