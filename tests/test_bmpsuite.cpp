// The bmpsuite images: every file is read or refused as the reader's rules say, and the
// pixels of every file read match the suite's reference rendering.
#include <cctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/Bmpsuite.h"
#include "support/Capture.h"
#include "support/Messages.h"
#include "support/Pixel.h"
#include "support/RoundTrip.h"
#include "support/Sanitizer.h"

#ifdef PIXELRY_TESTS_ASAN
// bad/reallybig.bmp announces a grid of 24 TB. The reader asks for it with a non-throwing
// allocation and refuses the file when none comes; AddressSanitizer must answer null
// there as the system allocator does, instead of stopping the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

using namespace testing_support;

// How the reference's pixels relate to the image read.
enum class Pixels {
  None,      // refused, or no reference
  Exact,     // red, green and blue as in the reference
  FiveBits,  // 16-bit file: each channel is its top five bits times 8
};

struct SuiteFile {
  const char* file;
  const char* reference;  // under reference/, when Pixels is not None
  Pixels pixels;
  bool result;
  std::string messages;  // NAME stands for the file's path
};

// Names the case by its file, rather than by the struct's raw bytes (padding included).
void PrintTo(const SuiteFile& suiteFile, std::ostream* out) { *out << suiteFile.file; }

SuiteFile loads(const char* file, const char* reference, std::string messages = "") {
  return {file, reference, Pixels::Exact, true, std::move(messages)};
}
SuiteFile loads16(const char* file, const char* reference, std::string messages = "") {
  return {file, reference, Pixels::FiveBits, true, std::move(messages)};
}
SuiteFile refused(const char* file, std::string messages) {
  return {file, nullptr, Pixels::None, false, std::move(messages)};
}

// "good/pal8-0.bmp" becomes good_pal8_0.
std::string testName(const char* file) {
  std::string name(file);
  name.erase(name.rfind('.'));
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class Bmpsuite : public ::testing::TestWithParam<SuiteFile> {
 protected:
  std::string path() const { return kSuite + GetParam().file; }
  std::string expectedMessages() const { return withName(GetParam().messages, path()); }
  BMP image;
};

TEST_P(Bmpsuite, ReadsOrRefusesByTheRules) {
  const SuiteFile& f = GetParam();
  bool result = !f.result;
  EXPECT_EQ(capturedOutput([&] { result = image.ReadFromFile(path().c_str()); }), expectedMessages());
  EXPECT_EQ(result, f.result);
  if (!f.result) {
    EXPECT_EQ(image.TellWidth(), 1);
    EXPECT_EQ(image.TellHeight(), 1);
    EXPECT_EQ(image.TellBitDepth(), 1);
  }
  if (f.pixels == Pixels::None) return;
  const Reference ref = loadReference(f.reference);
  ASSERT_FALSE(ref.samples.empty()) << f.reference;
  ASSERT_EQ(image.TellWidth(), ref.width);
  ASSERT_EQ(image.TellHeight(), ref.height);
  const int bits = f.pixels == Pixels::FiveBits ? 16 : 24;
  int mismatches = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      Rgba got = rgba(image.GetPixel(x, y));
      got[3] = 0;
      const Rgba want = afterRoundTrip(bits, {}, ref.at(x, y));
      if (got != want && mismatches++ == 0) {
        EXPECT_EQ(got, want) << "first mismatch at " << x << "," << y;
      }
    }
  EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Good, Bmpsuite,
    ::testing::Values(
        loads("good/pal1.bmp", "pal1.ppm"), loads("good/pal1bg.bmp", "pal1bg.ppm"),
        loads("good/pal1wb.bmp", "pal1wb.ppm"), loads("good/pal4.bmp", "pal4.ppm", kUnderspecified),
        loads("good/pal4gs.bmp", "pal4gs.ppm", kUnderspecified), refused("good/pal4rle.bmp", kRle),
        loads("good/pal8-0.bmp", "pal8-0.ppm"), loads("good/pal8.bmp", "pal8.ppm", kUnderspecified),
        loads("good/pal8gs.bmp", "pal8gs.ppm", kUnderspecified),
        SuiteFile{"good/pal8nonsquare.bmp", nullptr, Pixels::None, true, kUnderspecified},
        refused("good/pal8os2.bmp", unsupported("13056")), refused("good/pal8rle.bmp", kRle),
        refused("good/pal8topdown.bmp", kNonPositive),
        loads("good/pal8v4.bmp", "pal8v4.ppm", std::string(kExtra) + kUnderspecified),
        loads("good/pal8v5.bmp", "pal8v5.ppm", std::string(kExtra) + kUnderspecified),
        loads("good/pal8w124.bmp", "pal8w124.ppm", kUnderspecified),
        loads("good/pal8w125.bmp", "pal8w125.ppm", kUnderspecified),
        loads("good/pal8w126.bmp", "pal8w126.ppm", kUnderspecified),
        loads16("good/rgb16-565.bmp", "rgb16-565.ppm"),
        loads16("good/rgb16-565pal.bmp", "rgb16-565pal.ppm", kExtra), loads16("good/rgb16.bmp", "rgb16.ppm"),
        loads16("good/rgb16bfdef.bmp", "rgb16bfdef.ppm"), loads("good/rgb24.bmp", "rgb24.ppm"),
        loads("good/rgb24pal.bmp", "rgb24pal.ppm", kExtra), loads("good/rgb32.bmp", "rgb32.ppm"),
        refused("good/rgb32bf.bmp", kBitFields), refused("good/rgb32bfdef.bmp", kBitFields)),
    [](const auto& info) { return testName(info.param.file); });

