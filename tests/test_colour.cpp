// Colour spaces: embedded ICC profiles and calibrated RGB headers converted to sRGB (or
// read as stored), and profiles embedded by the writers. The expected colours are Little
// CMS's, made by tools/colour_oracle into tests/data/profiles/expected.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Bmpsuite.h"

using testing_support::BmpFile;
using testing_support::Bytes;
using testing_support::readBytes;

namespace {

const std::string kProfiles = std::string(PIXELRY_TEST_DATA) + "/profiles/";

// Inputs (R, G, B) and the colours Little CMS converts them to.
struct Expected {
  Bytes in, out;
};

// expected.txt by the name of its section: a profile's file or a calibration's name.
const std::map<std::string, Expected>& expectedColours() {
  static const std::map<std::string, Expected> kAll = [] {
    std::map<std::string, Expected> all;
    std::ifstream file(kProfiles + "expected.txt");
    std::string line, section;
    while (std::getline(file, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream words(line);
      if (std::isalpha(static_cast<unsigned char>(line[0]))) {
        std::string kind;
        words >> kind >> section;
        continue;
      }
      int v[6];
      for (int& value : v) words >> value;
      Expected& e = all[section];
      e.in.insert(e.in.end(), {std::uint8_t(v[0]), std::uint8_t(v[1]), std::uint8_t(v[2])});
      e.out.insert(e.out.end(), {std::uint8_t(v[3]), std::uint8_t(v[4]), std::uint8_t(v[5])});
    }
    return all;
  }();
  return kAll;
}

// How many samples of two runs of one length differ; all of them for lengths that differ.
std::size_t differing(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  std::size_t count = 0;
  for (std::size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
  return count;
}

// The largest difference between two runs of samples of one length; 256 for lengths
// that differ.
int largestDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(int{a[i]} - int{b[i]}));
  return largest;
}

// A one-row file of rgb pixels (R, G, B) with a profile, through the writer; at 1, 4 and
// 8 bits the pixels are the colour table, in order.
Bytes withProfile(const Bytes& rgb, const Bytes& profile, int bits = 24) {
  pixelry::WriteOptions options;
  options.profile = profile;
  const int width = static_cast<int>(rgb.size() / 3);
  Bytes indices;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    options.table.push_back(RGBApixel{rgb[i + 2], rgb[i + 1], rgb[i], 0});
    indices.push_back(static_cast<std::uint8_t>(i / 3));
  }
  if (bits > 8) options.table.clear();
  Bytes file;
  const bool indexed = bits <= 8;
  EXPECT_TRUE(pixelry::encode(
      indexed ? indices.data() : rgb.data(), width, 1, indexed ? indices.size() : rgb.size(),
      indexed ? pixelry::PixelFormat::index8 : pixelry::PixelFormat::rgb8, bits, file, options));
  return file;
}

pixelry::ReadOptions asStored() {
  pixelry::ReadOptions options;
  options.colour = pixelry::Colour::asStored;
  return options;
}

Bytes loaded(const Bytes& file, pixelry::PixelFormat format = pixelry::PixelFormat::rgb8,
             const pixelry::ReadOptions& options = {}) {
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(file.data(), file.size(), format, pixels, options);
  EXPECT_TRUE(result) << result.message;
  return pixels.bytes;
}

// The profiles under tests/data/profiles and what each covers.
struct ProfileCase {
  const char* name;
  const char* file;
  pixelry::ColourHandling handling;
};

void PrintTo(const ProfileCase& c, std::ostream* out) { *out << c.name; }

