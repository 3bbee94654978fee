// What the fast paths must keep exactly: the palette index of every written pixel is the
// one a search of the whole table gives (lowest index among equal distances), Rescale
// gives the bytes of a plain evaluation of its formulas, and every depth reads back what
// was written, also from files larger than one read chunk and from files cut short.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Pixel.h"
#include "support/TempDir.h"

using testing_support::Bytes;
using testing_support::capturedOutput;
using testing_support::kWhite;
using testing_support::pixel;
using testing_support::Rgba;
using testing_support::rgba;

namespace {

using Palette = std::vector<RGBApixel>;

// Deterministic bytes: mt19937's sequence is fixed by the C++ standard.
class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  int byte() { return static_cast<int>(engine_() & 0xFF); }
  int below(int n) { return static_cast<int>(engine_() % static_cast<unsigned>(n)); }
  RGBApixel colour() { return pixel(byte(), byte(), byte(), byte()); }

 private:
  std::mt19937 engine_;
};

// The search the writer must agree with: every entry in index order, the first one at
// the smallest squared distance wins.
int exhaustiveIndex(const Palette& table, const RGBApixel& p) {
  int best = 0;
  int bestDistance = INT32_MAX;
  for (int i = 0; i < static_cast<int>(table.size()); ++i) {
    const int dr = table[i].Red - p.Red, dg = table[i].Green - p.Green, db = table[i].Blue - p.Blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

Palette tableOf(BMP& image) {
  Palette table;
  for (int i = 0; i < image.TellNumberOfColors(); ++i) table.push_back(image.GetColor(i));
  return table;
}

void setTable(BMP& image, const Palette& table) {
  for (int i = 0; i < static_cast<int>(table.size()); ++i) image.SetColor(i, table[static_cast<std::size_t>(i)]);
}

// Palettes that make a search that looks at fewer entries go wrong.
struct PaletteCase {
  const char* name;
  int bits;
  Palette (*make)(int bits);
};

Palette standardTable(int bits) {
  BMP image;
  image.SetBitDepth(bits);
  return tableOf(image);
}

Palette randomTable(int bits) {
  Random random(1000 + bits);
  Palette table;
  for (int i = 0; i < (1 << bits); ++i) table.push_back(random.colour());
  return table;
}

// Every entry the same colour: all distances tie, index 0 always wins.
Palette identicalEntries(int bits) { return Palette(std::size_t{1} << bits, pixel(90, 140, 200)); }

// Each colour twice, far apart in the table, so that the later copy must never win.
Palette duplicatedEntries(int bits) {
  Random random(77);
  const int half = (1 << bits) / 2;
  Palette table(std::size_t{1} << bits);
  for (int i = 0; i < half; ++i) table[static_cast<std::size_t>(i)] = table[static_cast<std::size_t>(i + half)] = random.colour();
  std::reverse(table.begin() + half, table.end());
  return table;
}

// Pairs of entries mirrored about a centre, so that the centre is equally far from both;
// the lower index is on either side by turns.
Palette mirroredPairs(int bits) {
  Random random(5);
  Palette table;
  for (int i = 0; i < (1 << bits) / 2; ++i) {
    const int r = 20 + random.below(216), g = 20 + random.below(216), b = 20 + random.below(216);
    const int dr = random.below(20), dg = random.below(20), db = random.below(20);
    RGBApixel low = pixel(r - dr, g - dg, b - db), high = pixel(r + dr, g + dg, b + db);
    if (i % 2) std::swap(low, high);
    table.push_back(low);
    table.push_back(high);
  }
  return table;
}

// Entries on and next to the multiples of 8, 16 and 32 in every channel, where a search
// that divides the colour space into boxes puts its borders.
Palette boxBorders(int bits) {
  Random random(9);
  const int levels[] = {0, 1, 7, 8, 15, 16, 17, 31, 32, 33, 63, 64, 127, 128, 129, 191, 192, 254, 255};
  auto level = [&] { return levels[random.below(static_cast<int>(std::size(levels)))]; };
  Palette table;
  for (int i = 0; i < (1 << bits); ++i) table.push_back(pixel(level(), level(), level()));
  return table;
}

// Pairs whose mid-point is the far corner of a box of 8 x 8 x 8 from the pair's second
// entry, and the nearest point of that box to its first entry, equally far from both: the
// first, lower index must win, though it lies outside the box.
Palette boxCornerTies(int bits) {
  Palette table;
  for (int n = 0; static_cast<int>(table.size()) < (1 << bits); ++n) {
    const int red = 40 * (n % 6), green = 40 * (n / 6 % 6), blue = 40 * (n / 36 % 6);
    table.push_back(pixel(red + 14, green + 14, blue + 14));
    table.push_back(pixel(red, green, blue));
  }
  return table;
}

// All entries crowded into one small corner, far from most pixels.
Palette crowdedCorner(int bits) {
  Random random(13);
  Palette table;
  for (int i = 0; i < (1 << bits); ++i) table.push_back(pixel(random.below(6), 250 + random.below(6), random.below(6)));
  return table;
}

// Pixels that stress the search: random colours, the corners of the cube, the
// mid-points of mirrored pairs and values on either side of box borders.
std::vector<RGBApixel> probeColours(const Palette& table) {
  Random random(31);
  std::vector<RGBApixel> colours;
  for (int i = 0; i < 6000; ++i) colours.push_back(random.colour());
  for (int corner = 0; corner < 8; ++corner)
    colours.push_back(pixel(corner & 1 ? 255 : 0, corner & 2 ? 255 : 0, corner & 4 ? 255 : 0));
  for (std::size_t i = 0; i + 1 < table.size(); i += 2)
    colours.push_back(pixel((table[i].Red + table[i + 1].Red) / 2, (table[i].Green + table[i + 1].Green) / 2,
                            (table[i].Blue + table[i + 1].Blue) / 2));
  for (const RGBApixel& entry : table)
    for (int d : {-1, 1}) colours.push_back(pixel(std::clamp(entry.Red + d, 0, 255), entry.Green, std::clamp(entry.Blue - d, 0, 255)));
  for (int v = 0; v < 256; v += 3) colours.push_back(pixel(v, 255 - v, (v * 7) & 0xFF));
  return colours;
}

// An image whose pixels are the given colours, row after row.
BMP imageOf(const std::vector<RGBApixel>& colours, int width, int bits, const Palette& table) {
  BMP image;
  const int height = static_cast<int>((colours.size() + static_cast<std::size_t>(width) - 1) / static_cast<std::size_t>(width));
  image.SetSize(width, height);
  image.SetBitDepth(bits);
  setTable(image, table);
  for (std::size_t i = 0; i < colours.size(); ++i)
    image.SetPixel(static_cast<int>(i % static_cast<std::size_t>(width)), static_cast<int>(i / static_cast<std::size_t>(width)), colours[i]);
  return image;
}

// Palette index of pixel x in a stored row.
int storedIndex(const Bytes& file, std::size_t rowStart, int x, int bits) {
  const int perByte = 8 / bits;
  return (file[rowStart + static_cast<std::size_t>(x / perByte)] >> (8 - bits * (x % perByte + 1))) & ((1 << bits) - 1);
}

class ExactPaletteSearch : public ::testing::TestWithParam<PaletteCase> {
 protected:
  Palette table = GetParam().make(GetParam().bits);
  std::vector<RGBApixel> colours = probeColours(table);
  testing_support::TempDir dir;
};

TEST_P(ExactPaletteSearch, WrittenIndicesAreTheExhaustiveSearchs) {
  const int bits = GetParam().bits;
  const int width = 61;
  BMP image = imageOf(colours, width, bits, table);
  const std::string path = dir.file("indexed.bmp");
  ASSERT_TRUE(image.WriteToFile(path.c_str()));
  const Bytes file = testing_support::readBytes(path);
  const std::size_t offBits = testing_support::le32(file, 10);
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
  ASSERT_EQ(file.size(), offBits + rowBytes * static_cast<std::size_t>(image.TellHeight()));
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < width; ++x) {
      const RGBApixel p = image.GetPixel(x, y);
      const std::size_t rowStart = offBits + rowBytes * static_cast<std::size_t>(image.TellHeight() - 1 - y);
      ASSERT_EQ(storedIndex(file, rowStart, x, bits), exhaustiveIndex(table, p))
          << "pixel (" << x << ", " << y << ") colour " << int(p.Red) << "," << int(p.Green) << "," << int(p.Blue);
    }
}

TEST_P(ExactPaletteSearch, FindClosestColorAndTheRowEncoderAgree) {
  const int bits = GetParam().bits;
  BMP image = imageOf(colours, static_cast<int>(colours.size()), bits, table);
  for (RGBApixel colour : colours) ASSERT_EQ(image.FindClosestColor(colour), exhaustiveIndex(table, colour));
  Bytes row((colours.size() * static_cast<std::size_t>(bits) + 7) / 8 + 3, 0xAB);
  const int size = static_cast<int>(row.size());
  const bool encoded = bits == 8 ? image.Write8bitRow(row.data(), size, 0)
                       : bits == 4 ? image.Write4bitRow(row.data(), size, 0)
                                   : image.Write1bitRow(row.data(), size, 0);
  ASSERT_TRUE(encoded);
  for (std::size_t x = 0; x < colours.size(); ++x)
    ASSERT_EQ(storedIndex(row, 0, static_cast<int>(x), bits), exhaustiveIndex(table, colours[x])) << "pixel " << x;
  EXPECT_EQ(row.back(), 0xAB) << "bytes after the pixels are left alone";
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ExactPaletteSearch,
    ::testing::Values(PaletteCase{"Standard8", 8, standardTable}, PaletteCase{"Standard4", 4, standardTable},
                      PaletteCase{"Standard1", 1, standardTable}, PaletteCase{"Random8", 8, randomTable},
                      PaletteCase{"Random4", 4, randomTable}, PaletteCase{"Random1", 1, randomTable},
                      PaletteCase{"Identical8", 8, identicalEntries}, PaletteCase{"Identical1", 1, identicalEntries},
                      PaletteCase{"Duplicated8", 8, duplicatedEntries}, PaletteCase{"Duplicated4", 4, duplicatedEntries},
                      PaletteCase{"Mirrored8", 8, mirroredPairs}, PaletteCase{"Mirrored4", 4, mirroredPairs},
                      PaletteCase{"Mirrored1", 1, mirroredPairs}, PaletteCase{"BoxBorders8", 8, boxBorders},
                      PaletteCase{"BoxBorders4", 4, boxBorders}, PaletteCase{"Crowded8", 8, crowdedCorner},
                      PaletteCase{"BoxCornerTies8", 8, boxCornerTies}, PaletteCase{"BoxCornerTies4", 4, boxCornerTies},
                      PaletteCase{"BoxCornerTies1", 1, boxCornerTies}),
    [](const ::testing::TestParamInfo<PaletteCase>& info) { return std::string(info.param.name); });

TEST(PaletteSearchCache, AChangedTableIsSearchedAfresh) {
  Random random(3);
  std::vector<RGBApixel> colours;
  for (int i = 0; i < 4000; ++i) colours.push_back(random.colour());
  Palette first = randomTable(8);
  BMP image = imageOf(colours, 100, 8, first);
  testing_support::TempDir dir;
  const std::string path = dir.file("twice.bmp");
  ASSERT_TRUE(image.WriteToFile(path.c_str()));
  Palette second = boxBorders(8);
  setTable(image, second);
  ASSERT_TRUE(image.WriteToFile(path.c_str()));
  const Bytes file = testing_support::readBytes(path);
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(file[1078 + 100 * static_cast<std::size_t>(image.TellHeight() - 1 - y) + static_cast<std::size_t>(x)],
                exhaustiveIndex(second, image.GetPixel(x, y)));
}

// Rescale evaluated the plain way: every position and weight computed afresh for every
// pixel, straight from the formulas, neighbours past the edge clamped.
std::vector<Rgba> plainRescale(const std::vector<RGBApixel>& source, int W, int H, int w, int h) {
  auto S = [&](int c, int r) {
    return source[static_cast<std::size_t>(std::min(r, H - 1)) * static_cast<std::size_t>(W) +
                  static_cast<std::size_t>(std::min(c, W - 1))];
  };
  auto channels = [](const RGBApixel& p) { return std::array<int, 3>{p.Red, p.Green, p.Blue}; };
  std::vector<Rgba> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), kWhite);
  auto at = [&](int i, int j) -> Rgba& { return out[static_cast<std::size_t>(j) * static_cast<std::size_t>(w) + static_cast<std::size_t>(i)]; };
  for (int j = 0; j < h - 1; ++j) {
    const double y = static_cast<double>(j) * (H - 1) / (h - 1);
    const int J = static_cast<int>(std::floor(y));
    const double ty = y - J;
    for (int i = 0; i < w - 1; ++i) {
      const double x = static_cast<double>(i) * (W - 1) / (w - 1);
      const int I = static_cast<int>(std::floor(x));
      const double tx = x - I;
      for (int c = 0; c < 3; ++c) {
        const double v = channels(S(I, J))[c] * (1 - tx - ty + tx * ty) + channels(S(I + 1, J))[c] * (tx - tx * ty) +
                         channels(S(I, J + 1))[c] * (ty - tx * ty) + channels(S(I + 1, J + 1))[c] * (tx * ty);
        at(i, j)[c] = static_cast<int>(v);
      }
      at(i, j)[3] = 0;
    }
    for (int c = 0; c < 3; ++c)
      at(w - 1, j)[c] = static_cast<int>(channels(S(W - 1, J))[c] * (1 - ty) + channels(S(W - 1, J + 1))[c] * ty);
    at(w - 1, j)[3] = 0;
  }
  for (int i = 0; i < w - 1; ++i) {
    const double x = static_cast<double>(i) * (W - 1) / (w - 1);
    const int I = static_cast<int>(std::floor(x));
    const double tx = x - I;
    for (int c = 0; c < 3; ++c)
      at(i, h - 1)[c] = static_cast<int>(channels(S(I, H - 1))[c] * (1 - tx) + channels(S(I + 1, H - 1))[c] * tx);
    at(i, h - 1)[3] = 0;
  }
  at(w - 1, h - 1) = rgba(S(W - 1, H - 1));
  return out;
}

