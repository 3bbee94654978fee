// Rescale, the pixel copies and the grayscale colour table.
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Pixel.h"
#include "support/TempDir.h"

using testing_support::capturedOutput;
using testing_support::kWhite;
using testing_support::pixel;
using testing_support::Rgba;
using testing_support::rgba;

namespace {

// An image of the given size whose pixels are listed row by row, top row first.
BMP imageOf(int width, int height, const std::vector<RGBApixel>& rows) {
  BMP image;
  image.SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.SetPixel(x, y, rows[static_cast<std::size_t>(y * width + x)]);
  return image;
}

// Every pixel different, Alpha included.
RGBApixel patternAt(int x, int y) { return pixel(10 + x, 20 + y, 30 + x + y, 40 + x * y); }

BMP patterned(int width, int height) {
  BMP image;
  image.SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.SetPixel(x, y, patternAt(x, y));
  return image;
}

// The pixels as Rgba values, row by row.
std::vector<Rgba> pixelsOf(BMP& image) {
  std::vector<Rgba> all;
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) all.push_back(rgba(*image(x, y)));
  return all;
}

// The red channel, row by row.
std::vector<int> redsOf(BMP& image) {
  std::vector<int> reds;
  for (const Rgba& p : pixelsOf(image)) reds.push_back(p[0]);
  return reds;
}

int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

const char kClampWarning[] = "Pixelry Warning: Attempted to access non-existent pixel;\n";

// Turns the warnings off for one test and back on afterwards.
struct WarningsOff {
  WarningsOff() { SetPixelrywarningsOff(); }
  ~WarningsOff() { SetPixelrywarningsOn(); }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Rescale: the size each mode gives

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

TEST_P(RescaleSize, GivesTheSizeOfItsMode) {
  const SizeCase& c = GetParam();
  BMP image = patterned(c.width, c.height);
  const std::string printed = capturedOutput([&] { EXPECT_TRUE(Rescale(image, c.mode, c.parameter)); });
  EXPECT_EQ(image.TellWidth(), c.newWidth);
  EXPECT_EQ(image.TellHeight(), c.newHeight);
  EXPECT_EQ(image.TellBitDepth(), 24);
  EXPECT_EQ(printed, "");
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
        SizeCase{100, 2, 'W', 40, 40, 1}, SizeCase{2, 100, 'H', 40, 1, 40}, SizeCase{100, 60, 'F', 0, 1, 1}));

// ---------------------------------------------------------------------------------------
// Rescale: the interpolated pixels

TEST(RescalePixels, HalfwayTargetsAverageTheirNeighboursAndTruncate) {
  BMP image = imageOf(2, 2, {pixel(0, 10, 255, 1), pixel(100, 21, 0, 2),  //
                             pixel(200, 30, 128, 3), pixel(51, 41, 7, 4)});
  ASSERT_TRUE(Rescale(image, 'W', 3));
  ASSERT_EQ(image.TellWidth(), 3);
  ASSERT_EQ(image.TellHeight(), 3);
  // Only the bottom-right pixel keeps an Alpha; the others are new pixels (Alpha 0).
  const std::vector<Rgba> expected = {
      {0, 10, 255, 0},   {50, 15, 127, 0},  {100, 21, 0, 0},  //
      {100, 20, 191, 0}, {87, 25, 97, 0},   {75, 31, 3, 0},   //
      {200, 30, 128, 0}, {125, 35, 67, 0},  {51, 41, 7, 4}};
  EXPECT_EQ(pixelsOf(image), expected);
}

