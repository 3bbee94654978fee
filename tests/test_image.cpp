// The image object: size, depth, pixel and colour-table access, resolution, copies and
// the warnings switch.
#include <climits>
#include <string>
#include <vector>

#include <utility>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Messages.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

// "-8" as a name: "minus8".
std::string nameOf(long value) {
  return value < 0 ? "minus" + std::to_string(-value) : std::to_string(value);
}
std::string depthName(const ::testing::TestParamInfo<int>& info) { return nameOf(info.param) + "bits"; }

// An image whose resolution comes from a file, the only way to set pixels per metre
// that are not a whole number of dots per inch.
void loadResolution(BMP& image, PixelryDWORD xPels, PixelryDWORD yPels) {
  TempDir dir;
  BmpFile file = BmpFile::make(1, 1, 24).row({0, 0, 0, 0});
  file.infoHeader.biXPelsPerMeter = xPels;
  file.infoHeader.biYPelsPerMeter = yPels;
  writeBytes(dir.file("res.bmp"), file.bytes());
  ASSERT_TRUE(image.ReadFromFile(dir.file("res.bmp").c_str()));
}

TEST(NewImage, IsOneWhitePixelAt24BitsWithoutColourTable) {
  BMP image;
  EXPECT_EQ(image.TellWidth(), 1);
  EXPECT_EQ(image.TellHeight(), 1);
  EXPECT_EQ(image.TellBitDepth(), 24);
  EXPECT_EQ(image.TellNumberOfColors(), 16777216);
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), kWhite);
  EXPECT_EQ(image.TellHorizontalDPI(), 96);
  EXPECT_EQ(image.TellVerticalDPI(), 96);
  RGBApixel color{};
  EXPECT_EQ(capturedOutput([&] { color = image.GetColor(0); }), noTable("access"));
  EXPECT_EQ(rgba(color), kWhite);
}

class NumberOfColors : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(NumberOfColors, IsTwoToTheDepthButCappedAt24Bits) {
  BMP image;
  ASSERT_TRUE(image.SetBitDepth(GetParam().first));
  EXPECT_EQ(image.TellBitDepth(), GetParam().first);
  EXPECT_EQ(image.TellNumberOfColors(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, NumberOfColors,
                         ::testing::Values(std::pair{1, 2}, std::pair{4, 16}, std::pair{8, 256},
                                           std::pair{16, 65536}, std::pair{24, 16777216},
                                           std::pair{32, 16777216}),
                         [](const auto& info) { return std::to_string(info.param.first) + "bits"; });

TEST(SetSize, RefusesNonPositiveSizesAndKeepsThePixel) {
  for (const auto& size : {std::pair{0, 10}, std::pair{10, -1}, std::pair{0, 0}, std::pair{INT_MIN, 5}}) {
    BMP image;
    image.SetPixel(0, 0, pixel(1, 2, 3, 4));
    bool result = true;
    EXPECT_EQ(capturedOutput([&] { result = image.SetSize(size.first, size.second); }), sizeRefused("1 x 1"))
        << size.first << " x " << size.second;
    EXPECT_FALSE(result);
    EXPECT_EQ(image.TellWidth(), 1);
    EXPECT_EQ(image.TellHeight(), 1);
    EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{1, 2, 3, 4}));
  }
}

TEST(SetSize, RefusalReportsTheCurrentSize) {
  BMP image;
  image.SetSize(4, 3);
  EXPECT_EQ(capturedOutput([&] { image.SetSize(-4, 3); }), sizeRefused("4 x 3"));
}