struct RescaleCase {
  int width, height;
  char mode;
  int parameter;
  int newWidth, newHeight;
};

class RescaleExactness : public ::testing::TestWithParam<RescaleCase> {};

TEST_P(RescaleExactness, EveryByteIsThePlainEvaluations) {
  const RescaleCase c = GetParam();
  Random random(static_cast<unsigned>(c.width * 131 + c.height * 7 + c.parameter));
  BMP image;
  image.SetSize(c.width, c.height);
  std::vector<RGBApixel> source;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      source.push_back(random.colour());
      image.SetPixel(x, y, source.back());
    }
  SetPixelrywarningsOff();
  const bool rescaled = Rescale(image, c.mode, c.parameter);
  SetPixelrywarningsOn();
  ASSERT_TRUE(rescaled);
  ASSERT_EQ(image.TellWidth(), c.newWidth);
  ASSERT_EQ(image.TellHeight(), c.newHeight);
  const std::vector<Rgba> expected = plainRescale(source, c.width, c.height, c.newWidth, c.newHeight);
  for (int j = 0; j < c.newHeight; ++j)
    for (int i = 0; i < c.newWidth; ++i)
      ASSERT_EQ(rgba(image.GetPixel(i, j)), expected[static_cast<std::size_t>(j * c.newWidth + i)])
          << "pixel (" << i << ", " << j << ")";
}

