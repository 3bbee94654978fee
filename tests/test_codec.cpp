// The codec on buffers and rows: pixel formats, probe, decode into the caller's buffer,
// load, encode, and the row reader and writer.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#ifdef PIXELRY_TESTS_POSIX
#include <unistd.h>
#endif

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Pixel.h"
#include "support/Platform.h"
#include "support/RoundTrip.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;
using pixelry::Code;
using pixelry::PixelFormat;

constexpr PixelFormat kFormats[] = {PixelFormat::rgba8, PixelFormat::bgra8, PixelFormat::rgb8,
                                    PixelFormat::bgr8,  PixelFormat::gray8, PixelFormat::index8};

const char* nameOf(PixelFormat format) {
  static const char* const kNames[] = {"rgba8", "bgra8", "rgb8", "bgr8", "gray8", "index8"};
  return kNames[static_cast<int>(format)];
}

// Each format's rule, as its declaration states it: channel order, Alpha 255 unless the
// file has an alpha mask, BT.601 luma rounded. index8 has no rule over colours.
Bytes mapped(const RGBApixel& p, bool alpha, PixelFormat format) {
  const std::uint8_t a = alpha ? p.Alpha : 255;
  switch (format) {
    case PixelFormat::rgba8:
      return {p.Red, p.Green, p.Blue, a};
    case PixelFormat::bgra8:
      return {p.Blue, p.Green, p.Red, a};
    case PixelFormat::rgb8:
      return {p.Red, p.Green, p.Blue};
    case PixelFormat::bgr8:
      return {p.Blue, p.Green, p.Red};
    case PixelFormat::gray8:
      return {static_cast<std::uint8_t>((19595 * p.Red + 38470 * p.Green + 7471 * p.Blue + 32768) >> 16)};
    case PixelFormat::index8:
      break;
  }
  return {};
}

// A 3 x 2 24-bit picture, row 0 (the top) first, and its file.
const RGBApixel kPicture[2][3] = {{pixel(255, 0, 0), pixel(0, 255, 0), pixel(0, 0, 255)},
                                  {pixel(1, 2, 3), pixel(200, 100, 50), pixel(10, 20, 30)}};

Bytes pictureFile(bool topDown = false) {
  BmpFile file = BmpFile::make(3, topDown ? -2 : 2, 24);
  for (int k = 0; k < 2; ++k) {
    const RGBApixel* row = kPicture[topDown ? k : 1 - k];
    Bytes bytes;
    for (int x = 0; x < 3; ++x) BmpFile::append(bytes, {row[x].Blue, row[x].Green, row[x].Red});
    BmpFile::append(bytes, {0, 0, 0});
    file.row(bytes);
  }
  return file.bytes();
}

// An 8-bit 4 x 2 file with a table of four entries; indices 0 to 3 on top, 3 to 0 below.
Bytes indexedFile() {
  BmpFile file = BmpFile::make(4, 2, 8);
  file.infoHeader.biClrUsed = 4;
  file.palette({pixel(0, 0, 0), pixel(255, 255, 255), pixel(10, 200, 30), pixel(90, 80, 70)});
  file.row({3, 2, 1, 0}).row({0, 1, 2, 3});
  return file.bytes();
}

// A 2 x 1 32-bit file with an alpha mask (bit fields with alpha after a 40-byte header).
Bytes alphaFile() {
  BmpFile file = BmpFile::make(2, 1, 32);
  file.infoHeader.biCompression = 6;
  file.before({0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF});
  file.row({10, 20, 30, 40, 50, 60, 70, 0});
  return file.bytes();
}

// ----- Formats -----------------------------------------------------------------------

struct FormatCase {
  const char* name;
  Bytes file;
  PixelFormat format;
  Bytes expected;  // rows top first, packed
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

class Formats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Formats, LoadGivesTheFormatsBytes) {
  const FormatCase& c = GetParam();
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(c.file.data(), c.file.size(), c.format, pixels);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(pixels.stride, static_cast<std::size_t>(pixels.width) * pixelry::bytesPerPixel(c.format));
  EXPECT_EQ(pixels.bytes, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Formats,
    ::testing::Values(
        FormatCase{"Rgba8OpaqueWithoutAlpha",
                   pictureFile(),
                   PixelFormat::rgba8,
                   {255, 0, 0, 255, 0,   255, 0,  255, 0,  0,  255, 255,
                    1,   2, 3, 255, 200, 100, 50, 255, 10, 20, 30,  255}},
        FormatCase{"Bgra8", pictureFile(), PixelFormat::bgra8, {0,   0,   255, 255, 0,  255, 0,  255,
                                                                255, 0,   0,   255, 3,  2,   1,  255,
                                                                50,  100, 200, 255, 30, 20,  10, 255}},
        FormatCase{"Rgb8",
                   pictureFile(),
                   PixelFormat::rgb8,
                   {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 200, 100, 50, 10, 20, 30}},
        FormatCase{"Bgr8",
                   pictureFile(),
                   PixelFormat::bgr8,
                   {0, 0, 255, 0, 255, 0, 255, 0, 0, 3, 2, 1, 50, 100, 200, 30, 20, 10}},
        // 0.299 x 255 = 76.2, 0.587 x 255 = 149.7 (rounds up), 0.114 x 255 = 29.07.
        FormatCase{"Gray8RoundsToNearest", pictureFile(), PixelFormat::gray8, {76, 150, 29, 2, 124, 18}},
        // 38470 x 52 + 7471 x 184 is 51.5 x 65536 exactly; 38470 x 62 + 7471 x 229 falls
        // 1 / 65536 short of 62.5.
        FormatCase{"Gray8RoundsHalvesUp",
                   BmpFile::make(2, 1, 24).row({184, 52, 0, 229, 62, 0, 0, 0}).bytes(),
                   PixelFormat::gray8,
                   {52, 62}},
        FormatCase{"TopDownRowsComeTopFirst",
                   pictureFile(true),
                   PixelFormat::bgr8,
                   {0, 0, 255, 0, 255, 0, 255, 0, 0, 3, 2, 1, 50, 100, 200, 30, 20, 10}},
        FormatCase{"Index8IsTheTableIndex", indexedFile(), PixelFormat::index8, {0, 1, 2, 3, 3, 2, 1, 0}},
        FormatCase{"IndexedToRgb8", indexedFile(), PixelFormat::rgb8, {0,   0,  0,   255, 255, 255, 10, 200,
                                                                       30,  90, 80,  70,  90,  80,  70, 10,
                                                                       200, 30, 255, 255, 255, 0,   0,  0}},
        FormatCase{"AlphaMaskGivesOpacity", alphaFile(), PixelFormat::rgba8, {30, 20, 10, 40, 70, 60, 50, 0}},
        FormatCase{
            "Bgra8KeepsTheFilesOrder", alphaFile(), PixelFormat::bgra8, {10, 20, 30, 40, 50, 60, 70, 0}},
        FormatCase{"Rgb8DropsAlpha", alphaFile(), PixelFormat::rgb8, {30, 20, 10, 70, 60, 50}},
        // The fourth byte of a 32-bit pixel without bit fields is alpha unless it is 0 in
        // every pixel; the one that is not 0 may come last.
        FormatCase{
            "FourthByteIsAlpha",
            BmpFile::make(2, 2, 32).row({1, 2, 3, 0, 4, 5, 6, 0}).row({7, 8, 9, 0, 10, 11, 12, 1}).bytes(),
            PixelFormat::rgba8,
            {9, 8, 7, 0, 12, 11, 10, 1, 3, 2, 1, 0, 6, 5, 4, 0}},
        FormatCase{"FourthBytesAllZeroArePadding",
                   BmpFile::make(2, 1, 32).row({1, 2, 3, 0, 4, 5, 6, 0}).bytes(),
                   PixelFormat::bgra8,
                   {1, 2, 3, 255, 4, 5, 6, 255}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Formats, BytesPerPixel) {
  const std::size_t expected[] = {4, 4, 3, 3, 1, 1};
  for (std::size_t i = 0; i < std::size(kFormats); ++i)
    EXPECT_EQ(pixelry::bytesPerPixel(kFormats[i]), expected[i]) << nameOf(kFormats[i]);
  EXPECT_EQ(pixelry::bytesPerPixel(static_cast<PixelFormat>(6)), 0u);
}

// The image object keeps a plain 32-bit pixel's fourth byte, alpha or not, but has Alpha
// 0 where bit fields leave alpha out; the caller's formats are opaque without alpha.
TEST(Formats, TheImageKeepsAPlainFourthByteButNotOneTheBitFieldsLeaveOut) {
  BmpFile fields = BmpFile::make(1, 1, 32);
  fields.infoHeader.biCompression = 3;
  fields.before({0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0});
  fields.row({1, 2, 3, 4});
  const Bytes plain = BmpFile::make(1, 1, 32).row({1, 2, 3, 4}).bytes();
  for (const auto& [file, alpha] : {std::pair{fields.bytes(), 0}, std::pair{plain, 4}}) {
    SCOPED_TRACE(alpha);
    BMP image;
    const pixelry::Result read = pixelry::readMemory(image, file.data(), file.size());
    ASSERT_TRUE(read) << read.message;
    EXPECT_EQ(read.alpha, alpha != 0);
    EXPECT_EQ(rgba(image.GetPixel(0, 0)), (Rgba{3, 2, 1, alpha}));
    pixelry::Pixels pixels;
    ASSERT_TRUE(pixelry::load(file.data(), file.size(), PixelFormat::bgra8, pixels));
    EXPECT_EQ(pixels.bytes, (Bytes{1, 2, 3, static_cast<std::uint8_t>(alpha != 0 ? alpha : 255)}));
  }
}

// The fourth bytes are looked through as far as the data goes, from a file in pieces of
// 1 MiB: a byte that is not 0 in the last pixel counts, one past the end of the data does not.
TEST(Formats, FourthByteAlphaIsFoundAnywhereInTheData) {
  BmpFile file = BmpFile::make(1024, 257, 32);
  Bytes row(std::size_t{4} * 1024, 0);
  for (int y = 0; y < 256; ++y) file.row(row);
  row.back() = 9;
  file.row(row);
  const Bytes whole = file.bytes();
  testing_support::TempDir dir;
  const std::string path = dir.file("last.bmp");
  pixelry::Info info;
  for (const Bytes& bytes : {whole, Bytes(whole.begin(), whole.end() - 1)}) {
    const auto expected =
        bytes.size() == whole.size() ? pixelry::AlphaSource::fourthByte : pixelry::AlphaSource::none;
    ASSERT_TRUE(pixelry::probe(bytes.data(), bytes.size(), info));
    EXPECT_EQ(info.alphaSource, expected);
    testing_support::writeBytes(path, bytes);
    ASSERT_TRUE(pixelry::probeFile(path.c_str(), info));
    EXPECT_EQ(info.alphaSource, expected);
  }
}

// An offset that cuts the table short is warned of unless the header declares that many
// entries; indices past the table read black either way.
TEST(Formats, AShortTableWarnsOnlyWhenTheHeaderClaimsMore) {
  for (const PixelryDWORD declared : {0u, 2u}) {
    SCOPED_TRACE(declared);
    BmpFile file = BmpFile::make(2, 1, 8);
    file.infoHeader.biClrUsed = declared;
    file.palette({pixel(10, 20, 30), pixel(40, 50, 60)});
    file.row({1, 5, 0, 0});
    const Bytes bytes = file.bytes();
    pixelry::Pixels pixels;
    const pixelry::Result result = pixelry::load(bytes.data(), bytes.size(), PixelFormat::rgb8, pixels);
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(pixels.bytes, (Bytes{40, 50, 60, 0, 0, 0}));
    if (declared == 0) {
      EXPECT_EQ(result.warnings,
                std::vector<std::string>{"memory has a short colour table; indices past it read black."});
    } else {
      EXPECT_TRUE(result.warnings.empty());
    }
  }
}

TEST(Formats, Index8GivesTheTableAndIsRefusedWithoutOne) {
  const Bytes file = indexedFile();
  pixelry::Pixels pixels;
  ASSERT_TRUE(pixelry::load(file.data(), file.size(), PixelFormat::index8, pixels));
  ASSERT_EQ(pixels.table.size(), 256u);
  EXPECT_EQ(rgba(pixels.table[2]), (Rgba{10, 200, 30, 0}));
  EXPECT_EQ(rgba(pixels.table[4]), (Rgba{0, 0, 0, 0}));  // past the file's four entries
  pixelry::Pixels rgb;
  ASSERT_TRUE(pixelry::load(file.data(), file.size(), PixelFormat::rgb8, rgb));
  EXPECT_TRUE(rgb.table.empty());

  const Bytes direct = pictureFile();
  const pixelry::Result result = pixelry::load(direct.data(), direct.size(), PixelFormat::index8, pixels);
  EXPECT_EQ(result.code, Code::unsupported);
  EXPECT_NE(result.message.find("no colour table"), std::string::npos) << result.message;
  EXPECT_EQ(pixels.bytes, (Bytes{0, 1, 2, 3, 3, 2, 1, 0}));  // left as it was
}

TEST(Formats, RunLengthPixelsNeverSetAreIndexZero) {
  // 4 x 2 RLE8: the bottom row has a run of two 3s, then end of line; the top row ends
  // at once with end of bitmap.
  BmpFile file = BmpFile::make(4, 2, 8);
  file.infoHeader.biCompression = 1;
  file.palette({pixel(9, 9, 9), pixel(1, 1, 1), pixel(2, 2, 2), pixel(3, 3, 3)});
  file.row({2, 3, 0, 0, 0, 1});
  const Bytes bytes = file.bytes();
  pixelry::Pixels pixels;
  ASSERT_TRUE(pixelry::load(bytes.data(), bytes.size(), PixelFormat::index8, pixels));
  EXPECT_EQ(pixels.bytes, (Bytes{0, 0, 0, 0, 3, 3, 0, 0}));
  ASSERT_TRUE(pixelry::load(bytes.data(), bytes.size(), PixelFormat::gray8, pixels));
  EXPECT_EQ(pixels.bytes, (Bytes{9, 9, 9, 9, 3, 3, 9, 9}));
}

// ----- Decode into the caller's buffer -------------------------------------------------

TEST(Decode, LeavesTheBytesPastEachRowAndFitsTheStrideExactly) {
  const Bytes file = pictureFile();
  for (const PixelFormat format : {PixelFormat::rgba8, PixelFormat::bgr8, PixelFormat::gray8}) {
    SCOPED_TRACE(nameOf(format));
    pixelry::Pixels loaded;
    ASSERT_TRUE(pixelry::load(file.data(), file.size(), format, loaded));
    const std::size_t row = 3 * pixelry::bytesPerPixel(format);
    for (const std::size_t stride : {row, row + 5}) {
      Bytes buffer(2 * stride, 0xA5);
      ASSERT_TRUE(pixelry::decode(file.data(), file.size(), format, buffer.data(), stride));
      for (std::size_t y = 0; y < 2; ++y) {
        EXPECT_TRUE(std::equal(loaded.bytes.begin() + static_cast<std::ptrdiff_t>(y * row),
                               loaded.bytes.begin() + static_cast<std::ptrdiff_t>((y + 1) * row),
                               buffer.begin() + static_cast<std::ptrdiff_t>(y * stride)));
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(y * stride + row),
                                buffer.begin() + static_cast<std::ptrdiff_t>((y + 1) * stride),
                                [](std::uint8_t b) { return b == 0xA5; }));
      }
    }
  }
}

TEST(Decode, RefusesAShortStrideOrNoBufferAndWritesNothing) {
  const Bytes file = pictureFile();
  Bytes buffer(64, 0xA5);
  pixelry::Result result = pixelry::decode(file.data(), file.size(), PixelFormat::rgb8, buffer.data(), 8);
  EXPECT_EQ(result.code, Code::badArgument);
  EXPECT_NE(result.message.find("stride of 8 bytes is shorter than a row of 9"), std::string::npos)
      << result.message;
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0xA5; }));
  EXPECT_EQ(pixelry::decode(file.data(), file.size(), PixelFormat::rgb8, nullptr, 9).code, Code::badArgument);
  EXPECT_EQ(pixelry::decode(file.data(), file.size(), static_cast<PixelFormat>(6), buffer.data(), 64).code,
            Code::badArgument);
  // A refused file leaves the buffer alone too.
  result = pixelry::decode(file.data(), 20, PixelFormat::rgb8, buffer.data(), 9);
  EXPECT_EQ(result.code, Code::truncated);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0xA5; }));
}

