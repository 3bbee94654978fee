// colour_oracle: Pixelry's conversion of embedded colour profiles set against Little CMS.
// Needs liblcms2-dev (tools/CMakeLists.txt builds it only where Little CMS is found).
//
//   colour_oracle testdata DIR
//       Writes the small profiles the tests read (DIR/*.icc, every tone curve kind, v2 and
//       v4, with and without chad) and DIR/expected.txt: for each profile, and for
//       calibrated RGB headers, the colours Little CMS's relative colorimetric transform
//       to sRGB gives for a fixed set of 8-bit inputs.
//   colour_oracle evaluate [PHOTO.bmp] [PROFILE.icc ...]
//       For the profiles it makes and those named (the ICC profiles of colord-data and
//       icc-profiles-free), writes 24-bit BMP files with the profile embedded through
//       Pixelry's writer, reads them back with Pixelry (ReadOptions::colour toSrgb) and
//       prints the largest and mean difference from Little CMS per channel, over two
//       synthetic pictures (every colour of a 6-bit lattice, smooth gradients) and the
//       photograph given.
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Chromaticities {
  const char* name;
  double white[2];
  double primaries[3][2];
};

constexpr double kD65[2] = {0.3127, 0.3290};
const Chromaticities kSpaces[] = {
    {"srgb", {0.3127, 0.3290}, {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}}},
    {"p3", {0.3127, 0.3290}, {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}},
    {"rec2020", {0.3127, 0.3290}, {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}},
    {"prophoto", {0.3457, 0.3585}, {{0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}}},
    {"adobe", {0.3127, 0.3290}, {{0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}}},
};

// A tone curve as a profile stores it.
struct Curve {
  enum class Kind { curv, para } kind = Kind::curv;
  std::vector<std::uint16_t> points;  // curv: 0 (identity), 1 (u8Fixed8 gamma) or more
  int type = 0;                       // para: 0 to 4
  std::vector<double> parameters;     // para: g, a, b, c, d, e, f as the type has them
};

Curve gammaCurve(double gamma) {
  Curve curve;
  curve.points.push_back(static_cast<std::uint16_t>(std::lround(gamma * 256)));
  return curve;
}
Curve sampledCurve(double gamma, int count) {
  Curve curve;
  for (int i = 0; i < count; ++i)
    curve.points.push_back(
        static_cast<std::uint16_t>(std::lround(std::pow(i / (count - 1.0), gamma) * 65535)));
  return curve;
}
Curve paraCurve(int type, std::vector<double> parameters) {
  return {Curve::Kind::para, {}, type, std::move(parameters)};
}

void be32(Bytes& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void be16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void s15(Bytes& out, double v) {
  be32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 65536))));
}
void signature(Bytes& out, const char* s) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(s[i]));
}
void pad(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

Bytes curveTag(const Curve& curve) {
  Bytes tag;
  if (curve.kind == Curve::Kind::curv) {
    signature(tag, "curv");
    be32(tag, 0);
    be32(tag, static_cast<std::uint32_t>(curve.points.size()));
    for (const std::uint16_t p : curve.points) be16(tag, p);
  } else {
    signature(tag, "para");
    be32(tag, 0);
    be16(tag, static_cast<std::uint16_t>(curve.type));
    be16(tag, 0);
    for (const double p : curve.parameters) s15(tag, p);
  }
  return tag;
}

Bytes xyzTag(const double (&xyz)[3]) {
  Bytes tag;
  signature(tag, "XYZ ");
  be32(tag, 0);
  for (const double v : xyz) s15(tag, v);
  return tag;
}

// The D50-adapted colorants (columns) and chad of chromaticities, as Little CMS makes them.
void colorantsOf(const Chromaticities& space, double (&colorants)[3][3], double (&chad)[9]) {
  const cmsCIExyY white{space.white[0], space.white[1], 1.0};
  const cmsCIExyYTRIPLE primaries{{space.primaries[0][0], space.primaries[0][1], 1.0},
                                  {space.primaries[1][0], space.primaries[1][1], 1.0},
                                  {space.primaries[2][0], space.primaries[2][1], 1.0}};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, nullptr);
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
    colorants[0][c] = xyz->X;
    colorants[1][c] = xyz->Y;
    colorants[2][c] = xyz->Z;
  }
  const auto* matrix = static_cast<const double*>(cmsReadTag(profile, cmsSigChromaticAdaptationTag));
  for (int i = 0; i < 9; ++i) chad[i] = matrix ? matrix[i] : (i % 4 == 0 ? 1 : 0);
  cmsCloseProfile(profile);
}

