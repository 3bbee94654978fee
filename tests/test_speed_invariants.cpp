// What the fast palette search must keep exactly: the palette index of every written
// pixel is the one a search of the whole table gives (lowest index among equal distances).
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/RoundTrip.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

// Palettes that make a search that looks at fewer entries go wrong.
struct PaletteCase {
  const char* name;
  int bits;
  Palette (*make)(int bits);
  std::size_t entries = 0;  // of make's table, the first entries searched; 0, all
};

void PrintTo(const PaletteCase& c, std::ostream* out) { *out << c.name; }

Palette standardTable(int bits) {
  BMP image;
  image.SetBitDepth(bits);
  return tableOf(image);
}

Palette randomEntries(int bits) { return randomTable(bits); }

// Every entry the same colour: all distances tie, index 0 always wins.
Palette identicalEntries(int bits) { return Palette(std::size_t{1} << bits, pixel(90, 140, 200)); }

// Each colour twice, far apart in the table, so that the later copy must never win.
Palette duplicatedEntries(int bits) {
  Random random(77);
  const int half = (1 << bits) / 2;
  Palette table(std::size_t{1} << bits);
  for (int i = 0; i < half; ++i)
    table[static_cast<std::size_t>(i)] = table[static_cast<std::size_t>(i) + static_cast<std::size_t>(half)] =
        random.colour();
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
  for (int i = 0; i < (1 << bits); ++i)
    table.push_back(pixel(random.below(6), 250 + random.below(6), random.below(6)));
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
    for (int d : {-1, 1})
      colours.push_back(
          pixel(std::clamp(entry.Red + d, 0, 255), entry.Green, std::clamp(entry.Blue - d, 0, 255)));
  for (int v = 0; v < 256; v += 3) colours.push_back(pixel(v, 255 - v, (v * 7) & 0xFF));
  return colours;
}

// An image whose pixels are the given colours, row after row, at the depth and table.
BMP imageOfColours(const std::vector<RGBApixel>& colours, int width, int bits, const Palette& table) {
  BMP image = imageOf(width,
                      static_cast<int>((colours.size() + static_cast<std::size_t>(width) - 1) /
                                       static_cast<std::size_t>(width)),
                      colours);
  image.SetBitDepth(bits);
  setTable(image, table);
  return image;
}

// Palette index of pixel x in a stored row.
int storedIndex(const Bytes& file, std::size_t rowStart, int x, int bits) {
  const int perByte = 8 / bits;
  return (file[rowStart + static_cast<std::size_t>(x / perByte)] >> (8 - bits * (x % perByte + 1))) &
         ((1 << bits) - 1);
}

class ExactPaletteSearch : public ::testing::TestWithParam<PaletteCase> {
 protected:
  Palette table = GetParam().make(GetParam().bits);
  std::vector<RGBApixel> colours = probeColours(table);
  TempDir dir;
};

TEST_P(ExactPaletteSearch, WrittenIndicesAreTheExhaustiveSearchs) {
  const int bits = GetParam().bits;
  const int width = 61;
  BMP image = imageOfColours(colours, width, bits, table);
  const std::string path = dir.file("indexed.bmp");
  ASSERT_TRUE(image.WriteToFile(path.c_str()));
  const Bytes file = readBytes(path);
  const std::size_t offBits = le32(file, 10);
  const std::size_t rowBytes =
      (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
  ASSERT_EQ(file.size(), offBits + rowBytes * static_cast<std::size_t>(image.TellHeight()));
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < width; ++x) {
      const RGBApixel p = image.GetPixel(x, y);
      const std::size_t rowStart = offBits + rowBytes * static_cast<std::size_t>(image.TellHeight() - 1 - y);
      ASSERT_EQ(storedIndex(file, rowStart, x, bits), nearestEntry(table, p))
          << "pixel (" << x << ", " << y << ") colour " << int(p.Red) << "," << int(p.Green) << ","
          << int(p.Blue);
    }
}

TEST_P(ExactPaletteSearch, FindClosestColorAndTheRowEncoderAgree) {
  const int bits = GetParam().bits;
  BMP image = imageOfColours(colours, static_cast<int>(colours.size()), bits, table);
  for (RGBApixel colour : colours) ASSERT_EQ(image.FindClosestColor(colour), nearestEntry(table, colour));
  Bytes row((colours.size() * static_cast<std::size_t>(bits) + 7) / 8 + 3, 0xAB);
  const int size = static_cast<int>(row.size());
  const bool encoded = bits == 8   ? image.Write8bitRow(row.data(), size, 0)
                       : bits == 4 ? image.Write4bitRow(row.data(), size, 0)
                                   : image.Write1bitRow(row.data(), size, 0);
  ASSERT_TRUE(encoded);
  for (std::size_t x = 0; x < colours.size(); ++x)
    ASSERT_EQ(storedIndex(row, 0, static_cast<int>(x), bits), nearestEntry(table, colours[x]))
        << "pixel " << x;
  EXPECT_EQ(row.back(), 0xAB) << "bytes after the pixels are left alone";
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ExactPaletteSearch,
    ::testing::Values(
        PaletteCase{"Standard8", 8, standardTable}, PaletteCase{"Standard4", 4, standardTable},
        PaletteCase{"Standard1", 1, standardTable}, PaletteCase{"Random8", 8, randomEntries},
        PaletteCase{"Random4", 4, randomEntries}, PaletteCase{"Random1", 1, randomEntries},
        PaletteCase{"Identical8", 8, identicalEntries}, PaletteCase{"Identical1", 1, identicalEntries},
        PaletteCase{"Duplicated8", 8, duplicatedEntries}, PaletteCase{"Duplicated4", 4, duplicatedEntries},
        PaletteCase{"Mirrored8", 8, mirroredPairs}, PaletteCase{"Mirrored4", 4, mirroredPairs},
        PaletteCase{"Mirrored1", 1, mirroredPairs}, PaletteCase{"BoxBorders8", 8, boxBorders},
        PaletteCase{"BoxBorders4", 4, boxBorders}, PaletteCase{"Crowded8", 8, crowdedCorner},
        PaletteCase{"BoxCornerTies8", 8, boxCornerTies}, PaletteCase{"BoxCornerTies4", 4, boxCornerTies},
        PaletteCase{"BoxCornerTies1", 1, boxCornerTies}),
    [](const ::testing::TestParamInfo<PaletteCase>& info) { return std::string(info.param.name); });