TEST(Decode, IgnoresThePixelLimitAndReadsFiles) {
  TempDir dir;
  const Bytes file = pictureFile();
  writeBytes(dir.file("in.bmp"), file);
  pixelry::ReadOptions tight;
  tight.maxPixels = 1;
  Bytes fromMemory(18), fromFile(18);
  ASSERT_TRUE(pixelry::decode(file.data(), file.size(), PixelFormat::rgb8, fromMemory.data(), 9, tight));
  ASSERT_TRUE(pixelry::decodeFile(dir.file("in.bmp").c_str(), PixelFormat::rgb8, fromFile.data(), 9, tight));
  EXPECT_EQ(fromMemory, fromFile);
  EXPECT_EQ(pixelry::decodeFile(dir.file("missing.bmp").c_str(), PixelFormat::rgb8, fromFile.data(), 9).code,
            Code::cannotOpen);
  pixelry::Pixels pixels;
  EXPECT_EQ(pixelry::load(file.data(), file.size(), PixelFormat::rgb8, pixels, tight).code, Code::tooLarge);
}

TEST(Decode, DataThatEndsEarlyLeavesWhiteRowsAndIndexZero) {
  Bytes file = pictureFile();
  file.resize(file.size() - 1);  // the top row loses its last padding byte
  Bytes rgb(18);
  const pixelry::Result result = pixelry::decode(file.data(), file.size(), PixelFormat::rgb8, rgb.data(), 9);
  ASSERT_TRUE(result);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].find("ends early"), std::string::npos);
  EXPECT_EQ(rgb, (Bytes{255, 255, 255, 255, 255, 255, 255, 255, 255, 1, 2, 3, 200, 100, 50, 10, 20, 30}));

  Bytes indexed = indexedFile();
  indexed.resize(indexed.size() - 4);
  Bytes indices(8, 0xA5);
  ASSERT_TRUE(pixelry::decode(indexed.data(), indexed.size(), PixelFormat::index8, indices.data(), 4));
  EXPECT_EQ(indices, (Bytes{0, 0, 0, 0, 3, 2, 1, 0}));
}

// Rows longer than the 1 MiB that rows pass through at a time come one at a time, whole.
TEST(Decode, RowsLongerThanAMebibyteComeWhole) {
  constexpr int kWidth = 349526;  // 1048578 bytes of pixels, 1048580 with the padding
  BmpFile file = BmpFile::make(kWidth, 2, 24);
  Bytes stored[2];  // bottom row first
  for (int k = 0; k < 2; ++k) {
    stored[k].resize(3 * kWidth + 2);
    for (int i = 0; i < 3 * kWidth; ++i) stored[k][i] = static_cast<std::uint8_t>(7 * i + 101 * k);
    file.row(stored[k]);
  }
  const Bytes bytes = file.bytes();
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(bytes.data(), bytes.size(), PixelFormat::bgr8, pixels);
  ASSERT_TRUE(result) << result.message;
  EXPECT_TRUE(result.warnings.empty());
  ASSERT_EQ(pixels.bytes.size(), 6u * kWidth);
  EXPECT_TRUE(std::equal(stored[1].begin(), stored[1].end() - 2, pixels.bytes.begin()));
  EXPECT_TRUE(
      std::equal(stored[0].begin(), stored[0].end() - 2, pixels.bytes.begin() + std::ptrdiff_t{3} * kWidth));
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(
      pixelry::encode(pixels.bytes.data(), kWidth, 2, std::size_t{3} * kWidth, PixelFormat::bgr8, 24, out));
  EXPECT_EQ(out, bytes);
}