// An RGB matrix/TRC display profile written byte by byte, so that every curve encoding
// and both versions can be had.
Bytes iccProfile(const Chromaticities& space, const Curve (&curves)[3], int version, bool withChad) {
  double colorants[3][3], chad[9];
  colorantsOf(space, colorants, chad);
  std::vector<std::pair<const char*, Bytes>> tags;
  const double d50[3] = {0.9642, 1.0, 0.8249};
  tags.emplace_back("wtpt", xyzTag(d50));
  const char* colorantNames[3] = {"rXYZ", "gXYZ", "bXYZ"};
  const char* curveNames[3] = {"rTRC", "gTRC", "bTRC"};
  for (int c = 0; c < 3; ++c) {
    const double xyz[3] = {colorants[0][c], colorants[1][c], colorants[2][c]};
    tags.emplace_back(colorantNames[c], xyzTag(xyz));
  }
  for (int c = 0; c < 3; ++c) tags.emplace_back(curveNames[c], curveTag(curves[c]));
  if (withChad) {
    Bytes tag;
    signature(tag, "sf32");
    be32(tag, 0);
    for (const double v : chad) s15(tag, v);
    tags.emplace_back("chad", tag);
  }
  Bytes table, data;
  const std::size_t start = 128 + 4 + 12 * tags.size();
  for (const auto& [name, bytes] : tags) {
    signature(table, name);
    be32(table, static_cast<std::uint32_t>(start + data.size()));
    be32(table, static_cast<std::uint32_t>(bytes.size()));
    data.insert(data.end(), bytes.begin(), bytes.end());
    pad(data);
  }
  Bytes profile;
  be32(profile, static_cast<std::uint32_t>(start + data.size()));
  signature(profile, "none");
  be32(profile, version == 4 ? 0x04300000u : 0x02100000u);
  signature(profile, "mntr");
  signature(profile, "RGB ");
  signature(profile, "XYZ ");
  profile.resize(36, 0);  // date
  signature(profile, "acsp");
  profile.resize(68, 0);  // platform, flags, device, attributes, intent 0
  for (const double v : d50) s15(profile, v);
  profile.resize(128, 0);
  be32(profile, static_cast<std::uint32_t>(tags.size()));
  profile.insert(profile.end(), table.begin(), table.end());
  profile.insert(profile.end(), data.begin(), data.end());
  return profile;
}

// Little CMS's relative colorimetric transform of 8-bit RGB from a profile to sRGB.
class Oracle {
 public:
  explicit Oracle(cmsHPROFILE input) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    transform_ =
        input ? cmsCreateTransform(input, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0)
              : nullptr;
    cmsCloseProfile(srgb);
    if (input) cmsCloseProfile(input);
  }
  ~Oracle() {
    if (transform_) cmsDeleteTransform(transform_);
  }
  Oracle(const Oracle&) = delete;
  Oracle& operator=(const Oracle&) = delete;
  bool ok() const { return transform_ != nullptr; }
  Bytes operator()(const Bytes& rgb) const {
    Bytes out(rgb.size());
    cmsDoTransform(transform_, rgb.data(), out.data(), static_cast<cmsUInt32Number>(rgb.size() / 3));
    return out;
  }

 private:
  cmsHTRANSFORM transform_ = nullptr;
};

