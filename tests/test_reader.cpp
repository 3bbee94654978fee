// Reading BMP files: refusals and their messages, colour tables, extra data, rows at
// every depth, truncated files and the public row decoders.
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/ReaderMessages.h"
#include "support/Capture.h"
#include "support/Pixel.h"
#include "support/TempDir.h"

using testing_support::BmpFile;
using testing_support::Bytes;
using testing_support::capturedOutput;
using testing_support::kBadDepth;
using testing_support::kBitFields;
using testing_support::kExtra;
using testing_support::kNonPositive;
using testing_support::kRle;
using testing_support::kUnderspecified;
using testing_support::unsupported;
using testing_support::withName;
using testing_support::kWhite;
using testing_support::pixel;
using testing_support::Rgba;
using testing_support::rgba;

namespace {

// A table whose every entry differs from the standard ones, Alpha included.
std::vector<RGBApixel> distinctTable(int count) {
  std::vector<RGBApixel> table;
  for (int i = 0; i < count; ++i) table.push_back(pixel(i, 255 - i, (7 * i) % 256, 1 + i % 5));
  return table;
}

Bytes repeated(std::size_t count, std::uint8_t value) { return Bytes(count, value); }

// Everything a caller can observe of an image.
struct Snapshot {
  bool result;
  int width, height, depth, xDpi, yDpi;
  std::vector<Rgba> pixels, colors;
  bool operator==(const Snapshot& o) const {
    return result == o.result && width == o.width && height == o.height && depth == o.depth &&
           xDpi == o.xDpi && yDpi == o.yDpi && pixels == o.pixels && colors == o.colors;
  }
};

Snapshot snapshot(bool result, BMP& image) {
  Snapshot s{result, image.TellWidth(), image.TellHeight(), image.TellBitDepth(), 0, 0, {}, {}};
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) s.pixels.push_back(rgba(image.GetPixel(x, y)));
  if (image.TellBitDepth() <= 8)
    for (int n = 0; n < image.TellNumberOfColors(); ++n) s.colors.push_back(rgba(image.GetColor(n)));
  s.xDpi = image.TellHorizontalDPI();
  s.yDpi = image.TellVerticalDPI();
  return s;
}

// An 8-bit 3 x 2 image with a changed colour table and resolution: what a refusal that
// leaves the object alone must keep.
void makeBusyImage(BMP& image) {
  image.SetSize(3, 2);
  image.SetBitDepth(8);
  image.SetColor(5, pixel(1, 2, 3, 4));
  image.SetDPI(10, 20);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.SetPixel(x, y, pixel(x, y, 7));
}

class Reader : public ::testing::Test {
 protected:
  // Writes the bytes to a file, reads it into image and returns what was printed.
  std::string load(const Bytes& bytes) {
    testing_support::writeBytes(path, bytes);
    return capturedOutput([&] { result = image.ReadFromFile(path.c_str()); });
  }
  std::string load(const BmpFile& file) { return load(file.bytes()); }

  // The text of an error about this test's file.
  std::string error(const std::string& tail) const { return "Pixelry Error: " + path + tail; }

  void expectRow(int y, const std::vector<Rgba>& expected) {
    ASSERT_EQ(image.TellWidth(), static_cast<int>(expected.size()));
    for (int x = 0; x < image.TellWidth(); ++x) EXPECT_EQ(rgba(image.GetPixel(x, y)), expected[x]) << x << "," << y;
  }

