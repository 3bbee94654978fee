// Rescale, the pixel copies and the grayscale colour table.
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

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

// The red channel, row by row.
std::vector<int> redsOf(const BMP& image) {
  std::vector<int> reds;
  for (const Rgba& p : pixelsOf(image)) reds.push_back(p[0]);
  return reds;
}

int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// "-20" as a name: "minus20".
std::string nameOf(int value) {
  return value < 0 ? "minus" + std::to_string(-static_cast<long>(value)) : std::to_string(value);
}

// ---------------------------------------------------------------------------------------
// Rescale: the size each mode gives, and every byte as a plain evaluation of the formulas

// Rescale evaluated the plain way: every position and weight computed afresh for every
// pixel, straight from the formulas, neighbours past the edge clamped.
std::vector<Rgba> plainRescale(const std::vector<RGBApixel>& source, int W, int H, int w, int h) {
  auto S = [&](int c, int r) {
    return source[static_cast<std::size_t>(std::min(r, H - 1)) * static_cast<std::size_t>(W) +
                  static_cast<std::size_t>(std::min(c, W - 1))];
  };
  auto channels = [](const RGBApixel& p) { return std::array<int, 3>{p.Red, p.Green, p.Blue}; };
  std::vector<Rgba> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), kWhite);
  auto at = [&](int i, int j) -> Rgba& {
    return out[static_cast<std::size_t>(j) * static_cast<std::size_t>(w) + static_cast<std::size_t>(i)];
  };
  for (int j = 0; j < h - 1; ++j) {
    const double y = static_cast<double>(j) * (H - 1) / (h - 1);
    const int J = static_cast<int>(std::floor(y));
    const double ty = y - J;
    for (int i = 0; i < w - 1; ++i) {
      const double x = static_cast<double>(i) * (W - 1) / (w - 1);
      const int I = static_cast<int>(std::floor(x));
      const double tx = x - I;
      for (int c = 0; c < 3; ++c) {
        const double v = channels(S(I, J))[c] * (1 - tx - ty + tx * ty) +
                         channels(S(I + 1, J))[c] * (tx - tx * ty) +
                         channels(S(I, J + 1))[c] * (ty - tx * ty) + channels(S(I + 1, J + 1))[c] * (tx * ty);
        at(i, j)[c] = static_cast<int>(v);
      }
      at(i, j)[3] = 0;
    }
    for (int c = 0; c < 3; ++c)
      at(w - 1, j)[c] =
          static_cast<int>(channels(S(W - 1, J))[c] * (1 - ty) + channels(S(W - 1, J + 1))[c] * ty);
    at(w - 1, j)[3] = 0;
  }
  for (int i = 0; i < w - 1; ++i) {
    const double x = static_cast<double>(i) * (W - 1) / (w - 1);
    const int I = static_cast<int>(std::floor(x));
    const double tx = x - I;
    for (int c = 0; c < 3; ++c)
      at(i, h - 1)[c] =
          static_cast<int>(channels(S(I, H - 1))[c] * (1 - tx) + channels(S(I + 1, H - 1))[c] * tx);
    at(i, h - 1)[3] = 0;
  }
  at(w - 1, h - 1) = rgba(S(W - 1, H - 1));
  return out;
}

struct SizeCase {
  int width, height;
  char mode;
  int parameter;
  int newWidth, newHeight;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height << " " << c.mode << " " << c.parameter;
}

class RescaleSize : public ::testing::TestWithParam<SizeCase> {};