cmsHPROFILE calibratedProfile(const double (&primaries)[3][2], const double (&gammas)[3]) {
  const cmsCIExyY white{kD65[0], kD65[1], 1.0};
  const cmsCIExyYTRIPLE triple{{primaries[0][0], primaries[0][1], 1.0},
                               {primaries[1][0], primaries[1][1], 1.0},
                               {primaries[2][0], primaries[2][1], 1.0}};
  cmsToneCurve* curves[3];
  for (int c = 0; c < 3; ++c) curves[c] = cmsBuildGamma(nullptr, gammas[c]);
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &triple, curves);
  for (cmsToneCurve* curve : curves) cmsFreeToneCurve(curve);
  return profile;
}

// The inputs the tests check: a 5-level lattice, then grey and each pure channel at 16
// levels, as R, G, B.
Bytes testInputs() {
  Bytes rgb;
  const int lattice[5] = {0, 40, 128, 200, 255};
  for (const int r : lattice)
    for (const int g : lattice)
      for (const int b : lattice) rgb.insert(rgb.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
  for (int k = 0; k < 4; ++k)
    for (int level = 1; level < 256; level += 17)
      for (int c = 0; c < 3; ++c) rgb.push_back(static_cast<std::uint8_t>(k == 0 || k == c + 1 ? level : 0));
  return rgb;
}

// The profiles the tests read: every curve encoding, v2 and v4, with and without chad.
struct TestProfile {
  const char* file;
  int space;  // in kSpaces
  Curve curves[3];
  int version;
  bool chad;
};

std::vector<TestProfile> testProfiles() {
  const Curve srgbPara = paraCurve(3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045});
  return {
      {"p3-curv0-v2.icc", 1, {Curve{}, Curve{}, Curve{}}, 2, false},
      {"rec2020-curv1-v2.icc", 2, {gammaCurve(2.2), gammaCurve(1.8), gammaCurve(2.4)}, 2, false},
      {"adobe-curvn-v2.icc",
       4,
       {sampledCurve(2.2, 33), sampledCurve(2.2, 2), sampledCurve(1.0 / 0.45, 512)},
       2,
       false},
      {"prophoto-para0-v4.icc", 3, {paraCurve(0, {1.8}), paraCurve(0, {1.8}), paraCurve(0, {1.8})}, 4, true},
      {"p3-para1-v4.icc",
       1,
       {paraCurve(1, {2.2, 1.1, -0.1}), paraCurve(1, {2.0, 0.9, 0.1}), paraCurve(1, {2.4, 1.0, 0.0})},
       4,
       true},
      // A decreasing type 1 curve (a < 0) is 0 everywhere: past -b/a a x + b is below 0.
      {"p3-para1-decreasing-v4.icc",
       1,
       {paraCurve(1, {2.2, 1.0, 0.0}), paraCurve(1, {2.2, 1.0, 0.0}), paraCurve(1, {2.2, -1.0, 1.0})},
       4,
       false},
      {"rec2020-para2-v4.icc",
       2,
       {paraCurve(2, {2.2, 0.95, 0.05, 0.02}), paraCurve(2, {2.0, 1.2, -0.2, 0.01}),
        paraCurve(2, {1.0, 1, 0, 0})},
       4,
       false},
      {"adobe-para3-v4.icc", 4, {srgbPara, srgbPara, srgbPara}, 4, true},
      {"p3-para4-v4.icc",
       1,
       {paraCurve(4, {2.4, 0.9, 0.05, 0.1, 0.08, 0.02, 0.01}), srgbPara,
        paraCurve(4, {2.2, 1.0, 0.0, 0.2, 0.1, 0.0, 0.0})},
       4,
       true},
      {"srgb-para3-v4.icc", 0, {srgbPara, srgbPara, srgbPara}, 4, true},
      {"prophoto-curv1-v2-chad.icc", 3, {gammaCurve(1.8), gammaCurve(1.8), gammaCurve(1.8)}, 2, true},
  };
}

struct Calibration {
  const char* name;
  double primaries[3][2];
  double gammas[3];
};

const Calibration kCalibrations[] = {
    {"calibrated-srgb-primaries-gamma22", {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}}, {2.2, 2.2, 2.2}},
    {"calibrated-p3-gammas-18-22-24", {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}, {1.8, 2.2, 2.4}},
    {"calibrated-rec2020-gamma1", {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}, {1.0, 1.0, 1.0}},
};