TEST(SetSize, GivesAWhiteGridEvenAtTheSameSize) {
  BMP image;
  ASSERT_TRUE(image.SetSize(3, 2));
  paintPattern(image);
  EXPECT_TRUE(image.SetSize(3, 2));
  EXPECT_EQ(image.TellWidth(), 3);
  EXPECT_EQ(image.TellHeight(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(rgba(image.GetPixel(x, y)), kWhite) << x << "," << y;
}

TEST(SetSize, RefusesAGridThatCannotBeAllocatedAndChangesNothing) {
  BMP image;
  image.SetSize(2, 3);
  image.SetBitDepth(8);
  paintPattern(image);
  bool result = true;
  EXPECT_EQ(capturedOutput([&] { result = image.SetSize(INT_MAX, INT_MAX); }),
            notEnoughMemory("2147483647 x 2147483647", "2 x 3"));
  EXPECT_FALSE(result);
  EXPECT_EQ(image.TellWidth(), 2);
  EXPECT_EQ(image.TellHeight(), 3);
  EXPECT_EQ(image.TellBitDepth(), 8);
  EXPECT_EQ(rgba(image.GetPixel(1, 2)), rgba(patternAt(1, 2)));
}

TEST(SetSize, KeepsDepthTableAndResolution) {
  BMP image;
  image.SetBitDepth(4);
  image.SetColor(3, pixel(9, 8, 7, 6));
  image.SetDPI(72, 300);
  image.SetSize(5, 5);
  EXPECT_EQ(image.TellBitDepth(), 4);
  EXPECT_EQ(rgba(image.GetColor(3)), (Rgba{9, 8, 7, 6}));
  EXPECT_EQ(image.TellHorizontalDPI(), 71);
  EXPECT_EQ(image.TellVerticalDPI(), 299);
}

class UnsupportedDepth : public ::testing::TestWithParam<int> {};

TEST_P(UnsupportedDepth, IsRefusedWithTheTableUntouched) {
  BMP image;
  image.SetBitDepth(4);
  image.SetColor(2, pixel(1, 2, 3, 4));
  bool result = true;
  EXPECT_EQ(capturedOutput([&] { result = image.SetBitDepth(GetParam()); }), depthRefused(GetParam(), 4));
  EXPECT_FALSE(result);
  EXPECT_EQ(image.TellBitDepth(), 4);
  EXPECT_EQ(rgba(image.GetColor(2)), (Rgba{1, 2, 3, 4}));
}

INSTANTIATE_TEST_SUITE_P(Depths, UnsupportedDepth, ::testing::Values(0, 2, 12, 64, -8), depthName);

TEST(SetBitDepth, SameDepthRestoresTheStandardTable) {
  BMP image;
  image.SetBitDepth(8);
  image.SetColor(7, pixel(1, 1, 1));
  EXPECT_TRUE(image.SetBitDepth(8));
  EXPECT_EQ(rgba(image.GetColor(7)), (Rgba{192, 192, 192, 0}));
}

TEST(SetBitDepth, NeverTouchesPixelsAndDropsTheTableAtDirectDepths) {
  BMP image;
  image.SetSize(3, 2);
  paintPattern(image);
  image.SetBitDepth(8);
  image.SetBitDepth(24);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(rgba(image.GetPixel(x, y)), rgba(patternAt(x, y)));
  EXPECT_NE(capturedOutput([&] { image.GetColor(0); }), "");
}

// Requests on a patterned 4 x 3 image and the pixel each one is served.
struct Clamp {
  int x, y;
  int servedX, servedY;
};

void PrintTo(const Clamp& c, std::ostream* os) { *os << "(" << c.x << ", " << c.y << ")"; }

class ClampedAccess : public ::testing::TestWithParam<Clamp> {
 protected:
  ClampedAccess() {
    image.SetSize(4, 3);
    paintPattern(image);
  }
  std::string expectedWarning() const {
    const Clamp& c = GetParam();
    return c.x == c.servedX && c.y == c.servedY ? "" : clampedPixel(3, 2);
  }
  BMP image;
};

TEST_P(ClampedAccess, GetPixelServesTheNearestBorderPixel) {
  const Clamp& c = GetParam();
  RGBApixel got{};
  EXPECT_EQ(capturedOutput([&] { got = image.GetPixel(c.x, c.y); }), expectedWarning());
  EXPECT_EQ(rgba(got), rgba(patternAt(c.servedX, c.servedY)));
}

TEST_P(ClampedAccess, OperatorWritesThroughToTheServedPixel) {
  const Clamp& c = GetParam();
  EXPECT_EQ(capturedOutput([&] { *image(c.x, c.y) = pixel(1, 2, 3, 4); }), expectedWarning());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool served = x == c.servedX && y == c.servedY;
      EXPECT_EQ(rgba(image.GetPixel(x, y)), served ? (Rgba{1, 2, 3, 4}) : rgba(patternAt(x, y)));
    }
}

INSTANTIATE_TEST_SUITE_P(Requests, ClampedAccess,
                         ::testing::Values(Clamp{2, 1, 2, 1}, Clamp{0, 0, 0, 0}, Clamp{3, 2, 3, 2},
                                           Clamp{-1, -1, 0, 0}, Clamp{4, 3, 3, 2}, Clamp{4, 0, 3, 0},
                                           Clamp{1, -7, 1, 0}, Clamp{-2, 2, 0, 2},
                                           Clamp{INT_MIN, INT_MAX, 0, 2}, Clamp{INT_MAX, INT_MIN, 3, 0}),
                         [](const auto& info) { return nameOf(info.param.x) + "_" + nameOf(info.param.y); });

TEST(SetPixel, OutsideTheGridStoresNothingAndSaysNothing) {
  BMP image;
  image.SetSize(4, 3);
  paintPattern(image);
  for (const auto& at :
       {std::pair{4, 0}, std::pair{0, 3}, std::pair{-1, 0}, std::pair{0, -1}, std::pair{INT_MAX, INT_MAX}}) {
    bool result = true;
    EXPECT_EQ(capturedOutput([&] { result = image.SetPixel(at.first, at.second, pixel(0, 0, 0)); }), "");
    EXPECT_FALSE(result) << at.first << "," << at.second;
  }
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(rgba(image.GetPixel(x, y)), rgba(patternAt(x, y)));
  EXPECT_TRUE(image.SetPixel(3, 2, pixel(5, 6, 7, 8)));
  EXPECT_EQ(rgba(image.GetPixel(3, 2)), (Rgba{5, 6, 7, 8}));
}

TEST(PixelRows, AreContiguous) {
  BMP image;
  image.SetSize(5, 2);
  paintPattern(image);
  const RGBApixel* row = image(0, 1);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(rgba(row[x]), rgba(patternAt(x, 1)));
}

class ColorRange : public ::testing::TestWithParam<int> {
 protected:
  ColorRange() { image.SetBitDepth(GetParam()); }
  int last() const { return image.TellNumberOfColors() - 1; }
  BMP image;
};

TEST_P(ColorRange, GetColorOutsideTheTableAnswersWhite) {
  for (int index : {-1, last() + 1, INT_MIN}) {
    RGBApixel got{};
    EXPECT_EQ(capturedOutput([&] { got = image.GetColor(index); }), colourOutOfRange(index, last(), "get"));
    EXPECT_EQ(rgba(got), kWhite);
  }
}

TEST_P(ColorRange, SetColorOutsideTheTableIsRefused) {
  for (int index : {-1, last() + 1}) {
    bool result = true;
    EXPECT_EQ(capturedOutput([&] { result = image.SetColor(index, pixel(1, 2, 3)); }),
              colourOutOfRange(index, last(), "set"));
    EXPECT_FALSE(result);
  }
  EXPECT_EQ(rgba(image.GetColor(last())), kWhite);  // the standard tables end in white
}

TEST_P(ColorRange, SetColorStoresEveryIndexInRange) {
  for (int index : {0, last()}) {
    bool result = false;
    EXPECT_EQ(capturedOutput([&] { result = image.SetColor(index, pixel(1, 2, 3, 4)); }), "");
    EXPECT_TRUE(result);
    EXPECT_EQ(rgba(image.GetColor(index)), (Rgba{1, 2, 3, 4}));
  }
}

INSTANTIATE_TEST_SUITE_P(IndexedDepths, ColorRange, ::testing::Values(1, 4, 8), depthName);

class NoColorTable : public ::testing::TestWithParam<int> {
 protected:
  NoColorTable() { image.SetBitDepth(GetParam()); }
  BMP image;
};

TEST_P(NoColorTable, SetColorIsRefused) {
  bool result = true;
  EXPECT_EQ(capturedOutput([&] { result = image.SetColor(0, pixel(1, 2, 3)); }), noTable("change"));
  EXPECT_FALSE(result);
}

TEST_P(NoColorTable, GetColorAnswersWhite) {
  RGBApixel got{};
  EXPECT_EQ(capturedOutput([&] { got = image.GetColor(1); }), noTable("access"));
  EXPECT_EQ(rgba(got), kWhite);
}

TEST_P(NoColorTable, NoStandardTableIsCreated) {
  bool result = true;
  EXPECT_EQ(capturedOutput([&] { result = image.CreateStandardColorTable(); }), kNoTableAtDepth);
  EXPECT_FALSE(result);
}

INSTANTIATE_TEST_SUITE_P(DirectDepths, NoColorTable, ::testing::Values(16, 24, 32), depthName);

TEST(StandardTable, OneBitIsBlackThenWhite) {
  BMP image;
  image.SetBitDepth(1);
  EXPECT_EQ(rgba(image.GetColor(0)), (Rgba{0, 0, 0, 0}));
  EXPECT_EQ(rgba(image.GetColor(1)), kWhite);
}

TEST(StandardTable, FourBitsHasTheSixteenWindowsColours) {
  const Rgba expected[16] = {{0, 0, 0, 0},       {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
                             {0, 0, 128, 0},     {128, 0, 128, 0}, {0, 128, 128, 0}, {128, 128, 128, 0},
                             {192, 192, 192, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
                             {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0}};
  BMP image;
  image.SetBitDepth(4);
  for (int n = 0; n < 16; ++n) EXPECT_EQ(rgba(image.GetColor(n)), expected[n]) << "entry " << n;
}

TEST(StandardTable, EightBitsIsTheColourCubeWithSystemColours) {
  // Entries 0 to 6 are the dark colours of the 16-colour table; 7 to 9 and 246 to 255 are
  // fixed; every other entry is 3 bits of red, 3 of green and 2 of blue.
  const std::vector<std::pair<int, Rgba>> fixed = {
      {0, {0, 0, 0, 0}},         {1, {128, 0, 0, 0}},       {2, {0, 128, 0, 0}},
      {3, {128, 128, 0, 0}},     {4, {0, 0, 128, 0}},       {5, {128, 0, 128, 0}},
      {6, {0, 128, 128, 0}},     {7, {192, 192, 192, 0}},   {8, {192, 220, 192, 0}},
      {9, {166, 202, 240, 0}},   {246, {255, 251, 240, 0}}, {247, {160, 160, 164, 0}},
      {248, {128, 128, 128, 0}}, {249, {255, 0, 0, 0}},     {250, {0, 255, 0, 0}},
      {251, {255, 255, 0, 0}},   {252, {0, 0, 255, 0}},     {253, {255, 0, 255, 0}},
      {254, {0, 255, 255, 0}},   {255, {255, 255, 255, 0}}};
  BMP image;
  image.SetBitDepth(8);
  for (int n = 0; n < 256; ++n) {
    Rgba expected{32 * (n % 8), 32 * ((n / 8) % 8), 64 * (n / 64), 0};
    for (const auto& [index, colour] : fixed)
      if (index == n) expected = colour;
    EXPECT_EQ(rgba(image.GetColor(n)), expected) << "entry " << n;
  }
  EXPECT_EQ(rgba(image.GetColor(10)), (Rgba{64, 32, 0, 0}));
  EXPECT_EQ(rgba(image.GetColor(63)), (Rgba{224, 224, 0, 0}));
  EXPECT_EQ(rgba(image.GetColor(64)), (Rgba{0, 0, 64, 0}));
  EXPECT_EQ(rgba(image.GetColor(100)), (Rgba{128, 128, 64, 0}));
  EXPECT_EQ(rgba(image.GetColor(200)), (Rgba{0, 32, 192, 0}));
  EXPECT_EQ(rgba(image.GetColor(245)), (Rgba{160, 192, 192, 0}));
}

TEST(StandardTable, CreateStandardColorTableUndoesChanges) {
  BMP image;
  image.SetBitDepth(4);
  image.SetColor(8, pixel(0, 0, 0, 9));
  EXPECT_TRUE(image.CreateStandardColorTable());
  EXPECT_EQ(rgba(image.GetColor(8)), (Rgba{192, 192, 192, 0}));
}

TEST(Resolution, SetDPIStoresWholePixelsPerMetre) {
  BMP image;
  image.SetDPI(96, 72);  // 3779 and 2834 pixels per metre
  EXPECT_EQ(image.TellHorizontalDPI(), 95);
  EXPECT_EQ(image.TellVerticalDPI(), 71);
  image.SetDPI(0, 0);  // unset: reported as 96
  EXPECT_EQ(image.TellHorizontalDPI(), 96);
  EXPECT_EQ(image.TellVerticalDPI(), 96);
  image.SetDPI(-100, 1);  // -3937 and 39
  EXPECT_EQ(image.TellHorizontalDPI(), -99);
  EXPECT_EQ(image.TellVerticalDPI(), 0);
}

TEST(Resolution, SetDPISaturatesAtTheIntRange) {
  BMP image;
  image.SetDPI(INT_MAX, INT_MIN);  // INT_MAX and INT_MIN pixels per metre
  EXPECT_EQ(image.TellHorizontalDPI(), 54546084);
  EXPECT_EQ(image.TellVerticalDPI(), -54546084);
}

class DotsPerInch : public ::testing::TestWithParam<std::pair<PixelryDWORD, int>> {};

TEST_P(DotsPerInch, TruncatesPixelsPerMetre) {
  BMP image;
  loadResolution(image, GetParam().first, GetParam().first);
  EXPECT_EQ(image.TellHorizontalDPI(), GetParam().second);
  EXPECT_EQ(image.TellVerticalDPI(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Examples, DotsPerInch,
                         ::testing::Values(std::pair{3780u, 96}, std::pair{3779u, 95}, std::pair{2835u, 72},
                                           std::pair{2834u, 71}, std::pair{3938u, 100}, std::pair{3937u, 99},
                                           std::pair{39u, 0}, std::pair{0u, 96}),
                         [](const auto& info) {
                           return std::to_string(info.param.first) + "PixelsPerMetre";
                         });

TEST(Copy, HasEverythingOfTheSource) {
  BMP source;
  source.SetSize(3, 2);
  source.SetBitDepth(8);
  paintPattern(source);
  source.SetColor(200, pixel(1, 2, 3, 4));
  BMP copy(source);
  EXPECT_EQ(copy.TellWidth(), 3);
  EXPECT_EQ(copy.TellHeight(), 2);
  EXPECT_EQ(copy.TellBitDepth(), 8);
  for (int n = 0; n < 256; ++n) EXPECT_EQ(rgba(copy.GetColor(n)), rgba(source.GetColor(n))) << n;
  EXPECT_EQ(rgba(copy.GetColor(200)), (Rgba{1, 2, 3, 4}));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(rgba(copy.GetPixel(x, y)), rgba(patternAt(x, y)));
}

TEST(Copy, IsDeep) {
  BMP source;
  source.SetSize(2, 2);
  source.SetBitDepth(4);
  paintPattern(source);
  {
    BMP copy(source);
    copy.SetPixel(1, 1, pixel(0, 0, 0));
    copy.SetColor(1, pixel(0, 0, 0, 7));
    copy.SetSize(5, 5);
  }
  EXPECT_EQ(rgba(source.GetPixel(1, 1)), rgba(patternAt(1, 1)));
  EXPECT_EQ(rgba(source.GetColor(1)), (Rgba{128, 0, 0, 0}));
  EXPECT_EQ(source.TellWidth(), 2);
}

TEST(Copy, KeepsTheExactResolution) {
  // Through whole dots per inch 3779 would become 3740 and 2835 would become 2834.
  BMP source;
  loadResolution(source, 3779, 2835);
  BMP copy(source);
  BMP copyOfCopy(copy);
  EXPECT_EQ(copyOfCopy.TellHorizontalDPI(), 95);
  EXPECT_EQ(copyOfCopy.TellVerticalDPI(), 72);
  EXPECT_EQ(source.TellHorizontalDPI(), 95);
  EXPECT_EQ(source.TellVerticalDPI(), 72);
}

TEST(Copy, OfAnUnsetResolutionStaysUnset) {
  BMP source;
  BMP copy(source);
  BMP copyOfCopy(copy);
  EXPECT_EQ(copyOfCopy.TellHorizontalDPI(), 96);  // a copy at 3779 would answer 95
  EXPECT_EQ(copy.TellVerticalDPI(), 96);
}

TEST(Copy, PrintsNothing) {
  BMP source;
  source.SetSize(2, 2);
  for (int depth : {1, 4, 8, 16, 24, 32}) {
    source.SetBitDepth(depth);
    EXPECT_EQ(capturedOutput([&] { BMP copy(source); }), "") << depth;
  }
}

TEST(Move, TakesEverythingAndLeavesANewImage) {
  BMP source;
  source.SetSize(3, 2);
  source.SetBitDepth(8);
  paintPattern(source);
  source.SetColor(200, pixel(1, 2, 3, 4));
  source.SetDPI(96, 72);  // 3779 and 2834 pixels per metre
  const RGBApixel* pixels = source(0, 0);
  BMP moved(std::move(source));
  EXPECT_EQ(moved(0, 0), pixels);  // the grid itself, not a copy
  EXPECT_EQ(moved.TellWidth(), 3);
  EXPECT_EQ(moved.TellHeight(), 2);
  EXPECT_EQ(moved.TellBitDepth(), 8);
  EXPECT_EQ(rgba(moved.GetColor(200)), (Rgba{1, 2, 3, 4}));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(rgba(moved.GetPixel(x, y)), rgba(patternAt(x, y)));
  EXPECT_EQ(moved.TellHorizontalDPI(), 95);
  EXPECT_EQ(moved.TellVerticalDPI(), 71);
  // NOLINTBEGIN(bugprone-use-after-move): the source is left a new image.
  EXPECT_EQ(source.TellWidth(), 1);
  EXPECT_EQ(source.TellHeight(), 1);
  EXPECT_EQ(source.TellBitDepth(), 24);
  EXPECT_EQ(rgba(source.GetPixel(0, 0)), (Rgba{255, 255, 255, 0}));
  EXPECT_EQ(capturedOutput([&] { EXPECT_EQ(source.TellHorizontalDPI(), 96); }), "");
  // NOLINTEND(bugprone-use-after-move)
}

TEST(IntPow, MultipliesRepeatedly) {
  EXPECT_EQ(IntPow(2, 0), 1);
  EXPECT_EQ(IntPow(3, -2), 1);
  EXPECT_EQ(IntPow(2, 10), 1024);
  EXPECT_EQ(IntPow(-3, 3), -27);
  EXPECT_EQ(IntPow(0, 0), 1);
  EXPECT_EQ(IntPow(2, 30), 1 << 30);
}

TEST(IntPow, WrapsBeyondTheIntRange) {
  EXPECT_EQ(IntPow(2, 31), INT_MIN);
  EXPECT_EQ(IntPow(2, 32), 0);
  EXPECT_EQ(IntPow(10, 10), 1410065408);  // 10^10 mod 2^32
}

}  // namespace