class Profiles : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(Profiles, ConvertAsLittleCmsWithinOneAtEveryDepth) {
  const ProfileCase& c = GetParam();
  const Expected& expected = expectedColours().at(c.file);
  const Bytes profile = readBytes(kProfiles + c.file);
  ASSERT_FALSE(profile.empty());
  // At 8 bits the inputs are the colour table (fewer than 256 of them); at 32 bits the
  // fourth byte is not touched.
  for (const int bits : {24, 32, 8}) {
    const Bytes file = withProfile(expected.in, profile, bits);
    pixelry::Pixels pixels;
    const pixelry::Result result =
        pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels);
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(result.colour, c.handling) << bits;
    EXPECT_EQ(result.profile, profile);
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_LE(largestDifference(pixels.bytes, expected.out), 1) << bits;
    // Little CMS rounds in its own fixed point: 1 apart on at most 2 % of the samples.
    EXPECT_LE(differing(pixels.bytes, expected.out), expected.out.size() / 50) << bits;
    if (c.handling == pixelry::ColourHandling::identity) {
      EXPECT_EQ(pixels.bytes, expected.in);
    }
    EXPECT_EQ(loaded(file, pixelry::PixelFormat::rgb8, asStored()), expected.in) << bits;
  }
}

INSTANTIATE_TEST_SUITE_P(
    LittleCms, Profiles,
    ::testing::Values(
        ProfileCase{"Curv0PointsV2", "p3-curv0-v2.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Curv1PointV2", "rec2020-curv1-v2.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Curv1PointV2Chad", "prophoto-curv1-v2-chad.icc", pixelry::ColourHandling::converted},
        ProfileCase{"CurvNPointsV2", "adobe-curvn-v2.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Para0V4Chad", "prophoto-para0-v4.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Para1V4Chad", "p3-para1-v4.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Para2V4", "rec2020-para2-v4.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Para1DecreasingV4", "p3-para1-decreasing-v4.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Para3V4Chad", "adobe-para3-v4.icc", pixelry::ColourHandling::converted},
        ProfileCase{"Para4V4Chad", "p3-para4-v4.icc", pixelry::ColourHandling::converted},
        ProfileCase{"SrgbIsTheIdentity", "srgb-para3-v4.icc", pixelry::ColourHandling::identity}),
    [](const auto& info) { return std::string(info.param.name); });

// A calibrated RGB header: its endpoints and gammas as the 68 bytes that follow the
// 40-byte header of a 108-byte one (masks none, colour space 0).
Bytes calibratedTail(const double (&xy)[3][2], const double (&gammas)[3]) {
  Bytes tail(68, 0);
  for (int c = 0; c < 3; ++c) {
    // Only the chromaticities count: X + Y + Z is 0.8, not 1.
    const double xyz[3] = {0.8 * xy[c][0], 0.8 * xy[c][1], 0.8 * (1 - xy[c][0] - xy[c][1])};
    for (int k = 0; k < 3; ++k) {
      const auto fixed = static_cast<std::uint32_t>(std::lround(xyz[k] * (1 << 30)));
      for (int b = 0; b < 4; ++b) tail[20 + 12 * c + 4 * k + b] = static_cast<std::uint8_t>(fixed >> (8 * b));
    }
    const auto gamma = static_cast<std::uint32_t>(std::lround(gammas[c] * 65536));
    for (int b = 0; b < 4; ++b) tail[56 + 4 * c + b] = static_cast<std::uint8_t>(gamma >> (8 * b));
  }
  return tail;
}

// A 24-bit file of one row of rgb pixels with a 108-byte header ending in tail.
Bytes v4File(const Bytes& rgb, const Bytes& tail) {
  const int width = static_cast<int>(rgb.size() / 3);
  BmpFile file = BmpFile::make(width, 1, 24);
  file.infoHeader.biSize = 108;
  file.before(tail);
  Bytes row;
  for (std::size_t i = 0; i < rgb.size(); i += 3) row.insert(row.end(), {rgb[i + 2], rgb[i + 1], rgb[i]});
  row.resize((row.size() + 3) / 4 * 4, 0);
  return file.row(row).bytes();
}

struct CalibrationCase {
  const char* name;  // the section of expected.txt
  double xy[3][2];
  double gammas[3];
};

void PrintTo(const CalibrationCase& c, std::ostream* out) { *out << c.name; }