INSTANTIATE_TEST_SUITE_P(Sizes, RescaleExactness,
                         ::testing::Values(RescaleCase{64, 48, 'P', 50, 32, 24}, RescaleCase{101, 77, 'P', 33, 33, 25},
                                           RescaleCase{37, 23, 'P', 250, 92, 57}, RescaleCase{40, 30, 'P', 100, 40, 30},
                                           RescaleCase{97, 61, 'w', 40, 40, 25}, RescaleCase{61, 97, 'H', 13, 8, 13},
                                           RescaleCase{90, 50, 'F', 128, 128, 71}, RescaleCase{1, 9, 'P', 300, 3, 27},
                                           RescaleCase{9, 1, 'P', 300, 27, 3}, RescaleCase{1, 1, 'P', 500, 5, 5},
                                           RescaleCase{30, 20, 'W', 1, 1, 1}, RescaleCase{30, 20, 'H', 1, 1, 1},
                                           RescaleCase{25, 35, 'W', 1, 1, 1}, RescaleCase{3, 200, 'H', 37, 1, 37},
                                           RescaleCase{200, 3, 'W', 57, 57, 1}, RescaleCase{513, 257, 'P', 50, 256, 128}));

TEST(RescaleWarnings, EachClampedNeighbourReadWarnsOnce) {
  BMP image;
  image.SetSize(1, 4);
  const std::string out = capturedOutput([&] { Rescale(image, 'P', 200); });
  // 2 x 8 target: seven rows of step 1 read the missing right neighbour twice (upper and
  // lower) for each of the three channels; the last row reads it once, three times.
  std::size_t warnings = 0;
  for (std::size_t at = out.find("non-existent pixel"); at != std::string::npos; at = out.find("non-existent pixel", at + 1))
    ++warnings;
  EXPECT_EQ(warnings, 7u * 2 * 3 + 3);
}