struct CutCase {
  const char* name;
  Bytes file;
  PixelFormat format;
  Bytes expected;       // rows top first, packed
  const char* warning;  // what the one warning says
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

class CutShort : public ::testing::TestWithParam<CutCase> {};

// load, decode and the row reader keep what arrived, fill in the rest, and warn once.
TEST_P(CutShort, KeepWhatArrivedAndWarnOnce) {
  const CutCase& c = GetParam();
  pixelry::Pixels pixels;
  const pixelry::Result loaded = pixelry::load(c.file.data(), c.file.size(), c.format, pixels);
  ASSERT_TRUE(loaded) << loaded.message;
  EXPECT_EQ(pixels.bytes, c.expected);
  ASSERT_EQ(loaded.warnings.size(), 1u);
  EXPECT_NE(loaded.warnings[0].find(c.warning), std::string::npos) << loaded.warnings[0];
  Bytes buffer(c.expected.size(), 0xA5);
  const pixelry::Result decoded =
      pixelry::decode(c.file.data(), c.file.size(), c.format, buffer.data(), pixels.stride);
  EXPECT_EQ(buffer, c.expected);
  EXPECT_EQ(decoded.warnings, loaded.warnings);
  pixelry::RowReader reader;
  ASSERT_TRUE(reader.open(c.file.data(), c.file.size(), c.format));
  Bytes row(reader.rowBytes());
  for (int y = -1; reader.next(row.data(), y);)
    EXPECT_TRUE(
        std::equal(row.begin(), row.end(), c.expected.begin() + static_cast<std::ptrdiff_t>(row.size()) * y))
        << y;
  EXPECT_EQ(reader.result().warnings, loaded.warnings);
}

Bytes cut(Bytes file, std::size_t size) {
  file.resize(size);
  return file;
}

// A run-length file of 4 x 2 pixels at depth bits (8 or 4) with two entries, from stream.
Bytes runLengthFile(int bits, const Bytes& stream) {
  BmpFile file = BmpFile::make(4, 2, bits);
  file.infoHeader.biCompression = bits == 8 ? 1 : 2;
  file.infoHeader.biClrUsed = 2;
  file.palette({pixel(0, 0, 0), pixel(9, 9, 9)});
  file.row(stream);
  return file.bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Files, CutShort,
    ::testing::Values(CutCase{"RowsEndInTheTopRow", cut(pictureFile(), 54 + 12 + 8), PixelFormat::gray8,
                              Bytes{255, 255, 255, 2, 124, 18}, "pixel data ends early"},
                      CutCase{"RowsEndInTheBottomRow", cut(pictureFile(), 54 + 5), PixelFormat::rgb8,
                              Bytes(18, 255), "pixel data ends early"},
                      CutCase{"RunLengthWithoutEndOfBitmap", runLengthFile(8, {2, 1}), PixelFormat::index8,
                              Bytes{0, 0, 0, 0, 1, 1, 0, 0}, "run-length data ends early"},
                      CutCase{"RunLengthEndsInADelta", runLengthFile(4, {3, 0x10, 0, 2, 1}),
                              PixelFormat::index8, Bytes{0, 0, 0, 0, 1, 0, 1, 0},
                              "run-length data ends early"}),
    [](const auto& info) { return std::string(info.param.name); });

// ----- Probe ----------------------------------------------------------------------------

TEST(Probe, TellsWhatTheHeadersSay) {
  BmpFile file = BmpFile::make(5, -3, 16);
  file.infoHeader.biXPelsPerMeter = 2835;
  file.infoHeader.biYPelsPerMeter = 100;
  file.row(Bytes(12)).row(Bytes(12)).row(Bytes(12));
  const Bytes bytes = file.bytes();
  pixelry::Info info;
  ASSERT_TRUE(pixelry::probe(bytes.data(), bytes.size(), info));
  EXPECT_EQ(info.width, 5);
  EXPECT_EQ(info.height, 3);
  EXPECT_EQ(info.bits, 16);
  EXPECT_TRUE(info.topDown);
  EXPECT_FALSE(info.alpha);
  EXPECT_EQ(info.headerSize, 40);
  EXPECT_EQ(info.compression, 0u);
  EXPECT_EQ(info.masks[0], 0x7C00u);
  EXPECT_EQ(info.masks[1], 0x03E0u);
  EXPECT_EQ(info.masks[2], 0x001Fu);
  EXPECT_EQ(info.masks[3], 0u);
  EXPECT_EQ(info.xPelsPerMeter, 2835);
  EXPECT_EQ(info.yPelsPerMeter, 100);
  EXPECT_EQ(info.fileSize, bytes.size());
  EXPECT_EQ(info.dataOffset, 54u);
  EXPECT_FALSE(info.classic);  // top-down
  EXPECT_TRUE(info.table.empty());

  const Bytes indexed = indexedFile();
  ASSERT_TRUE(pixelry::probe(indexed.data(), indexed.size(), info));
  ASSERT_EQ(info.table.size(), 4u);
  EXPECT_EQ(rgba(info.table[3]), (Rgba{90, 80, 70, 0}));
  EXPECT_TRUE(info.classic);
  EXPECT_FALSE(info.topDown);

  const Bytes alpha = alphaFile();
  ASSERT_TRUE(pixelry::probe(alpha.data(), alpha.size(), info));
  EXPECT_TRUE(info.alpha);
  EXPECT_EQ(info.alphaSource, pixelry::AlphaSource::mask);
  EXPECT_EQ(info.masks[3], 0xFF000000u);
  EXPECT_EQ(info.compression, 6u);

  const Bytes plain = BmpFile::make(1, 1, 32).row({1, 2, 3, 4}).bytes();
  ASSERT_TRUE(pixelry::probe(plain.data(), plain.size(), info));
  EXPECT_TRUE(info.alpha);
  EXPECT_EQ(info.alphaSource, pixelry::AlphaSource::fourthByte);
  EXPECT_EQ(info.masks[0], 0x00FF0000u);
  EXPECT_EQ(info.masks[3], 0xFF000000u);

  const Bytes padded = BmpFile::make(1, 1, 32).row({1, 2, 3, 0}).bytes();
  ASSERT_TRUE(pixelry::probe(padded.data(), padded.size(), info));
  EXPECT_FALSE(info.alpha);
  EXPECT_EQ(info.alphaSource, pixelry::AlphaSource::none);
  EXPECT_EQ(info.masks[3], 0u);
}

// bfSize and bfOffBits as the file header stores them, whatever the file's real size; the
// tables' fourth byte is not kept.
TEST(Probe, GivesTheFileHeaderAsStoredAndTablesWithAlphaZero) {
  BmpFile file = BmpFile::make(2, 1, 8);
  file.infoHeader.biClrUsed = 2;
  file.palette({pixel(1, 2, 3, 40), pixel(4, 5, 6, 50)}).before({0, 0});  // two bytes nothing explains
  file.fileHeader.bfSize = 12345;
  file.row({1, 0, 0, 0});
  const Bytes indexed = file.bytes();
  pixelry::Info info;
  ASSERT_TRUE(pixelry::probe(indexed.data(), indexed.size(), info));
  EXPECT_EQ(info.fileSize, 12345u);
  EXPECT_EQ(info.dataOffset, 54u + 8 + 2);
  ASSERT_EQ(info.table.size(), 2u);
  EXPECT_EQ(rgba(info.table[1]), (Rgba{4, 5, 6, 0}));
  pixelry::Pixels pixels;
  ASSERT_TRUE(pixelry::load(indexed.data(), indexed.size(), PixelFormat::index8, pixels));
  EXPECT_EQ(rgba(pixels.table[0]), (Rgba{1, 2, 3, 0}));

  // A table beside 24-bit pixels, which do not index it.
  BmpFile direct = BmpFile::make(1, 1, 24);
  direct.infoHeader.biClrUsed = 1;
  direct.palette({pixel(7, 8, 9, 60)});
  direct.row({1, 2, 3, 0});
  const Bytes beside = direct.bytes();
  ASSERT_TRUE(pixelry::probe(beside.data(), beside.size(), info));
  ASSERT_EQ(info.table.size(), 1u);
  EXPECT_EQ(rgba(info.table[0]), (Rgba{7, 8, 9, 0}));
}

struct ProbeVerdict {
  const char* name;
  Bytes file;
  Code code;
};

void PrintTo(const ProbeVerdict& c, std::ostream* out) { *out << c.name; }

BmpFile with(void (*change)(BmpFile&)) {
  BmpFile file = BmpFile::make(2, 2, 24);
  change(file);
  return file;
}

class ProbeVerdicts : public ::testing::TestWithParam<ProbeVerdict> {};

// probe refuses what load refuses, for the same reason, without the pixels.
TEST_P(ProbeVerdicts, AgreeWithLoad) {
  const ProbeVerdict& c = GetParam();
  pixelry::Info info;
  const pixelry::Result probed = pixelry::probe(c.file.data(), c.file.size(), info);
  EXPECT_EQ(probed.code, c.code) << probed.message;
  pixelry::Pixels pixels;
  const pixelry::Result loaded = pixelry::load(c.file.data(), c.file.size(), PixelFormat::rgba8, pixels);
  EXPECT_EQ(loaded.code, c.code);
  EXPECT_EQ(loaded.message, probed.message);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProbeVerdicts,
    ::testing::Values(ProbeVerdict{"Readable", pictureFile(), Code::ok},
                      ProbeVerdict{"BitmapArray", Bytes{'B', 'A', 0, 0}, Code::unsupported},
                      ProbeVerdict{"NoSignature", Bytes{'P', 'N', 'G'}, Code::notBmp},
                      ProbeVerdict{"Empty", Bytes{}, Code::truncated},
                      ProbeVerdict{"ZeroWidth", with([](BmpFile& f) { f.infoHeader.biWidth = 0; }).bytes(),
                                   Code::invalid},
                      ProbeVerdict{"TopDownRle8", with([](BmpFile& f) {
                                                    f.infoHeader.biBitCount = 8;
                                                    f.infoHeader.biCompression = 1;
                                                    f.infoHeader.biHeight = static_cast<PixelryDWORD>(-2);
                                                  }).bytes(),
                                   Code::unsupported},
                      ProbeVerdict{"Jpeg", with([](BmpFile& f) { f.infoHeader.biCompression = 4; }).bytes(),
                                   Code::unsupported}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Probe, AFileClaimingTwoToTheThirtyOnePixelsAnswersFromItsHeadersAlone) {
  // 65536 x 32768, nothing after the headers: load refuses it by the default limit.
  const Bytes file = with([](BmpFile& f) {
                       f.infoHeader.biWidth = 65536;
                       f.infoHeader.biHeight = 32768;
                     }).bytes();
  pixelry::Info info;
  ASSERT_TRUE(pixelry::probe(file.data(), file.size(), info));
  EXPECT_EQ(info.width, 65536);
  EXPECT_EQ(info.height, 32768);
  pixelry::Pixels pixels;
  const pixelry::Result loaded = pixelry::load(file.data(), file.size(), PixelFormat::gray8, pixels);
  EXPECT_EQ(loaded.code, Code::tooLarge);
  EXPECT_NE(loaded.message.find("65536 x 32768 pixels, more than the limit of 201326592"), std::string::npos)
      << loaded.message;
}

TEST(Probe, FromAFile) {
  TempDir dir;
  writeBytes(dir.file("in.bmp"), indexedFile());
  pixelry::Info info;
  ASSERT_TRUE(pixelry::probeFile(dir.file("in.bmp").c_str(), info));
  EXPECT_EQ(info.width, 4);
  EXPECT_EQ(info.table.size(), 4u);
  EXPECT_TRUE(info.classic);
  const pixelry::Result missing = pixelry::probeFile(dir.file("none.bmp").c_str(), info);
  EXPECT_EQ(missing.code, Code::cannotOpen);
}

// ----- The pixel limit ----------------------------------------------------------------

TEST(Limit, RefusesJustAboveItForEveryEntryPointThatAllocates) {
  const Bytes file = pictureFile(true);  // 6 pixels, top-down
  for (const std::uint64_t limit : {std::uint64_t{5}, std::uint64_t{6}}) {
    SCOPED_TRACE(limit);
    pixelry::ReadOptions options;
    options.maxPixels = limit;
    const Code expected = limit == 6 ? Code::ok : Code::tooLarge;
    pixelry::Pixels pixels;
    EXPECT_EQ(pixelry::load(file.data(), file.size(), PixelFormat::rgb8, pixels, options).code, expected);
    BMP image;
    EXPECT_EQ(pixelry::readMemory(image, file.data(), file.size(), options).code, expected);
    pixelry::RowReader rows;
    EXPECT_EQ(rows.open(file.data(), file.size(), PixelFormat::rgb8, pixelry::RowOrder::file, options).code,
              expected);
  }
  EXPECT_EQ(pixelry::ReadOptions{}.maxPixels, (std::uint64_t{1} << 27) + (std::uint64_t{1} << 26));
}

TEST(Limit, ZeroLiftsIt) {
  // Just above the default limit; the row reader holds one row of it.
  const Bytes file = with([](BmpFile& f) {
                       f.infoHeader.biWidth = 16384;
                       f.infoHeader.biHeight = 12289;
                     }).bytes();
  pixelry::RowReader rows;
  EXPECT_EQ(rows.open(file.data(), file.size(), PixelFormat::gray8).code, Code::tooLarge);
  pixelry::ReadOptions lifted;
  lifted.maxPixels = 0;
  ASSERT_TRUE(rows.open(file.data(), file.size(), PixelFormat::gray8, pixelry::RowOrder::file, lifted));
  Bytes row(rows.rowBytes());
  int y = -1;
  ASSERT_TRUE(rows.next(row.data(), y));
  EXPECT_EQ(y, 12288);
  EXPECT_EQ(row.front(), 255);  // no data: white
}

// ----- Encode ---------------------------------------------------------------------------

// A 5 x 3 picture of varied colours, with Alpha 255 so that rgba8 and the image agree.
BMP sampleImage(int bits) {
  BMP image;
  image.SetSize(5, 3);
  image.SetBitDepth(bits);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) image.SetPixel(x, y, pixel(37 * x + 50 * y, 200 - 41 * x, 13 * x * y, 255));
  return image;
}

Bytes asFormat(BMP& image, PixelFormat format) {
  Bytes out;
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x)
      BmpFile::append(out, mapped(image.GetPixel(x, y), true, format));
  return out;
}