class Calibrations : public ::testing::TestWithParam<CalibrationCase> {};

TEST_P(Calibrations, ConvertAsLittleCmsWithinOne) {
  const CalibrationCase& c = GetParam();
  const Expected& expected = expectedColours().at(c.name);
  const Bytes file = v4File(expected.in, calibratedTail(c.xy, c.gammas));
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.colour, pixelry::ColourHandling::converted);
  EXPECT_TRUE(result.profile.empty());
  EXPECT_LE(largestDifference(pixels.bytes, expected.out), 1);
  EXPECT_LE(differing(pixels.bytes, expected.out), expected.out.size() / 50);
  EXPECT_EQ(loaded(file, pixelry::PixelFormat::rgb8, asStored()), expected.in);
}

INSTANTIATE_TEST_SUITE_P(LittleCms, Calibrations,
                         ::testing::Values(CalibrationCase{"calibrated-srgb-primaries-gamma22",
                                                           {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}},
                                                           {2.2, 2.2, 2.2}},
                                           CalibrationCase{"calibrated-p3-gammas-18-22-24",
                                                           {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}},
                                                           {1.8, 2.2, 2.4}},
                                           CalibrationCase{"calibrated-rec2020-gamma1",
                                                           {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}},
                                                           {1.0, 1.0, 1.0}}),
                         [](const auto& info) {
                           std::string name;
                           for (const char ch : std::string(info.param.name))
                             if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                           return name;
                         });

// A profile that converts: edited, it cannot, and the file is read as stored with a
// warning that says why.
std::uint32_t be32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}
void putBe32(Bytes& b, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}
// The tag table entry of a signature in a profile.
std::size_t entryOf(const Bytes& profile, const char* signature) {
  for (std::size_t i = 0; i < be32(profile, 128); ++i)
    if (std::equal(signature, signature + 4, profile.begin() + static_cast<std::ptrdiff_t>(132 + 12 * i)))
      return 132 + 12 * i;
  return 0;
}
std::size_t dataOf(const Bytes& profile, const char* signature) {
  return be32(profile, entryOf(profile, signature) + 4);
}

struct FaultCase {
  const char* name;
  const char* file;  // the profile edited
  void (*edit)(Bytes& profile);
  const char* warning;  // after "memory: its colour profile "
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class ProfileFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ProfileFaults, ReadAsStoredWithTheirWarning) {
  const FaultCase& c = GetParam();
  Bytes profile = readBytes(kProfiles + c.file);
  c.edit(profile);
  const Bytes& in = expectedColours().at(c.file).in;
  const Bytes file = withProfile(in, profile);
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.colour, pixelry::ColourHandling::asStored);
  EXPECT_EQ(result.profile, profile);
  EXPECT_EQ(result.warnings, std::vector<std::string>{std::string("memory: its colour profile ") + c.warning +
                                                      "; the colours are read as stored."});
  EXPECT_EQ(pixels.bytes, in);
  // Asked for as stored, nothing is attempted and nothing is said.
  pixelry::Pixels stored;
  const pixelry::Result plain =
      pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, stored, asStored());
  EXPECT_EQ(plain.colour, pixelry::ColourHandling::asStored);
  EXPECT_TRUE(plain.warnings.empty());
}

const char kCurveShort[] = "has a tone curve with fewer bytes than its points or parameters";
const char kCurveType[] =
    "has a tone curve of an unknown type (neither curv nor para, or a para function type above 4)";