  void expectReset() {
    EXPECT_EQ(image.TellWidth(), 1);
    EXPECT_EQ(image.TellHeight(), 1);
    EXPECT_EQ(image.TellBitDepth(), 1);
    EXPECT_EQ(rgba(image.GetPixel(0, 0)), kWhite);
    EXPECT_EQ(rgba(image.GetColor(0)), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(rgba(image.GetColor(1)), kWhite);
  }

  testing_support::TempDir dir;
  std::string path = dir.file("in.bmp");
  BMP image;
  bool result = false;
};

TEST_F(Reader, MissingFileLeavesOnePixelAtOneBit) {
  makeBusyImage(image);
  const std::string missing = dir.file("missing.bmp");
  const std::string out = capturedOutput([&] { result = image.ReadFromFile(missing.c_str()); });
  EXPECT_EQ(out, "Pixelry Error: Cannot open file " + missing + " for input.\n");
  EXPECT_FALSE(result);
  expectReset();
}

TEST_F(Reader, FileWithoutTheSignatureLeavesTheImageAlone) {
  for (std::uint16_t type : {0x4D42 ^ 0x0100, 0x424D, 0}) {
    BMP reference;
    makeBusyImage(reference);
    makeBusyImage(image);
    BmpFile file = BmpFile::make(1, 1, 24).row({0, 0, 0, 0});
    file.fileHeader.bfType = type;
    EXPECT_EQ(load(file), error(" is not a Windows BMP file!\n"));
    EXPECT_FALSE(result);
    EXPECT_TRUE(snapshot(false, image) == snapshot(false, reference)) << "bfType " << type;
  }
}

TEST_F(Reader, FilesEndingInsideTheHeadersAreObviouslyCorrupted) {
  // A missing second byte leaves the expected "M" in place, so the signature test passes.
  const Bytes headers = BmpFile::make(1, 1, 24).bytes();
  for (std::size_t length : {0, 1, 2, 14, 53}) {
    makeBusyImage(image);
    EXPECT_EQ(load(Bytes(headers.begin(), headers.begin() + static_cast<long>(length))),
              error(" is obviously corrupted.\n"))
        << length << " bytes";
    EXPECT_FALSE(result);
    expectReset();
  }
}

// A file refused after its headers were read: the image is reset but takes the file's
// resolution (2835 and 1417 pixels per metre: 72 and 35 dpi).
struct Refusal {
  const char* name;
  std::function<void(BmpFile&)> change;
  std::string message;  // NAME stands for the file name
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

class ReaderRefusal : public Reader, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ReaderRefusal, PrintsTheMessageResetsAndKeepsTheResolution) {
  makeBusyImage(image);
  BmpFile file = BmpFile::make(2, 2, 24).row(repeated(16, 0x40));
  file.infoHeader.biXPelsPerMeter = 2835;
  file.infoHeader.biYPelsPerMeter = 1417;
  GetParam().change(file);
  EXPECT_EQ(load(file), withName(GetParam().message, path));
  EXPECT_FALSE(result);
  expectReset();
  EXPECT_EQ(image.TellHorizontalDPI(), 72);
  EXPECT_EQ(image.TellVerticalDPI(), 35);
}

auto with(PixelryDWORD compression, int bits) {
  return [=](BmpFile& f) {
    f.infoHeader.biCompression = compression;
    f.infoHeader.biBitCount = static_cast<PixelryWORD>(bits);
  };
}
auto sized(int width, int height) {
  return [=](BmpFile& f) {
    f.infoHeader.biWidth = static_cast<PixelryDWORD>(width);
    f.infoHeader.biHeight = static_cast<PixelryDWORD>(height);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderRefusal,
    ::testing::Values(
        Refusal{"Rle8", with(1, 8), kRle}, Refusal{"Rle4", with(2, 4), kRle},
        Refusal{"RleBeforeDepth", with(1, 7), kRle},
        Refusal{"Compression4", with(4, 24), unsupported("4")},
        Refusal{"CompressionMax", with(0xFFFFFFFF, 24), unsupported("4294967295")},
        Refusal{"BitFields32", with(3, 32), kBitFields}, Refusal{"BitFields24", with(3, 24), kBitFields},
        Refusal{"BitFieldsBeforeDepth", with(3, 2), kBitFields},
        Refusal{"Depth0", with(0, 0), kBadDepth}, Refusal{"Depth2", with(0, 2), kBadDepth},
        Refusal{"Depth30000", with(0, 30000), kBadDepth},
        Refusal{"TopDown", sized(2, -2), kNonPositive}, Refusal{"ZeroWidth", sized(0, 2), kNonPositive},
        Refusal{"NegativeWidth", sized(-1, 2), kNonPositive}, Refusal{"ZeroHeight", sized(2, 0), kNonPositive},
        Refusal{"MinHeight", sized(2, INT_MIN), kNonPositive},
        Refusal{"TooLargeForMemory", sized(INT_MAX, INT_MAX),
                "Pixelry Warning: Not enough memory for a 2147483647 x 2147483647 image.\n"
                "                 Size remains unchanged at 3 x 2.\n"
                "Pixelry Error: NAME is too large to fit in memory.\n"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(Reader, UnderspecifiedTableIsPaddedWithWhite) {
  // 16 entries at 8 bits; the pixels use entries 3, 15, 16 and 255.
  const auto table = distinctTable(16);
  EXPECT_EQ(load(BmpFile::make(4, 1, 8).palette(table).row({3, 15, 16, 255})),
            withName(kUnderspecified, path));
  EXPECT_TRUE(result);
  for (int n = 0; n < 16; ++n) EXPECT_EQ(rgba(image.GetColor(n)), rgba(table[n])) << n;
  for (int n = 16; n < 256; ++n) EXPECT_EQ(rgba(image.GetColor(n)), kWhite) << n;
  expectRow(0, {rgba(table[3]), rgba(table[15]), kWhite, kWhite});
}

TEST_F(Reader, OneEntryShortIsUnderspecified) {
  EXPECT_EQ(load(BmpFile::make(2, 1, 1).palette(distinctTable(1)).row({0x40, 0, 0, 0})),
            withName(kUnderspecified, path));
  expectRow(0, {rgba(distinctTable(1)[0]), kWhite});
}

TEST_F(Reader, OffsetBelowTheHeadersGivesAnAllWhiteTable) {
  BmpFile file = BmpFile::make(1, 1, 8).row({0, 0, 0, 0});
  file.fileHeader.bfOffBits = 0;
  EXPECT_EQ(load(file), withName(kUnderspecified, path));
  EXPECT_TRUE(result);
  EXPECT_EQ(rgba(image.GetColor(0)), kWhite);
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), kWhite);
}

TEST_F(Reader, ExtraBytesAfterALongerHeaderAreSkipped) {
  BmpFile file = BmpFile::make(1, 1, 24).before(repeated(68, 0xAA)).row({1, 2, 3, 0});
  file.infoHeader.biSize = 108;
  EXPECT_EQ(load(file), withName(kExtra, path));
  EXPECT_TRUE(result);
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{3, 2, 1, 0}));
}

TEST_F(Reader, HugePixelOffsetIsSkippedToTheEndOfTheFile) {
  BmpFile file = BmpFile::make(1, 1, 24).row({1, 2, 3, 0});
  file.fileHeader.bfOffBits = 0xFFFFFFFF;
  EXPECT_EQ(load(file), withName(kExtra, path) +
                            "Pixelry Error: Could not read proper amount of data.\n");
  EXPECT_TRUE(result);
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), kWhite);
}

