// Colour tables made for a picture, and pictures mapped onto a table: exact tables for
// pictures of few colours, the same table from every pixel format, refusals, the nearest
// entry, error diffusion's means, and adaptive files read back.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/Pixel.h"

namespace {

using namespace testing_support;
using pixelry::Code;
using pixelry::PixelFormat;

std::uint32_t keyOf(const RGBApixel& p) { return p.Red << 16 | p.Green << 8 | p.Blue; }

std::vector<std::uint32_t> keysOf(const std::vector<RGBApixel>& table) {
  std::vector<std::uint32_t> keys;
  for (const RGBApixel& entry : table) keys.push_back(keyOf(entry));
  return keys;
}

// Colour i of a picture of many: an odd multiplier spreads the indices over all 2^24
// colours without repeats; alpha varies, and must not matter.
RGBApixel spreadColour(int i) {
  const std::uint32_t key = static_cast<std::uint32_t>(i) * 2654435761u >> 8;
  return pixel(static_cast<int>(key >> 16), static_cast<int>((key >> 8) & 255), static_cast<int>(key & 255),
               i * 7);
}

// width x height pixels holding colours 0 to distinct - 1 (each at least once, some more
// often than others), or, for distinct 0, a smooth picture of 1200 colours.
BMP pictureOf(int distinct, int width = 40, int height = 30) {
  BMP image;
  image.SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int i = y * width + x;
      image.SetPixel(x, y,
                     distinct > 0 ? spreadColour(i * i % 7 == 0 ? 0 : i % distinct)
                                  : pixel(x * 6, y * 8, (x * 5 + y * 3) % 256, x));
    }
  return image;
}

std::vector<RGBApixel> quantized(const BMP& image, int colours) {
  std::vector<RGBApixel> table;
  const pixelry::Result result = pixelry::quantize(image, colours, table);
  EXPECT_TRUE(result) << result.message;
  return table;
}

// The table entry a pixel maps to without dithering: smallest squared distance, lowest
// index among equals.
int nearest(const RGBApixel& p, const std::vector<RGBApixel>& table) {
  int best = 0, bestDistance = 1 << 30;
  for (int i = 0; i < static_cast<int>(table.size()); ++i) {
    const int r = p.Red - table[i].Red, g = p.Green - table[i].Green, b = p.Blue - table[i].Blue;
    if (r * r + g * g + b * b < bestDistance) {
      bestDistance = r * r + g * g + b * b;
      best = i;
    }
  }
  return best;
}

// The mean absolute error per channel of the picture mapped to its nearest entries.
double meanError(BMP& image, const std::vector<RGBApixel>& table) {
  long total = 0;
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) {
      const RGBApixel p = image.GetPixel(x, y), e = table[nearest(p, table)];
      total += std::abs(p.Red - e.Red) + std::abs(p.Green - e.Green) + std::abs(p.Blue - e.Blue);
    }
  return static_cast<double>(total) / (3.0 * image.TellWidth() * image.TellHeight());
}

struct Counts {
  int distinct;  // 0: the smooth picture
  int colours;
  double mostError;  // of the pixels mapped to the table
};

void PrintTo(const Counts& c, std::ostream* out) { *out << c.distinct << " distinct to " << c.colours; }

class QuantizeCounts : public ::testing::TestWithParam<Counts> {};