INSTANTIATE_TEST_SUITE_P(
    Edited, ProfileFaults,
    ::testing::Values(
        FaultCase{"TagTablePastTheEnd", "p3-para4-v4.icc",
                  [](Bytes& p) { putBe32(p, 128, static_cast<std::uint32_t>((p.size() - 132) / 12 + 1)); },
                  "has a tag table that runs past its end"},
        FaultCase{"TagPastTheEnd", "p3-para4-v4.icc",
                  [](Bytes& p) { putBe32(p, entryOf(p, "gTRC") + 8, be32(p, entryOf(p, "gTRC") + 8) + 400); },
                  "has a tag whose data lies past its end"},
        FaultCase{"TagPastTheSizeTheHeaderGives", "p3-para4-v4.icc",
                  [](Bytes& p) { putBe32(p, 0, static_cast<std::uint32_t>(dataOf(p, "bTRC") + 12)); },
                  "has a tag whose data lies past its end"},
        // The last tag (chad) ends where the profile ends: one byte more is past it.
        FaultCase{"LastTagOneBytePastTheEnd", "p3-para4-v4.icc",
                  [](Bytes& p) { putBe32(p, entryOf(p, "chad") + 8, be32(p, entryOf(p, "chad") + 8) + 1); },
                  "has a tag whose data lies past its end"},
        FaultCase{
            "TagOffsetPastTheEnd", "p3-para4-v4.icc",
            [](Bytes& p) { putBe32(p, entryOf(p, "wtpt") + 4, static_cast<std::uint32_t>(p.size() + 1)); },
            "has a tag whose data lies past its end"},
        FaultCase{"CurvWithTooFewPoints", "adobe-curvn-v2.icc",
                  [](Bytes& p) { putBe32(p, dataOf(p, "rTRC") + 8, 34); }, kCurveShort},
        FaultCase{"CurvOfOnePointCut", "rec2020-curv1-v2.icc",
                  [](Bytes& p) { putBe32(p, entryOf(p, "bTRC") + 8, 13); }, kCurveShort},
        FaultCase{"ParaType4WithSixParameters", "p3-para4-v4.icc",
                  [](Bytes& p) { putBe32(p, entryOf(p, "rTRC") + 8, 12 + 6 * 4); }, kCurveShort},
        FaultCase{"ParaType5", "p3-para4-v4.icc", [](Bytes& p) { p[dataOf(p, "rTRC") + 9] = 5; }, kCurveType},
        FaultCase{"CurveOfAnotherType", "rec2020-curv1-v2.icc", [](Bytes& p) { p[dataOf(p, "gTRC")] = 'x'; },
                  kCurveType},
        FaultCase{"NoBlueCurve", "rec2020-curv1-v2.icc", [](Bytes& p) { p[entryOf(p, "bTRC")] = 'x'; },
                  "lacks a colorant or tone curve tag (rXYZ, gXYZ, bXYZ, rTRC, gTRC, bTRC)"},
        FaultCase{"NoRedColorant", "rec2020-curv1-v2.icc", [](Bytes& p) { p[entryOf(p, "rXYZ")] = 'x'; },
                  "lacks a colorant or tone curve tag (rXYZ, gXYZ, bXYZ, rTRC, gTRC, bTRC)"},
        FaultCase{"BlueColorantNotXyz", "rec2020-curv1-v2.icc", [](Bytes& p) { p[dataOf(p, "bXYZ")] = 'x'; },
                  "has a colorant tag that is not an XYZ number"},
        FaultCase{"ColorantCut", "rec2020-curv1-v2.icc",
                  [](Bytes& p) { putBe32(p, entryOf(p, "gXYZ") + 8, 19); },
                  "has a colorant tag that is not an XYZ number"},
        FaultCase{"LookupTables", "p3-para1-v4.icc",
                  [](Bytes& p) { std::copy_n("A2B0", 4, &p[entryOf(p, "wtpt")]); },
                  "converts through lookup tables (A2B0, A2B1, D2B0 or D2B1), which Pixelry does not apply"},
        FaultCase{"Cmyk", "p3-para1-v4.icc", [](Bytes& p) { std::copy_n("CMYK", 4, &p[16]); },
                  "is for a colour space other than RGB (CMYK, grey, Lab...)"},
        FaultCase{"Grey", "p3-para1-v4.icc", [](Bytes& p) { std::copy_n("GRAY", 4, &p[16]); },
                  "is for a colour space other than RGB (CMYK, grey, Lab...)"},
        FaultCase{"NoSignature", "p3-para1-v4.icc", [](Bytes& p) { p[36] = 'b'; },
                  "is not an ICC profile (no acsp signature)"},
        FaultCase{"HeaderOnly", "p3-para1-v4.icc", [](Bytes& p) { p.resize(131); },
                  "is smaller than a profile header or larger than 1 MiB"}),
    [](const auto& info) { return std::string(info.param.name); });