// Indexed files with an info header longer than 40 bytes keep their colour table after it.
class LongHeader : public Reader {
 protected:
  BmpFile make(PixelryDWORD headerSize, int entries, std::size_t extraAfterTable) {
    BmpFile file = BmpFile::make(3, 1, 8)
                       .before(repeated(headerSize - 40, 0xAA))
                       .palette(distinctTable(entries))
                       .before(repeated(extraAfterTable, 0xBB))
                       .row({0, 1, 251, 0});
    file.infoHeader.biSize = headerSize;
    return file;
  }
  std::string extraWarning() const {
    return withName(kExtra, path);
  }
  void expectColours(int entries) {
    const auto table = distinctTable(entries);
    for (int n = 0; n < entries; ++n) EXPECT_EQ(rgba(image.GetColor(n)), rgba(table[n])) << n;
    expectRow(0, {rgba(table[0]), rgba(table[1]), entries > 251 ? rgba(table[251]) : kWhite});
  }
};

TEST_F(LongHeader, Version4HeaderWithAFullTable) {
  EXPECT_EQ(load(make(108, 256, 0)), extraWarning());
  EXPECT_TRUE(result);
  expectColours(256);
}

TEST_F(LongHeader, Version5HeaderWithAShortTableWarnsAboutTheHeaderFirst) {
  EXPECT_EQ(load(make(124, 252, 0)), extraWarning() + withName(kUnderspecified, path));
  EXPECT_TRUE(result);
  expectColours(252);
  for (int n = 252; n < 256; ++n) EXPECT_EQ(rgba(image.GetColor(n)), kWhite) << n;
}