// Only a source one pixel wide or high prints: its missing neighbours are read through the
// clamping accessor.
TEST_P(RescaleSize, GivesTheSizeOfItsModeAndTheBytesOfThePlainFormulas) {
  const SizeCase& c = GetParam();
  Random random(static_cast<unsigned>(c.width) * 131u + static_cast<unsigned>(c.height) * 7u +
                static_cast<unsigned>(c.parameter));
  std::vector<RGBApixel> source;
  for (int i = 0; i < c.width * c.height; ++i) source.push_back(random.colour());
  BMP image = imageOf(c.width, c.height, source);
  const std::string printed = capturedOutput([&] { EXPECT_TRUE(Rescale(image, c.mode, c.parameter)); });
  EXPECT_EQ(printed.empty(), c.width > 1 && c.height > 1) << printed;
  ASSERT_EQ(image.TellWidth(), c.newWidth);
  ASSERT_EQ(image.TellHeight(), c.newHeight);
  EXPECT_EQ(image.TellBitDepth(), 24);
  EXPECT_EQ(pixelsOf(image), plainRescale(source, c.width, c.height, c.newWidth, c.newHeight));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RescaleSize,
    ::testing::Values(
        // Percentages are floored on each side; the product is taken before dividing, so
        // 29 percent of 100 is 29, not the 28 that 100 x 0.29 would give.
        SizeCase{5, 3, 'P', 50, 2, 1}, SizeCase{100, 100, 'P', 29, 29, 29}, SizeCase{4, 6, 'P', 250, 10, 15},
        SizeCase{100, 60, 'W', 50, 50, 30}, SizeCase{100, 60, 'H', 30, 50, 30},
        // The other side is truncated, not rounded: 7 x 2/3 = 4.67.
        SizeCase{3, 7, 'W', 2, 2, 4}, SizeCase{7, 3, 'H', 2, 4, 2},
        // F follows the longer side; a square goes as H.
        SizeCase{100, 60, 'F', 40, 40, 24}, SizeCase{60, 100, 'F', 40, 24, 40},
        SizeCase{100, 100, 'F', 40, 40, 40},
        // Lower-case letters are the same modes.
        SizeCase{5, 3, 'p', 50, 2, 1}, SizeCase{100, 60, 'w', 50, 50, 30}, SizeCase{100, 60, 'h', 30, 50, 30},
        SizeCase{100, 60, 'f', 40, 40, 24}, SizeCase{60, 100, 'f', 40, 24, 40},
        // Sides below 1 become 1, with no message.
        SizeCase{5, 3, 'P', 0, 1, 1}, SizeCase{5, 3, 'P', -20, 1, 1}, SizeCase{5, 3, 'P', INT_MIN, 1, 1},
        SizeCase{100, 60, 'W', 0, 1, 1}, SizeCase{100, 60, 'W', -5, 1, 1}, SizeCase{100, 60, 'H', -5, 1, 1},
        SizeCase{100, 2, 'W', 40, 40, 1}, SizeCase{2, 100, 'H', 40, 1, 40}, SizeCase{100, 60, 'F', 0, 1, 1},
        // Larger pictures, and sources one pixel wide or high.
        SizeCase{64, 48, 'P', 50, 32, 24}, SizeCase{101, 77, 'P', 33, 33, 25},
        SizeCase{37, 23, 'P', 250, 92, 57}, SizeCase{40, 30, 'P', 100, 40, 30},
        SizeCase{97, 61, 'w', 40, 40, 25}, SizeCase{61, 97, 'H', 13, 8, 13},
        SizeCase{90, 50, 'F', 128, 128, 71}, SizeCase{1, 9, 'P', 300, 3, 27}, SizeCase{9, 1, 'P', 300, 27, 3},
        SizeCase{1, 1, 'P', 500, 5, 5}, SizeCase{30, 20, 'W', 1, 1, 1}, SizeCase{30, 20, 'H', 1, 1, 1},
        SizeCase{25, 35, 'W', 1, 1, 1}, SizeCase{3, 200, 'H', 37, 1, 37}, SizeCase{200, 3, 'W', 57, 57, 1},
        SizeCase{513, 257, 'P', 50, 256, 128}),
    [](const auto& info) {
      const SizeCase& c = info.param;
      return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" + c.mode + nameOf(c.parameter);
    });

// ---------------------------------------------------------------------------------------
// Rescale: the interpolated pixels