// Colour spaces of V4 and V5 headers that cannot be converted, each with its warning, and
// those that say nothing.
struct HeaderCase {
  const char* name;
  Bytes tail;  // the 68 bytes after a 40-byte header
  pixelry::ColourHandling handling;
  std::string warning;  // after "memory: "; empty: none
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class HeaderColourSpaces : public ::testing::TestWithParam<HeaderCase> {};

Bytes withType(Bytes tail, const char (&type)[5]) {
  std::copy_n(type, 4, tail.begin() + 16);  // little-endian, as the format stores it
  return tail;
}

constexpr double kSrgbPrimaries[3][2] = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
const char kBadCalibration[] =
    "its calibrated RGB endpoints are no primaries, or a gamma lies outside 1/16 to 16; the colours are read "
    "as "
    "stored.";

TEST_P(HeaderColourSpaces, ReadAsStored) {
  const HeaderCase& c = GetParam();
  const Bytes rgb = {10, 20, 30, 200, 100, 50};
  const Bytes file = v4File(rgb, c.tail);
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.colour, c.handling);
  EXPECT_EQ(result.warnings, c.warning.empty() ? std::vector<std::string>()
                                               : std::vector<std::string>{"memory: " + c.warning});
  EXPECT_EQ(pixels.bytes, rgb);
}

INSTANTIATE_TEST_SUITE_P(
    V4, HeaderColourSpaces,
    ::testing::Values(
        HeaderCase{"Srgb", withType(Bytes(68, 0), "BGRs"), pixelry::ColourHandling::none, ""},
        HeaderCase{"WindowsDefault", withType(Bytes(68, 0), " niW"), pixelry::ColourHandling::none, ""},
        HeaderCase{"CalibratedWithoutEndpoints", Bytes(68, 0), pixelry::ColourHandling::none, ""},
        HeaderCase{"CalibratedGammaZero", calibratedTail(kSrgbPrimaries, {2.2, 0, 2.2}),
                   pixelry::ColourHandling::asStored, kBadCalibration},
        HeaderCase{"CalibratedGammaBelowOneSixteenth", calibratedTail(kSrgbPrimaries, {2.2, 2.2, 0.0624}),
                   pixelry::ColourHandling::asStored, kBadCalibration},
        HeaderCase{"CalibratedGammaAboveSixteen", calibratedTail(kSrgbPrimaries, {16.01, 2.2, 2.2}),
                   pixelry::ColourHandling::asStored, kBadCalibration},
        HeaderCase{"CalibratedPrimariesInALine",
                   calibratedTail({{0.2, 0.2}, {0.3, 0.3}, {0.4, 0.4}}, {2.2, 2.2, 2.2}),
                   pixelry::ColourHandling::asStored, kBadCalibration},
        HeaderCase{"CalibratedGreenWithoutY",
                   calibratedTail({{0.64, 0.33}, {0.3, 0}, {0.15, 0.06}}, {2.2, 2.2, 2.2}),
                   pixelry::ColourHandling::asStored, kBadCalibration},
        HeaderCase{
            "Linked", withType(Bytes(68, 0), "KNIL"), pixelry::ColourHandling::asStored,
            "its colour profile is linked (named by a file name), not embedded; the colours are read as "
            "stored."},
        HeaderCase{"EmbeddedBehindAV4Header", withType(Bytes(68, 0), "DEBM"),
                   pixelry::ColourHandling::asStored,
                   "its colour profile lies where the reader cannot reach it (past the end of the data, in a "
                   "stream that cannot seek, or behind a 108-byte header that has no room to say where); the "
                   "colours are read as stored."}),
    [](const auto& info) { return std::string(info.param.name); });