TEST_P(QuantizeCounts, TableIsExactUpToItsSizeAndCloseBeyond) {
  const Counts& c = GetParam();
  BMP image = pictureOf(c.distinct);
  const std::vector<RGBApixel> table = quantized(image, c.colours);
  std::vector<std::uint32_t> colours;
  for (int i = 0; i < c.distinct; ++i) colours.push_back(keyOf(spreadColour(i)));
  std::sort(colours.begin(), colours.end());
  const std::vector<std::uint32_t> keys = keysOf(table);
  if (c.distinct > 0 && c.distinct <= c.colours) {
    EXPECT_EQ(keys, colours);
  } else {
    EXPECT_EQ(table.size(), static_cast<std::size_t>(c.colours));
  }
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_TRUE(std::adjacent_find(keys.begin(), keys.end()) == keys.end());
  for (const RGBApixel& entry : table) EXPECT_EQ(entry.Alpha, 0);
  EXPECT_LE(meanError(image, table), c.mostError);
  if (c.distinct > c.colours) {
    EXPECT_GE(
        std::count_if(keys.begin(), keys.end(),
                      [&](std::uint32_t k) { return std::binary_search(colours.begin(), colours.end(), k); }),
        c.colours - 1);
  }
  EXPECT_EQ(keysOf(quantized(image, c.colours)), keys);  // the same pixels, the same table
}

// More colours than the table holds: all but one entry are colours of the picture, and
// the error is within a percent or so of what the quantiser reaches, so that a change
// that makes the tables worse is seen (the tables are the same on every machine).
INSTANTIATE_TEST_SUITE_P(Quantize, QuantizeCounts,
                         ::testing::Values(Counts{1, 2, 0}, Counts{2, 2, 0}, Counts{3, 2, 26.3},
                                           Counts{15, 16, 0}, Counts{16, 16, 0}, Counts{17, 16, 1.8},
                                           Counts{255, 256, 0}, Counts{256, 256, 0}, Counts{257, 256, 0.05},
                                           Counts{0, 256, 3.2}, Counts{0, 16, 14.3}, Counts{0, 2, 41}),
                         [](const auto& info) {
                           return (info.param.distinct ? std::to_string(info.param.distinct)
                                                       : std::string("smooth")) +
                                  "To" + std::to_string(info.param.colours);
                         });

struct Clusters {
  int side;  // of each cluster's cube of colours
  int colours;
};

void PrintTo(const Clusters& c, std::ostream* out) { *out << c.side << " to " << c.colours; }

class QuantizeClusters : public ::testing::TestWithParam<Clusters> {};

// Clusters far apart, each a cube of side^3 colours: an entry at each cluster's median,
// whether the passes see the colours or, past 2^18 of them, the cells of the cut's grid.
TEST_P(QuantizeClusters, EntriesAtTheClustersMedians) {
  const Clusters& c = GetParam();
  const int cube = c.side * c.side * c.side, width = c.colours * cube / 128;
  const auto centre = [](int k) { return pixel(16 + (k & 3) * 64, k & 4 ? 170 : 40, k & 8 ? 180 : 60); };
  BMP image;
  image.SetSize(width, 128);
  for (int i = 0; i < width * 128; ++i) {
    const RGBApixel at = centre(i / cube);
    const int offset = i % cube;
    image.SetPixel(i % width, i / width,
                   pixel(at.Red + offset / (c.side * c.side), at.Green + offset / c.side % c.side,
                         at.Blue + offset % c.side));
  }
  std::vector<std::uint32_t> medians;
  const int median = (c.side - 1) / 2;
  for (int k = 0; k < c.colours; ++k)
    medians.push_back(keyOf(centre(k)) + static_cast<std::uint32_t>(median * 0x010101));
  std::sort(medians.begin(), medians.end());
  EXPECT_EQ(keysOf(quantized(image, c.colours)), medians);
}

INSTANTIATE_TEST_SUITE_P(Quantize, QuantizeClusters, ::testing::Values(Clusters{8, 16}, Clusters{26, 16}),
                         [](const auto& info) { return "Side" + std::to_string(info.param.side); });