void writeLines(std::FILE* out, const Bytes& in, const Bytes& expected) {
  for (std::size_t i = 0; i < in.size(); i += 3)
    std::fprintf(out, "%d %d %d %d %d %d\n", in[i], in[i + 1], in[i + 2], expected[i], expected[i + 1],
                 expected[i + 2]);
}

int testData(const std::string& dir) {
  std::FILE* out = std::fopen((dir + "/expected.txt").c_str(), "w");
  if (!out) return 1;
  std::fprintf(
      out,
      "# Made by tools/colour_oracle testdata: Little CMS's relative colorimetric transform to sRGB.\n"
      "# 'profile FILE' or 'calibrated NAME xr yr xg yg xb yb gamma_r gamma_g gamma_b', then\n"
      "# lines of input R G B and expected R G B.\n");
  const Bytes in = testInputs();
  for (const TestProfile& t : testProfiles()) {
    const Bytes profile = iccProfile(kSpaces[t.space], t.curves, t.version, t.chad);
    std::ofstream(dir + "/" + t.file, std::ios::binary)
        .write(reinterpret_cast<const char*>(profile.data()), static_cast<std::streamsize>(profile.size()));
    const Oracle oracle(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!oracle.ok()) return 1;
    std::fprintf(out, "profile %s\n", t.file);
    writeLines(out, in, oracle(in));
  }
  for (const Calibration& c : kCalibrations) {
    const Oracle oracle(calibratedProfile(c.primaries, c.gammas));
    std::fprintf(out, "calibrated %s %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", c.name,
                 c.primaries[0][0], c.primaries[0][1], c.primaries[1][0], c.primaries[1][1],
                 c.primaries[2][0], c.primaries[2][1], c.gammas[0], c.gammas[1], c.gammas[2]);
    writeLines(out, in, oracle(in));
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

// A picture as rows of R, G, B.
struct Picture {
  std::string name;
  int width = 0, height = 0;
  Bytes rgb;
};

Picture lattice() {
  Picture p{"lattice", 512, 512, {}};
  for (int i = 0; i < 512 * 512; ++i) {
    const int r = i & 63, g = (i >> 6) & 63, b = i >> 12;
    p.rgb.insert(p.rgb.end(),
                 {std::uint8_t(r * 255 / 63), std::uint8_t(g * 255 / 63), std::uint8_t(b * 255 / 63)});
  }
  return p;
}

Picture gradients() {
  Picture p{"gradients", 768, 256, {}};
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 768; ++x) {
      const int band = x / 256, t = x % 256;
      std::uint8_t c[3] = {0, 0, 0};
      c[band] = static_cast<std::uint8_t>(t);
      c[(band + 1) % 3] = static_cast<std::uint8_t>(y);
      c[(band + 2) % 3] = static_cast<std::uint8_t>((t * y) / 255);
      p.rgb.insert(p.rgb.end(), c, c + 3);
    }
  return p;
}

bool photograph(const char* path, Picture& p) {
  pixelry::Pixels pixels;
  pixelry::ReadOptions asStored;
  asStored.colour = pixelry::Colour::asStored;
  if (!pixelry::loadFile(path, pixelry::PixelFormat::rgb8, pixels, asStored)) return false;
  p = {"photograph", pixels.width, pixels.height, pixels.bytes};
  return true;
}

Bytes readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Compares Pixelry with Little CMS for one profile over the pictures; prints a row.
void evaluate(const std::string& name, const Bytes& profile, const std::vector<Picture>& pictures) {
  const Oracle oracle(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
  int largest[3] = {0, 0, 0};
  double sum[3] = {0, 0, 0};
  std::size_t count = 0;
  std::string handling;
  for (const Picture& picture : pictures) {
    pixelry::WriteOptions options;
    options.profile = profile;
    Bytes file;
    pixelry::Pixels read;
    if (!pixelry::encode(picture.rgb.data(), picture.width, picture.height, 3 * std::size_t(picture.width),
                         pixelry::PixelFormat::rgb8, 24, file, options))
      return;
    const pixelry::Result result = pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, read);
    handling = result.colour == pixelry::ColourHandling::converted  ? "converted"
               : result.colour == pixelry::ColourHandling::identity ? "identity"
               : result.colour == pixelry::ColourHandling::asStored ? "as stored: " + result.warnings.back()
                                                                    : "none";
    if (!oracle.ok() || result.colour == pixelry::ColourHandling::asStored) continue;
    const Bytes expected = oracle(picture.rgb);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const int d = std::abs(int{expected[i]} - int{read.bytes[i]});
      largest[i % 3] = std::max(largest[i % 3], d);
      sum[i % 3] += d;
    }
    count += expected.size() / 3;
  }
  if (count == 0) {
    std::printf("| %s | %s%s | | |\n", name.c_str(), handling.c_str(),
                oracle.ok() ? "" : " (Little CMS makes no RGB transform of it)");
    return;
  }
  std::printf("| %s | %s | %d / %d / %d | %.4f / %.4f / %.4f |\n", name.c_str(), handling.c_str(), largest[0],
              largest[1], largest[2], sum[0] / static_cast<double>(count),
              sum[1] / static_cast<double>(count), sum[2] / static_cast<double>(count));
}

