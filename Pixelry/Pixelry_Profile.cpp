// Telling an sRGB colour profile from others: the colorant and tone-curve tags of an ICC
// matrix profile (big-endian throughout).
#include <cmath>
#include <cstdint>
#include <cstring>

#include "detail/Profile.h"

namespace pixelry::detail {

namespace {

// sRGB's colorants adapted to the D50 white of the profile connection space.
constexpr double kSrgbColorants[3][3] = {
    {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};
constexpr double kColorantTolerance = 0.005;
constexpr double kLowestHalfTone = 0.195, kHighestHalfTone = 0.235;
constexpr std::size_t kHeaderSize = 128, kTagEntrySize = 12;

std::uint32_t be32(const PixelryBYTE* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}
std::uint16_t be16(const PixelryBYTE* at) { return static_cast<std::uint16_t>(at[0] << 8 | at[1]); }
double s15Fixed16(const PixelryBYTE* at) { return static_cast<std::int32_t>(be32(at)) / 65536.0; }
bool is(const PixelryBYTE* at, const char* signature) { return std::memcmp(at, signature, 4) == 0; }

// A tag's data, which lies whole inside the profile.
struct Tag {
  const PixelryBYTE* data = nullptr;
  std::size_t size = 0;
};

class Profile {
 public:
  Profile(const PixelryBYTE* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  bool isRgbMatrix() const {
    return size_ >= kHeaderSize + 4 && is(bytes_ + 36, "acsp") && is(bytes_ + 16, "RGB ") &&
           is(bytes_ + 20, "XYZ ");
  }

  Tag find(const char* signature) const {
    const std::uint32_t count = be32(bytes_ + kHeaderSize);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t entry = kHeaderSize + 4 + kTagEntrySize * i;
      if (entry + kTagEntrySize > size_) break;
      const std::uint32_t offset = be32(bytes_ + entry + 4), length = be32(bytes_ + entry + 8);
      if (is(bytes_ + entry, signature) && length >= 12 && offset <= size_ && length <= size_ - offset)
        return {bytes_ + offset, length};
    }
    return {};
  }

 private:
  const PixelryBYTE* bytes_;
  std::size_t size_;
};

bool isSrgbColorant(const Tag& tag, const double (&expected)[3]) {
  if (tag.size < 20 || !is(tag.data, "XYZ ")) return false;
  for (std::size_t c = 0; c < 3; ++c)
    if (std::fabs(s15Fixed16(tag.data + 8 + 4 * c) - expected[c]) > kColorantTolerance) return false;
  return true;
}

// The curve's value at 0.5, or -1 when the tag is no curve this code knows.
double halfTone(const Tag& tag) {
  if (tag.size >= 12 && is(tag.data, "curv")) {
    const std::uint32_t points = be32(tag.data + 8);
    if (points == 0 || points > (tag.size - 12) / 2) return -1;  // none: the identity
    if (points == 1) return std::pow(0.5, be16(tag.data + 12) / 256.0);
    const double at = (points - 1) / 2.0;
    const auto below = static_cast<std::size_t>(at);
    const double low = be16(tag.data + 12 + 2 * below), high = be16(tag.data + 14 + 2 * below);
    return (low + (high - low) * (at - static_cast<double>(below))) / 65535.0;
  }
  if (tag.size >= 16 && is(tag.data, "para")) {
    // Function types 0 to 4 with their 1, 3, 4, 5 and 7 parameters g, a, b, c, d, e, f.
    static constexpr std::size_t kParameters[5] = {1, 3, 4, 5, 7};
    const std::uint16_t type = be16(tag.data + 8);
    if (type > 4 || tag.size < 12 + 4 * kParameters[type]) return -1;
    double p[7] = {0, 1, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < kParameters[type]; ++i) p[i] = s15Fixed16(tag.data + 12 + 4 * i);
    const double g = p[0], a = p[1], b = p[2], c = p[3], d = p[4], e = p[5], f = p[6];
    const double x = 0.5, base = a * x + b;
    switch (type) {
      case 0:
        return std::pow(x, g);
      case 1:
        return base >= 0 ? std::pow(base, g) : 0;
      case 2:
        return (base >= 0 ? std::pow(base, g) : 0) + c;
      case 3:
        return x >= d ? std::pow(base, g) : c * x;
      default:
        return x >= d ? std::pow(base, g) + e : c * x + f;
    }
  }
  return -1;
}

}  // namespace

bool describesSrgb(const PixelryBYTE* profileBytes, std::size_t size) {
  const Profile profile(profileBytes, size);
  if (!profile.isRgbMatrix()) return false;
  static const char* const kColorants[3] = {"rXYZ", "gXYZ", "bXYZ"};
  static const char* const kCurves[3] = {"rTRC", "gTRC", "bTRC"};
  for (int c = 0; c < 3; ++c) {
    if (!isSrgbColorant(profile.find(kColorants[c]), kSrgbColorants[c])) return false;
    const double half = halfTone(profile.find(kCurves[c]));
    if (!(half >= kLowestHalfTone && half <= kHighestHalfTone)) return false;
  }
  return true;
}

}  // namespace pixelry::detail
