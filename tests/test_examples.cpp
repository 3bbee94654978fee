// The example programs bmpinfo, bmpscale and bmpconvert, run as a user would run them.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Messages.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/RoundTrip.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

const std::string kSuite = std::string(PIXELRY_TEST_DATA) + "/bmpsuite/";

long lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

// DisplayBitmapInfo's listing of one file: a title, both headers and their blank lines.
constexpr std::size_t kListingLines = 22;

Launch binaryOutput(Launch launch) {
  launch.text = false;
  return launch;
}

// What a program prints to standard error alone: its standard output goes to the null
// device, or to the file launch names.
ProgramRun errorsOf(const std::string& program, const std::vector<std::string>& arguments,
                    Launch launch = {}) {
  if (launch.output.empty()) launch.output = kNullDevice;
  return runProgram(program, arguments, launch);
}

// A run whose standard error goes to the test's own, with standard input from a file
// (none: empty).
Launch errorsApart(const std::string& input = "") {
  Launch launch;
  launch.errors = Errors::apart;
  launch.input = input;
  return launch;
}

std::vector<Rgba> tableRgba(const BMP& image) {
  std::vector<Rgba> table;
  for (const RGBApixel& entry : tableOf(image)) table.push_back(rgba(entry));
  return table;
}

// The first pixel where two equally sized pixel lists differ, as text; empty when none.
std::string firstDifference(const std::vector<Rgba>& expected, const std::vector<Rgba>& actual, int width) {
  if (expected.size() != actual.size())
    return std::to_string(actual.size()) + " pixels, expected " + std::to_string(expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (expected[i] != actual[i]) {
      const auto show = [](const Rgba& p) {
        return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + "," +
               std::to_string(p[3]);
      };
      return "pixel (" + std::to_string(i % static_cast<std::size_t>(width)) + ", " +
             std::to_string(i / static_cast<std::size_t>(width)) + "): " + show(actual[i]) + ", expected " +
             show(expected[i]);
    }
  return "";
}

// The image a direct full read of a bmpsuite file gives.
BMP readDirectly(const std::string& path) {
  BMP image;
  const pixelry::Result result = pixelry::readFile(image, path.c_str());
  EXPECT_TRUE(result) << result.message;
  return image;
}

class Examples : public ::testing::Test {
 protected:
  // A 4 x 2 image at 24 bits: a blue left half and a red right half.
  std::string writeInput() {
    const std::string path = dir.file("in.bmp");
    writeBytes(path, BmpFile::make(4, 2, 24)
                         .row({255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255})
                         .row({255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255})
                         .bytes());
    return path;
  }

  TempDir dir;
};

// What bmpinfo adds after the listing of writeInput's file.
const std::vector<std::string> kInputDescription = {"Header kind: Windows BITMAPINFOHEADER (40 bytes)",
                                                    "Pixels: 4 x 2 at 24 bits",
                                                    "Compression: none",
                                                    "Row order: bottom-up",
                                                    "Colour table: none",
                                                    "Classic reader (BMP::ReadFromFile): accepts",
                                                    "Full reader (pixelry::readFile): reads",
                                                    ""};

}  // namespace

TEST_F(Examples, BmpinfoListsEveryFileGiven) {
  const std::string input = writeInput();
  const ProgramRun result = runProgram(BMPINFO_PATH, {input, input});
  EXPECT_EQ(result.status, 0);
  const std::size_t perFile = kListingLines + kInputDescription.size();
  const std::vector<std::string> all = result.lines();
  ASSERT_EQ(all.size(), 2 * perFile) << result.output;
  EXPECT_EQ(
      result.output.find("File information for file " + input + ":\n\nBITMAPFILEHEADER:\nbfType: 19778\n"),
      0u)
      << result.output;
  EXPECT_NE(result.output.find("\nbiWidth: 4\nbiHeight: 2\nbiPlanes: 1\nbiBitCount: 24\n"), std::string::npos)
      << result.output;
  for (const std::size_t start : {kListingLines, perFile + kListingLines})
    EXPECT_EQ(
        std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(start),
                                 all.begin() + static_cast<std::ptrdiff_t>(start + kInputDescription.size())),
        kInputDescription);
}

TEST_F(Examples, BmpinfoFailsAfterTheLibrarysMessageButListsTheOthers) {
  const std::string input = writeInput();
  const std::string missing = dir.file("missing.bmp");
  const ProgramRun result = runProgram(BMPINFO_PATH, {missing, input});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.find(cannotInitialize(missing) + "File information for file " + input + ":\n"), 0u)
      << result.output;
  EXPECT_EQ(lines(result.output), static_cast<long>(2 + kListingLines + kInputDescription.size()));
}

// The classic reader is asked with the messages off, and the switch is back on after it:
// the refusal of an OS/2 file stays silent, the missing file after it is reported.
TEST_F(Examples, BmpinfoAsksTheClassicReaderSilentlyAndTurnsTheMessagesBackOn) {
  const std::string os2 = kSuite + "good/pal8os2.bmp";
  const std::string missing = dir.file("missing.bmp");
  const ProgramRun result = runProgram(BMPINFO_PATH, {os2, missing});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.find("Pixelry Error: " + os2), std::string::npos) << result.output;
  const std::string report = cannotInitialize(missing);
  ASSERT_GE(result.output.size(), report.size());
  EXPECT_EQ(result.output.substr(result.output.size() - report.size()), report) << result.output;
  EXPECT_EQ(lines(result.output), static_cast<long>(kListingLines + kInputDescription.size() + 2));
}

struct Description {
  const char* name;
  const char* file;                // in the bmpsuite folder
  std::vector<std::string> lines;  // after the listing, NAME standing for the path given
};

void PrintTo(const Description& d, std::ostream* os) { *os << d.name; }

class BmpinfoDescribes : public ::testing::TestWithParam<Description> {};