TEST(RescalePixels, HalfwayTargetsAverageTheirNeighboursAndTruncate) {
  BMP image = imageOf(2, 2,
                      {pixel(0, 10, 255, 1), pixel(100, 21, 0, 2),  //
                       pixel(200, 30, 128, 3), pixel(51, 41, 7, 4)});
  ASSERT_TRUE(Rescale(image, 'W', 3));
  ASSERT_EQ(image.TellWidth(), 3);
  ASSERT_EQ(image.TellHeight(), 3);
  // Only the bottom-right pixel keeps an Alpha; the others are new pixels (Alpha 0).
  const std::vector<Rgba> expected = {{0, 10, 255, 0},   {50, 15, 127, 0}, {100, 21, 0, 0},  //
                                      {100, 20, 191, 0}, {87, 25, 97, 0},  {75, 31, 3, 0},   //
                                      {200, 30, 128, 0}, {125, 35, 67, 0}, {51, 41, 7, 4}};
  EXPECT_EQ(pixelsOf(image), expected);
}

TEST(RescalePixels, ThirdsWeighColumnAndRowFractionsSeparately) {
  // Two by two reds to four by four: target positions fall at thirds of the source.
  BMP image = imageOf(2, 2, {pixel(1, 0, 0), pixel(92, 0, 0), pixel(182, 0, 0), pixel(37, 0, 0)});
  ASSERT_TRUE(Rescale(image, 'w', 4));
  ASSERT_EQ(image.TellHeight(), 4);
  const std::vector<int> expected = {1,   31,  61, 92,  //
                                     61,  65,  69, 73,  //
                                     121, 99,  77, 55,  //
                                     182, 133, 85, 37};
  EXPECT_EQ(redsOf(image), expected);
}

TEST(RescalePixels, SameSizeKeepsEveryColourAndOnlyTheCornerAlpha) {
  for (char mode : {'P', 'W'}) {
    BMP image = patterned(4, 3);
    ASSERT_TRUE(Rescale(image, mode, mode == 'P' ? 100 : 4));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        Rgba expected = rgba(patternAt(x, y));
        if (x != 3 || y != 2) expected[3] = 0;
        EXPECT_EQ(rgba(*image(x, y)), expected) << mode << " at " << x << "," << y;
      }
  }
}

TEST(RescalePixels, OnePixelHighTargetTakesTheSourcesLastRow) {
  BMP image = patterned(5, 3);
  ASSERT_TRUE(Rescale(image, 'P', 50));  // 2 x 1
  const std::vector<Rgba> expected = {{10, 22, 32, 0}, rgba(patternAt(4, 2))};
  EXPECT_EQ(pixelsOf(image), expected);
}

TEST(RescalePixels, OnePixelWideTargetInterpolatesTheSourcesLastColumn) {
  BMP image = imageOf(2, 4,
                      {pixel(0, 0, 0), pixel(10, 1, 2),  //
                       pixel(0, 0, 0), pixel(21, 5, 9),  //
                       pixel(0, 0, 0), pixel(40, 8, 0),  //
                       pixel(0, 0, 0), pixel(60, 7, 7, 9)});
  ASSERT_TRUE(Rescale(image, 'P', 75));  // 1 x 3, rows at 0, 1.5 and 3
  const std::vector<Rgba> expected = {{10, 1, 2, 0}, {30, 6, 4, 0}, {60, 7, 7, 9}};
  EXPECT_EQ(pixelsOf(image), expected);
}

TEST(RescalePixels, ZeroPercentLeavesTheBottomRightPixelWhole) {
  BMP image = patterned(5, 3);
  ASSERT_TRUE(Rescale(image, 'P', 0));
  EXPECT_EQ(pixelsOf(image), std::vector<Rgba>{rgba(patternAt(4, 2))});
}

// A source one pixel wide or high has neighbours only through the clamping accessor:
// every colour channel computed from a missing neighbour reads it once, with a warning.
struct ThinSourceCase {
  int width, height;
  char mode;
  int parameter;
  std::vector<Rgba> source;  // row by row
  std::vector<Rgba> expected;
  int warnings;
};

void PrintTo(const ThinSourceCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height << " " << c.mode << " " << c.parameter;
}