// Every colour of a lattice of step 5 (every remainder of 4 and 8 in every channel, so
// every place in a cell and a box), and every colour within 1 of an entry, written at 8
// bits by encode with the table cut to the row's entries: the index is the exhaustive
// search's.
class DensePaletteSearch : public ::testing::TestWithParam<PaletteCase> {};

TEST_P(DensePaletteSearch, EveryColourOfALatticeIsTheExhaustiveSearchs) {
  Palette table = GetParam().make(GetParam().bits);
  if (GetParam().entries != 0) table.resize(GetParam().entries);
  std::vector<RGBApixel> colours;
  for (int red = 0; red < 256; red += 5)
    for (int green = 0; green < 256; green += 5)
      for (int blue = 0; blue < 256; blue += 5) colours.push_back(pixel(red, green, blue));
  for (const RGBApixel& entry : table)
    for (int d = 0; d < 27; ++d)
      colours.push_back(pixel(std::clamp(entry.Red + d % 3 - 1, 0, 255),
                              std::clamp(entry.Green + d / 3 % 3 - 1, 0, 255),
                              std::clamp(entry.Blue + d / 9 - 1, 0, 255)));
  constexpr int kWidth = 509;
  const int height = static_cast<int>((colours.size() + kWidth - 1) / kWidth);
  colours.resize(static_cast<std::size_t>(kWidth) * static_cast<std::size_t>(height), pixel(0, 0, 0));
  Bytes rgb;
  for (const RGBApixel& c : colours) rgb.insert(rgb.end(), {c.Red, c.Green, c.Blue});
  pixelry::WriteOptions options;
  options.table = table;
  Bytes file;
  ASSERT_TRUE(pixelry::encode(rgb.data(), kWidth, height, std::size_t{3} * kWidth, pixelry::PixelFormat::rgb8,
                              8, file, options));
  const std::size_t offBits = le32(file, 10), rowBytes = (std::size_t{kWidth} + 3) / 4 * 4;
  for (std::size_t i = 0; i < colours.size(); ++i) {
    const std::size_t y = i / kWidth, x = i % kWidth;
    ASSERT_EQ(file[offBits + rowBytes * (static_cast<std::size_t>(height) - 1 - y) + x],
              nearestEntry(table, colours[i]))
        << "colour " << int(colours[i].Red) << "," << int(colours[i].Green) << "," << int(colours[i].Blue);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DensePaletteSearch,
    ::testing::Values(PaletteCase{"Standard8", 8, standardTable}, PaletteCase{"Standard4", 4, standardTable},
                      PaletteCase{"Standard1", 1, standardTable}, PaletteCase{"Random8", 8, randomEntries},
                      PaletteCase{"Random17", 8, randomEntries, 17},
                      PaletteCase{"Identical8", 8, identicalEntries},
                      PaletteCase{"Duplicated8", 8, duplicatedEntries},
                      PaletteCase{"Mirrored8", 8, mirroredPairs},
                      PaletteCase{"BoxCornerTies8", 8, boxCornerTies},
                      PaletteCase{"Crowded8", 8, crowdedCorner}, PaletteCase{"BoxBorders8", 8, boxBorders}),
    [](const ::testing::TestParamInfo<PaletteCase>& info) { return std::string(info.param.name); });

TEST(PaletteSearchCache, AChangedTableIsSearchedAfresh) {
  Random random(3);
  std::vector<RGBApixel> colours;
  for (int i = 0; i < 4000; ++i) colours.push_back(random.colour());
  Palette first = randomTable(8);
  BMP image = imageOfColours(colours, 100, 8, first);
  TempDir dir;
  const std::string path = dir.file("twice.bmp");
  ASSERT_TRUE(image.WriteToFile(path.c_str()));
  Palette second = boxBorders(8);
  setTable(image, second);
  ASSERT_TRUE(image.WriteToFile(path.c_str()));
  const Bytes file = readBytes(path);
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(file[1078 + 100 * static_cast<std::size_t>(image.TellHeight() - 1 - y) +
                     static_cast<std::size_t>(x)],
                nearestEntry(second, image.GetPixel(x, y)));
}

}  // namespace