TEST(RescalePixels, ThirdsWeighColumnAndRowFractionsSeparately) {
  // Two by two reds to four by four: target positions fall at thirds of the source.
  BMP image = imageOf(2, 2, {pixel(1, 0, 0), pixel(92, 0, 0), pixel(182, 0, 0), pixel(37, 0, 0)});
  ASSERT_TRUE(Rescale(image, 'w', 4));
  ASSERT_EQ(image.TellHeight(), 4);
  const std::vector<int> expected = {1,   31, 61, 92,  //
                                     61,  65, 69, 73,  //
                                     121, 99, 77, 55,  //
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
  BMP image = imageOf(2, 4, {pixel(0, 0, 0), pixel(10, 1, 2),  //
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
  BMP image = source();
  const std::string printed = capturedOutput([&] { Rescale(image, GetParam().mode, GetParam().parameter); });
  EXPECT_EQ(pixelsOf(image), GetParam().expected);
  EXPECT_EQ(occurrences(printed, kClampWarning), GetParam().warnings);
  EXPECT_EQ(occurrences(printed, "Pixelry"), GetParam().warnings);
}

TEST_P(RescaleThinSource, GivesTheSamePixelsSilentlyWithWarningsOff) {
  BMP image = source();
  const WarningsOff off;
  const std::string printed = capturedOutput([&] { Rescale(image, GetParam().mode, GetParam().parameter); });
  EXPECT_EQ(pixelsOf(image), GetParam().expected);
  EXPECT_EQ(printed, "");
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RescaleThinSource,
    ::testing::Values(
        // 1 x 2 to 2 x 4: rows at thirds, the missing right neighbour read twice per pixel
        // in three rows, once per pixel in the last row: (3 x 2 + 1) x 3 channels.
        ThinSourceCase{1, 2, 'H', 4, {{31, 5, 0, 1}, {92, 9, 4, 2}},
                       {{31, 5, 0, 0}, {31, 5, 0, 0},
                        {51, 6, 1, 0}, {51, 6, 1, 0},
                        {71, 7, 2, 0}, {71, 7, 2, 0},
                        {92, 9, 4, 0}, {92, 9, 4, 2}},
                       21},
        // 2 x 1 to 4 x 2: columns at thirds, the missing row below read twice per pixel of
        // the first row and once for its last column: (3 x 2 + 1) x 3 channels.
        ThinSourceCase{2, 1, 'W', 4, {{31, 0, 200, 1}, {92, 4, 100, 2}},
                       {{31, 0, 200, 0}, {51, 1, 166, 0}, {71, 2, 133, 0}, {92, 4, 100, 0},
                        {31, 0, 200, 0}, {51, 1, 166, 0}, {71, 2, 133, 0}, {92, 4, 100, 2}},
                       21},
        // 1 x 1 to 3 x 3: four interior pixels with three missing neighbours each, two
        // last-column and two last-row pixels with one: (4 x 3 + 2 + 2) x 3 channels.
        ThinSourceCase{1, 1, 'P', 300, {{7, 8, 9, 5}},
                       {{7, 8, 9, 0}, {7, 8, 9, 0}, {7, 8, 9, 0},
                        {7, 8, 9, 0}, {7, 8, 9, 0}, {7, 8, 9, 0},
                        {7, 8, 9, 0}, {7, 8, 9, 0}, {7, 8, 9, 5}},
                       48}));

// ---------------------------------------------------------------------------------------
// Rescale: depth, resolution and refusals

class RescaleDepth : public ::testing::TestWithParam<int> {};

TEST_P(RescaleDepth, ComesBackAt24BitsWithoutColourTable) {
  BMP image = patterned(3, 2);
  ASSERT_TRUE(image.SetBitDepth(GetParam()));
  ASSERT_TRUE(Rescale(image, 'P', 100));
  EXPECT_EQ(image.TellBitDepth(), 24);
  EXPECT_EQ(image.TellWidth(), 3);
  const std::string printed = capturedOutput([&] { image.GetColor(0); });
  EXPECT_NE(printed.find("lacks a color table"), std::string::npos) << printed;
}

INSTANTIATE_TEST_SUITE_P(Depths, RescaleDepth, ::testing::Values(1, 4, 8, 16, 32));

TEST(RescaleResolution, IsKeptExactly) {
  testing_support::TempDir dir;
  testing_support::BmpFile file = testing_support::BmpFile::make(2, 1, 24).row({1, 2, 3, 4, 5, 6, 0, 0});
  file.infoHeader.biXPelsPerMeter = 1234;
  file.infoHeader.biYPelsPerMeter = 4321;
  testing_support::writeBytes(dir.file("in.bmp"), file.bytes());
  BMP image;
  ASSERT_TRUE(image.ReadFromFile(dir.file("in.bmp").c_str()));
  ASSERT_TRUE(Rescale(image, 'P', 300));
  ASSERT_TRUE(image.WriteToFile(dir.file("out.bmp").c_str()));
  const testing_support::Bytes written = testing_support::readBytes(dir.file("out.bmp"));
  ASSERT_GE(written.size(), 54u);
  EXPECT_EQ(testing_support::le32(written, 38), 1234u);
  EXPECT_EQ(testing_support::le32(written, 42), 4321u);
}

class RescaleUnknownMode : public ::testing::TestWithParam<char> {
 protected:
  // An 8-bit image with one changed colour-table entry, so that every part can be checked.
  static BMP indexedImage() {
    BMP image = patterned(3, 2);
    image.SetBitDepth(8);
    image.SetColor(5, pixel(1, 2, 3, 4));
    return image;
  }
  static void expectUntouched(BMP& image) {
    EXPECT_EQ(image.TellWidth(), 3);
    EXPECT_EQ(image.TellHeight(), 2);
    EXPECT_EQ(image.TellBitDepth(), 8);
    EXPECT_EQ(rgba(image.GetColor(5)), (Rgba{1, 2, 3, 4}));
    BMP reference = patterned(3, 2);
    EXPECT_EQ(pixelsOf(image), pixelsOf(reference));
  }
};

TEST_P(RescaleUnknownMode, PrintsTheLetterAsGivenAndChangesNothing) {
  BMP image = indexedImage();
  bool result = true;
  const std::string printed = capturedOutput([&] { result = Rescale(image, GetParam(), 50); });
  EXPECT_FALSE(result);
  EXPECT_EQ(printed, std::string("Pixelry Error: Unknown rescale mode ") + GetParam() + " requested\n");
  expectUntouched(image);
}

TEST_P(RescaleUnknownMode, IsSilentWithWarningsOff) {
  BMP image = indexedImage();
  const WarningsOff off;
  bool result = true;
  const std::string printed = capturedOutput([&] { result = Rescale(image, GetParam(), 50); });
  EXPECT_FALSE(result);
  EXPECT_EQ(printed, "");
  expectUntouched(image);
}

// 'q' must print as 'q', not as the folded 'Q'; a byte above 127 must not upset the
// case folding.
INSTANTIATE_TEST_SUITE_P(Letters, RescaleUnknownMode, ::testing::Values('x', 'q', 'Q', '?', '\xE9'));

TEST(RescaleRefused, TooLargeATargetLeavesTheImageAndReturnsFalse) {
  BMP image = patterned(100, 100);
  bool result = true;
  const std::string printed = capturedOutput([&] { result = Rescale(image, 'P', INT_MAX); });
  EXPECT_FALSE(result);
  EXPECT_EQ(image.TellWidth(), 100);
  EXPECT_EQ(image.TellHeight(), 100);
  EXPECT_EQ(rgba(*image(99, 99)), rgba(patternAt(99, 99)));
  EXPECT_NE(printed.find("Size remains unchanged at 100 x 100."), std::string::npos) << printed;
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
  EXPECT_EQ(printed,
            "Pixelry Warning: Attempted to access non-existent pixel;\n"
            "                 Truncating request to fit in the range [0,1] x [0,1].\n"
            "Pixelry Warning: Attempted to access non-existent pixel;\n"
            "                 Truncating request to fit in the range [0,2] x [0,2].\n");
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
  EXPECT_EQ(occurrences(printed, kClampWarning), GetParam().sourceLookups);
  EXPECT_EQ(rgba(*to(0, 0)), GetParam().copied ? (Rgba{10, 20, 30, 40}) : (Rgba{1, 1, 1, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Colours, TransparentCopy,
    ::testing::Values(TransparentCase{"AlphaDiffersOnly", pixel(10, 20, 30, 99), false, 3},
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
        RangeCase{"NegativeTopKeepsTheDestination", 3, 5, 0, 1, -3, 2, 4, 6, 1, 2, /*block*/ 0, 0, 2, 3, 1, 2},
        RangeCase{"BoundsBeyondTheSource", 3, 3, 1, 50, 40, 1, 8, 8, 2, 2, /*block*/ 1, 1, 2, 2, 2, 2},
        RangeCase{"PastTheDestinationsEdges", 5, 5, 0, 4, 0, 4, 3, 3, 1, 1, /*block*/ 0, 0, 2, 2, 1, 1},
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
  EXPECT_EQ(occurrences(printed, kClampWarning), 2);
}

TEST(RangedCopyClamped, NegativeDestinationRowPilesOntoRowZero) {
  BMP from = patterned(1, 3);
  BMP to = imageOf(1, 2, {pixel(1, 1, 1), pixel(1, 1, 1)});
  const std::string printed = capturedOutput([&] { RangedPixelToPixelCopy(from, 0, 0, 0, 2, to, 0, -1); });
  const std::vector<Rgba> expected = {rgba(patternAt(0, 1)), rgba(patternAt(0, 2))};
  EXPECT_EQ(pixelsOf(to), expected);
  EXPECT_EQ(occurrences(printed, kClampWarning), 1);
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
                         ::testing::Values(RampCase{1, 255}, RampCase{4, 17}, RampCase{8, 1}));

class GrayscaleTableRefused : public ::testing::TestWithParam<int> {};

TEST_P(GrayscaleTableRefused, WarnsAndReturnsFalse) {
  BMP image = patterned(2, 2);
  ASSERT_TRUE(image.SetBitDepth(GetParam()));
  bool result = true;
  const std::string printed = capturedOutput([&] { result = CreateGrayscaleColorTable(image); });
  EXPECT_FALSE(result);
  EXPECT_EQ(printed,
            "Pixelry Warning: Attempted to create color table at a bit\n"
            "                 depth that does not require a color table.\n"
            "                 Ignoring request.\n");
  EXPECT_EQ(image.TellBitDepth(), GetParam());
  BMP reference = patterned(2, 2);
  EXPECT_EQ(pixelsOf(image), pixelsOf(reference));
}

TEST_P(GrayscaleTableRefused, IsSilentWithWarningsOff) {
  BMP image;
  ASSERT_TRUE(image.SetBitDepth(GetParam()));
  const WarningsOff off;
  bool result = true;
  const std::string printed = capturedOutput([&] { result = CreateGrayscaleColorTable(image); });
  EXPECT_FALSE(result);
  EXPECT_EQ(printed, "");
}

INSTANTIATE_TEST_SUITE_P(Depths, GrayscaleTableRefused, ::testing::Values(16, 24, 32));