// A picture with every channel varying, Alpha included.
RGBApixel sampleAt(int x, int y) { return pixel((x * 7 + y * 3) & 0xFF, (x * 5 + y * 11) & 0xFF, (x ^ y) & 0xFF, (x + 2 * y) & 0xFF); }

// What a written pixel reads back as at each depth.
Rgba readBack(const RGBApixel& written, int bits, const Palette& table) {
  switch (bits) {
    case 32: return rgba(written);
    case 24: return {written.Red, written.Green, written.Blue, 0};
    case 16: return {written.Red >> 3 << 3, written.Green >> 3 << 3, written.Blue >> 3 << 3, 0};
    default: return rgba(table[static_cast<std::size_t>(exhaustiveIndex(table, written))]);
  }
}

struct RoundTripCase {
  int bits, width, height;
};

class EveryDepthRoundTrip : public ::testing::TestWithParam<RoundTripCase> {
 protected:
  // Writes the sample picture at the case's depth (a random table when indexed) and
  // returns the written file's bytes.
  Bytes writeSample() {
    const RoundTripCase c = GetParam();
    image.SetSize(c.width, c.height);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) image.SetPixel(x, y, sampleAt(x, y));
    image.SetBitDepth(c.bits);
    if (c.bits <= 8) {
      table = randomTable(c.bits);
      setTable(image, table);
    }
    EXPECT_TRUE(image.WriteToFile(path.c_str()));
    return testing_support::readBytes(path);
  }

  BMP image;
  Palette table;
  testing_support::TempDir dir;
  std::string path = dir.file("round.bmp");
};