// sRGB's own profile needs no work; one channel's curve changed, it converts, whichever
// channel it is.
TEST(Identity, NeedsEveryChannelToBeSrgbs) {
  const Bytes srgb = readBytes(kProfiles + "srgb-para3-v4.icc");
  const Bytes rgb = {10, 20, 30};
  pixelry::Pixels pixels;
  Bytes file = withProfile(rgb, srgb);
  EXPECT_EQ(pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels).colour,
            pixelry::ColourHandling::identity);
  for (const char* curve : {"rTRC", "gTRC", "bTRC"}) {
    Bytes edited = srgb;
    // Each curve its own copy of the tag, its gamma 2.2 instead of 2.4.
    const std::size_t at = edited.size();
    edited.insert(edited.end(), srgb.begin() + static_cast<std::ptrdiff_t>(dataOf(srgb, curve)),
                  srgb.begin() + static_cast<std::ptrdiff_t>(dataOf(srgb, curve) + 32));
    putBe32(edited, at + 12, static_cast<std::uint32_t>(2.2 * 65536));
    putBe32(edited, entryOf(edited, curve) + 4, static_cast<std::uint32_t>(at));
    putBe32(edited, 0, static_cast<std::uint32_t>(edited.size()));
    file = withProfile(rgb, edited);
    EXPECT_EQ(pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels).colour,
              pixelry::ColourHandling::converted)
        << curve;
  }
}

// Calibrated gammas at the edges of the range read: converted.
TEST(Calibration, GammasOfOneSixteenthAndSixteenConvert) {
  const Bytes rgb = {10, 20, 30, 200, 100, 50};
  for (const double gamma : {1.0 / 16, 16.0}) {
    const Bytes file = v4File(rgb, calibratedTail(kSrgbPrimaries, {gamma, gamma, gamma}));
    pixelry::Pixels pixels;
    EXPECT_EQ(pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels).colour,
              pixelry::ColourHandling::converted)
        << gamma;
  }
}

// Every reader converts alike, and leaves the colours as stored when asked.
TEST(EveryReader, ConvertsOrNotAsAsked) {
  const Expected& expected = expectedColours().at("p3-para4-v4.icc");
  const Bytes file = withProfile(expected.in, readBytes(kProfiles + "p3-para4-v4.icc"));
  const Bytes converted = loaded(file);
  ASSERT_LE(largestDifference(converted, expected.out), 1);
  for (const pixelry::Colour colour : {pixelry::Colour::toSrgb, pixelry::Colour::asStored}) {
    pixelry::ReadOptions options;
    options.colour = colour;
    const Bytes& want = colour == pixelry::Colour::toSrgb ? converted : expected.in;
    const std::size_t width = expected.in.size() / 3;
    Bytes out(expected.in.size());
    EXPECT_TRUE(pixelry::decode(file.data(), file.size(), pixelry::PixelFormat::rgb8, out.data(), out.size(),
                                options));
    EXPECT_EQ(out, want);
    BMP image;
    const pixelry::Result read = pixelry::readMemory(image, file.data(), file.size(), options);
    EXPECT_EQ(read.colour, colour == pixelry::Colour::toSrgb ? pixelry::ColourHandling::converted
                                                             : pixelry::ColourHandling::asStored);
    Bytes fromImage;
    for (int x = 0; x < image.TellWidth(); ++x) {
      const RGBApixel p = image.GetPixel(x, 0);
      fromImage.insert(fromImage.end(), {p.Red, p.Green, p.Blue});
    }
    EXPECT_EQ(fromImage, want);
    pixelry::RowReader reader;
    ASSERT_TRUE(
        reader.open(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixelry::RowOrder::file, options));
    Bytes row(width * 3);
    int y = -1;
    ASSERT_TRUE(reader.next(row.data(), y));
    EXPECT_EQ(row, want);
    EXPECT_EQ(reader.result().colour, read.colour);
    EXPECT_EQ(reader.result().profile, readBytes(kProfiles + "p3-para4-v4.icc"));
    EXPECT_EQ(reader.info().profile, reader.result().profile);
  }
}