// A picture in format's bytes, by the format's rule (gray8 for a grey picture).
std::vector<std::uint8_t> bytesOf(BMP& image, PixelFormat format) {
  std::vector<std::uint8_t> bytes;
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) {
      const RGBApixel p = image.GetPixel(x, y);
      const std::uint8_t alpha = static_cast<std::uint8_t>(x * 17);
      switch (format) {
        case PixelFormat::rgba8:
          bytes.insert(bytes.end(), {p.Red, p.Green, p.Blue, alpha});
          break;
        case PixelFormat::bgra8:
          bytes.insert(bytes.end(), {p.Blue, p.Green, p.Red, alpha});
          break;
        case PixelFormat::rgb8:
          bytes.insert(bytes.end(), {p.Red, p.Green, p.Blue});
          break;
        case PixelFormat::bgr8:
          bytes.insert(bytes.end(), {p.Blue, p.Green, p.Red});
          break;
        default:
          bytes.push_back(p.Green);
          break;
      }
    }
  return bytes;
}

const char* nameOf(PixelFormat format) {
  static const char* const kNames[] = {"rgba8", "bgra8", "rgb8", "bgr8", "gray8"};
  return kNames[static_cast<int>(format)];
}

class QuantizeFormats : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(QuantizeFormats, EveryFormatGivesTheImageObjectsTable) {
  const PixelFormat format = GetParam();
  BMP image = pictureOf(0);
  for (int y = 0; format == PixelFormat::gray8 && y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) {
      const int grey = image.GetPixel(x, y).Green;
      image.SetPixel(x, y, pixel(grey, grey, grey));
    }
  const std::vector<std::uint8_t> bytes = bytesOf(image, format);
  const std::size_t stride = bytes.size() / image.TellHeight();
  for (int colours : {16, 256}) {
    std::vector<RGBApixel> table;
    ASSERT_TRUE(pixelry::quantize(bytes.data(), image.TellWidth(), image.TellHeight(), stride, format,
                                  colours, table));
    EXPECT_EQ(keysOf(table), keysOf(quantized(image, colours))) << colours;
  }
}

INSTANTIATE_TEST_SUITE_P(Quantize, QuantizeFormats,
                         ::testing::Values(PixelFormat::rgba8, PixelFormat::bgra8, PixelFormat::rgb8,
                                           PixelFormat::bgr8, PixelFormat::gray8),
                         [](const auto& info) { return std::string(nameOf(info.param)); });

TEST(Quantize, RefusesBadCountsAndIndicesLeavingTheTable) {
  BMP image = pictureOf(0);
  const std::vector<std::uint8_t> bytes = bytesOf(image, PixelFormat::rgb8);
  const std::vector<RGBApixel> before{pixel(1, 2, 3)};
  struct Call {
    int colours;
    PixelFormat format;
  };
  for (const Call& call : {Call{1, PixelFormat::rgb8}, Call{257, PixelFormat::rgb8},
                           Call{0, PixelFormat::rgb8}, Call{16, PixelFormat::index8}}) {
    std::vector<RGBApixel> table = before;
    const pixelry::Result result =
        pixelry::quantize(bytes.data(), 40, 30, 120, call.format, call.colours, table);
    EXPECT_EQ(result.code, Code::badArgument) << call.colours;
    EXPECT_EQ(keysOf(table), keysOf(before));
    if (call.format == PixelFormat::index8) continue;
    EXPECT_EQ(pixelry::quantize(image, call.colours, table).code, Code::badArgument) << call.colours;
    EXPECT_EQ(keysOf(table), keysOf(before));
  }
}

struct Flat {
  RGBApixel colour;
  std::vector<RGBApixel> table;
};

void PrintTo(const Flat& f, std::ostream* out) { *out << keyOf(f.colour); }

class QuantizeFlat : public ::testing::TestWithParam<Flat> {};

