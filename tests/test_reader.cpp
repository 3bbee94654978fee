// Reading BMP files: refusals and their messages, colour tables, extra data, rows at
// every depth, truncated files and the public row decoders.
#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Messages.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/RoundTrip.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

// A table whose every entry differs from the standard ones, Alpha included.
std::vector<RGBApixel> distinctTable(int count) {
  std::vector<RGBApixel> table;
  for (int i = 0; i < count; ++i) table.push_back(pixel(i, 255 - i, (7 * i) % 256, 1 + i % 5));
  return table;
}

Bytes withHeader(BmpFile file, const std::function<void(BmpFile&)>& change) {
  change(file);
  return file.bytes();
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
auto headerSize(PixelryDWORD size) {
  return [=](BmpFile& f) { f.infoHeader.biSize = size; };
}
auto offBits(PixelryDWORD offset) {
  return [=](BmpFile& f) { f.fileHeader.bfOffBits = offset; };
}

class Reader : public ::testing::Test {
 protected:
  // Writes the bytes to a file, reads it into image and returns what was printed.
  std::string load(const std::optional<Bytes>& bytes) {
    if (bytes) writeBytes(path, *bytes);
    return capturedOutput([&] { result = image.ReadFromFile(path.c_str()); });
  }

  void expectReset() {
    EXPECT_EQ(image.TellWidth(), 1);
    EXPECT_EQ(image.TellHeight(), 1);
    EXPECT_EQ(image.TellBitDepth(), 1);
    EXPECT_EQ(rgba(image.GetPixel(0, 0)), kWhite);
    EXPECT_EQ(rgba(image.GetColor(0)), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(rgba(image.GetColor(1)), kWhite);
  }

  TempDir dir;
  std::string path = dir.file("in.bmp");
  BMP image;
  bool result = false;
};

// ---------------------------------------------------------------------------------------
// Refused files: the message, false, and what is left of the image.

enum class Left {
  Alone,                   // the signature is wrong: nothing changes
  Reset,                   // one pixel at 1 bit, the standard table; the resolution it had
  ResetWithTheResolution,  // reset, with the file's resolution: 72 x 35 dpi
};

struct Refusal {
  const char* name;
  std::optional<Bytes> file;  // none: there is no file
  std::string message;        // NAME stands for the file name
  Left left;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

// A 2 x 2 24-bit file at 2835 x 1417 pixels per metre, changed.
Bytes refused(const std::function<void(BmpFile&)>& change) {
  BmpFile file = BmpFile::make(2, 2, 24).row(Bytes(16, 0x40));
  file.infoHeader.biXPelsPerMeter = 2835;
  file.infoHeader.biYPelsPerMeter = 1417;
  return withHeader(file, change);
}
Bytes firstBytes(std::size_t length) {
  const Bytes whole = refused([](BmpFile&) {});
  return Bytes(whole.begin(), whole.begin() + static_cast<long>(length));
}
auto type(std::uint16_t bfType) {
  return [=](BmpFile& f) { f.fileHeader.bfType = bfType; };
}

class ReaderRefusal : public Reader, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ReaderRefusal, PrintsTheMessageAndLeavesTheImageAsItSays) {
  const Refusal& r = GetParam();
  BMP reference;
  makeBusy(reference);
  makeBusy(image);
  EXPECT_EQ(load(r.file), withName(r.message, path));
  EXPECT_FALSE(result);
  if (r.left == Left::Alone) {
    EXPECT_EQ(describe(image), describe(reference));
    return;
  }
  expectReset();
  const bool resolution = r.left == Left::ResetWithTheResolution;
  EXPECT_EQ(image.TellHorizontalDPI(), resolution ? 72 : reference.TellHorizontalDPI());
  EXPECT_EQ(image.TellVerticalDPI(), resolution ? 35 : reference.TellVerticalDPI());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderRefusal,
    ::testing::Values(
        Refusal{"Missing", std::nullopt, kCannotOpenInput, Left::Reset},
        Refusal{"SignatureFlipped", refused(type(0x4D42 ^ 0x0100)), kNotBmp, Left::Alone},
        Refusal{"SignatureSwapped", refused(type(0x424D)), kNotBmp, Left::Alone},
        Refusal{"SignatureZero", refused(type(0)), kNotBmp, Left::Alone},
        // A missing second byte leaves the expected "M" in place: the signature passes.
        Refusal{"Empty", firstBytes(0), kCorrupted, Left::Reset},
        Refusal{"OneByte", firstBytes(1), kCorrupted, Left::Reset},
        Refusal{"TwoBytes", firstBytes(2), kCorrupted, Left::Reset},
        Refusal{"FileHeaderOnly", firstBytes(14), kCorrupted, Left::Reset},
        Refusal{"OneByteShortOfTheHeaders", firstBytes(53), kCorrupted, Left::Reset},
        Refusal{"Rle8", refused(with(1, 8)), kRle, Left::ResetWithTheResolution},
        Refusal{"Rle4", refused(with(2, 4)), kRle, Left::ResetWithTheResolution},
        Refusal{"RleBeforeDepth", refused(with(1, 7)), kRle, Left::ResetWithTheResolution},
        Refusal{"Compression4", refused(with(4, 24)), unsupported("4"), Left::ResetWithTheResolution},
        Refusal{"CompressionMax", refused(with(0xFFFFFFFF, 24)), unsupported("4294967295"),
                Left::ResetWithTheResolution},
        Refusal{"BitFields32", refused(with(3, 32)), kBitFields, Left::ResetWithTheResolution},
        Refusal{"BitFields24", refused(with(3, 24)), kBitFields, Left::ResetWithTheResolution},
        Refusal{"BitFieldsBeforeDepth", refused(with(3, 2)), kBitFields, Left::ResetWithTheResolution},
        Refusal{"Depth0", refused(with(0, 0)), kBadDepth, Left::ResetWithTheResolution},
        Refusal{"Depth2", refused(with(0, 2)), kBadDepth, Left::ResetWithTheResolution},
        Refusal{"Depth30000", refused(with(0, 30000)), kBadDepth, Left::ResetWithTheResolution},
        Refusal{"TopDown", refused(sized(2, -2)), kNonPositive, Left::ResetWithTheResolution},
        Refusal{"ZeroWidth", refused(sized(0, 2)), kNonPositive, Left::ResetWithTheResolution},
        Refusal{"NegativeWidth", refused(sized(-1, 2)), kNonPositive, Left::ResetWithTheResolution},
        Refusal{"ZeroHeight", refused(sized(2, 0)), kNonPositive, Left::ResetWithTheResolution},
        Refusal{"MinHeight", refused(sized(2, INT_MIN)), kNonPositive, Left::ResetWithTheResolution},
        Refusal{"TooLargeForMemory", refused(sized(INT_MAX, INT_MAX)),
                tooLarge("2147483647 x 2147483647", "3 x 2"), Left::ResetWithTheResolution}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Files read: the messages, the pixels and the colour table.

struct Read {
  const char* name;
  Bytes file;
  std::string messages;                 // NAME stands for the file name
  std::vector<std::vector<Rgba>> rows;  // top row first
  std::vector<Rgba> table = {};         // the first entries of the table read
};

void PrintTo(const Read& read, std::ostream* out) { *out << read.name; }

std::vector<Rgba> entries(const std::vector<RGBApixel>& table, std::size_t whiteAfter = 0) {
  std::vector<Rgba> out;
  for (const RGBApixel& entry : table) out.push_back(rgba(entry));
  out.resize(out.size() + whiteAfter, kWhite);
  return out;
}
Rgba entry(const std::vector<RGBApixel>& table, int index) {
  return rgba(table[static_cast<std::size_t>(index)]);
}

// An 8-bit 3 x 1 file with an info header of headerSize bytes, then a table of count
// entries and extra bytes; the pixels are entries 0, 1 and 251.
Read longHeader(const char* name, PixelryDWORD size, int count, std::size_t extra, std::string messages) {
  const auto table = distinctTable(count);
  return {name,
          withHeader(BmpFile::make(3, 1, 8)
                         .before(Bytes(size - 40, 0xAA))
                         .palette(table)
                         .before(Bytes(extra, 0xBB))
                         .row({0, 1, 251, 0}),
                     headerSize(size)),
          std::move(messages),
          {{entry(table, 0), entry(table, 1), count > 251 ? entry(table, 251) : kWhite}},
          entries(table, static_cast<std::size_t>(256 - count))};
}

std::vector<Read> reads() {
  const auto t2 = distinctTable(2), t16 = distinctTable(16), t256 = distinctTable(256);
  const Rgba a{10, 20, 30, 0}, b{40, 50, 60, 0}, o = entry(t2, 0), i = entry(t2, 1);
  std::vector<RGBApixel> cutTable = distinctTable(10);
  const Palette standard = tableOf([] {
    BMP image;
    image.SetBitDepth(8);
    return image;
  }());
  cutTable.insert(cutTable.end(), standard.begin() + 10, standard.end());
  const BmpFile fields =
      BmpFile::make(4, 1, 16).before({0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0});
  const BmpFile lowWords = BmpFile::make(2, 1, 16).before(
      {0x00, 0x7C, 0xFF, 0xFF, 0xE0, 0x03, 0xFF, 0xFF, 0x1F, 0x00, 0xFF, 0xFF});
  return {
      // 16 entries at 8 bits; the pixels use entries 3, 15, 16 and 255.
      {"UnderspecifiedTableIsPaddedWithWhite",
       BmpFile::make(4, 1, 8).palette(t16).row({3, 15, 16, 255}).bytes(),
       kUnderspecified,
       {{entry(t16, 3), entry(t16, 15), kWhite, kWhite}},
       entries(t16, 240)},
      {"OneEntryShortIsUnderspecified",
       BmpFile::make(2, 1, 1).palette(distinctTable(1)).row({0x40, 0, 0, 0}).bytes(),
       kUnderspecified,
       {{entry(t2, 0), kWhite}}},
      {"OffsetBelowTheHeadersGivesAnAllWhiteTable",
       withHeader(BmpFile::make(1, 1, 8).row({0, 0, 0, 0}), offBits(0)),
       kUnderspecified,
       {{kWhite}},
       {kWhite}},
      {"ExtraBytesAfterALongerHeaderAreSkipped",
       withHeader(BmpFile::make(1, 1, 24).before(Bytes(68, 0xAA)).row({1, 2, 3, 0}), headerSize(108)),
       kExtra,
       {{{3, 2, 1, 0}}}},
      {"HugePixelOffsetIsSkippedToTheEndOfTheFile",
       withHeader(BmpFile::make(1, 1, 24).row({1, 2, 3, 0}), offBits(0xFFFFFFFF)),
       std::string(kExtra) + kShortData,
       {{kWhite}}},
      // Indexed files with an info header longer than 40 bytes keep their table after it.
      longHeader("Version4HeaderWithAFullTable", 108, 256, 0, kExtra),
      longHeader("Version5HeaderWithAShortTableWarnsAboutTheHeaderFirst", 124, 252, 0,
                 std::string(kExtra) + kUnderspecified),
      longHeader("LongHeaderWithExtraDataAfterTheTableIsOneWarning", 124, 256, 8, kExtra),
      {"LongHeaderAtOneBit",
       withHeader(BmpFile::make(9, 1, 1)
                      .before(Bytes(24, 0xAA))
                      .palette({pixel(10, 20, 30), pixel(40, 50, 60)})
                      .row({0x80, 0x80, 0, 0}),
                  headerSize(64)),
       kExtra,
       {{b, a, a, a, a, a, a, a, b}}},
      // Pixels right after a 124-byte header: no room for a table, both entries white.
      {"LongHeaderAtOneBitWithoutATable",
       withHeader(BmpFile::make(2, 1, 1).before(Bytes(84, 0xAA)).row({0x40, 0, 0, 0}), headerSize(124)),
       std::string(kExtra) + kUnderspecified,
       {{kWhite, kWhite}},
       {kWhite, kWhite}},
      // 14 + 108 is beyond bfOffBits, so the table is taken right after 40 header bytes.
      {"LongHeaderThatDoesNotFitBeforeThePixelsIsIgnored",
       withHeader(BmpFile::make(2, 1, 1).palette({pixel(10, 20, 30), pixel(40, 50, 60)}).row({0x40, 0, 0, 0}),
                  headerSize(108)),
       "",
       {{a, b}}},
      {"LongHeaderAtDirectDepthsIsExtraData",
       withHeader(BmpFile::make(1, 1, 32).before(Bytes(84, 0xAA)).row({1, 2, 3, 4}), headerSize(124)),
       kExtra,
       {{{3, 2, 1, 4}}}},
      {"OneBitRowsOfNinePixelsAreFourBytes",
       BmpFile::make(9, 2, 1).palette(t2).row({0xAA, 0x80, 0xFF, 0xFF}).row({0x55, 0x7F, 0, 0}).bytes(),
       "",
       {{o, i, o, i, o, i, o, i, o}, {i, o, i, o, i, o, i, o, i}}},
      {"FourBitRowsTakeTheHighNibbleFirst",
       BmpFile::make(3, 2, 4).palette(t16).row({0x12, 0x3F, 0xFF, 0xFF}).row({0xFE, 0xDC, 0, 0}).bytes(),
       "",
       {{entry(t16, 15), entry(t16, 14), entry(t16, 13)}, {entry(t16, 1), entry(t16, 2), entry(t16, 3)}}},
      {"EightBitRowsOfFivePixelsAreEightBytes",
       BmpFile::make(5, 2, 8)
           .palette(t256)
           .row({1, 2, 3, 4, 5, 9, 9, 9})
           .row({250, 0, 7, 8, 255, 0, 0, 0})
           .bytes(),
       "",
       {{entry(t256, 250), entry(t256, 0), entry(t256, 7), entry(t256, 8), entry(t256, 255)},
        {entry(t256, 1), entry(t256, 2), entry(t256, 3), entry(t256, 4), entry(t256, 5)}}},
      {"TwentyFourBitRowsOfFivePixelsAreSixteenBytesWithAlphaZero",
       BmpFile::make(5, 2, 24)
           .row({0, 10, 20, 1, 11, 21, 2, 12, 22, 3, 13, 23, 4, 14, 24, 0xEE})
           .row({100, 0, 255, 101, 0, 255, 102, 0, 255, 103, 0, 255, 104, 0, 255, 0xEE})
           .bytes(),
       "",
       {{{255, 0, 100, 0}, {255, 0, 101, 0}, {255, 0, 102, 0}, {255, 0, 103, 0}, {255, 0, 104, 0}},
        {{20, 10, 0, 0}, {21, 11, 1, 0}, {22, 12, 2, 0}, {23, 13, 3, 0}, {24, 14, 4, 0}}}},
      {"ThirtyTwoBitRowsKeepAlpha",
       BmpFile::make(2, 2, 32).row({1, 2, 3, 4, 5, 6, 7, 8}).row({9, 10, 11, 12, 13, 14, 15, 16}).bytes(),
       "",
       {{{11, 10, 9, 12}, {15, 14, 13, 16}}, {{3, 2, 1, 4}, {7, 6, 5, 8}}}},
      // Default 5-5-5 masks: each channel is its five bits times 8.
      {"SixteenBitRowsOfThreePixelsAreEightBytes",
       BmpFile::make(3, 2, 16)
           .row({0xFF, 0x7F, 0x00, 0x7C, 0x01, 0x00, 0xAB, 0xCD})
           .row({0xE0, 0x03, 0x00, 0x80, 0x21, 0x04, 0x00, 0x00})
           .bytes(),
       "",
       {{{0, 248, 0, 0}, {0, 0, 0, 0}, {8, 8, 8, 0}}, {{248, 248, 248, 0}, {248, 0, 0, 0}, {0, 0, 8, 0}}}},
      {"SixteenBitFieldsFiveSixFive",
       withHeader(BmpFile(fields).row({0xE0, 0x07, 0x20, 0x00, 0x00, 0xF8, 0x40, 0x00}), with(3, 16)),
       "",
       {{{0, 248, 0, 0}, {0, 0, 0, 0}, {248, 0, 0, 0}, {0, 8, 0, 0}}}},
      {"SixteenBitFieldsOnlyUseTheLowWordOfEachMask",
       withHeader(BmpFile(lowWords).row({0xFF, 0x7F, 0x1F, 0x00}), with(3, 16)),
       "",
       {{{248, 248, 248, 0}, {0, 0, 248, 0}}}},
      {"TruncatedPixelDataKeepsTheRowsRead",
       BmpFile::make(2, 3, 24).row({1, 2, 3, 4, 5, 6, 0, 0}).row({7, 8, 9, 10}).bytes(),
       kShortData,
       {{kWhite, kWhite}, {kWhite, kWhite}, {{3, 2, 1, 0}, {6, 5, 4, 0}}}},
      {"TruncatedSixteenBitDataLeavesMissingPixelsWhiteSilently",
       BmpFile::make(2, 2, 16).row({0x00, 0x00, 0x1F, 0x00}).row({0x00, 0x7C, 0x00}).bytes(),
       "",
       {{{248, 0, 0, 0}, kWhite}, {{0, 0, 0, 0}, {0, 0, 248, 0}}}},
      {"TruncatedColourTableKeepsStandardEntries",
       withHeader(BmpFile::make(1, 1, 8).palette(distinctTable(10)).before({1, 2}), offBits(54 + 1024)),
       kShortData,
       {{kWhite}},
       entries(cutTable)},
  };
}

class ReaderReads : public Reader, public ::testing::WithParamInterface<Read> {};

TEST_P(ReaderReads, PrintsTheMessagesAndGivesThePixelsAndTheTable) {
  const Read& r = GetParam();
  EXPECT_EQ(load(r.file), withName(r.messages, path));
  EXPECT_TRUE(result);
  ASSERT_EQ(image.TellHeight(), static_cast<int>(r.rows.size()));
  for (int y = 0; y < image.TellHeight(); ++y) {
    ASSERT_EQ(image.TellWidth(), static_cast<int>(r.rows[y].size()));
    for (int x = 0; x < image.TellWidth(); ++x)
      EXPECT_EQ(rgba(image.GetPixel(x, y)), r.rows[y][x]) << x << "," << y;
  }
  for (int n = 0; n < static_cast<int>(r.table.size()); ++n)
    EXPECT_EQ(rgba(image.GetColor(n)), r.table[n]) << n;
}

INSTANTIATE_TEST_SUITE_P(Files, ReaderReads, ::testing::ValuesIn(reads()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Reader, SuccessReplacesSizeDepthAndResolution) {
  makeBusy(image);
  BmpFile file = BmpFile::make(1, 2, 32).row({1, 2, 3, 4}).row({5, 6, 7, 8});
  file.infoHeader.biXPelsPerMeter = 0;
  file.infoHeader.biYPelsPerMeter = 3937;
  EXPECT_EQ(load(file.bytes()), "");
  EXPECT_TRUE(result);
  EXPECT_EQ(image.TellWidth(), 1);
  EXPECT_EQ(image.TellHeight(), 2);
  EXPECT_EQ(image.TellBitDepth(), 32);
  EXPECT_EQ(image.TellHorizontalDPI(), 96);
  EXPECT_EQ(image.TellVerticalDPI(), 99);
}

// ---------------------------------------------------------------------------------------
// The public row decoders: one member per depth, checked buffer and row.

struct RowDecoder {
  int bits;
  bool (BMP::*read)(PixelryBYTE*, int, int);
  int bytesForNinePixels;
};

void PrintTo(const RowDecoder& decoder, std::ostream* out) { *out << decoder.bits << " bits"; }

class ReaderRowDecoder : public ::testing::TestWithParam<RowDecoder> {
 protected:
  ReaderRowDecoder() {
    image.SetSize(9, 2);
    image.SetBitDepth(GetParam().bits <= 8 ? GetParam().bits : 24);
  }
  bool read(PixelryBYTE* buffer, int size, int row) { return (image.*GetParam().read)(buffer, size, row); }
  BMP image;
  PixelryBYTE buffer[64] = {};
};

TEST_P(ReaderRowDecoder, RefusesAShortBufferANullBufferAndRowsOutsideTheImage) {
  const int needed = GetParam().bytesForNinePixels;
  EXPECT_FALSE(read(buffer, needed - 1, 0));
  EXPECT_FALSE(read(nullptr, needed, 0));
  EXPECT_FALSE(read(buffer, needed, -1));
  EXPECT_FALSE(read(buffer, needed, 2));
  EXPECT_EQ(pixelsOf(image), std::vector<Rgba>(18, kWhite));
  EXPECT_TRUE(read(buffer, needed, 1));
  EXPECT_NE(rgba(image.GetPixel(8, 1)), kWhite);  // index 0 and black are not white
}

INSTANTIATE_TEST_SUITE_P(Depths, ReaderRowDecoder,
                         ::testing::Values(RowDecoder{1, &BMP::Read1bitRow, 2},
                                           RowDecoder{4, &BMP::Read4bitRow, 5},
                                           RowDecoder{8, &BMP::Read8bitRow, 9},
                                           RowDecoder{24, &BMP::Read24bitRow, 27},
                                           RowDecoder{32, &BMP::Read32bitRow, 36}),
                         [](const auto& info) { return std::to_string(info.param.bits) + "bits"; });

TEST(ReaderRowDecoders, TwentyFourBitsKeepAlpha) {
  BMP image;
  image.SetPixel(0, 0, pixel(0, 0, 0, 77));
  PixelryBYTE row[4] = {1, 2, 3, 9};
  EXPECT_TRUE(image.Read24bitRow(row, 3, 0));
  EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{3, 2, 1, 77}));
}

TEST(ReaderRowDecoders, IndexedDecoderOnAnotherDepthLooksUpLikeGetColor) {
  BMP image;
  image.SetSize(2, 1);
  image.SetBitDepth(4);
  PixelryBYTE row[2] = {3, 20};
  bool result = false;
  EXPECT_EQ(capturedOutput([&] { result = image.Read8bitRow(row, 2, 0); }), colourOutOfRange(20, 15, "get"));
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