class RescaleThinSource : public ::testing::TestWithParam<ThinSourceCase> {
 protected:
  BMP source() const {
    const ThinSourceCase& c = GetParam();
    std::vector<RGBApixel> pixels;
    for (const Rgba& p : c.source) pixels.push_back(pixel(p[0], p[1], p[2], p[3]));
    return imageOf(c.width, c.height, pixels);
  }
};

TEST_P(RescaleThinSource, ReplicatesOrInterpolatesWithOneWarningPerClampedRead) {
  const ThinSourceCase& c = GetParam();
  BMP image = source();
  const std::string printed = capturedOutput([&] { Rescale(image, c.mode, c.parameter); });
  EXPECT_EQ(pixelsOf(image), c.expected);
  EXPECT_EQ(occurrences(printed, clampedPixel(c.width - 1, c.height - 1)), c.warnings);
  EXPECT_EQ(occurrences(printed, "Pixelry"), c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RescaleThinSource,
    ::testing::Values(
        // 1 x 2 to 2 x 4: rows at thirds, the missing right neighbour read twice per pixel
        // in three rows, once per pixel in the last row: (3 x 2 + 1) x 3 channels.
        ThinSourceCase{1,
                       2,
                       'H',
                       4,
                       {{31, 5, 0, 1}, {92, 9, 4, 2}},
                       {{31, 5, 0, 0},
                        {31, 5, 0, 0},
                        {51, 6, 1, 0},
                        {51, 6, 1, 0},
                        {71, 7, 2, 0},
                        {71, 7, 2, 0},
                        {92, 9, 4, 0},
                        {92, 9, 4, 2}},
                       21},
        // 2 x 1 to 4 x 2: columns at thirds, the missing row below read twice per pixel of
        // the first row and once for its last column: (3 x 2 + 1) x 3 channels.
        ThinSourceCase{2,
                       1,
                       'W',
                       4,
                       {{31, 0, 200, 1}, {92, 4, 100, 2}},
                       {{31, 0, 200, 0},
                        {51, 1, 166, 0},
                        {71, 2, 133, 0},
                        {92, 4, 100, 0},
                        {31, 0, 200, 0},
                        {51, 1, 166, 0},
                        {71, 2, 133, 0},
                        {92, 4, 100, 2}},
                       21},
        // 1 x 1 to 3 x 3: four interior pixels with three missing neighbours each, two
        // last-column and two last-row pixels with one: (4 x 3 + 2 + 2) x 3 channels.
        ThinSourceCase{1,
                       1,
                       'P',
                       300,
                       {{7, 8, 9, 5}},
                       {{7, 8, 9, 0},
                        {7, 8, 9, 0},
                        {7, 8, 9, 0},
                        {7, 8, 9, 0},
                        {7, 8, 9, 0},
                        {7, 8, 9, 0},
                        {7, 8, 9, 0},
                        {7, 8, 9, 0},
                        {7, 8, 9, 5}},
                       48},
        // 1 x 4 to 2 x 8: seven rows read the missing right neighbour twice (upper and
        // lower) for each of the three channels; the last row reads it once, three times.
        ThinSourceCase{1,
                       4,
                       'P',
                       200,
                       std::vector<Rgba>(4, kWhite),
                       {kWhite,
                        kWhite,
                        {254, 254, 254, 0},
                        {254, 254, 254, 0},
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite,
                        kWhite},
                       7 * 2 * 3 + 3}),
    [](const auto& info) {
      const ThinSourceCase& c = info.param;
      return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" + c.mode +
             std::to_string(c.parameter);
    });

// ---------------------------------------------------------------------------------------
// Rescale: depth, resolution and refusals

class RescaleDepth : public ::testing::TestWithParam<int> {};

TEST_P(RescaleDepth, ComesBackAt24BitsWithoutColourTable) {
  BMP image = patterned(3, 2);
  ASSERT_TRUE(image.SetBitDepth(GetParam()));
  ASSERT_TRUE(Rescale(image, 'P', 100));
  EXPECT_EQ(image.TellBitDepth(), 24);
  EXPECT_EQ(image.TellWidth(), 3);
  EXPECT_EQ(capturedOutput([&] { image.GetColor(0); }), noTable("access"));
}

INSTANTIATE_TEST_SUITE_P(Depths, RescaleDepth, ::testing::Values(1, 4, 8, 16, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bits"; });

TEST(RescaleResolution, IsKeptExactly) {
  TempDir dir;
  BmpFile file = BmpFile::make(2, 1, 24).row({1, 2, 3, 4, 5, 6, 0, 0});
  file.infoHeader.biXPelsPerMeter = 1234;
  file.infoHeader.biYPelsPerMeter = 4321;
  writeBytes(dir.file("in.bmp"), file.bytes());
  BMP image;
  ASSERT_TRUE(image.ReadFromFile(dir.file("in.bmp").c_str()));
  ASSERT_TRUE(Rescale(image, 'P', 300));
  ASSERT_TRUE(image.WriteToFile(dir.file("out.bmp").c_str()));
  const Bytes written = readBytes(dir.file("out.bmp"));
  ASSERT_GE(written.size(), 54u);
  EXPECT_EQ(le32(written, 38), 1234u);
  EXPECT_EQ(le32(written, 42), 4321u);
}

class RescaleUnknownMode : public ::testing::TestWithParam<char> {};

TEST_P(RescaleUnknownMode, PrintsTheLetterAsGivenAndChangesNothing) {
  BMP image, untouched;
  makeBusy(image);
  makeBusy(untouched);
  bool result = true;
  const std::string printed = capturedOutput([&] { result = Rescale(image, GetParam(), 50); });
  EXPECT_FALSE(result);
  EXPECT_EQ(printed, unknownMode(GetParam()));
  EXPECT_EQ(describe(image), describe(untouched));
}

// 'q' must print as 'q', not as the folded 'Q'; a byte above 127 must not upset the
// case folding.
INSTANTIATE_TEST_SUITE_P(Letters, RescaleUnknownMode, ::testing::Values('x', 'q', 'Q', '?', '\xE9'),
                         [](const auto& info) {
                           const auto byte = static_cast<unsigned char>(info.param);
                           return std::isalnum(byte) ? std::string(1, info.param)
                                                     : "byte" + std::to_string(byte);
                         });

TEST(RescaleRefused, TooLargeATargetLeavesTheImageAndReturnsFalse) {
  BMP image = patterned(100, 100);
  bool result = true;
  const std::string printed = capturedOutput([&] { result = Rescale(image, 'P', INT_MAX); });
  EXPECT_FALSE(result);
  EXPECT_EQ(image.TellWidth(), 100);
  EXPECT_EQ(image.TellHeight(), 100);
  EXPECT_EQ(rgba(*image(99, 99)), rgba(patternAt(99, 99)));
  EXPECT_EQ(printed, notEnoughMemory("2147483647 x 2147483647", "100 x 100"));
}

// ---------------------------------------------------------------------------------------
// Single pixel copies

TEST(PixelCopy, CopiesAllFourBytes) {
  BMP from = patterned(3, 3);
  BMP to;
  to.SetSize(2, 2);
  PixelToPixelCopy(from, 2, 1, to, 1, 0);
  EXPECT_EQ(rgba(*to(1, 0)), rgba(patternAt(2, 1)));
  EXPECT_EQ(rgba(*to(0, 0)), kWhite);
}

TEST(PixelCopy, ClampsPositionsOutsideEitherImageWithTheAccessorsWarnings) {
  BMP from = patterned(3, 3);
  BMP to;
  to.SetSize(2, 2);
  const std::string printed = capturedOutput([&] { PixelToPixelCopy(from, 9, -1, to, -4, 1); });
  EXPECT_EQ(rgba(*to(0, 1)), rgba(patternAt(2, 0)));
  // The destination is looked up first.
  EXPECT_EQ(printed, clampedPixel(1, 1) + clampedPixel(2, 2));
}

struct TransparentCase {
  const char* name;
  RGBApixel transparent;
  bool copied;
  int sourceLookups;  // through the clamping accessor, for an out-of-range source
};

void PrintTo(const TransparentCase& c, std::ostream* os) { *os << c.name; }

class TransparentCopy : public ::testing::TestWithParam<TransparentCase> {
 protected:
  // The source pixel is (10, 20, 30) with Alpha 40.
  BMP from = imageOf(1, 1, {pixel(10, 20, 30, 40)});
  BMP to = imageOf(1, 1, {pixel(1, 1, 1, 1)});
};

TEST_P(TransparentCopy, SkipsOnlyAMatchOfRedGreenAndBlue) {
  RGBApixel transparent = GetParam().transparent;
  PixelToPixelCopyTransparent(from, 0, 0, to, 0, 0, transparent);
  EXPECT_EQ(rgba(*to(0, 0)), GetParam().copied ? (Rgba{10, 20, 30, 40}) : (Rgba{1, 1, 1, 1}));
}

TEST_P(TransparentCopy, LooksTheSourceUpAfreshForEachComparison) {
  RGBApixel transparent = GetParam().transparent;
  const std::string printed =
      capturedOutput([&] { PixelToPixelCopyTransparent(from, 3, 0, to, 0, 0, transparent); });
  EXPECT_EQ(occurrences(printed, clampedPixel(0, 0)), GetParam().sourceLookups);
  EXPECT_EQ(rgba(*to(0, 0)), GetParam().copied ? (Rgba{10, 20, 30, 40}) : (Rgba{1, 1, 1, 1}));
}

INSTANTIATE_TEST_SUITE_P(Colours, TransparentCopy,
                         ::testing::Values(TransparentCase{"AlphaDiffersOnly", pixel(10, 20, 30, 99), false,
                                                           3},
                                           TransparentCase{"RedDiffers", pixel(11, 20, 30, 40), true, 2},
                                           TransparentCase{"GreenDiffers", pixel(10, 21, 30, 40), true, 3},
                                           TransparentCase{"BlueDiffers", pixel(10, 20, 31, 40), true, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Ranged copies

// Source bounds as the caller gives them, the destination position and size, and where
// the copied block is expected: source columns and rows it starts at, its size, and the
// destination pixel its top-left lands on. A block of zero columns means nothing changes.
struct RangeCase {
  const char* name;
  int sourceWidth, sourceHeight;
  int left, right, firstRow, secondRow;
  int destinationWidth, destinationHeight, toX, toY;
  int fromColumn, fromRow, columns, rows, landX, landY;
};

void PrintTo(const RangeCase& c, std::ostream* os) { *os << c.name; }

class RangedCopy : public ::testing::TestWithParam<RangeCase> {
 protected:
  static constexpr Rgba kMarker{1, 2, 3, 4};

  BMP destination() const {
    const RangeCase& c = GetParam();
    BMP image;
    image.SetSize(c.destinationWidth, c.destinationHeight);
    for (int y = 0; y < c.destinationHeight; ++y)
      for (int x = 0; x < c.destinationWidth; ++x) image.SetPixel(x, y, pixel(1, 2, 3, 4));
    return image;
  }

  // The destination holds the block where expected and the marker everywhere else.
  static void expectBlock(BMP& to) {
    const RangeCase& c = GetParam();
    for (int y = 0; y < to.TellHeight(); ++y)
      for (int x = 0; x < to.TellWidth(); ++x) {
        const int dx = x - c.landX;
        const int dy = y - c.landY;
        const bool inBlock = dx >= 0 && dx < c.columns && dy >= 0 && dy < c.rows;
        const Rgba expected = inBlock ? rgba(patternAt(c.fromColumn + dx, c.fromRow + dy)) : kMarker;
        ASSERT_EQ(rgba(*to(x, y)), expected) << "destination " << x << "," << y;
      }
  }
};

TEST_P(RangedCopy, CopiesTheClippedBlockAndNothingElse) {
  const RangeCase& c = GetParam();
  BMP from = patterned(c.sourceWidth, c.sourceHeight);
  BMP to = destination();
  const std::string printed = capturedOutput(
      [&] { RangedPixelToPixelCopy(from, c.left, c.right, c.firstRow, c.secondRow, to, c.toX, c.toY); });
  expectBlock(to);
  EXPECT_EQ(printed, "");
}

TEST_P(RangedCopy, TransparentCopyWithAnUnusedColourCopiesTheSameBlock) {
  const RangeCase& c = GetParam();
  BMP from = patterned(c.sourceWidth, c.sourceHeight);
  BMP to = destination();
  RGBApixel unused = pixel(0, 0, 0);
  RangedPixelToPixelCopyTransparent(from, c.left, c.right, c.firstRow, c.secondRow, to, c.toX, c.toY, unused);
  expectBlock(to);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, RangedCopy,
    ::testing::Values(
        RangeCase{"RowsSmallerFirst", 5, 4, 1, 3, 1, 2, 8, 8, 4, 5, /*block*/ 1, 1, 3, 2, 4, 5},
        RangeCase{"RowsLargerFirst", 5, 4, 1, 3, 2, 1, 8, 8, 4, 5, /*block*/ 1, 1, 3, 2, 4, 5},
        RangeCase{"LeftAfterRight", 5, 4, 3, 1, 0, 2, 8, 8, 0, 0, /*block*/ 0, 0, 0, 0, 0, 0},
        RangeCase{"NegativeLeftKeepsTheDestination", 20, 2, -5, 10, 0, 1, 100, 3, 20, 0,
                  /*block*/ 0, 0, 11, 2, 20, 0},
        RangeCase{"NegativeTopKeepsTheDestination", 3, 5, 0, 1, -3, 2, 4, 6, 1, 2, /*block*/ 0, 0, 2, 3, 1,
                  2},
        RangeCase{"BoundsBeyondTheSource", 3, 3, 1, 50, 40, 1, 8, 8, 2, 2, /*block*/ 1, 1, 2, 2, 2, 2},
        RangeCase{"PastTheDestinationsEdges", 5, 5, 0, 4, 0, 4, 3, 3, 1, 1, /*block*/ 0, 0, 2, 2, 1, 1},
        RangeCase{"RightAndBottomAtTheSourceSize", 5, 4, 2, 5, 4, 1, 8, 8, 3, 2, /*block*/ 2, 1, 3, 3, 3, 2},
        RangeCase{"OneColumnPastTheDestination", 5, 5, 1, 3, 0, 1, 6, 6, 4, 0, /*block*/ 1, 0, 2, 2, 4, 0},
        RangeCase{"OneRowPastTheDestinationBelowATopBound", 5, 5, 0, 1, 3, 1, 6, 6, 0, 4,
                  /*block*/ 0, 1, 2, 2, 0, 4},
        RangeCase{"DestinationColumnAtTheWidth", 3, 3, 0, 2, 0, 2, 4, 4, 4, 0, /*block*/ 0, 0, 0, 0, 0, 0},
        RangeCase{"DestinationRowBeyondTheHeight", 3, 3, 0, 2, 0, 2, 4, 4, 0, 9, /*block*/ 0, 0, 0, 0, 0, 0},
        RangeCase{"LeftBeyondTheSource", 3, 3, 3, 5, 0, 2, 8, 8, 0, 0, /*block*/ 0, 0, 0, 0, 0, 0},
        RangeCase{"TopBeyondTheSource", 3, 3, 0, 2, 3, 7, 8, 8, 0, 0, /*block*/ 0, 0, 0, 0, 0, 0},
        RangeCase{"FarDestinationsDoNotOverflow", 3, 3, 0, 2, 0, 2, 4, 4, INT_MAX, INT_MAX,
                  /*block*/ 0, 0, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RangedCopyClamped, NegativeDestinationPilesOntoColumnZeroLastOneWinning) {
  BMP from = patterned(3, 1);
  BMP to = imageOf(4, 1, {pixel(1, 1, 1), pixel(1, 1, 1), pixel(1, 1, 1), pixel(1, 1, 1)});
  const std::string printed = capturedOutput([&] { RangedPixelToPixelCopy(from, 0, 2, 0, 0, to, -2, 0); });
  const std::vector<Rgba> expected = {rgba(patternAt(2, 0)), {1, 1, 1, 0}, {1, 1, 1, 0}, {1, 1, 1, 0}};
  EXPECT_EQ(pixelsOf(to), expected);
  EXPECT_EQ(occurrences(printed, clampedPixel(3, 0)), 2);
}

TEST(RangedCopyClamped, NegativeDestinationRowPilesOntoRowZero) {
  BMP from = patterned(1, 3);
  BMP to = imageOf(1, 2, {pixel(1, 1, 1), pixel(1, 1, 1)});
  const std::string printed = capturedOutput([&] { RangedPixelToPixelCopy(from, 0, 0, 0, 2, to, 0, -1); });
  const std::vector<Rgba> expected = {rgba(patternAt(0, 1)), rgba(patternAt(0, 2))};
  EXPECT_EQ(pixelsOf(to), expected);
  EXPECT_EQ(occurrences(printed, clampedPixel(0, 1)), 1);
}

TEST(RangedCopyWithinOneImage, ReadsPixelsItHasAlreadyOverwritten) {
  BMP image = imageOf(4, 1, {pixel(0, 0, 0), pixel(1, 0, 0), pixel(2, 0, 0), pixel(3, 0, 0)});
  RangedPixelToPixelCopy(image, 0, 2, 0, 0, image, 1, 0);
  EXPECT_EQ(redsOf(image), (std::vector<int>{0, 0, 0, 0}));
}

TEST(RangedCopyTransparent, SkipsMatchingPixelsWhateverTheirAlpha) {
  BMP from = imageOf(3, 1, {pixel(9, 9, 9, 1), pixel(5, 6, 7, 8), pixel(9, 9, 9, 200)});
  BMP to = imageOf(3, 1, {pixel(0, 0, 0), pixel(0, 0, 0), pixel(0, 0, 0)});
  RGBApixel transparent = pixel(9, 9, 9, 0);
  RangedPixelToPixelCopyTransparent(from, 0, 2, 0, 0, to, 0, 0, transparent);
  const std::vector<Rgba> expected = {{0, 0, 0, 0}, {5, 6, 7, 8}, {0, 0, 0, 0}};
  EXPECT_EQ(pixelsOf(to), expected);
}

// ---------------------------------------------------------------------------------------
// Grayscale colour table

struct RampCase {
  int bits;
  int step;
};

void PrintTo(const RampCase& c, std::ostream* os) { *os << c.bits << " bits"; }

class GrayscaleTable : public ::testing::TestWithParam<RampCase> {};

TEST_P(GrayscaleTable, RunsFromBlackToWhiteInEvenSteps) {
  BMP image;
  ASSERT_TRUE(image.SetBitDepth(GetParam().bits));
  EXPECT_TRUE(CreateGrayscaleColorTable(image));
  const int colors = image.TellNumberOfColors();
  for (int i = 0; i < colors; ++i) {
    const int level = i * GetParam().step;
    ASSERT_EQ(rgba(image.GetColor(i)), (Rgba{level, level, level, 0})) << "entry " << i;
  }
  EXPECT_EQ(rgba(image.GetColor(colors - 1)), (Rgba{255, 255, 255, 0}));
}

INSTANTIATE_TEST_SUITE_P(Depths, GrayscaleTable,
                         ::testing::Values(RampCase{1, 255}, RampCase{4, 17}, RampCase{8, 1}),
                         [](const auto& info) { return std::to_string(info.param.bits) + "bits"; });

class GrayscaleTableRefused : public ::testing::TestWithParam<int> {};

TEST_P(GrayscaleTableRefused, WarnsAndReturnsFalse) {
  BMP image = patterned(2, 2);
  ASSERT_TRUE(image.SetBitDepth(GetParam()));
  bool result = true;
  const std::string printed = capturedOutput([&] { result = CreateGrayscaleColorTable(image); });
  EXPECT_FALSE(result);
  EXPECT_EQ(printed, kNoTableAtDepth);
  EXPECT_EQ(image.TellBitDepth(), GetParam());
  BMP reference = patterned(2, 2);
  EXPECT_EQ(pixelsOf(image), pixelsOf(reference));
}

INSTANTIATE_TEST_SUITE_P(Depths, GrayscaleTableRefused, ::testing::Values(16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bits"; });

}  // namespace