class EncodeDepths : public ::testing::TestWithParam<int> {};

// encode gives the bytes writeMemory gives for an image with the same pixels, from
// every format that carries them all (gray8 from a grey picture).
TEST_P(EncodeDepths, GivesWhatTheImageObjectWrites) {
  const int bits = GetParam();
  BMP image = sampleImage(bits);
  std::vector<std::uint8_t> expected, out;
  ASSERT_TRUE(pixelry::writeMemory(image, expected));
  for (const PixelFormat format :
       {PixelFormat::rgba8, PixelFormat::bgra8, PixelFormat::rgb8, PixelFormat::bgr8}) {
    SCOPED_TRACE(nameOf(format));
    const Bytes pixels = asFormat(image, format);
    const std::size_t row = 5 * pixelry::bytesPerPixel(format);
    ASSERT_TRUE(pixelry::encode(pixels.data(), 5, 3, row, format, bits, out));
    EXPECT_EQ(out, expected);
    // A wider stride with other bytes between the rows changes nothing.
    Bytes padded;
    for (int y = 0; y < 3; ++y) {
      padded.insert(padded.end(), pixels.begin() + static_cast<std::ptrdiff_t>(y * row),
                    pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
      BmpFile::append(padded, {1, 2, 3});
    }
    ASSERT_TRUE(pixelry::encode(padded.data(), 5, 3, row + 3, format, bits, out));
    EXPECT_EQ(out, expected);
  }
  BMP grey = sampleImage(bits);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const std::uint8_t v = static_cast<std::uint8_t>(50 * x + 7 * y);
      grey.SetPixel(x, y, pixel(v, v, v, 255));
    }
  ASSERT_TRUE(pixelry::writeMemory(grey, expected));
  const Bytes levels = asFormat(grey, PixelFormat::gray8);
  ASSERT_TRUE(pixelry::encode(levels.data(), 5, 3, 5, PixelFormat::gray8, bits, out));
  EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(Bits, EncodeDepths, ::testing::Values(1, 4, 8, 16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bits"; });

TEST(Encode, Index8WritesTheIndicesAndTheTable) {
  pixelry::WriteOptions options;
  options.table = {pixel(1, 2, 3), pixel(4, 5, 6), pixel(7, 8, 9)};
  const Bytes indices = {2, 1, 0, 2};
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(pixelry::encode(indices.data(), 2, 2, 2, PixelFormat::index8, 4, out, options));
  ASSERT_EQ(out.size(), 14u + 40 + 64 + 8);
  EXPECT_EQ(le32(out, 46), 0u);  // biClrUsed: the whole table is written
  EXPECT_EQ(Bytes(out.begin() + 54, out.begin() + 66), (Bytes{3, 2, 1, 0, 6, 5, 4, 0, 9, 8, 7, 0}));
  EXPECT_EQ(Bytes(out.begin() + 66, out.begin() + 70), (Bytes{0, 0, 0, 0}));  // black past the table
  EXPECT_EQ(Bytes(out.begin() + 118, out.end()), (Bytes{0x02, 0, 0, 0, 0x21, 0, 0, 0}));  // bottom row first

  // At 24 bits the indices are colours; one past the table is refused.
  ASSERT_TRUE(pixelry::encode(indices.data(), 2, 2, 2, PixelFormat::index8, 24, out, options));
  EXPECT_EQ(Bytes(out.begin() + 54, out.begin() + 60), (Bytes{3, 2, 1, 9, 8, 7}));
  const Bytes past = {3, 0, 0, 0};
  const pixelry::Result refused =
      pixelry::encode(past.data(), 2, 2, 2, PixelFormat::index8, 24, out, options);
  EXPECT_EQ(refused.code, Code::badArgument);
  EXPECT_NE(refused.message.find("past the colour table"), std::string::npos);
  EXPECT_TRUE(out.empty());
  // Without a table, the standard table of the depth: 16 entries at 4 bits.
  const Bytes fifteen = {15, 16};
  EXPECT_TRUE(pixelry::encode(fifteen.data(), 1, 1, 1, PixelFormat::index8, 4, out));
  EXPECT_EQ(pixelry::encode(fifteen.data() + 1, 1, 1, 1, PixelFormat::index8, 4, out).code,
            Code::badArgument);
}

struct BadArguments {
  const char* name;
  int width, height;
  std::size_t stride;
  int bits;
  std::size_t tableEntries;
  Code code;
  PixelFormat format = PixelFormat::rgb8;
  pixelry::Palette palette = pixelry::Palette::standard;
};

void PrintTo(const BadArguments& c, std::ostream* out) { *out << c.name; }

class EncodeArguments : public ::testing::TestWithParam<BadArguments> {};

TEST_P(EncodeArguments, AreCheckedAtTheirEdges) {
  const BadArguments& c = GetParam();
  const Bytes pixels(64, 0);
  pixelry::WriteOptions options;
  options.table.resize(c.tableEntries, pixel(1, 1, 1));
  options.palette = c.palette;
  std::vector<std::uint8_t> out = {1};
  const pixelry::Result result =
      pixelry::encode(pixels.data(), c.width, c.height, c.stride, c.format, c.bits, out, options);
  EXPECT_EQ(result.code, c.code) << result.message;
  if (c.code != Code::ok) {
    EXPECT_EQ(out, (Bytes{1}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, EncodeArguments,
    ::testing::Values(
        BadArguments{"Fits", 2, 2, 6, 24, 0, Code::ok},
        BadArguments{"StrideOneShort", 2, 2, 5, 24, 0, Code::badArgument},
        BadArguments{"ZeroWidth", 0, 2, 6, 24, 0, Code::badArgument},
        BadArguments{"ZeroHeight", 2, 0, 6, 24, 0, Code::badArgument},
        BadArguments{"TwoBits", 2, 2, 6, 2, 0, Code::badArgument},
        BadArguments{"WholeTableAtFourBits", 2, 2, 6, 4, 16, Code::ok},
        BadArguments{"TableTooLongAtFourBits", 2, 2, 6, 4, 17, Code::badArgument},
        BadArguments{"WholeTableAtOneBit", 2, 2, 6, 1, 2, Code::ok},
        BadArguments{"TableTooLongAtOneBit", 2, 2, 6, 1, 3, Code::badArgument},
        BadArguments{"WholeTableAtEightBits", 2, 2, 6, 8, 256, Code::ok},
        BadArguments{"TableTooLongAtEightBits", 2, 2, 6, 8, 257, Code::badArgument},
        // At 16, 24 and 32 bits the table gives index8 pixels their colours.
        BadArguments{"WholeTableAtTwentyFourBits", 2, 2, 6, 24, 256, Code::ok},
        BadArguments{"TableTooLongAtTwentyFourBits", 2, 2, 6, 24, 257, Code::badArgument},
        // 32768 x 32768 at 32 bits holds 4 GiB of pixels: past what a
        // file's 32-bit size field holds, as is 2^31 x 2^31.
        BadArguments{"FourGibibytes", 32768, 32768, 98304, 32, 0, Code::tooLarge},
        BadArguments{"LargestDimensions", 2147483647, 2147483647, 6442450941, 32, 0, Code::tooLarge},
        BadArguments{"UnknownFormat", 2, 2, 8, 24, 0, Code::badArgument, static_cast<PixelFormat>(6)},
        // A table made for the picture replaces a given one, and cannot be made from indices.
        BadArguments{"AdaptiveAtOneBit", 2, 2, 6, 1, 0, Code::ok, PixelFormat::rgb8,
                     pixelry::Palette::adaptive},
        BadArguments{"AdaptiveWithATable", 2, 2, 6, 8, 4, Code::badArgument, PixelFormat::rgb8,
                     pixelry::Palette::adaptive},
        BadArguments{"AdaptiveFromIndices", 2, 2, 2, 4, 0, Code::badArgument, PixelFormat::index8,
                     pixelry::Palette::adaptive},
        BadArguments{"AdaptiveIgnoredAtSixteenBits", 2, 2, 2, 16, 4, Code::ok, PixelFormat::index8,
                     pixelry::Palette::adaptive},
        BadArguments{"UnknownPalette", 2, 2, 6, 8, 0, Code::badArgument, PixelFormat::rgb8,
                     static_cast<pixelry::Palette>(2)}),
    [](const auto& info) { return std::string(info.param.name); });

// A flat grey dithers to a mix of black and white whose mean is the grey, through encode
// and the image object's writer alike; dithering is ignored at 24 bits and for indices.
TEST(Encode, DitheringSpreadsTheErrorWhereThereIsATable) {
  constexpr int kSide = 32;
  constexpr std::size_t kRow = std::size_t{kSide} * 3;
  const Bytes grey(kRow * kSide, 100);
  pixelry::WriteOptions dithered;
  dithered.dither = true;
  std::vector<std::uint8_t> plain, out, fromImage;
  ASSERT_TRUE(pixelry::encode(grey.data(), kSide, kSide, kRow, PixelFormat::rgb8, 1, plain));
  ASSERT_TRUE(pixelry::encode(grey.data(), kSide, kSide, kRow, PixelFormat::rgb8, 1, out, dithered));
  pixelry::Pixels back;
  ASSERT_TRUE(pixelry::load(plain.data(), plain.size(), PixelFormat::gray8, back));
  EXPECT_EQ(std::count(back.bytes.begin(), back.bytes.end(), 0), kSide * kSide);  // all nearest: black
  ASSERT_TRUE(pixelry::load(out.data(), out.size(), PixelFormat::gray8, back));
  const double mean = std::accumulate(back.bytes.begin(), back.bytes.end(), 0.0) / (kSide * kSide);
  EXPECT_NEAR(mean, 100, 2);
  BMP image;
  image.SetSize(kSide, kSide);
  image.SetBitDepth(1);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) image.SetPixel(x, y, pixel(100, 100, 100));
  ASSERT_TRUE(pixelry::writeMemory(image, fromImage, dithered));
  EXPECT_EQ(fromImage, out);
  // Two by two: the bottom row goes first, left to right (black leaves +100, so white
  // follows), the top row back from the right.
  ASSERT_TRUE(pixelry::encode(grey.data(), 2, 2, 6, PixelFormat::rgb8, 1, out, dithered));
  ASSERT_TRUE(pixelry::load(out.data(), out.size(), PixelFormat::index8, back));
  EXPECT_EQ(back.bytes, (Bytes{1, 0, 0, 1}));

  for (const auto& [format, bits] : {std::pair{PixelFormat::rgb8, 24}, std::pair{PixelFormat::index8, 8}}) {
    ASSERT_TRUE(pixelry::encode(grey.data(), kSide, kSide, kRow, format, bits, plain));
    ASSERT_TRUE(pixelry::encode(grey.data(), kSide, kSide, kRow, format, bits, out, dithered));
    EXPECT_EQ(out, plain) << bits;
  }
}

// Floyd-Steinberg as the writers promise it, done plainly: rows bottom first, the first left
// to right and then alternating; each pixel plus the error carried to it, rounded to the
// nearest level (halves away from 0) and clamped, goes to its nearest entry, and what is
// left goes 7/16 ahead, 3/16 behind below, 5/16 below and 1/16 ahead below.
Bytes floydSteinberg(const Bytes& rgb, int width, int height, const Palette& table) {
  std::vector<std::array<double, 3>> carried(static_cast<std::size_t>(width) * height);
  Bytes indices(carried.size());
  for (int k = 0; k < height; ++k) {
    const int y = height - 1 - k, step = k % 2 == 0 ? 1 : -1;
    for (int i = 0; i < width; ++i) {
      const int x = step == 1 ? i : width - 1 - i;
      const std::size_t at = static_cast<std::size_t>(y) * width + x;
      int wanted[3];
      for (int c = 0; c < 3; ++c)
        wanted[c] = std::clamp(rgb[3 * at + c] + static_cast<int>(std::round(carried[at][c])), 0, 255);
      const int index = nearestEntry(table, pixel(wanted[0], wanted[1], wanted[2]));
      indices[at] = static_cast<std::uint8_t>(index);
      const int got[3] = {table[index].Red, table[index].Green, table[index].Blue};
      for (const auto& [dx, dy, weight] :
           {std::tuple{step, 0, 7}, {-step, -1, 3}, {0, -1, 5}, {step, -1, 1}}) {
        if (x + dx < 0 || x + dx >= width || y + dy < 0) continue;
        for (int c = 0; c < 3; ++c)
          carried[static_cast<std::size_t>(y + dy) * width + x + dx][c] +=
              (wanted[c] - got[c]) * weight / 16.0;
      }
    }
  }
  return indices;
}

TEST(Encode, DitheringIsFloydSteinbergInSerpentineRows) {
  Random random(77);
  constexpr std::size_t kRow = std::size_t{13} * 3;
  Bytes noise(kRow * 7), blackAndWhite(kRow * 7);
  for (std::uint8_t& v : noise) v = static_cast<std::uint8_t>(random.byte());
  for (std::size_t i = 0; i < blackAndWhite.size(); ++i) blackAndWhite[i] = i / 3 % 2 == 0 ? 0 : 255;
  BMP standard;
  standard.SetBitDepth(1);
  // Levels at the ends of the range, where the clamp decides.
  const Palette ends = {pixel(0, 0, 0), pixel(1, 1, 1), pixel(254, 254, 254), pixel(255, 255, 255)};
  for (const auto& [rgb, table] : {std::pair{noise, randomTable(4)}, std::pair{noise, tableOf(standard)},
                                   std::pair{blackAndWhite, ends}}) {
    pixelry::WriteOptions options;
    options.table = table;
    options.dither = true;
    std::vector<std::uint8_t> out;
    const int bits = table.size() == 2 ? 1 : 4;
    ASSERT_TRUE(pixelry::encode(rgb.data(), 13, 7, kRow, PixelFormat::rgb8, bits, out, options));
    pixelry::Pixels back;
    ASSERT_TRUE(pixelry::load(out.data(), out.size(), PixelFormat::index8, back));
    EXPECT_EQ(back.bytes, floydSteinberg(rgb, 13, 7, table)) << table.size();
  }
}

TEST(Encode, AlphaMaskAtThirtyTwoBitsOnlyAndRgbIsOpaque) {
  const Bytes rgba = {10, 20, 30, 40};
  std::vector<std::uint8_t> out;
  pixelry::WriteOptions options;
  options.alphaMask = true;
  ASSERT_TRUE(pixelry::encode(rgba.data(), 1, 1, 4, PixelFormat::rgba8, 32, out, options));
  EXPECT_EQ(le32(out, 14), 108u);
  EXPECT_EQ(le32(out, 2), 14u + 108 + 4);
  EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{30, 20, 10, 40}));
  // A buffer's alpha is written as given, 0 everywhere included.
  const Bytes transparent = {10, 20, 30, 0};
  ASSERT_TRUE(pixelry::encode(transparent.data(), 1, 1, 4, PixelFormat::rgba8, 32, out, options));
  EXPECT_EQ(out.back(), 0);
  options.sixteenBitLayout = pixelry::SixteenBitLayout::argb4444;
  ASSERT_TRUE(pixelry::encode(transparent.data(), 1, 1, 4, PixelFormat::rgba8, 16, out, options));
  EXPECT_EQ(out[out.size() - 3] & 0xF0, 0);  // the word's alpha nibble, before the padding
  ASSERT_TRUE(pixelry::encode(rgba.data(), 1, 1, 4, PixelFormat::rgba8, 24, out, options));
  EXPECT_EQ(le32(out, 14), 40u);
  const Bytes rgb = {10, 20, 30};
  ASSERT_TRUE(pixelry::encode(rgb.data(), 1, 1, 3, PixelFormat::rgb8, 32, out));
  EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{30, 20, 10, 255}));
  EXPECT_EQ(pixelry::encode(nullptr, 1, 1, 3, PixelFormat::rgb8, 32, out).code, Code::badArgument);
}

// index8 colours are opaque: a table's fourth byte is not opacity.
TEST(Encode, Index8AtThirtyTwoBitsIsOpaque) {
  pixelry::WriteOptions options;
  options.table = {pixel(1, 2, 3), pixel(4, 5, 6)};
  options.alphaMask = true;
  const Bytes indices = {1, 0};
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(pixelry::encode(indices.data(), 2, 1, 2, PixelFormat::index8, 32, out, options));
  EXPECT_EQ(Bytes(out.end() - 8, out.end()), (Bytes{6, 5, 4, 255, 3, 2, 1, 255}));
}

// A BMP file holds less than 4 GiB: one 32-bit column of 1073741810 rows makes a file of
// 4294967294 bytes, and one row more is too large. The row writer writes only the headers
// when it opens, so it shows both sides; encode refuses before it reads a pixel.
TEST(Encode, FilesOfMoreThanFourGiBAreRefused) {
  constexpr int kMostRows = 1073741810;
  std::vector<std::uint8_t> out;
  pixelry::RowWriter writer;
  ASSERT_TRUE(writer.open(out, 1, kMostRows, PixelFormat::rgba8, 32));
  EXPECT_EQ(le32(out, 2), 4294967294u);
  EXPECT_EQ(writer.open(out, 1, kMostRows + 1, PixelFormat::rgba8, 32).code, Code::tooLarge);
  const Bytes rgba = {1, 2, 3, 4};
  EXPECT_EQ(pixelry::encode(rgba.data(), 1, kMostRows + 1, 4, PixelFormat::rgba8, 32, out).code,
            Code::tooLarge);
  TempDir dir;
  const std::string target = dir.file("large.bmp");
  EXPECT_EQ(
      pixelry::encodeFile(target.c_str(), rgba.data(), 1, kMostRows + 1, 4, PixelFormat::rgba8, 32).code,
      Code::tooLarge);
  EXPECT_FALSE(std::filesystem::exists(target));
}

struct Resolution {
  const char* name;
  std::int32_t x, y;                // as given
  std::int32_t writtenX, writtenY;  // as written
};

void PrintTo(const Resolution& c, std::ostream* out) { *out << c.name; }

class EncodeResolutions : public ::testing::TestWithParam<Resolution> {};

// encode and the row writer write the resolution they are given, and 0 as 96 dpi.
TEST_P(EncodeResolutions, AreWrittenAsGivenButZero) {
  const Resolution& c = GetParam();
  pixelry::WriteOptions options;
  options.xPelsPerMeter = c.x;
  options.yPelsPerMeter = c.y;
  const Bytes rgb = {10, 20, 30};
  std::vector<std::uint8_t> encoded, rows;
  ASSERT_TRUE(pixelry::encode(rgb.data(), 1, 1, 3, PixelFormat::rgb8, 24, encoded, options));
  pixelry::RowWriter writer;
  ASSERT_TRUE(writer.open(rows, 1, 1, PixelFormat::rgb8, 24, options));
  ASSERT_TRUE(writer.write(rgb.data()));
  ASSERT_TRUE(writer.close());
  for (const std::vector<std::uint8_t>* out : {&encoded, &rows}) {
    pixelry::Info info;
    ASSERT_TRUE(pixelry::probe(out->data(), out->size(), info));
    EXPECT_EQ(info.xPelsPerMeter, c.writtenX);
    EXPECT_EQ(info.yPelsPerMeter, c.writtenY);
  }
}

INSTANTIATE_TEST_SUITE_P(Options, EncodeResolutions,
                         ::testing::Values(Resolution{"UnsetIs96Dpi", 0, 0, 3780, 3780},
                                           Resolution{"OneAndTwo", 1, 2, 1, 2},
                                           Resolution{"OnlyYUnset", 2835, 0, 2835, 3780},
                                           Resolution{"OnlyXUnset", 0, 100, 3780, 100},
                                           Resolution{"NegativeAsGiven", -1, -2, -1, -2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Encode, ToAFileAsToMemory) {
  TempDir dir;
  const Bytes rgb = {10, 20, 30, 40, 50, 60};
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(pixelry::encode(rgb.data(), 2, 1, 6, PixelFormat::rgb8, 8, out));
  ASSERT_TRUE(pixelry::encodeFile(dir.file("out.bmp").c_str(), rgb.data(), 2, 1, 6, PixelFormat::rgb8, 8));
  EXPECT_EQ(readBytes(dir.file("out.bmp")), out);
  EXPECT_EQ(
      pixelry::encodeFile(dir.path().u8string().c_str(), rgb.data(), 2, 1, 6, PixelFormat::rgb8, 8).code,
      Code::cannotOpen);
}

// ----- Run-length coding ----------------------------------------------------------------

// One row as its pieces: an index repeated, or with index kNoise, a stretch where no pixel
// equals either of the two before it (1, 2, 3, 1, 2, 3, ...), which no run shortens.
constexpr int kNoise = -1;
struct Piece {
  int index, count;
};

struct RunLengthCase {
  const char* name;
  int bits;
  std::vector<Piece> row;
  int rowBytes;  // the fewest bytes that code the row, its end of line left out
};

void PrintTo(const RunLengthCase& c, std::ostream* out) { *out << c.name; }

Bytes rowOf(const std::vector<Piece>& pieces) {
  Bytes row;
  for (const Piece& piece : pieces)
    for (int k = 0; k < piece.count; ++k)
      row.push_back(static_cast<std::uint8_t>(piece.index == kNoise ? 1 + k % 3 : piece.index));
  return row;
}

class EncodeRunLength : public ::testing::TestWithParam<RunLengthCase> {};

// Three rows of the picture, each read back as written, in the fewest bytes; the headers
// give the stream's size and the file's; the image object writes the same file.
TEST_P(EncodeRunLength, ReadsBackInTheFewestBytes) {
  const RunLengthCase& c = GetParam();
  const Bytes row = rowOf(c.row);
  const int width = static_cast<int>(row.size());
  Bytes indices;
  for (int y = 0; y < 3; ++y) indices.insert(indices.end(), row.begin(), row.end());
  pixelry::WriteOptions options;
  options.runLength = true;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(
      pixelry::encode(indices.data(), width, 3, row.size(), PixelFormat::index8, c.bits, out, options));
  const std::uint32_t offset = 14 + 40 + (4u << c.bits), stream = 3 * (c.rowBytes + 2);
  EXPECT_EQ(le32(out, 2), out.size());
  EXPECT_EQ(le32(out, 10), offset);
  EXPECT_EQ(le32(out, 14), 40u);
  EXPECT_EQ(le32(out, 22), 3u);  // bottom-up
  EXPECT_EQ(le32(out, 30), c.bits == 8 ? 1u : 2u);
  EXPECT_EQ(le32(out, 34), stream);
  ASSERT_EQ(out.size(), offset + stream);
  EXPECT_EQ(Bytes(out.end() - 2, out.end()), (Bytes{0, 1}));
  pixelry::Pixels back;
  const pixelry::Result read = pixelry::load(out.data(), out.size(), PixelFormat::index8, back);
  ASSERT_TRUE(read) << read.message;
  EXPECT_TRUE(read.warnings.empty());
  EXPECT_EQ(back.bytes, indices);

  BMP image;
  ASSERT_TRUE(pixelry::readMemory(image, out.data(), out.size()));
  std::vector<std::uint8_t> written;
  ASSERT_TRUE(pixelry::writeMemory(image, written, options));
  EXPECT_EQ(written, out);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EncodeRunLength,
    ::testing::Values(
        // A row of n pixels none of which repeats: 1 or 2 runs of one, then absolute runs
        // from 3 pixels, padded to 16-bit words: n + 2 bytes rounded up to even at 8 bits;
        // at 4 bits a run for each 2 pixels, or absolute runs of an even count, 2 bytes and
        // a word for each 4 pixels, and a run of one after them at an odd width.
        RunLengthCase{"Rle8Width1", 8, {{kNoise, 1}}, 2}, RunLengthCase{"Rle8Width2", 8, {{kNoise, 2}}, 4},
        RunLengthCase{"Rle8Width3", 8, {{kNoise, 3}}, 6}, RunLengthCase{"Rle8Width4", 8, {{kNoise, 4}}, 6},
        RunLengthCase{"Rle8Width5", 8, {{kNoise, 5}}, 8}, RunLengthCase{"Rle8Width6", 8, {{kNoise, 6}}, 8},
        RunLengthCase{"Rle8Width7", 8, {{kNoise, 7}}, 10}, RunLengthCase{"Rle8Width8", 8, {{kNoise, 8}}, 10},
        RunLengthCase{"Rle8Width9", 8, {{kNoise, 9}}, 12}, RunLengthCase{"Rle4Width1", 4, {{kNoise, 1}}, 2},
        RunLengthCase{"Rle4Width2", 4, {{kNoise, 2}}, 2}, RunLengthCase{"Rle4Width3", 4, {{kNoise, 3}}, 4},
        RunLengthCase{"Rle4Width4", 4, {{kNoise, 4}}, 4}, RunLengthCase{"Rle4Width5", 4, {{kNoise, 5}}, 6},
        RunLengthCase{"Rle4Width6", 4, {{kNoise, 6}}, 6}, RunLengthCase{"Rle4Width7", 4, {{kNoise, 7}}, 8},
        RunLengthCase{"Rle4Width8", 4, {{kNoise, 8}}, 6}, RunLengthCase{"Rle4Width9", 4, {{kNoise, 9}}, 8},
        // Absolute runs hold at most 255 pixels.
        RunLengthCase{"Rle8Absolute255", 8, {{kNoise, 255}}, 258},
        RunLengthCase{"Rle8Absolute256", 8, {{kNoise, 256}}, 260},
        RunLengthCase{"Rle8Absolute257", 8, {{kNoise, 257}}, 262},
        RunLengthCase{"Rle4Absolute255", 4, {{kNoise, 255}}, 132},
        RunLengthCase{"Rle4Absolute256", 4, {{kNoise, 256}}, 132},
        RunLengthCase{"Rle4Absolute511", 4, {{kNoise, 511}}, 264},
        // Encoded runs too: rows of a single colour.
        RunLengthCase{"Rle8OneColour255", 8, {{5, 255}}, 2},
        RunLengthCase{"Rle8OneColour256", 8, {{5, 256}}, 4},
        RunLengthCase{"Rle8OneColour511", 8, {{5, 511}}, 6},
        RunLengthCase{"Rle8OneColour766", 8, {{5, 766}}, 8},
        RunLengthCase{"Rle4OneColour255", 4, {{5, 255}}, 2},
        RunLengthCase{"Rle4OneColour257", 4, {{5, 257}}, 4},
        // At 4 bits one run alternates two indices.
        RunLengthCase{"Rle4Alternating", 4, {{7, 1}, {5, 1}, {7, 1}, {5, 1}, {7, 1}, {5, 1}, {7, 1}}, 2},
        RunLengthCase{"Rle8Alternating", 8, {{7, 1}, {5, 1}, {7, 1}, {5, 1}, {7, 1}, {5, 1}, {7, 1}}, 10},
        // Odd runs side by side, and a stretch too short for an absolute run between two runs.
        RunLengthCase{"Rle8OddRuns", 8, {{1, 3}, {2, 5}, {3, 1}, {4, 7}}, 8},
        RunLengthCase{"Rle4OddRuns", 4, {{1, 3}, {2, 5}, {3, 1}, {4, 7}}, 8},
        RunLengthCase{"Rle8RunsAroundTwo", 8, {{9, 4}, {kNoise, 2}, {9, 4}}, 8},
        RunLengthCase{"Rle8AbsoluteThenRun", 8, {{kNoise, 8}, {9, 3}}, 12},
        RunLengthCase{"Rle8RunThenAbsolute", 8, {{9, 3}, {kNoise, 8}}, 12},
        RunLengthCase{"Rle4RunThenAbsolute", 4, {{9, 3}, {kNoise, 8}}, 8},
        RunLengthCase{"Rle4AbsoluteThenRun", 4, {{kNoise, 8}, {9, 3}}, 8},
        // The alternating run could start a pixel sooner, at a dearer point: 7 pixels of
        // noise cost more than 8.
        RunLengthCase{"Rle4LaterRunStartIsCheaper",
                      4,
                      {{kNoise, 8}, {5, 1}, {2, 1}, {5, 1}, {2, 1}, {5, 1}, {2, 1}},
                      8}),
    [](const auto& info) { return std::string(info.param.name); });

// Two 11-pixel rows as hand-written streams: bottom 1 to 8 then three 9s, top 7s (at 4
// bits 7 and 5 alternating).
TEST(Encode, RunLengthStreamsAreTheBytesTheFormatGives) {
  const Bytes bottom = {1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9};
  const struct {
    int bits;
    Bytes top, stream;
  } kCases[] = {
      {8, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, {0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 3, 9, 0, 0, 11, 7, 0, 1}},
      {4, {7, 5, 7, 5, 7, 5, 7, 5, 7, 5, 7}, {0, 8, 0x12, 0x34, 0x56, 0x78, 3, 0x99, 0, 0, 11, 0x75, 0, 1}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bits);
    Bytes indices = c.top;
    indices.insert(indices.end(), bottom.begin(), bottom.end());
    pixelry::WriteOptions options;
    options.runLength = true;
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(pixelry::encode(indices.data(), 11, 2, 11, PixelFormat::index8, c.bits, out, options));
    EXPECT_EQ(Bytes(out.begin() + le32(out, 10), out.end()), c.stream);
    // A profile follows the stream, and the 124-byte header says where.
    options.profile = {1, 2, 3, 4, 5};
    ASSERT_TRUE(pixelry::encode(indices.data(), 11, 2, 11, PixelFormat::index8, c.bits, out, options));
    EXPECT_EQ(le32(out, 14), 124u);
    EXPECT_EQ(le32(out, 34), c.stream.size());
    EXPECT_EQ(le32(out, 2), out.size());
    EXPECT_EQ(14 + le32(out, 14 + 112), le32(out, 10) + c.stream.size());
    EXPECT_EQ(Bytes(out.end() - 5, out.end()), options.profile);
  }
}

// Coded by runs or not, a file holds the same indices and table: the nearest entries of
// the standard table, diffused or not, or of a table built for the picture; from encode
// and from the image object.
TEST(Encode, RunLengthTakesTheIndicesOfTheUncompressedFile) {
  BMP image = sampleImage(8);
  const Bytes rgb = asFormat(image, PixelFormat::rgb8);
  const auto sameIndices = [](const auto& write, pixelry::WriteOptions options) {
    std::vector<std::uint8_t> plain, coded;
    pixelry::Pixels expected, back;
    ASSERT_TRUE(write(plain, options));
    options.runLength = true;
    ASSERT_TRUE(write(coded, options));
    ASSERT_TRUE(pixelry::load(plain.data(), plain.size(), PixelFormat::index8, expected));
    ASSERT_TRUE(pixelry::load(coded.data(), coded.size(), PixelFormat::index8, back));
    EXPECT_EQ(back.bytes, expected.bytes);
    EXPECT_EQ(Bytes(coded.begin() + 54, coded.begin() + le32(coded, 10)),
              Bytes(plain.begin() + 54, plain.begin() + le32(plain, 10)));
  };
  for (const int bits : {4, 8})
    for (const auto& [dither, palette] :
         {std::pair{false, pixelry::Palette::standard}, std::pair{true, pixelry::Palette::standard},
          std::pair{true, pixelry::Palette::adaptive}}) {
      SCOPED_TRACE(std::to_string(bits) + (dither ? " dithered" : "") +
                   (palette == pixelry::Palette::adaptive ? " adaptive" : ""));
      pixelry::WriteOptions options;
      options.dither = dither;
      options.palette = palette;
      sameIndices(
          [&](std::vector<std::uint8_t>& out, const pixelry::WriteOptions& given) {
            return pixelry::encode(rgb.data(), 5, 3, 15, PixelFormat::rgb8, bits, out, given);
          },
          options);
      BMP atDepth = sampleImage(bits);
      sameIndices(
          [&](std::vector<std::uint8_t>& out, const pixelry::WriteOptions& given) {
            return pixelry::writeMemory(atDepth, out, given);
          },
          options);
    }
}

// Only 4- and 8-bit pixels are coded by runs, and only by the writers that see the whole picture.
TEST(Encode, RunLengthAtOtherDepthsAndRowByRowIsRefused) {
  const Bytes rgb(12, 0);
  pixelry::WriteOptions options;
  options.runLength = true;
  std::vector<std::uint8_t> out = {1};
  for (const int bits : {1, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const std::string why =
        "run-length compression at " + std::to_string(bits) + " bits (only 4 and 8 are coded by runs).";
    const pixelry::Result encoded =
        pixelry::encode(rgb.data(), 2, 2, 6, PixelFormat::rgb8, bits, out, options);
    EXPECT_EQ(encoded.code, Code::badArgument);
    EXPECT_EQ(encoded.message, "Cannot encode: " + why);
    EXPECT_EQ(out, (Bytes{1}));
    BMP image;
    image.SetSize(2, 2);
    image.SetBitDepth(bits);
    const pixelry::Result written = pixelry::writeMemory(image, out, options);
    EXPECT_EQ(written.code, Code::badArgument);
    EXPECT_EQ(written.message, "Cannot write memory: " + why);
  }
  pixelry::RowWriter writer;
  for (const int bits : {4, 8, 24})
    EXPECT_EQ(writer.open(out, 2, 2, PixelFormat::rgb8, bits, options).code, Code::badArgument);
  EXPECT_EQ(out, (Bytes{1}));
}

// ----- Rows -----------------------------------------------------------------------------

struct OrderCase {
  const char* name;
  bool topDown;
  pixelry::RowOrder order;
  std::vector<int> rows;
  bool fromAPipe;  // a stream that cannot seek gives this order too
};

void PrintTo(const OrderCase& c, std::ostream* out) { *out << c.name; }

class RowOrders : public ::testing::TestWithParam<OrderCase> {};

TEST_P(RowOrders, GiveEveryRowOnceAsLoadHasIt) {
  const OrderCase& c = GetParam();
  const Bytes file = pictureFile(c.topDown);
  pixelry::Pixels loaded;
  ASSERT_TRUE(pixelry::load(file.data(), file.size(), PixelFormat::bgra8, loaded));
  TempDir dir;
  writeBytes(dir.file("in.bmp"), file);
  pixelry::RowReader fromMemory, fromFile;
  ASSERT_TRUE(fromMemory.open(file.data(), file.size(), PixelFormat::bgra8, c.order));
  ASSERT_TRUE(fromFile.open(dir.file("in.bmp").c_str(), PixelFormat::bgra8, c.order));
  for (pixelry::RowReader* reader : {&fromMemory, &fromFile}) {
    EXPECT_EQ(reader->info().height, 2);
    ASSERT_EQ(reader->rowBytes(), 12u);
    std::vector<int> seen;
    Bytes row(12);
    for (int y = -1; reader->next(row.data(), y);) {
      seen.push_back(y);
      EXPECT_TRUE(std::equal(row.begin(), row.end(), loaded.bytes.begin() + std::ptrdiff_t{12} * y)) << y;
    }
    EXPECT_EQ(seen, c.rows);
    EXPECT_TRUE(reader->result().warnings.empty());
  }
#ifdef PIXELRY_TESTS_POSIX
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], file.data(), file.size()),
            static_cast<ssize_t>(file.size()));  // within the pipe's 64 KiB
  close(ends[1]);
  std::FILE* stream = fdopen(ends[0], "rb");
  ASSERT_NE(stream, nullptr);
  pixelry::RowReader fromPipe;
  const pixelry::Result opened = fromPipe.open(stream, PixelFormat::bgra8, c.order);
  EXPECT_EQ(opened.code, c.fromAPipe ? Code::ok : Code::unsupported) << opened.message;
  std::vector<int> seen;
  Bytes row(12);
  for (int y = -1; fromPipe.next(row.data(), y);) {
    seen.push_back(y);
    EXPECT_TRUE(std::equal(row.begin(), row.end(), loaded.bytes.begin() + std::ptrdiff_t{12} * y)) << y;
  }
  EXPECT_EQ(seen, c.fromAPipe ? c.rows : std::vector<int>{});
  std::fclose(stream);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Orders, RowOrders,
    ::testing::Values(OrderCase{"BottomUpInFileOrder", false, pixelry::RowOrder::file, {1, 0}, true},
                      OrderCase{"BottomUpTopFirst", false, pixelry::RowOrder::topFirst, {0, 1}, false},
                      OrderCase{"BottomUpBottomFirst", false, pixelry::RowOrder::bottomFirst, {1, 0}, true},
                      OrderCase{"TopDownInFileOrder", true, pixelry::RowOrder::file, {0, 1}, true},
                      OrderCase{"TopDownBottomFirst", true, pixelry::RowOrder::bottomFirst, {1, 0}, false},
                      OrderCase{"TopDownTopFirst", true, pixelry::RowOrder::topFirst, {0, 1}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RowReader, RunLengthRowsComeInFileOrderOnly) {
  BmpFile file = BmpFile::make(2, 2, 8);
  file.infoHeader.biCompression = 1;
  file.palette({pixel(0, 0, 0), pixel(9, 9, 9)});
  file.row({2, 1, 0, 0, 1, 1, 0, 1});
  const Bytes bytes = file.bytes();
  pixelry::RowReader reader;
  const pixelry::Result refused =
      reader.open(bytes.data(), bytes.size(), PixelFormat::index8, pixelry::RowOrder::topFirst);
  EXPECT_EQ(refused.code, Code::unsupported);
  Bytes row(2);
  int y = -1;
  EXPECT_FALSE(reader.next(row.data(), y));
  ASSERT_TRUE(reader.open(bytes.data(), bytes.size(), PixelFormat::index8, pixelry::RowOrder::bottomFirst));
  ASSERT_TRUE(reader.next(row.data(), y));
  EXPECT_EQ(y, 1);
  EXPECT_EQ(row, (Bytes{1, 1}));
  ASSERT_TRUE(reader.next(row.data(), y));
  EXPECT_EQ(row, (Bytes{1, 0}));
  EXPECT_FALSE(reader.next(row.data(), y));
}

TEST(RowReader, FromAStreamThatCanSeekAnyOrderAndACutIsReported) {
  Bytes file = pictureFile();
  file.resize(file.size() - 3);
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  std::fwrite(file.data(), 1, file.size(), stream);
  std::rewind(stream);
  pixelry::RowReader reader;
  ASSERT_TRUE(reader.open(stream, PixelFormat::rgb8, pixelry::RowOrder::topFirst));
  Bytes row(9);
  int y = -1;
  ASSERT_TRUE(reader.next(row.data(), y));
  EXPECT_EQ(y, 0);
  EXPECT_EQ(row, Bytes(9, 255));  // the top row is the one cut
  ASSERT_EQ(reader.result().warnings.size(), 1u);
  ASSERT_TRUE(reader.next(row.data(), y));
  EXPECT_EQ(row, (Bytes{1, 2, 3, 200, 100, 50, 10, 20, 30}));
  std::fclose(stream);
  EXPECT_EQ(reader.open(static_cast<std::FILE*>(nullptr), PixelFormat::rgb8).code, Code::badArgument);
}

TEST(RowReader, AFailedOpenLeavesNothingOpen) {
  const Bytes file = pictureFile();
  pixelry::RowReader reader;
  ASSERT_TRUE(reader.open(file.data(), file.size(), PixelFormat::rgb8));
  const Bytes notBmp = {'P', 'N', 'G'};
  EXPECT_EQ(reader.open(notBmp.data(), notBmp.size(), PixelFormat::rgb8).code, Code::notBmp);
  Bytes row(9);
  int y = -1;
  EXPECT_FALSE(reader.next(row.data(), y));
  TempDir dir;
  EXPECT_EQ(reader.open(dir.file("missing.bmp").c_str(), PixelFormat::rgb8).code, Code::cannotOpen);
}

TEST(RowWriter, WritesWhatEncodeWritesBottomRowFirst) {
  BMP image = sampleImage(8);
  const Bytes pixels = asFormat(image, PixelFormat::rgb8);
  std::vector<std::uint8_t> expected, out;
  ASSERT_TRUE(pixelry::encode(pixels.data(), 5, 3, 15, PixelFormat::rgb8, 8, expected));
  pixelry::RowWriter writer;
  ASSERT_TRUE(writer.open(out, 5, 3, PixelFormat::rgb8, 8));
  for (int y = 2; y >= 0; --y) {
    EXPECT_EQ(writer.nextRow(), y);
    ASSERT_TRUE(writer.write(pixels.data() + std::ptrdiff_t{15} * y));
  }
  EXPECT_EQ(writer.nextRow(), -1);
  EXPECT_EQ(writer.write(pixels.data()).code, Code::badArgument);  // every row is written
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(out, expected);
}

// In memory as in a file, only a file closed with every row is kept.
TEST(RowWriter, ClearsTheVectorFirstAndRefusesWhatItCannotWrite) {
  const Bytes rgb = {10, 20, 30, 40, 50, 60};
  std::vector<std::uint8_t> expected, out = {9, 9, 9};
  ASSERT_TRUE(pixelry::encode(rgb.data(), 1, 2, 3, PixelFormat::rgb8, 24, expected));
  pixelry::RowWriter writer;
  EXPECT_EQ(writer.write(rgb.data()).code, Code::badArgument);  // nothing is open
  ASSERT_TRUE(writer.open(out, 1, 2, PixelFormat::rgb8, 24));
  EXPECT_EQ(writer.write(nullptr).code, Code::badArgument);
  EXPECT_EQ(writer.nextRow(), 1);  // the null row took no row
  ASSERT_TRUE(writer.write(rgb.data() + 3));
  ASSERT_TRUE(writer.write(rgb.data()));
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(out, expected);

  ASSERT_TRUE(writer.open(out, 1, 2, PixelFormat::rgb8, 24));
  ASSERT_TRUE(writer.write(rgb.data() + 3));
  EXPECT_EQ(writer.close().code, Code::badArgument);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(writer.open(static_cast<std::FILE*>(nullptr), 1, 1, PixelFormat::rgb8, 24).code,
            Code::badArgument);
  // A table made for the picture needs every row first.
  pixelry::WriteOptions adaptive;
  adaptive.palette = pixelry::Palette::adaptive;
  EXPECT_EQ(writer.open(out, 1, 2, PixelFormat::rgb8, 8, adaptive).code, Code::badArgument);
  EXPECT_TRUE(writer.open(out, 1, 2, PixelFormat::rgb8, 24, adaptive));
}

TEST(RowWriter, ReplacesAFileOnlyWhenClosedWithEveryRow) {
  TempDir dir;
  const std::string target = dir.file("out.bmp");
  writeBytes(target, {'o', 'l', 'd'});
  const Bytes rgb(6, 128);
  {
    pixelry::RowWriter writer;
    ASSERT_TRUE(writer.open(target.c_str(), 2, 2, PixelFormat::rgb8, 24));
    ASSERT_TRUE(writer.write(rgb.data()));
    EXPECT_EQ(readBytes(target), (Bytes{'o', 'l', 'd'}));
    const pixelry::Result early = writer.close();
    EXPECT_EQ(early.code, Code::badArgument);
    EXPECT_NE(early.message.find("1 of 2 rows"), std::string::npos) << early.message;
  }
  EXPECT_EQ(readBytes(target), (Bytes{'o', 'l', 'd'}));
  {
    pixelry::RowWriter abandoned;
    ASSERT_TRUE(abandoned.open(target.c_str(), 2, 2, PixelFormat::rgb8, 24));
    ASSERT_TRUE(abandoned.write(rgb.data()));
  }
  EXPECT_EQ(readBytes(target), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary file left

  pixelry::RowWriter writer;
  ASSERT_TRUE(writer.open(target.c_str(), 2, 2, PixelFormat::rgb8, 24));
  ASSERT_TRUE(writer.write(rgb.data()));
  ASSERT_TRUE(writer.write(rgb.data()));
  ASSERT_TRUE(writer.close());
  std::vector<std::uint8_t> expected;
  const Bytes both(12, 128);
  ASSERT_TRUE(pixelry::encode(both.data(), 2, 2, 6, PixelFormat::rgb8, 24, expected));
  EXPECT_EQ(readBytes(target), expected);
}

TEST(RowWriter, AnIndexPastTheTableAbandonsTheFile) {
  std::vector<std::uint8_t> out;
  pixelry::WriteOptions options;
  options.table = {pixel(0, 0, 0), pixel(255, 255, 255)};
  pixelry::RowWriter writer;
  ASSERT_TRUE(writer.open(out, 2, 1, PixelFormat::index8, 8, options));
  const Bytes row = {1, 2};
  EXPECT_EQ(writer.write(row.data()).code, Code::badArgument);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(writer.close().code, Code::badArgument);  // nothing is open any more
  EXPECT_EQ(writer.open(out, 0, 1, PixelFormat::rgb8, 24).code, Code::badArgument);
}

// ----- Every file of the suite and of the program corpus --------------------------------

std::vector<std::string> corpusFiles() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(PIXELRY_TEST_DATA))
    if (entry.path().extension() == ".bmp")
      files.push_back(entry.path().lexically_relative(PIXELRY_TEST_DATA).generic_u8string());
  std::sort(files.begin(), files.end());
  return files;
}

class EveryFile : public ::testing::TestWithParam<std::string> {};

// Each format's bytes are the image object's pixels by the format's rule; the row reader
// gives the same rows; probe agrees with the read.
TEST_P(EveryFile, EveryFormatIsTheImageMappedByItsRule) {
  const std::string path = std::string(PIXELRY_TEST_DATA) + "/" + GetParam();
  const Bytes file = readBytes(path);
  pixelry::ReadOptions options;
  options.maxPixels = std::uint64_t{1} << 22;
  BMP image;
  const pixelry::Result read = pixelry::readMemory(image, file.data(), file.size(), options);
  pixelry::Info info;
  const pixelry::Result probed = pixelry::probe(file.data(), file.size(), info);
  if (!read) {
    if (read.code != Code::tooLarge) {
      EXPECT_EQ(probed.code, read.code);
    }
    return;
  }
  ASSERT_TRUE(probed) << probed.message;
  EXPECT_EQ(info.width, image.TellWidth());
  EXPECT_EQ(info.height, image.TellHeight());
  EXPECT_EQ(info.bits, image.TellBitDepth());
  EXPECT_EQ(info.alpha, read.alpha);
  for (const PixelFormat format : kFormats) {
    SCOPED_TRACE(nameOf(format));
    pixelry::Pixels pixels;
    const pixelry::Result loaded = pixelry::load(file.data(), file.size(), format, pixels, options);
    if (format == PixelFormat::index8 && (image.TellBitDepth() > 8)) {
      EXPECT_EQ(loaded.code, Code::unsupported);
      continue;
    }
    ASSERT_TRUE(loaded) << loaded.message;
    EXPECT_EQ(loaded.warnings, read.warnings);
    const std::size_t size = pixelry::bytesPerPixel(format);
    for (int y = 0; y < image.TellHeight(); ++y)
      for (int x = 0; x < image.TellWidth(); ++x) {
        const std::uint8_t* at = pixels.bytes.data() + pixels.stride * static_cast<std::size_t>(y) + size * x;
        const RGBApixel p = image.GetPixel(x, y);
        if (format == PixelFormat::index8) {
          const RGBApixel entry = pixels.table[*at];
          // Pixels the data never reached are white in the image and index 0 here.
          const bool white = p.Red == 255 && p.Green == 255 && p.Blue == 255 && !read.warnings.empty();
          ASSERT_TRUE((white && *at == 0) || (rgba(entry) == Rgba{p.Red, p.Green, p.Blue, 0}))
              << x << "," << y;
        } else {
          ASSERT_EQ(Bytes(at, at + size), mapped(p, read.alpha, format)) << x << "," << y;
        }
      }
    pixelry::RowReader rows;
    ASSERT_TRUE(rows.open(file.data(), file.size(), format, pixelry::RowOrder::file, options));
    Bytes row(rows.rowBytes());
    int count = 0;
    for (int y = -1; rows.next(row.data(), y); ++count)
      ASSERT_TRUE(std::equal(row.begin(), row.end(),
                             pixels.bytes.begin() + static_cast<std::ptrdiff_t>(pixels.stride * y)));
    EXPECT_EQ(count, image.TellHeight());
    EXPECT_EQ(rows.result().warnings, read.warnings);
  }
}

INSTANTIATE_TEST_SUITE_P(Data, EveryFile, ::testing::ValuesIn(corpusFiles()), [](const auto& info) {
  std::string name;
  for (char ch : info.param.substr(0, info.param.size() - 4))
    name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
});

}  // namespace