// Most bad files are pal1.bmp or pal8.bmp with one header field spoiled; the reader
// ignores that field, or refuses the file, or reads what the file really holds.
INSTANTIATE_TEST_SUITE_P(
    Bad, Bmpsuite,
    ::testing::Values(refused("bad/badbitcount.bmp", kBadDepth), loads("bad/badbitssize.bmp", "pal1.ppm"),
                      loads("bad/baddens1.bmp", "pal1.ppm"), loads("bad/baddens2.bmp", "pal1.ppm"),
                      loads("bad/badfilesize.bmp", "pal1.ppm"),
                      loads("bad/badheadersize.bmp", "pal1.ppm", kExtra),
                      loads("bad/badpalettesize.bmp", "pal8.ppm", kUnderspecified),
                      loads("bad/badplanes.bmp", "pal1.ppm"), refused("bad/badrle.bmp", kRle),
                      refused("bad/badrle4.bmp", kRle), refused("bad/badrle4bis.bmp", kRle),
                      refused("bad/badrle4ter.bmp", kRle), refused("bad/badrlebis.bmp", kRle),
                      refused("bad/badrleter.bmp", kRle), refused("bad/badwidth.bmp", kNonPositive),
                      SuiteFile{"bad/pal8badindex.bmp", nullptr, Pixels::None, true, kUnderspecified},
                      refused("bad/reallybig.bmp", tooLarge("3000000 x 2000000")),
                      loads16("bad/rgb16-880.bmp", "rgb16-880.ppm"), refused("bad/rletopdown.bmp", kRle)),
    [](const auto& info) { return testName(info.param.file); });

TEST(BmpsuiteBad, ShortFileKeepsTheRowsItHas) {
  // pal1.bmp cut after 13 of its 64 rows of 16 bytes.
  BMP image;
  const std::string path = kSuite + "bad/shortfile.bmp";
  bool result = false;
  EXPECT_EQ(capturedOutput([&] { result = image.ReadFromFile(path.c_str()); }), kShortData);
  EXPECT_TRUE(result);
  const Reference ref = loadReference("pal1.ppm");
  ASSERT_EQ(ref.height, 64);
  int mismatches = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 127; ++x) {
      Rgba got = rgba(image.GetPixel(x, y));
      mismatches += got != (y >= 64 - 13 ? rgba(ref.at(x, y)) : kWhite);
    }
  EXPECT_EQ(mismatches, 0);
}

TEST(BmpsuiteBad, IndexBeyondTheTableIsWhite) {
  BMP image;
  const WarningsOff off;
  image.ReadFromFile((kSuite + "bad/pal8badindex.bmp").c_str());
  EXPECT_EQ(rgba(image.GetColor(100)).at(3), 0);
  EXPECT_EQ(rgba(image.GetColor(101)), kWhite);
  int white = 0;
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) white += rgba(image.GetPixel(x, y)) == kWhite;
  EXPECT_GT(white, 0);
}

TEST(BmpsuiteGood, NonSquarePixelsKeepTheirResolution) {
  BMP image;
  const WarningsOff off;
  EXPECT_TRUE(image.ReadFromFile((kSuite + "good/pal8nonsquare.bmp").c_str()));
  EXPECT_EQ(image.TellWidth(), 127);
  EXPECT_EQ(image.TellHeight(), 32);
  EXPECT_EQ(image.TellHorizontalDPI(), 72);  // 2835 pixels per metre
  EXPECT_EQ(image.TellVerticalDPI(), 35);    // 1417
}

}  // namespace