// A flat area between entries maps to its nearest entry, or dithers to a mix of entries
// whose mean is the area's colour.
TEST_P(QuantizeFlat, NearestEntryOrAMixOfTheSameMean) {
  const Flat& f = GetParam();
  constexpr int width = 64, height = 64;
  constexpr std::size_t count = std::size_t{width} * height;
  const std::vector<RGBApixel> flat(count, f.colour);
  std::vector<std::uint8_t> indices(count);
  for (bool dither : {false, true}) {
    ASSERT_TRUE(pixelry::mapToTable(flat.data(), width, height, std::size_t{width} * 4, PixelFormat::bgra8,
                                    f.table, indices.data(), width, {dither}));
    double sums[3] = {0, 0, 0};
    for (std::uint8_t index : indices) {
      const RGBApixel& e = f.table.at(index);
      sums[0] += e.Red;
      sums[1] += e.Green;
      sums[2] += e.Blue;
      EXPECT_TRUE(dither || index == nearest(f.colour, f.table)) << int{index};
    }
    const int wanted[3] = {f.colour.Red, f.colour.Green, f.colour.Blue};
    for (int c = 0; dither && c < 3; ++c) EXPECT_NEAR(sums[c] / indices.size(), wanted[c], 1.0) << c;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Quantize, QuantizeFlat,
    ::testing::Values(Flat{pixel(30, 30, 30), {pixel(0, 0, 0), pixel(100, 100, 100)}},
                      Flat{pixel(58, 114, 178),
                           {pixel(0, 100, 180), pixel(100, 140, 220), pixel(90, 90, 90)}},
                      Flat{pixel(128, 64, 32),
                           {pixel(80, 40, 20), pixel(180, 40, 20), pixel(80, 140, 20), pixel(80, 40, 120)}},
                      // Equally near entries: the lower index.
                      Flat{pixel(50, 50, 50), {pixel(40, 50, 50), pixel(60, 50, 50), pixel(40, 50, 50)}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(Quantize, MapsEachPixelToItsNearestEntryInBuffersAndTheImage) {
  BMP image = pictureOf(0);
  for (int x = 0; x < image.TellWidth(); ++x) image(x, 0)->Alpha = static_cast<PixelryBYTE>(x + 9);
  const std::vector<RGBApixel> table = quantized(pictureOf(500), 16);
  const std::vector<std::uint8_t> bytes = bytesOf(image, PixelFormat::rgb8);
  std::vector<std::uint8_t> indices(std::size_t{41} * 30, 77);
  ASSERT_TRUE(pixelry::mapToTable(bytes.data(), 40, 30, 120, PixelFormat::rgb8, table, indices.data(), 41));
  BMP mapped = image;
  ASSERT_TRUE(pixelry::mapToTable(mapped, table));
  for (int y = 0; y < 30; ++y) {
    EXPECT_EQ(indices[y * 41 + 40], 77);  // past the row: untouched
    for (int x = 0; x < 40; ++x) {
      const RGBApixel p = image.GetPixel(x, y), e = table[nearest(p, table)];
      EXPECT_EQ(indices[y * 41 + x], nearest(p, table));
      EXPECT_EQ(rgba(mapped.GetPixel(x, y)), (Rgba{e.Red, e.Green, e.Blue, p.Alpha}));
    }
  }
}

class QuantizeRoundTrip : public ::testing::TestWithParam<int> {};

// An adaptive table holds every colour of a picture that has no more than the depth
// indexes: the file reads back as the picture.
TEST_P(QuantizeRoundTrip, FewColoursReadBackIdentical) {
  const int bits = GetParam();
  BMP image = pictureOf(1 << bits);
  const std::vector<std::uint8_t> bytes = bytesOf(image, PixelFormat::rgb8);
  pixelry::WriteOptions options;
  options.palette = pixelry::Palette::adaptive;
  for (bool dither : {false, true}) {
    options.dither = dither;
    std::vector<std::uint8_t> file;
    ASSERT_TRUE(pixelry::encode(bytes.data(), 40, 30, 120, PixelFormat::rgb8, bits, file, options));
    pixelry::Pixels read;
    ASSERT_TRUE(pixelry::load(file.data(), file.size(), PixelFormat::rgb8, read));
    EXPECT_EQ(read.bytes, bytes) << dither;
  }
}

INSTANTIATE_TEST_SUITE_P(Quantize, QuantizeRoundTrip, ::testing::Values(1, 4, 8),
                         [](const auto& info) { return std::to_string(info.param) + "Bits"; });

}  // namespace