TEST_P(BmpinfoDescribes, TheKindOfFileAndWhichReadersTakeIt) {
  const std::string path = kSuite + GetParam().file;
  const ProgramRun result = runProgram(BMPINFO_PATH, {path});
  EXPECT_EQ(result.status, 0);
  std::vector<std::string> expected;
  for (const std::string& line : GetParam().lines) expected.push_back(withName(line, path));
  expected.emplace_back("");
  const std::vector<std::string> all = result.lines();
  ASSERT_EQ(all.size(), kListingLines + expected.size()) << result.output;
  EXPECT_EQ(all.front(), "File information for file " + path + ":");
  EXPECT_EQ(std::vector<std::string>(all.begin() + kListingLines, all.end()), expected);
}

const char kClassicAccepts[] = "Classic reader (BMP::ReadFromFile): accepts";
const char kClassicRefuses[] = "Classic reader (BMP::ReadFromFile): refuses";
const char kFullReads[] = "Full reader (pixelry::readFile): reads";

INSTANTIATE_TEST_SUITE_P(
    Bmpsuite, BmpinfoDescribes,
    ::testing::Values(
        Description{"V5",
                    "good/pal8v5.bmp",
                    {"Header kind: Windows BITMAPV5HEADER (124 bytes)", "Pixels: 127 x 64 at 8 bits",
                     "Compression: none", "Row order: bottom-up", "Colour table: 252 entries",
                     kClassicAccepts, kFullReads}},
        Description{
            "V5AlphaMask",
            "questionable/rgba32-1.bmp",
            {"Header kind: Windows BITMAPV5HEADER (124 bytes)", "Pixels: 127 x 64 at 32 bits",
             "Compression: bit fields",
             "Masks: red 0x00FF0000, green 0x0000FF00, blue 0x000000FF, alpha 0xFF000000 (in the header)",
             "Row order: bottom-up", "Colour table: none", kClassicRefuses, kFullReads}},
        Description{"V4",
                    "good/pal8v4.bmp",
                    {"Header kind: Windows BITMAPV4HEADER (108 bytes)", "Pixels: 127 x 64 at 8 bits",
                     "Compression: none", "Row order: bottom-up", "Colour table: 252 entries",
                     kClassicAccepts, kFullReads}},
        Description{
            "V3",
            "questionable/rgba32h56.bmp",
            {"Header kind: Windows BITMAPV3INFOHEADER (56 bytes)", "Pixels: 127 x 64 at 32 bits",
             "Compression: bit fields",
             "Masks: red 0xFF000000, green 0x0000FF00, blue 0x000000FF, alpha 0x00FF0000 (in the header)",
             "Row order: bottom-up", "Colour table: none", kClassicRefuses, kFullReads}},
        Description{"V2",
                    "questionable/rgb32h52.bmp",
                    {"Header kind: Windows BITMAPV2INFOHEADER (52 bytes)", "Pixels: 127 x 64 at 32 bits",
                     "Compression: bit fields",
                     "Masks: red 0xFF000000, green 0x0000FF00, blue 0x000000FF (in the header)",
                     "Row order: bottom-up", "Colour table: none", kClassicRefuses, kFullReads}},
        Description{"Os2Core",
                    "good/pal8os2.bmp",
                    {"Header kind: OS/2 1.x BITMAPCOREHEADER (12 bytes)", "Pixels: 127 x 64 at 8 bits",
                     "Compression: none", "Row order: bottom-up", "Colour table: 256 entries",
                     kClassicRefuses, kFullReads}},
        Description{
            "Os2ShortHeader",
            "questionable/pal8os2v2-16.bmp",
            {"Header kind: OS/2 2.x header (16 bytes)", "Pixels: 127 x 64 at 8 bits", "Compression: none",
             "Row order: bottom-up", "Colour table: 256 entries", kClassicRefuses, kFullReads}},
        Description{
            "Os2Huffman",
            "questionable/pal1huffmsb.bmp",
            {"Header kind: OS/2 2.x header (64 bytes)", "Pixels: 127 x 64 at 1 bits",
             "Compression: OS/2 Huffman 1D", "Row order: bottom-up", "Colour table: 2 entries",
             kClassicRefuses,
             "Full reader (pixelry::readFile): refuses: NAME uses OS/2 Huffman 1D compression, which Pixelry "
             "does not read."}},
        Description{
            "Os2Rle24",
            "questionable/rgb24rle24.bmp",
            {"Header kind: OS/2 2.x header (64 bytes)", "Pixels: 127 x 64 at 24 bits",
             "Compression: OS/2 RLE24", "Row order: bottom-up", "Colour table: none", kClassicRefuses,
             "Full reader (pixelry::readFile): refuses: NAME uses OS/2 RLE24 compression, which Pixelry does "
             "not read."}},
        Description{"Rle8",
                    "good/pal8rle.bmp",
                    {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 8 bits",
                     "Compression: RLE8", "Row order: bottom-up", "Colour table: 252 entries",
                     kClassicRefuses, kFullReads}},
        Description{"Rle4",
                    "good/pal4rle.bmp",
                    {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 4 bits",
                     "Compression: RLE4", "Row order: bottom-up", "Colour table: 12 entries", kClassicRefuses,
                     kFullReads}},
        Description{"TopDown",
                    "good/pal8topdown.bmp",
                    {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 8 bits",
                     "Compression: none", "Row order: top-down", "Colour table: 252 entries", kClassicRefuses,
                     kFullReads}},
        Description{"MasksAfterTheHeader",
                    "good/rgb16-565.bmp",
                    {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 16 bits",
                     "Compression: bit fields",
                     "Masks: red 0x0000F800, green 0x000007E0, blue 0x0000001F (after the header)",
                     "Row order: bottom-up", "Colour table: none", kClassicAccepts, kFullReads}},
        Description{"FourthByteAlpha",
                    "questionable/rgb32fakealpha.bmp",
                    {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 32 bits",
                     "Compression: none", "Alpha: the fourth byte of each pixel, not 0 in every one",
                     "Row order: bottom-up", "Colour table: none", kClassicAccepts, kFullReads}},
        Description{
            "AlphaMaskAfterTheHeader",
            "questionable/rgba32abf.bmp",
            {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 32 bits",
             "Compression: alpha bit fields",
             "Masks: red 0xFF000000, green 0x0000FF00, blue 0x000000FF, alpha 0x00FF0000 (after the header)",
             "Row order: bottom-up", "Colour table: none", kClassicRefuses, kFullReads}},
        Description{
            "TableBeside24Bits",
            "good/rgb24pal.bmp",
            {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 24 bits",
             "Compression: none", "Row order: bottom-up",
             "Colour table: 256 entries (not used by the pixels)", kClassicAccepts,
             "Full reader (pixelry::readFile): reads; warning: Extra meta data detected in file NAME Data "
             "will be skipped."}},
        Description{"TableCutByTheOffset",
                    "good/pal8.bmp",
                    {"Header kind: Windows BITMAPINFOHEADER (40 bytes)", "Pixels: 127 x 64 at 8 bits",
                     "Compression: none", "Row order: bottom-up", "Colour table: 252 entries",
                     kClassicAccepts, kFullReads}},
        Description{
            "Jpeg",
            "questionable/rgb24jpeg.bmp",
            {"Header kind: Windows BITMAPV5HEADER (124 bytes)", "Pixels: 127 x 64 at 0 bits",
             "Compression: JPEG", "Row order: bottom-up", "Colour table: none", kClassicRefuses,
             "Full reader (pixelry::readFile): refuses: NAME uses an embedded JPEG image, which Pixelry does "
             "not read."}},
        Description{
            "Png",
            "questionable/rgb24png.bmp",
            {"Header kind: Windows BITMAPV5HEADER (124 bytes)", "Pixels: 127 x 64 at 0 bits",
             "Compression: PNG", "Row order: bottom-up", "Colour table: none", kClassicRefuses,
             "Full reader (pixelry::readFile): refuses: NAME uses an embedded PNG image, which Pixelry does "
             "not read."}},
        Description{
            "BitmapArray",
            "questionable/ba-bm.bmp",
            {"Header kind: OS/2 bitmap array (\"BA\" signature)", kClassicRefuses,
             "Full reader (pixelry::readFile): refuses: NAME uses an OS/2 bitmap array, which Pixelry does "
             "not read."}}),
    [](const auto& info) { return std::string(info.param.name); });