// Converted before gray8's luma and before the formats' byte orders; alpha untouched.
TEST(EveryFormat, TakesTheConvertedColour) {
  const Expected& expected = expectedColours().at("rec2020-para2-v4.icc");
  const Bytes file = withProfile(expected.in, readBytes(kProfiles + "rec2020-para2-v4.icc"));
  const Bytes rgb = loaded(file);
  const Bytes bgr = loaded(file, pixelry::PixelFormat::bgr8);
  const Bytes rgba = loaded(file, pixelry::PixelFormat::rgba8);
  const Bytes gray = loaded(file, pixelry::PixelFormat::gray8);
  for (std::size_t i = 0; i < rgb.size() / 3; ++i) {
    const std::uint8_t r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
    EXPECT_EQ((Bytes{bgr[3 * i], bgr[3 * i + 1], bgr[3 * i + 2]}), (Bytes{b, g, r}));
    EXPECT_EQ((Bytes{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]}), (Bytes{r, g, b, 255}));
    EXPECT_EQ(gray[i], (19595u * r + 38470u * g + 7471u * b + 32768u) >> 16);
  }
}

// A 32-bit file with an alpha mask and a profile: colours converted, alpha as stored.
TEST(AlphaMask, KeepsItsAlphaThroughTheConversion) {
  const Bytes profile = readBytes(kProfiles + "p3-para1-v4.icc");
  const Bytes rgba = {200, 100, 50, 7, 10, 20, 30, 255, 0, 0, 0, 128};
  pixelry::WriteOptions options;
  options.profile = profile;
  options.alphaMask = true;
  Bytes file;
  ASSERT_TRUE(
      pixelry::encode(rgba.data(), 3, 1, rgba.size(), pixelry::PixelFormat::rgba8, 32, file, options));
  const Bytes out = loaded(file, pixelry::PixelFormat::rgba8);
  const Bytes rgb = loaded(withProfile({200, 100, 50, 10, 20, 30, 0, 0, 0}, profile));
  ASSERT_EQ(out.size(), 12u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ((Bytes{out[4 * i], out[4 * i + 1], out[4 * i + 2]}),
              (Bytes{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]}));
    EXPECT_EQ(out[4 * i + 3], rgba[4 * i + 3]);
  }
}

// 16-bit pixels: a large picture looks every word up in a converted table, a small one
// converts each pixel; both give what a 24-bit file of the same colours gives.
TEST(SixteenBits, ConvertAsTheSameColoursAt24Bits) {
  const Bytes profile = readBytes(kProfiles + "adobe-para3-v4.icc");
  for (const int width : {16, 65536}) {
    Bytes rgb(static_cast<std::size_t>(width) * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7 + i / 3);
    pixelry::WriteOptions options;
    options.profile = profile;
    Bytes file16;
    ASSERT_TRUE(
        pixelry::encode(rgb.data(), width, 1, rgb.size(), pixelry::PixelFormat::rgb8, 16, file16, options));
    const Bytes stored = loaded(file16, pixelry::PixelFormat::rgb8, asStored());
    EXPECT_EQ(loaded(file16), loaded(withProfile(stored, profile))) << width;
  }
}