TEST_F(LongHeader, ExtraDataAfterTheTableIsOneWarning) {
  EXPECT_EQ(load(make(124, 256, 8)), extraWarning());
  expectColours(256);
}

TEST_F(LongHeader, AtOneBit) {
  BmpFile file = BmpFile::make(9, 1, 1)
                     .before(repeated(24, 0xAA))
                     .palette({pixel(10, 20, 30), pixel(40, 50, 60)})
                     .row({0x80, 0x80, 0, 0});
  file.infoHeader.biSize = 64;
  EXPECT_EQ(load(file), extraWarning());
  const Rgba a{10, 20, 30, 0}, b{40, 50, 60, 0};
  expectRow(0, {b, a, a, a, a, a, a, a, b});
}

TEST_F(LongHeader, ThatDoesNotFitBeforeThePixelsIsIgnored) {
  // 14 + 108 is beyond bfOffBits, so the table is taken right after 40 header bytes.
  BmpFile file = BmpFile::make(2, 1, 1).palette({pixel(10, 20, 30), pixel(40, 50, 60)}).row({0x40, 0, 0, 0});
  file.infoHeader.biSize = 108;
  EXPECT_EQ(load(file), "");
  expectRow(0, {{10, 20, 30, 0}, {40, 50, 60, 0}});
}

TEST_F(LongHeader, AtDirectDepthsIsExtraData) {
  BmpFile file = BmpFile::make(1, 1, 32).before(repeated(84, 0xAA)).row({1, 2, 3, 4});
  file.infoHeader.biSize = 124;
  EXPECT_EQ(load(file), extraWarning());
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{3, 2, 1, 4}));
}

TEST_F(Reader, OneBitRowsOfNinePixelsAreFourBytes) {
  const auto table = distinctTable(2);
  EXPECT_EQ(load(BmpFile::make(9, 2, 1).palette(table).row({0xAA, 0x80, 0xFF, 0xFF}).row({0x55, 0x7F, 0, 0})), "");
  EXPECT_TRUE(result);
  const Rgba o = rgba(table[0]), i = rgba(table[1]);
  expectRow(1, {i, o, i, o, i, o, i, o, i});
  expectRow(0, {o, i, o, i, o, i, o, i, o});
}

TEST_F(Reader, FourBitRowsTakeTheHighNibbleFirst) {
  const auto table = distinctTable(16);
  EXPECT_EQ(load(BmpFile::make(3, 2, 4).palette(table).row({0x12, 0x3F, 0xFF, 0xFF}).row({0xFE, 0xDC, 0, 0})), "");
  expectRow(1, {rgba(table[1]), rgba(table[2]), rgba(table[3])});
  expectRow(0, {rgba(table[15]), rgba(table[14]), rgba(table[13])});
}

TEST_F(Reader, EightBitRowsOfFivePixelsAreEightBytes) {
  const auto table = distinctTable(256);
  EXPECT_EQ(load(BmpFile::make(5, 2, 8).palette(table).row({1, 2, 3, 4, 5, 9, 9, 9}).row({250, 0, 7, 8, 255, 0, 0, 0})), "");
  expectRow(1, {rgba(table[1]), rgba(table[2]), rgba(table[3]), rgba(table[4]), rgba(table[5])});
  expectRow(0, {rgba(table[250]), rgba(table[0]), rgba(table[7]), rgba(table[8]), rgba(table[255])});
}