struct WrongCommandLine {
  const char* name;
  const char* program;
  std::vector<std::string> arguments;
  int status;
  const char* usage;     // how the one line begins
  bool onStandardError;  // rather than on standard output
};

void PrintTo(const WrongCommandLine& w, std::ostream* os) { *os << w.name; }

class ProgramUsage : public ::testing::TestWithParam<WrongCommandLine> {};

TEST_P(ProgramUsage, WrongCommandLinePrintsOneUsageLine) {
  const WrongCommandLine& row = GetParam();
  const ProgramRun result = row.onStandardError ? errorsOf(row.program, row.arguments)
                                                : runProgram(row.program, row.arguments, errorsApart());
  EXPECT_EQ(result.status, row.status);
  EXPECT_EQ(result.output.rfind(row.usage, 0), 0u) << result.output;
  EXPECT_EQ(lines(result.output), 1);
}

const char kBmpinfoUsage[] = "Usage: bmpinfo FILE...";
const char kBmpscaleUsage[] = "Usage: bmpscale IN OUT MODE N [BITS]";
const char kBmpconvertUsage[] =
    "Usage: bmpconvert IN OUT [BITS] [--layout 565|555|1555|4444] [--palette standard|adaptive] [--dither] "
    "[--rle] [--as-stored]";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ProgramUsage,
    ::testing::Values(
        WrongCommandLine{"BmpinfoNone", BMPINFO_PATH, {}, 1, kBmpinfoUsage, false},
        WrongCommandLine{"BmpscaleNone", BMPSCALE_PATH, {}, 1, kBmpscaleUsage, false},
        WrongCommandLine{
            "BmpscaleNoNumber", BMPSCALE_PATH, {"in.bmp", "out.bmp", "P"}, 1, kBmpscaleUsage, false},
        WrongCommandLine{
            "BmpscaleTwoLetters", BMPSCALE_PATH, {"in.bmp", "out.bmp", "PW", "50"}, 1, kBmpscaleUsage, false},
        WrongCommandLine{
            "BmpscaleNoLetter", BMPSCALE_PATH, {"in.bmp", "out.bmp", "", "50"}, 1, kBmpscaleUsage, false},
        WrongCommandLine{"BmpscaleNumberInWords",
                         BMPSCALE_PATH,
                         {"in.bmp", "out.bmp", "P", "fifty"},
                         1,
                         kBmpscaleUsage,
                         false},
        WrongCommandLine{"BmpscaleNumberWithATail",
                         BMPSCALE_PATH,
                         {"in.bmp", "out.bmp", "P", "50x"},
                         1,
                         kBmpscaleUsage,
                         false},
        WrongCommandLine{"BmpscaleNumberBeyondInt",
                         BMPSCALE_PATH,
                         {"in.bmp", "out.bmp", "P", "99999999999"},
                         1,
                         kBmpscaleUsage,
                         false},
        WrongCommandLine{"BmpscaleDepthInWords",
                         BMPSCALE_PATH,
                         {"in.bmp", "out.bmp", "P", "50", "eight"},
                         1,
                         kBmpscaleUsage,
                         false},
        WrongCommandLine{"BmpscaleOneTooMany",
                         BMPSCALE_PATH,
                         {"in.bmp", "out.bmp", "P", "50", "8", "x"},
                         1,
                         kBmpscaleUsage,
                         false},
        WrongCommandLine{"BmpscaleUnknownPalette",
                         BMPSCALE_PATH,
                         {"in.bmp", "out.bmp", "P", "50", "8", "--palette", "median"},
                         1,
                         kBmpscaleUsage,
                         false},
        WrongCommandLine{"BmpscalePaletteWithoutAName",
                         BMPSCALE_PATH,
                         {"in.bmp", "out.bmp", "P", "50", "--palette"},
                         1,
                         kBmpscaleUsage,
                         false},
        WrongCommandLine{"BmpconvertNone", BMPCONVERT_PATH, {}, 2, kBmpconvertUsage, true},
        WrongCommandLine{"BmpconvertUnknownPalette",
                         BMPCONVERT_PATH,
                         {"in.bmp", "out.bmp", "8", "--palette", "Adaptive"},
                         2,
                         kBmpconvertUsage,
                         true},
        WrongCommandLine{"BmpconvertPaletteWithoutAName",
                         BMPCONVERT_PATH,
                         {"in.bmp", "out.bmp", "--palette"},
                         2,
                         kBmpconvertUsage,
                         true},
        WrongCommandLine{"BmpconvertNoOutput", BMPCONVERT_PATH, {"in.bmp"}, 2, kBmpconvertUsage, true},
        WrongCommandLine{
            "BmpconvertUnknownDepth", BMPCONVERT_PATH, {"in.bmp", "out.bmp", "7"}, 2, kBmpconvertUsage, true},
        WrongCommandLine{"BmpconvertDepthInWords",
                         BMPCONVERT_PATH,
                         {"in.bmp", "out.bmp", "eight"},
                         2,
                         kBmpconvertUsage,
                         true},
        WrongCommandLine{"BmpconvertDepthWithATail",
                         BMPCONVERT_PATH,
                         {"in.bmp", "out.bmp", "8x"},
                         2,
                         kBmpconvertUsage,
                         true},
        WrongCommandLine{"BmpconvertLayoutWithoutAName",
                         BMPCONVERT_PATH,
                         {"in.bmp", "out.bmp", "16", "--layout"},
                         2,
                         kBmpconvertUsage,
                         true},
        WrongCommandLine{"BmpconvertUnknownLayout",
                         BMPCONVERT_PATH,
                         {"in.bmp", "out.bmp", "--layout", "5551"},
                         2,
                         kBmpconvertUsage,
                         true},
        WrongCommandLine{
            "BmpconvertHelpWithFiles", BMPCONVERT_PATH, {"--help", "in.bmp"}, 2, kBmpconvertUsage, true},
        WrongCommandLine{"BmpconvertOneTooMany",
                         BMPCONVERT_PATH,
                         {"in.bmp", "out.bmp", "8", "x"},
                         2,
                         kBmpconvertUsage,
                         true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Examples, BmpscaleWritesTheRescaledImageAtTheDepthAsked) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = runProgram(BMPSCALE_PATH, {input, output, "p", "200", "8"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  BMP image;
  ASSERT_TRUE(image.ReadFromFile(output.c_str()));
  EXPECT_EQ(image.TellWidth(), 8);
  EXPECT_EQ(image.TellHeight(), 4);
  EXPECT_EQ(image.TellBitDepth(), 8);
  EXPECT_EQ(image(0, 0)->Blue, 255);
  EXPECT_EQ(image(7, 3)->Red, 255);
}

TEST_F(Examples, BmpscaleWritesAt24BitsByDefault) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = runProgram(BMPSCALE_PATH, {input, output, "W", "2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(GetBitmapColorDepth(output.c_str()), 24);
  const BMIH header = GetBMIH(output.c_str());
  EXPECT_EQ(header.biWidth, 2u);
  EXPECT_EQ(header.biHeight, 1u);
}

// The colour-table options of bmpscale and bmpconvert, on a picture of many colours.
struct PaletteChoice {
  const char* name;
  const char* program;
  std::vector<std::string> tail;  // after IN OUT: bmpscale's MODE N first
  const char* bits;
  std::vector<std::string> options;
  bool standardTable;  // else a table made for the picture, at 1, 4 and 8 bits
  bool dithered;       // some pixel is not its nearest entry
  std::uint32_t compression = 0;
};

void PrintTo(const PaletteChoice& c, std::ostream* os) { *os << c.name; }

class PaletteChoices : public Examples, public ::testing::WithParamInterface<PaletteChoice> {};

TEST_P(PaletteChoices, GiveTheTableAndTheMappingAsked) {
  const PaletteChoice& row = GetParam();
  const std::string output = dir.file("out.bmp");
  std::vector<std::string> arguments = {kSuite + "good/rgb24.bmp", output};
  arguments.insert(arguments.end(), row.tail.begin(), row.tail.end());
  arguments.emplace_back(row.bits);
  arguments.insert(arguments.end(), row.options.begin(), row.options.end());
  ASSERT_EQ(runProgram(row.program, arguments, errorsApart()).status, 0);
  BMP direct, written, standard;
  ASSERT_TRUE(pixelry::readFile(direct, arguments[0].c_str()));
  ASSERT_TRUE(pixelry::readFile(written, output.c_str()));
  const int bits = written.TellBitDepth();
  ASSERT_EQ(std::to_string(bits), row.bits);
  standard.SetBitDepth(bits);
  const Palette table = tableOf(written);
  if (bits <= 8) {
    EXPECT_EQ(tableRgba(written) == tableRgba(standard), row.standardTable);
  }
  bool dithered = false;
  for (int y = 0; y < direct.TellHeight(); ++y)
    for (int x = 0; x < direct.TellWidth(); ++x)
      dithered =
          dithered || rgba(written.GetPixel(x, y)) != afterRoundTrip(bits, table, direct.GetPixel(x, y));
  EXPECT_EQ(dithered, row.dithered);
  EXPECT_EQ(GetBMIH(output.c_str()).biCompression, row.compression);
}

const std::vector<std::string> kFullSize = {"P", "100"};

INSTANTIATE_TEST_SUITE_P(
    Programs, PaletteChoices,
    ::testing::Values(
        PaletteChoice{"BmpscaleMakesATable", BMPSCALE_PATH, kFullSize, "8", {}, false, false},
        PaletteChoice{
            "BmpscaleStandard", BMPSCALE_PATH, kFullSize, "4", {"--palette", "standard"}, true, false},
        PaletteChoice{"BmpscaleDithers", BMPSCALE_PATH, kFullSize, "1", {"--dither"}, false, true},
        PaletteChoice{"BmpscaleDithersStandard",
                      BMPSCALE_PATH,
                      kFullSize,
                      "8",
                      {"--dither", "--palette", "standard"},
                      true,
                      true},
        PaletteChoice{"BmpscaleIgnoresThemAt24", BMPSCALE_PATH, kFullSize, "24", {"--dither"}, false, false},
        PaletteChoice{"BmpconvertMakesATable", BMPCONVERT_PATH, {}, "4", {}, false, false},
        PaletteChoice{"BmpconvertByRuns", BMPCONVERT_PATH, {}, "8", {"--rle"}, false, false, 1},
        PaletteChoice{"BmpconvertDithersByRuns",
                      BMPCONVERT_PATH,
                      {},
                      "4",
                      {"--rle", "--dither", "--palette", "standard"},
                      true,
                      true,
                      2},
        PaletteChoice{"BmpconvertDithers", BMPCONVERT_PATH, {}, "8", {"--dither"}, false, true},
        PaletteChoice{"BmpconvertDithersStandard",
                      BMPCONVERT_PATH,
                      {},
                      "1",
                      {"--palette", "standard", "--dither"},
                      true,
                      true},
        PaletteChoice{"BmpconvertIgnoresThemAt24",
                      BMPCONVERT_PATH,
                      {},
                      "24",
                      {"--dither", "--palette", "standard"},
                      false,
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

class BmpscaleFullReader : public Examples, public ::testing::WithParamInterface<const char*> {};

// Files only the full reader takes are rescaled as the library rescales their full read.
TEST_P(BmpscaleFullReader, RescalesWhatTheFullReaderReads) {
  const std::string input = kSuite + GetParam();
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = runProgram(BMPSCALE_PATH, {input, output, "P", "50"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  BMP expected = readDirectly(input);
  ASSERT_TRUE(Rescale(expected, 'P', 50));
  std::vector<Rgba> pixels;
  for (const Rgba& p : pixelsOf(expected)) pixels.push_back({p[0], p[1], p[2], 0});
  BMP written;
  ASSERT_TRUE(pixelry::readFile(written, output.c_str()));
  EXPECT_EQ(written.TellBitDepth(), 24);
  EXPECT_EQ(firstDifference(pixels, pixelsOf(written), expected.TellWidth()), "");
}

INSTANTIATE_TEST_SUITE_P(Bmpsuite, BmpscaleFullReader,
                         ::testing::Values("good/pal8rle.bmp", "good/pal8topdown.bmp", "good/pal8os2.bmp",
                                           "questionable/rgba32-1.bmp"),
                         [](const auto& info) {
                           std::string name = std::filesystem::path(info.param).stem().string();
                           name.erase(
                               std::remove_if(name.begin(), name.end(), [](char c) { return c == '-'; }),
                               name.end());
                           return name;
                         });

struct Refusal {
  const char* name;
  std::vector<std::string> tail;  // MODE N [BITS]
  std::string message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class BmpscaleRefusal : public Examples, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BmpscaleRefusal, FailsAfterTheLibrarysMessageWithoutWriting) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  std::vector<std::string> arguments = {input, output};
  arguments.insert(arguments.end(), GetParam().tail.begin(), GetParam().tail.end());
  const ProgramRun result = runProgram(BMPSCALE_PATH, arguments);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.rfind(GetParam().message, 0), 0u) << result.output;
  EXPECT_FALSE(std::filesystem::exists(output));
}

INSTANTIATE_TEST_SUITE_P(Arguments, BmpscaleRefusal,
                         ::testing::Values(Refusal{"UnknownMode", {"x", "50"}, unknownMode('x')},
                                           Refusal{
                                               "UnsupportedDepth", {"P", "50", "7"}, depthRefused(7, 24)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Examples, BmpconvertHelpListsEveryOption) {
  const ProgramRun result = runProgram(BMPCONVERT_PATH, {"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output.rfind(kBmpconvertUsage, 0), 0u) << result.output;
  for (const char* option : {"IN, OUT", "BITS", "--layout L", "--as-stored", "--help", "565", "555", "1555",
                             "4444", "--palette P", "standard", "adaptive", "--dither", "--rle"})
    EXPECT_NE(result.output.find(option), std::string::npos) << option;
}

// A file with a colour profile: converted to sRGB without a profile by default; with
// --as-stored, its values and its profile are kept, through any number of conversions.
TEST_F(Examples, BmpconvertConvertsColoursOrKeepsThemAndTheirProfile) {
  const std::string input = kSuite + "questionable/rgb24prof2.bmp";
  const std::string converted = dir.file("converted.bmp"), kept = dir.file("kept.bmp"),
                    again = dir.file("again.bmp");
  ASSERT_EQ(runProgram(BMPCONVERT_PATH, {input, converted}).status, 0);
  ASSERT_EQ(runProgram(BMPCONVERT_PATH, {input, kept, "--as-stored"}).status, 0);
  ASSERT_EQ(runProgram(BMPCONVERT_PATH, {kept, again, "--as-stored"}).status, 0);
  pixelry::Info in, out;
  ASSERT_TRUE(pixelry::probeFile(input.c_str(), in));
  ASSERT_FALSE(in.profile.empty());
  ASSERT_TRUE(pixelry::probeFile(converted.c_str(), out));
  EXPECT_TRUE(out.profile.empty());
  BMP direct, written;
  ASSERT_TRUE(pixelry::readFile(direct, input.c_str()));
  ASSERT_TRUE(pixelry::readFile(written, converted.c_str()));
  EXPECT_EQ(pixelsOf(written), pixelsOf(direct));
  ASSERT_TRUE(pixelry::probeFile(kept.c_str(), out));
  EXPECT_EQ(out.profile, in.profile);
  pixelry::ReadOptions asStored;
  asStored.colour = pixelry::Colour::asStored;
  ASSERT_TRUE(pixelry::readFile(direct, input.c_str(), asStored));
  ASSERT_TRUE(pixelry::readFile(written, kept.c_str(), asStored));
  EXPECT_EQ(pixelsOf(written), pixelsOf(direct));
  EXPECT_EQ(readBytes(again), readBytes(kept));
}

// A conversion by bmpconvert, file to file.
struct Conversion {
  const char* name;
  const char* file;  // in the bmpsuite folder
  const char* bits;  // the BITS argument; empty: none
  int depth;         // of the file written
  // At 16 bits, the layout written (565, 555, 1555 or 4444), and whether --layout asks for it.
  const char* layout = "565";
  bool asked = false;
  const char* said = "";  // on standard error
  // At 1, 4 and 8 bits: --palette's argument, or empty for none.
  const char* palette = "";
};

void PrintTo(const Conversion& c, std::ostream* os) { *os << c.name; }

class BmpconvertConverts : public Examples, public ::testing::WithParamInterface<Conversion> {};

// A pixel written at 16 bits as the full reader reads it back: each channel quantised to
// its n bits of the layout (5-6-5 keeps the top bits, the others round to the nearest
// level), then widened to round(v x 255 / (2^n - 1)). alpha is what the row carried.
Rgba atSixteenBits(const RGBApixel& p, int alpha, const std::string& layout) {
  const auto widened = [](int v, int n) { return (2 * v * 255 + (1 << n) - 1) / (2 * ((1 << n) - 1)); };
  const auto level = [&layout](int v, int n) {
    return layout == "565" ? v >> (8 - n) : (v * ((1 << n) - 1) + 127) / 255;
  };
  const int n = layout == "4444" ? 4 : 5, green = layout == "565" ? 6 : n;
  const int alphaBits = layout == "1555" ? 1 : layout == "4444" ? 4 : 0;
  return {widened(level(p.Red, n), n), widened(level(p.Green, green), green), widened(level(p.Blue, n), n),
          alphaBits == 0 ? 0 : widened(level(alpha, alphaBits), alphaBits)};
}

// The file written reads back as the direct full read, by the rules of its depth: exact at
// 32 bits (alpha kept; Alpha 255 from a file without alpha), Alpha 0 at 24, the layout's
// levels at 16, the nearest entry at 1, 4 and 8 bits of the file's own table (same depth),
// of the standard one, or of a table made for the picture, which holds every colour of a
// picture with few. What the conversion loses is said on standard error.
TEST_P(BmpconvertConverts, AndTheFileReadsBackAsTheDirectRead) {
  const Conversion& row = GetParam();
  const std::string input = kSuite + row.file;
  const std::string output = dir.file("out.bmp");
  std::vector<std::string> arguments = {input, output};
  if (*row.bits != '\0') arguments.emplace_back(row.bits);
  if (row.asked) arguments.insert(arguments.begin(), {"--layout", row.layout});
  if (*row.palette != '\0') arguments.insert(arguments.end(), {"--palette", row.palette});
  const ProgramRun result = runProgram(BMPCONVERT_PATH, arguments);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, row.said);

  BMP direct;
  const pixelry::Result directRead = pixelry::readFile(direct, input.c_str());
  ASSERT_TRUE(directRead) << directRead.message;
  BMP written;
  const pixelry::Result read = pixelry::readFile(written, output.c_str());
  ASSERT_TRUE(read) << read.message;
  EXPECT_EQ(read.warnings, std::vector<std::string>());
  EXPECT_EQ(written.TellBitDepth(), row.depth);
  EXPECT_EQ(written.TellWidth(), direct.TellWidth());
  EXPECT_EQ(written.TellHeight(), direct.TellHeight());
  const bool sixteenBitAlpha = row.depth == 16 && std::string(row.layout).size() == 4;
  const BMIH header = GetBMIH(output.c_str());
  EXPECT_EQ(header.biSize, row.depth == 32 || sixteenBitAlpha ? 108u : 40u)
      << "alpha needs masks in the header";

  Palette table;
  const bool madeTable = row.depth <= 8 && (std::string(row.palette) == "adaptive" ||
                                            (*row.palette == '\0' && row.depth != direct.TellBitDepth()));
  if (madeTable) {
    table = tableOf(written);
  } else if (row.depth <= 8) {
    BMP standard;
    standard.SetBitDepth(row.depth);
    table = tableOf(*row.palette == '\0' ? direct : standard);
    std::vector<Rgba> expectedTable;
    for (const RGBApixel& entry : table) expectedTable.push_back(rgba(entry));
    EXPECT_EQ(tableRgba(written), expectedTable);
  }
  std::vector<Rgba> expected;
  for (int y = 0; y < direct.TellHeight(); ++y)
    for (int x = 0; x < direct.TellWidth(); ++x) {
      const RGBApixel p = direct.GetPixel(x, y);
      const int alpha = directRead.alpha ? p.Alpha : 255;  // a file without alpha is written opaque
      Rgba pixel =
          row.depth == 16 ? atSixteenBits(p, alpha, row.layout) : afterRoundTrip(row.depth, table, p);
      if (row.depth == 32) pixel[3] = alpha;
      if (madeTable && *row.said == '\0') {
        EXPECT_EQ(pixel, afterRoundTrip(24, {}, p)) << "a colour missing";
      }
      expected.push_back(pixel);
    }
  EXPECT_EQ(firstDifference(expected, pixelsOf(written), direct.TellWidth()), "");
}

const char kColoursAt16[] = "Writing 16-bit pixels (5-6-5) loses colours: channels keep fewer bits.\n";
const char kTableAt8[] =
    "Writing 8-bit pixels loses colours: each pixel takes the nearest colour of the table.\n";
const char kTableAt1[] =
    "Writing 1-bit pixels loses colours: each pixel takes the nearest colour of the table.\n";

INSTANTIATE_TEST_SUITE_P(
    Bmpsuite, BmpconvertConverts,
    ::testing::Values(
        Conversion{"Rle8At24", "good/pal8rle.bmp", "24", 24},
        Conversion{"Rle8At32", "good/pal8rle.bmp", "32", 32},
        Conversion{"TopDownAt24", "good/pal8topdown.bmp", "24", 24},
        Conversion{"TopDownAt32", "good/pal8topdown.bmp", "32", 32},
        Conversion{"Rgb565At24", "good/rgb16-565.bmp", "24", 24},
        Conversion{"Rgb565AtItsDepth", "good/rgb16-565.bmp", "", 16},
        Conversion{"Rgb555AtItsDepthKeepsItsLayout", "good/rgb16.bmp", "", 16, "555"},
        Conversion{"Rgb24At16", "good/rgb24.bmp", "16", 16, "565", false, kColoursAt16},
        Conversion{"Rgb24At555", "good/rgb24.bmp", "16", 16, "555", true,
                   "Writing 16-bit pixels (5-5-5) loses colours: channels keep fewer bits.\n"},
        Conversion{"Rle8At16", "good/pal8rle.bmp", "16", 16, "565", false, kColoursAt16},
        Conversion{"GreysAt16KeepTheirColours", "good/pal8gs.bmp", "16", 16, "565", false, kColoursAt16},
        Conversion{"OneBitAt16KeepsItsColours", "good/pal1.bmp", "16", 16},
        Conversion{"AlphaMaskAt16", "questionable/rgba32-1.bmp", "16", 16, "565", false,
                   "Writing 16-bit pixels (5-6-5) loses IN's alpha: every pixel is opaque.\n"
                   "Writing 16-bit pixels (5-6-5) loses colours: channels keep fewer bits.\n"},
        Conversion{"AlphaMaskAt1555", "questionable/rgba32-1.bmp", "16", 16, "1555", true,
                   "Writing 16-bit pixels (1-5-5-5) keeps 1 of IN's 8 bits of alpha.\n"
                   "Writing 16-bit pixels (1-5-5-5) loses colours: channels keep fewer bits.\n"},
        Conversion{"AlphaMaskAt4444", "questionable/rgba32-1.bmp", "16", 16, "4444", true,
                   "Writing 16-bit pixels (4-4-4-4) keeps 4 of IN's 8 bits of alpha.\n"
                   "Writing 16-bit pixels (4-4-4-4) loses colours: channels keep fewer bits.\n"},
        Conversion{"LayoutIsIgnoredAt24", "good/rgb24.bmp", "24", 24, "1555", true},
        Conversion{"Rgb565At32", "good/rgb16-565.bmp", "32", 32},
        Conversion{"AlphaMaskAt24", "questionable/rgba32-1.bmp", "24", 24, "565", false,
                   "Writing 24-bit pixels loses IN's alpha: every pixel is opaque.\n"},
        Conversion{"AlphaMaskAt32", "questionable/rgba32-1.bmp", "32", 32},
        Conversion{"AlphaMaskAtItsDepth", "questionable/rgba32-1.bmp", "", 32},
        Conversion{"FourthByteAlphaAtItsDepth", "../programs/ffmpeg_bgra.bmp", "", 32},
        Conversion{"Argb1555AtItsDepth", "../programs/imagemagick_argb1555.bmp", "", 16, "1555"},
        Conversion{"Argb4444AtItsDepth", "../programs/imagemagick_argb4444.bmp", "", 16, "4444"},
        Conversion{"SixteenBitAlphaOfAnotherLayoutAt32", "questionable/rgba16-1924.bmp", "", 32},
        Conversion{"Rle8AtItsDepthKeepsTheTable", "good/pal8rle.bmp", "", 8},
        Conversion{"Os2At8KeepsTheTable", "good/pal8os2.bmp", "8", 8},
        Conversion{"Rle4At4KeepsTheTable", "good/pal4rle.bmp", "4", 4},
        Conversion{"Pal4At8TakesTheStandardTable", "good/pal4.bmp", "8", 8, "565", false, kTableAt8,
                   "standard"},
        Conversion{"Rgb24At8TakesTheStandardTable", "good/rgb24.bmp", "8", 8, "565", false, kTableAt8,
                   "standard"},
        Conversion{"Pal8At1TakesTheStandardTable", "good/pal8.bmp", "1", 1, "565", false, kTableAt1,
                   "standard"},
        Conversion{"Pal8AtItsDepthTakesTheStandardTable", "good/pal8.bmp", "", 8, "565", false, kTableAt8,
                   "standard"},
        Conversion{"Pal4At8KeepsItsColoursInAMadeTable", "good/pal4.bmp", "8", 8},
        Conversion{"Pal4At1MakesATable", "good/pal4.bmp", "1", 1, "565", false, kTableAt1},
        Conversion{"Rgb24At8MakesATable", "good/rgb24.bmp", "8", 8, "565", false, kTableAt8},
        Conversion{"Pal8AtItsDepthMakesATableWhenAsked", "good/pal8.bmp", "", 8, "565", false, "",
                   "adaptive"},
        Conversion{"PaletteIsIgnoredAt24", "good/pal8.bmp", "24", 24, "565", false, "", "standard"}),
    [](const auto& info) { return std::string(info.param.name); });

// Standard input and standard output, named `-`, carry the same bytes as files do.
struct Streams {
  const char* name;
  bool input;   // IN is `-`
  bool output;  // OUT is `-`
  // The file IN or OUT is named with a leading dash ("-in.bmp", "-out.bmp") in the scratch
  // folder, where the program runs: only `-` alone names a standard stream.
  bool dashNamed = false;
};

void PrintTo(const Streams& s, std::ostream* os) { *os << s.name; }

class BmpconvertStreams : public Examples, public ::testing::WithParamInterface<Streams> {};

TEST_P(BmpconvertStreams, CarryTheBytesTheLibraryWrites) {
  const std::string input = kSuite + "questionable/rgba32-1.bmp";
  const bool dashNamed = GetParam().dashNamed;
  const std::string output = dir.file(dashNamed ? "-out.bmp" : "out.bmp");
  Launch launch = binaryOutput(errorsApart(GetParam().input ? input : ""));
  std::string in = input, out = output;
  if (dashNamed) {
    std::filesystem::copy_file(input, dir.file("-in.bmp"));
    in = "-in.bmp";
    out = "-out.bmp";
    launch.directory = dir.path().u8string();
  }
  const ProgramRun result =
      runProgram(BMPCONVERT_PATH, {GetParam().input ? "-" : in, GetParam().output ? "-" : out, "32"}, launch);
  EXPECT_EQ(result.status, 0);
  const Bytes written =
      GetParam().output ? Bytes(result.output.begin(), result.output.end()) : readBytes(output);
  Bytes expected;
  pixelry::WriteOptions alphaMask;
  alphaMask.alphaMask = true;
  ASSERT_TRUE(pixelry::writeMemory(readDirectly(input), expected, alphaMask));
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
  if (GetParam().output) {
    EXPECT_FALSE(std::filesystem::exists(output));
  }
}

INSTANTIATE_TEST_SUITE_P(Dash, BmpconvertStreams,
                         ::testing::Values(Streams{"StandardInput", true, false},
                                           Streams{"StandardOutput", false, true},
                                           Streams{"Both", true, true},
                                           Streams{"InputFileNamedWithADash", false, true, true},
                                           Streams{"OutputFileNamedWithADash", true, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A refused input or a failed write: the reason alone on standard error, status 1, no
// file written.
struct Failure {
  const char* name;
  const char* program;
  const char* input;              // in the bmpsuite folder; empty: a file that does not exist
  bool fromStandardInput;         // IN is `-`, the file given on standard input
  const char* output;             // in the scratch folder, or `-`
  std::vector<std::string> tail;  // after IN OUT
  const char* standardOutput;     // the file the program's standard output goes to; empty: none
  const char* message;            // NAME: IN as the program names it; OUT: OUT
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }

class ProgramFailure : public Examples, public ::testing::WithParamInterface<Failure> {};

TEST_P(ProgramFailure, PrintsTheReasonOnStandardErrorAndExits1) {
  const Failure& row = GetParam();
  const std::string input = *row.input ? kSuite + row.input : dir.file("missing.bmp");
  const std::string output = std::string(row.output) == "-" ? "-" : dir.file(row.output);
  std::vector<std::string> arguments = {row.fromStandardInput ? "-" : input, output};
  arguments.insert(arguments.end(), row.tail.begin(), row.tail.end());
  if (std::string(row.standardOutput) == "/dev/full" && !std::filesystem::exists(row.standardOutput))
    GTEST_SKIP() << "no /dev/full on this system";
  Launch launch;
  launch.input = row.fromStandardInput ? input : "";
  launch.output = row.standardOutput;
  const ProgramRun result = errorsOf(row.program, arguments, launch);
  EXPECT_EQ(result.status, 1);
  const std::string name = row.fromStandardInput ? "memory" : input;
  std::string message = withName(row.message, name);
  const std::size_t at = message.find("OUT");
  if (at != std::string::npos) message.replace(at, 3, output);
  EXPECT_EQ(result.output, message + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.bmp")));
}

const char kJpeg[] = "NAME uses an embedded JPEG image, which Pixelry does not read.";
const char kMissing[] = "Cannot open file NAME for input.";

INSTANTIATE_TEST_SUITE_P(
    Refusals, ProgramFailure,
    ::testing::Values(
        Failure{
            "BmpconvertJpeg", BMPCONVERT_PATH, "questionable/rgb24jpeg.bmp", false, "out.bmp", {}, "", kJpeg},
        Failure{"BmpconvertJpegAt24",
                BMPCONVERT_PATH,
                "questionable/rgb24jpeg.bmp",
                false,
                "out.bmp",
                {"24"},
                "",
                kJpeg},
        Failure{"BmpconvertJpegOnStandardInput",
                BMPCONVERT_PATH,
                "questionable/rgb24jpeg.bmp",
                true,
                "out.bmp",
                {},
                "",
                kJpeg},
        Failure{"BmpconvertPngToStandardOutput",
                BMPCONVERT_PATH,
                "questionable/rgb24png.bmp",
                false,
                "-",
                {},
                "",
                "NAME uses an embedded PNG image, which Pixelry does not read."},
        Failure{"BmpconvertMissingInput", BMPCONVERT_PATH, "", false, "out.bmp", {}, "", kMissing},
        Failure{"BmpconvertRunsAt24",
                BMPCONVERT_PATH,
                "good/pal8.bmp",
                false,
                "out.bmp",
                {"24", "--rle"},
                "",
                "Cannot encode: run-length compression at 24 bits (only 4 and 8 are coded by runs)."},
        Failure{"BmpconvertNotBmpOnStandardInput",
                BMPCONVERT_PATH,
                "reference/pal1.ppm",
                true,
                "out.bmp",
                {},
                "",
                "NAME is not a Windows BMP file!"},
        Failure{"BmpconvertOutputInAMissingFolder",
                BMPCONVERT_PATH,
                "good/rgb24.bmp",
                false,
                "none/out.bmp",
                {},
                "",
                "Cannot open file OUT for output."},
        Failure{"BmpconvertStandardOutputFull",
                BMPCONVERT_PATH,
                "good/rgb24.bmp",
                false,
                "-",
                {},
                "/dev/full",
                "Could not write the whole image to standard output."},
        // The image fits in the stream's buffer: only the final flush meets the full device.
        Failure{"BmpconvertSmallImageToAFullStandardOutput",
                BMPCONVERT_PATH,
                "good/pal1.bmp",
                false,
                "-",
                {"1"},
                "/dev/full",
                "Could not write the whole image to standard output."},
        Failure{"BmpscaleJpeg",
                BMPSCALE_PATH,
                "questionable/rgb24jpeg.bmp",
                false,
                "out.bmp",
                {"P", "50"},
                "",
                kJpeg},
        Failure{"BmpscaleMissingInput", BMPSCALE_PATH, "", false, "out.bmp", {"P", "50"}, "", kMissing}),
    [](const auto& info) { return std::string(info.param.name); });