// The writers embed a profile after the pixels, named by a 124-byte header, and every
// reader gives its bytes back.
TEST(Writers, EmbedTheProfileAfterThePixels) {
  const Bytes profile = readBytes(kProfiles + "rec2020-curv1-v2.icc");
  const Bytes rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (const int bits : {1, 8, 16, 24, 32}) {
    for (const bool alphaMask : {false, true}) {
      pixelry::WriteOptions options;
      options.profile = profile;
      options.alphaMask = alphaMask;
      Bytes file;
      ASSERT_TRUE(
          pixelry::encode(rgb.data(), 3, 1, rgb.size(), pixelry::PixelFormat::rgb8, bits, file, options));
      const std::size_t table = bits <= 8 ? std::size_t{4} << bits : 0;
      const std::size_t row = (static_cast<std::size_t>(3 * bits) + 31) / 32 * 4;
      const std::size_t offBits = 14 + 124 + table;
      const auto le32 = [&file](std::size_t at) {
        return static_cast<std::uint32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                          file[at + 3] << 24);
      };
      ASSERT_EQ(file.size(), offBits + row + profile.size()) << bits;
      EXPECT_EQ(le32(2), file.size());
      EXPECT_EQ(le32(10), offBits);
      EXPECT_EQ(le32(14), 124u);
      const bool fields = bits == 16 || (bits == 32 && alphaMask);
      EXPECT_EQ(le32(14 + 16), fields ? 3u : 0u);
      const std::uint32_t masks[4] = {bits == 16 ? 0xF800u
                                      : fields   ? 0x00FF0000u
                                                 : 0,
                                      bits == 16 ? 0x07E0u
                                      : fields   ? 0x0000FF00u
                                                 : 0,
                                      bits == 16 ? 0x001Fu
                                      : fields   ? 0x000000FFu
                                                 : 0,
                                      bits == 32 && alphaMask ? 0xFF000000u : 0};
      for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(le32(14 + 40 + 4 * c), masks[c]) << bits << " " << c;
      EXPECT_EQ(le32(14 + 56), 0x4D424544u);  // "MBED"
      EXPECT_EQ(le32(14 + 108), 4u);          // LCS_GM_IMAGES
      EXPECT_EQ(le32(14 + 112), 124 + table + row);
      EXPECT_EQ(le32(14 + 116), profile.size());
      EXPECT_TRUE(std::equal(profile.begin(), profile.end(),
                             file.end() - static_cast<std::ptrdiff_t>(profile.size())));
      pixelry::Info info;
      ASSERT_TRUE(pixelry::probe(file.data(), file.size(), info));
      EXPECT_EQ(info.profile, profile);
      EXPECT_EQ(info.colour, pixelry::ColourHandling::converted);
      // rgb8 is opaque: at 32 bits its fourth byte is 255, alpha even without a mask.
      EXPECT_EQ(info.masks[3], bits == 32 ? 0xFF000000u : 0u);
      // The row writer and the image object's writer give the same bytes.
      Bytes rows;
      pixelry::RowWriter writer;
      ASSERT_TRUE(writer.open(rows, 3, 1, pixelry::PixelFormat::rgb8, bits, options));
      ASSERT_TRUE(writer.write(rgb.data()));
      ASSERT_TRUE(writer.close());
      EXPECT_EQ(rows, file);
      if (bits > 8) {
        BMP image;
        ASSERT_TRUE(pixelry::readMemory(image, file.data(), file.size(), asStored()));
        Bytes written;
        ASSERT_TRUE(pixelry::writeMemory(image, written, options));
        EXPECT_EQ(written, file) << bits;
      }
    }
  }
}

// The writers without a profile: the headers of old, and no colour space on reading.
TEST(Writers, WithoutAProfileNameNoColourSpace) {
  const Bytes rgb = {1, 2, 3};
  Bytes file;
  ASSERT_TRUE(pixelry::encode(rgb.data(), 1, 1, 3, pixelry::PixelFormat::rgb8, 24, file));
  EXPECT_EQ(file.size(), 58u);
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(file.data(), file.size(), pixelry::PixelFormat::rgb8, pixels);
  EXPECT_EQ(result.colour, pixelry::ColourHandling::none);
  EXPECT_TRUE(result.profile.empty());
}

}  // namespace