TEST_F(Reader, TwentyFourBitRowsOfFivePixelsAreSixteenBytesWithAlphaZero) {
  Bytes bottom, top;
  for (std::uint8_t x = 0; x < 5; ++x) BmpFile::append(bottom, {x, std::uint8_t(10 + x), std::uint8_t(20 + x)});
  for (std::uint8_t x = 0; x < 5; ++x) BmpFile::append(top, {std::uint8_t(100 + x), 0, 255});
  bottom.push_back(0xEE);
  top.push_back(0xEE);
  EXPECT_EQ(load(BmpFile::make(5, 2, 24).row(bottom).row(top)), "");
  expectRow(1, {{20, 10, 0, 0}, {21, 11, 1, 0}, {22, 12, 2, 0}, {23, 13, 3, 0}, {24, 14, 4, 0}});
  expectRow(0, {{255, 0, 100, 0}, {255, 0, 101, 0}, {255, 0, 102, 0}, {255, 0, 103, 0}, {255, 0, 104, 0}});
}

TEST_F(Reader, ThirtyTwoBitRowsKeepAlpha) {
  EXPECT_EQ(load(BmpFile::make(2, 2, 32).row({1, 2, 3, 4, 5, 6, 7, 8}).row({9, 10, 11, 12, 13, 14, 15, 16})), "");
  expectRow(1, {{3, 2, 1, 4}, {7, 6, 5, 8}});
  expectRow(0, {{11, 10, 9, 12}, {15, 14, 13, 16}});
}

TEST_F(Reader, SixteenBitRowsOfThreePixelsAreEightBytes) {
  // Default 5-5-5 masks: each channel is its five bits times 8.
  EXPECT_EQ(load(BmpFile::make(3, 2, 16)
                     .row({0xFF, 0x7F, 0x00, 0x7C, 0x01, 0x00, 0xAB, 0xCD})
                     .row({0xE0, 0x03, 0x00, 0x80, 0x21, 0x04, 0x00, 0x00})),
            "");
  EXPECT_TRUE(result);
  expectRow(1, {{248, 248, 248, 0}, {248, 0, 0, 0}, {0, 0, 8, 0}});
  expectRow(0, {{0, 248, 0, 0}, {0, 0, 0, 0}, {8, 8, 8, 0}});
}

TEST_F(Reader, SixteenBitFieldsFiveSixFive) {
  BmpFile file = BmpFile::make(4, 1, 16)
                     .before({0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0})
                     .row({0xE0, 0x07, 0x20, 0x00, 0x00, 0xF8, 0x40, 0x00});
  file.infoHeader.biCompression = 3;
  EXPECT_EQ(load(file), "");
  expectRow(0, {{0, 248, 0, 0}, {0, 0, 0, 0}, {248, 0, 0, 0}, {0, 8, 0, 0}});
}

TEST_F(Reader, SixteenBitFieldsOnlyUseTheLowWordOfEachMask) {
  BmpFile file = BmpFile::make(2, 1, 16)
                     .before({0x00, 0x7C, 0xFF, 0xFF, 0xE0, 0x03, 0xFF, 0xFF, 0x1F, 0x00, 0xFF, 0xFF})
                     .row({0xFF, 0x7F, 0x1F, 0x00});
  file.infoHeader.biCompression = 3;
  EXPECT_EQ(load(file), "");
  expectRow(0, {{248, 248, 248, 0}, {0, 0, 248, 0}});
}

TEST_F(Reader, TruncatedPixelDataKeepsTheRowsRead) {
  EXPECT_EQ(load(BmpFile::make(2, 3, 24).row({1, 2, 3, 4, 5, 6, 0, 0}).row({7, 8, 9, 10})),
            "Pixelry Error: Could not read proper amount of data.\n");
  EXPECT_TRUE(result);
  expectRow(2, {{3, 2, 1, 0}, {6, 5, 4, 0}});
  expectRow(1, {kWhite, kWhite});
  expectRow(0, {kWhite, kWhite});
}