int evaluateAll(int argc, char** argv) {
  std::vector<Picture> pictures = {lattice(), gradients()};
  int first = 2;
  Picture photo;
  const std::string photoName = argc > 2 ? argv[2] : "";
  if (photoName.size() > 4 && photoName.substr(photoName.size() - 4) == ".bmp" &&
      photograph(argv[2], photo)) {
    pictures.push_back(photo);
    ++first;
  }
  std::printf(
      "Pictures: lattice 512 x 512, gradients 768 x 256%s.\n\n",
      pictures.size() > 2
          ? (", photograph " + std::to_string(photo.width) + " x " + std::to_string(photo.height)).c_str()
          : "");
  std::printf("| profile | Pixelry | largest difference R / G / B | mean difference R / G / B |\n");
  std::printf("| --- | --- | --- | --- |\n");
  for (const TestProfile& t : testProfiles())
    evaluate(t.file, iccProfile(kSpaces[t.space], t.curves, t.version, t.chad), pictures);
  // Profiles as Little CMS writes them, v2 and v4, at the gammas that matter.
  for (const Chromaticities& space : kSpaces)
    for (const double gamma : {1.0, 1.8, 2.2, 2.4})
      for (const double version : {2.1, 4.3}) {
        const cmsCIExyY white{space.white[0], space.white[1], 1.0};
        const cmsCIExyYTRIPLE primaries{{space.primaries[0][0], space.primaries[0][1], 1.0},
                                        {space.primaries[1][0], space.primaries[1][1], 1.0},
                                        {space.primaries[2][0], space.primaries[2][1], 1.0}};
        cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
        cmsToneCurve* curves[3] = {curve, curve, curve};
        cmsHPROFILE made = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsSetProfileVersion(made, version);
        cmsUInt32Number size = 0;
        cmsSaveProfileToMem(made, nullptr, &size);
        Bytes bytes(size);
        cmsSaveProfileToMem(made, bytes.data(), &size);
        cmsCloseProfile(made);
        cmsFreeToneCurve(curve);
        char name[64];
        std::snprintf(name, sizeof name, "lcms %s gamma %.1f v%.0f", space.name, gamma, std::floor(version));
        evaluate(name, bytes, pictures);
      }
  for (int i = first; i < argc; ++i) evaluate(argv[i], readFile(argv[i]), pictures);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "testdata" && argc == 3) return testData(argv[2]);
  if (mode == "evaluate") return evaluateAll(argc, argv);
  std::fprintf(stderr,
               "usage: colour_oracle testdata DIR | colour_oracle evaluate [PHOTO.bmp] [PROFILE.icc ...]\n");
  return 2;
}