TEST_P(EveryDepthRoundTrip, EveryPixelReadsBackAsWritten) {
  const RoundTripCase c = GetParam();
  writeSample();
  BMP back;
  ASSERT_EQ(capturedOutput([&] { ASSERT_TRUE(back.ReadFromFile(path.c_str())); }), "");
  ASSERT_EQ(back.TellWidth(), c.width);
  ASSERT_EQ(back.TellHeight(), c.height);
  ASSERT_EQ(back.TellBitDepth(), c.bits);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      ASSERT_EQ(rgba(back.GetPixel(x, y)), readBack(sampleAt(x, y), c.bits, table)) << "pixel (" << x << ", " << y << ")";
}

// Cut inside a row near the middle of the pixel data: the rows stored before the cut
// read back, the rest stay white; at 16 bits the whole words of the cut row read back too.
TEST_P(EveryDepthRoundTrip, AFileCutShortKeepsTheRowsBeforeTheCut) {
  const RoundTripCase c = GetParam();
  Bytes file = writeSample();
  const std::size_t offBits = testing_support::le32(file, 10);
  const std::size_t rowBytes = (file.size() - offBits) / static_cast<std::size_t>(c.height);
  const int wholeRows = c.height / 2;
  const std::size_t extra = rowBytes / 2 + 1;
  file.resize(offBits + rowBytes * static_cast<std::size_t>(wholeRows) + extra);
  testing_support::writeBytes(path, file);
  BMP back;
  const std::string out = capturedOutput([&] { ASSERT_TRUE(back.ReadFromFile(path.c_str())); });
  EXPECT_EQ(out, c.bits == 16 ? "" : "Pixelry Error: Could not read proper amount of data.\n");
  const int cutRow = c.height - 1 - wholeRows;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const bool stored = y > cutRow || (c.bits == 16 && y == cutRow && static_cast<std::size_t>(2 * x + 2) <= extra);
      ASSERT_EQ(rgba(back.GetPixel(x, y)), stored ? readBack(sampleAt(x, y), c.bits, table) : kWhite)
          << "pixel (" << x << ", " << y << ")";
    }
}

// Small sizes cover every padding and partial byte; the large ones span several read
// chunks of the reader.
INSTANTIATE_TEST_SUITE_P(Depths, EveryDepthRoundTrip,
                         ::testing::Values(RoundTripCase{1, 9, 5}, RoundTripCase{1, 33, 4}, RoundTripCase{4, 3, 5},
                                           RoundTripCase{4, 17, 6}, RoundTripCase{8, 5, 4}, RoundTripCase{8, 6, 7},
                                           RoundTripCase{16, 3, 4}, RoundTripCase{16, 2, 5}, RoundTripCase{24, 5, 6},
                                           RoundTripCase{24, 1, 3}, RoundTripCase{32, 7, 3}, RoundTripCase{1, 8001, 1100},
                                           RoundTripCase{4, 2001, 1100}, RoundTripCase{8, 999, 1100},
                                           RoundTripCase{16, 1001, 700}, RoundTripCase{24, 1003, 450},
                                           RoundTripCase{32, 700, 500}),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) {
                           return std::to_string(info.param.bits) + "bit_" + std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

}  // namespace