TEST_F(Reader, TruncatedSixteenBitDataLeavesMissingPixelsWhiteSilently) {
  EXPECT_EQ(load(BmpFile::make(2, 2, 16).row({0x00, 0x00, 0x1F, 0x00}).row({0x00, 0x7C, 0x00})), "");
  EXPECT_TRUE(result);
  expectRow(1, {{0, 0, 0, 0}, {0, 0, 248, 0}});
  expectRow(0, {{248, 0, 0, 0}, kWhite});
}

TEST_F(Reader, TruncatedColourTableKeepsStandardEntries) {
  BmpFile file = BmpFile::make(1, 1, 8).palette(distinctTable(10)).before({1, 2});
  file.fileHeader.bfOffBits = 54 + 1024;
  EXPECT_EQ(load(file), "Pixelry Error: Could not read proper amount of data.\n");
  EXPECT_TRUE(result);
  EXPECT_EQ(rgba(image.GetColor(9)), rgba(distinctTable(10)[9]));
  EXPECT_EQ(rgba(image.GetColor(10)), (Rgba{64, 32, 0, 0}));
  EXPECT_EQ(rgba(image.GetColor(100)), (Rgba{128, 128, 64, 0}));
}

TEST_F(Reader, SuccessReplacesSizeDepthAndResolution) {
  makeBusyImage(image);
  BmpFile file = BmpFile::make(1, 2, 32).row({1, 2, 3, 4}).row({5, 6, 7, 8});
  file.infoHeader.biXPelsPerMeter = 0;
  file.infoHeader.biYPelsPerMeter = 3937;
  EXPECT_EQ(load(file), "");
  EXPECT_TRUE(result);
  EXPECT_EQ(image.TellWidth(), 1);
  EXPECT_EQ(image.TellHeight(), 2);
  EXPECT_EQ(image.TellBitDepth(), 32);
  EXPECT_EQ(image.TellHorizontalDPI(), 96);
  EXPECT_EQ(image.TellVerticalDPI(), 99);
}

// Every kind of file above, read with the warnings off, gives the same image and result.
class ReaderQuietly : public Reader, public ::testing::WithParamInterface<std::pair<const char*, Bytes>> {};

TEST_P(ReaderQuietly, GivesTheSameImageWithoutOutput) {
  const Bytes& bytes = GetParam().second;
  makeBusyImage(image);
  load(bytes);
  const Snapshot loud = snapshot(result, image);
  makeBusyImage(image);
  SetPixelrywarningsOff();
  const std::string out = load(bytes);
  SetPixelrywarningsOn();
  EXPECT_EQ(out, "");
  EXPECT_TRUE(snapshot(result, image) == loud);
}

Bytes withHeader(BmpFile file, const std::function<void(BmpFile&)>& change) {
  change(file);
  return file.bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderQuietly,
    ::testing::Values(
        std::pair{"Empty", Bytes{}}, std::pair{"NotBmp", Bytes{'P', '6', 0, 0}},
        std::pair{"Rle", withHeader(BmpFile::make(1, 1, 8), with(1, 8))},
        std::pair{"Compression4", withHeader(BmpFile::make(1, 1, 8), with(4, 8))},
        std::pair{"BitFields32", withHeader(BmpFile::make(1, 1, 32), with(3, 32))},
        std::pair{"TopDown", withHeader(BmpFile::make(1, 1, 24), sized(1, -1))},
        std::pair{"TooLarge", withHeader(BmpFile::make(1, 1, 24), sized(INT_MAX, INT_MAX))},
        std::pair{"ShortTable", BmpFile::make(2, 1, 4).palette(distinctTable(3)).row({0x12, 0, 0, 0}).bytes()},
        std::pair{"Extra", BmpFile::make(1, 1, 24).before({1, 2, 3}).row({1, 2, 3, 0}).bytes()},
        std::pair{"LongHeader", withHeader(BmpFile::make(1, 1, 4).before(repeated(68, 0)).palette(distinctTable(4)).row({0x30, 0, 0, 0}),
                                           [](BmpFile& f) { f.infoHeader.biSize = 108; })},
        std::pair{"Truncated", BmpFile::make(2, 2, 24).row(repeated(9, 3)).bytes()},
        std::pair{"Truncated16", BmpFile::make(3, 1, 16).row({1, 2, 3}).bytes()}),
    [](const auto& info) { return std::string(info.param.first); });

// The public row decoders: one member per depth, checked buffer and row.
struct RowDecoder {
  int bits;
  bool (BMP::*read)(PixelryBYTE*, int, int);
  int bytesForNinePixels;
};

class PublicRowDecoder : public ::testing::TestWithParam<RowDecoder> {
 protected:
  PublicRowDecoder() {
    image.SetSize(9, 2);
    image.SetBitDepth(GetParam().bits <= 8 ? GetParam().bits : 24);
  }
  bool read(PixelryBYTE* buffer, int size, int row) { return (image.*GetParam().read)(buffer, size, row); }
  void expectRowsWhite() {
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_EQ(rgba(image.GetPixel(x, y)), kWhite);
  }
  BMP image;
  PixelryBYTE buffer[64] = {};
};

TEST_P(PublicRowDecoder, RefusesAShortBufferANullBufferAndRowsOutsideTheImage) {
  const int needed = GetParam().bytesForNinePixels;
  EXPECT_FALSE(read(buffer, needed - 1, 0));
  EXPECT_FALSE(read(nullptr, needed, 0));
  EXPECT_FALSE(read(buffer, needed, -1));
  EXPECT_FALSE(read(buffer, needed, 2));
  expectRowsWhite();
  EXPECT_TRUE(read(buffer, needed, 1));
  EXPECT_NE(rgba(image.GetPixel(8, 1)), kWhite);  // index 0 and black are not white
}

INSTANTIATE_TEST_SUITE_P(Depths, PublicRowDecoder,
                         ::testing::Values(RowDecoder{1, &BMP::Read1bitRow, 2}, RowDecoder{4, &BMP::Read4bitRow, 5},
                                           RowDecoder{8, &BMP::Read8bitRow, 9}, RowDecoder{24, &BMP::Read24bitRow, 27},
                                           RowDecoder{32, &BMP::Read32bitRow, 36}),
                         [](const auto& info) { return std::to_string(info.param.bits) + "bits"; });

TEST(PublicRowDecoders, TwentyFourBitsKeepAlpha) {
  BMP image;
  image.SetPixel(0, 0, pixel(0, 0, 0, 77));
  PixelryBYTE row[4] = {1, 2, 3, 9};
  EXPECT_TRUE(image.Read24bitRow(row, 3, 0));
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{3, 2, 1, 77}));
}

TEST(PublicRowDecoders, IndexedDecoderOnAnotherDepthLooksUpLikeGetColor) {
  BMP image;
  image.SetSize(2, 1);
  image.SetBitDepth(4);
  PixelryBYTE row[2] = {3, 20};
  bool result = false;
  EXPECT_EQ(capturedOutput([&] { result = image.Read8bitRow(row, 2, 0); }),
            "Pixelry Warning: Requested color number 20 is outside the allowed\n"
            "                 range [0,15]. Ignoring request to get this color.\n");
  EXPECT_TRUE(result);
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{128, 128, 0, 0}));
  EXPECT_EQ(rgba(image.GetPixel(1, 0)), kWhite);

  image.SetBitDepth(8);
  PixelryBYTE packed[1] = {0x78};
  EXPECT_TRUE(image.Read4bitRow(packed, 1, 0));
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{192, 192, 192, 0}));  // entry 7 of the 8-bit table
  EXPECT_EQ(rgba(image.GetPixel(1, 0)), (Rgba{192, 220, 192, 0}));

  image.SetBitDepth(24);
  EXPECT_NE(capturedOutput([&] { image.Read1bitRow(packed, 1, 0); }), "");
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), kWhite);
}

}  // namespace
