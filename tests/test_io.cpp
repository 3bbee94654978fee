// The full-coverage entry points: every file of the public BMP suite read or refused by
// its rules, reading from memory as from a file, results instead of messages, the code of
// every refusal, files at the edges of the rules (the pixel limit, masks, top-down files
// cut short, pixel offsets inside the colour table), writing to memory and the 32-bit
// form with an alpha mask; and the classic reader's mends for narrow 16-bit masks and
// short (OS/2) info headers.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Platform.h"
#ifdef PIXELRY_TESTS_POSIX
#include <unistd.h>
#endif

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Bmpsuite.h"
#include "support/Capture.h"
#include "support/Messages.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/TempDir.h"

using testing_support::BmpFile;
using testing_support::Bytes;
using testing_support::capturedOutput;
using testing_support::describe;
using testing_support::kSuite;
using testing_support::kWhite;
using testing_support::loadReference;
using testing_support::loadRendering;
using testing_support::makeBusy;
using testing_support::pixel;
using testing_support::pixelsOf;
using testing_support::readBytes;
using testing_support::Reference;
using testing_support::Rgba;
using testing_support::rgba;
using testing_support::TempDir;
using testing_support::writeBytes;

namespace {

// How many pixels differ from the reference by more than tolerance: red, green and blue
// where the pixel is not fully transparent, and Alpha too when alpha counts (the file has
// an alpha mask).
int differences(const BMP& image, const Reference& ref, bool alpha, int tolerance = 0) {
  if (image.TellWidth() != ref.width || image.TellHeight() != ref.height) return -1;
  int count = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      const Rgba p = rgba(image.GetPixel(x, y)), q = rgba(ref.at(x, y));
      const bool transparent = alpha && q[3] == 0;
      const auto off = [tolerance](int a, int b) { return std::abs(a - b) > tolerance; };
      count += (!transparent && (off(p[0], q[0]) || off(p[1], q[1]) || off(p[2], q[2]))) ||
               (alpha && p[3] != q[3]);
    }
  return count;
}

struct SuiteCase {
  std::string file;                     // under the suite's folder
  std::vector<std::string> references;  // any one of them matches; none: refused
  bool alpha = false;                   // the file carries alpha
  std::string refusal;                  // a word the refusal names
  bool drawnAlpha = false;              // the references show it
  // The colours asked for, and how far a converted file may lie from a reference that
  // renders it without colour management.
  pixelry::Colour colour = pixelry::Colour::toSrgb;
  int tolerance = 0;
};

void PrintTo(const SuiteCase& c, std::ostream* out) { *out << c.file; }

SuiteCase reads(std::string file, std::vector<std::string> references, bool alpha = false,
                bool drawnAlpha = true) {
  return {std::move(file), std::move(references), alpha, "", alpha && drawnAlpha};
}
SuiteCase refuses(std::string file, std::string reason) {
  return {std::move(file), {}, false, std::move(reason)};
}
// A file with a colour space: as stored, its values are the reference's; converted to
// sRGB, they lie within tolerance of it.
SuiteCase readsAsStored(std::string file, std::vector<std::string> references) {
  return {std::move(file), std::move(references), false, "", false, pixelry::Colour::asStored};
}
SuiteCase readsConverted(std::string file, std::vector<std::string> references, int tolerance) {
  return {std::move(file), std::move(references), false, "", false, pixelry::Colour::toSrgb, tolerance};
}

class FullReaderOnTheSuite : public ::testing::TestWithParam<SuiteCase> {};

TEST_P(FullReaderOnTheSuite, ReadsAsTheReferenceOrRefusesWithAReason) {
  const SuiteCase& c = GetParam();
  BMP image;
  image.SetSize(2, 3);
  pixelry::ReadOptions options;
  options.colour = c.colour;
  const pixelry::Result result = pixelry::readFile(image, (kSuite + c.file).c_str(), options);
  if (c.references.empty()) {
    EXPECT_FALSE(result);
    EXPECT_NE(result.message.find(c.refusal), std::string::npos) << result.message;
    EXPECT_EQ(image.TellWidth(), 2);  // a refused read leaves the image as it was
    EXPECT_EQ(image.TellHeight(), 3);
    return;
  }
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.alpha, c.alpha);
  std::string seen;
  for (const std::string& name : c.references) {
    const int differing = differences(image, loadReference(name), c.drawnAlpha, c.tolerance);
    if (differing == 0) return;
    seen += name + ": " + std::to_string(differing) + " pixels differ; ";
  }
  ADD_FAILURE() << seen;
}

std::string stem(const std::string& file) {
  std::string name = file.substr(file.find('/') + 1);
  name = name.substr(0, name.find('.'));
  std::string out = file.substr(0, file.find('/')) + "_";
  for (char ch : name) out += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Bmpsuite, FullReaderOnTheSuite,
    ::testing::Values(
        reads("good/pal1.bmp", {"pal1.ppm"}), reads("good/pal1bg.bmp", {"pal1bg.ppm"}),
        reads("good/pal1wb.bmp", {"pal1wb.ppm"}), reads("good/pal4.bmp", {"pal4.ppm"}),
        reads("good/pal4gs.bmp", {"pal4gs.ppm"}), reads("good/pal4rle.bmp", {"pal4rle.ppm"}),
        reads("good/pal8-0.bmp", {"pal8-0.ppm"}), reads("good/pal8.bmp", {"pal8.ppm"}),
        reads("good/pal8gs.bmp", {"pal8gs.ppm"}), reads("good/pal8nonsquare.bmp", {"pal8nonsquare.ppm"}),
        reads("good/pal8os2.bmp", {"pal8os2.ppm"}), reads("good/pal8rle.bmp", {"pal8rle.ppm"}),
        reads("good/pal8topdown.bmp", {"pal8topdown.ppm"}), readsAsStored("good/pal8v4.bmp", {"pal8v4.ppm"}),
        readsConverted("good/pal8v4.bmp", {"pal8v4.ppm"}, 6), reads("good/pal8v5.bmp", {"pal8v5.ppm"}),
        reads("good/pal8w124.bmp", {"pal8w124.ppm"}), reads("good/pal8w125.bmp", {"pal8w125.ppm"}),
        reads("good/pal8w126.bmp", {"pal8w126.ppm"}), reads("good/rgb16-565.bmp", {"rgb16-565.ppm"}),
        reads("good/rgb16-565pal.bmp", {"rgb16-565pal.ppm"}), reads("good/rgb16.bmp", {"rgb16.ppm"}),
        reads("good/rgb16bfdef.bmp", {"rgb16bfdef.ppm"}), reads("good/rgb24.bmp", {"rgb24.ppm"}),
        reads("good/rgb24pal.bmp", {"rgb24pal.ppm"}), reads("good/rgb32.bmp", {"rgb32.ppm"}),
        reads("good/rgb32bf.bmp", {"rgb32bf.ppm"}), reads("good/rgb32bfdef.bmp", {"rgb32bfdef.ppm"}),
        reads("bad/rgb16-880.bmp", {"rgb16-880.ppm"}), reads("questionable/pal1p1.bmp", {"q-pal1p1.pam"}),
        reads("questionable/pal4rletrns.bmp", {"q-pal4rletrns-0.pam"}),
        reads("questionable/pal4rlecut.bmp", {"q-pal4rlecut-0.pam"}),
        reads("questionable/pal8rletrns.bmp", {"q-pal8rletrns-0.pam"}),
        reads("questionable/pal8rlecut.bmp", {"q-pal8rlecut-0.pam"}),
        reads("questionable/pal8offs.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8oversizepal.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8os2-sz.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8os2-hs.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8os2sp.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8os2v2.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8os2v2-16.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8os2v2-sz.bmp", {"q-pal8.pam"}),
        reads("questionable/pal8os2v2-40sz.bmp", {"q-pal8.pam"}),
        reads("questionable/rgb16faketrns.bmp", {"q-rgb16.pam"}),
        reads("questionable/rgb16-231.bmp", {"q-rgb16-231.pam"}),
        reads("questionable/rgb16-3103.bmp", {"q-rgb16-3103.pam"}),
        reads("questionable/rgba16-4444.bmp", {"q-rgba16-4444.pam"}, true),
        reads("questionable/rgba16-5551.bmp", {"q-rgba16-5551.pam"}, true),
        reads("questionable/rgba16-1924.bmp", {"q-rgba16-1924.pam"}, true),
        reads("questionable/rgb24largepal.bmp", {"q-rgb24.pam"}),
        readsConverted("questionable/rgb24prof.bmp", {"q-rgb24.pam"}, 1),
        reads("questionable/rgb24lprof.bmp", {"q-rgb24.pam"}),
        readsAsStored("questionable/rgb24prof.bmp", {"q-rgb24.pam"}),
        readsConverted("questionable/rgb24prof2.bmp", {"q-rgb24.pam"}, 10),
        reads("questionable/rgb32h52.bmp", {"q-rgb24.pam"}),
        reads("questionable/rgb32-xbgr.bmp", {"q-rgb24.pam"}),
        // Its fourth bytes are not 0, so they are alpha, though the suite draws it opaque.
        reads("questionable/rgb32fakealpha.bmp", {"q-rgb24.pam"}, true, false),
        reads("questionable/rgba32-1.bmp", {"q-rgba32.pam"}, true),
        reads("questionable/rgba32-2.bmp", {"q-rgba32.pam"}, true),
        reads("questionable/rgba32-1010102.bmp", {"q-rgba32-1010102.pam"}, true),
        reads("questionable/rgba32abf.bmp", {"q-rgba32.pam"}, true),
        reads("questionable/rgba32h56.bmp", {"q-rgba32.pam"}, true),
        refuses("questionable/pal2.bmp", "2-bit pixels"),
        refuses("questionable/pal2color.bmp", "2-bit pixels"),
        refuses("questionable/rgb24rle24.bmp", "RLE24"), refuses("questionable/pal1huffmsb.bmp", "Huffman"),
        refuses("questionable/rgb24jpeg.bmp", "JPEG"), refuses("questionable/rgb24png.bmp", "PNG"),
        refuses("questionable/rgb32-111110.bmp", "wider than 10 bits"),
        refuses("questionable/rgb32-7187.bmp", "wider than 10 bits"),
        refuses("questionable/rgba32-81284.bmp", "wider than 10 bits"),
        refuses("questionable/rgba32-61754.bmp", "wider than 10 bits"),
        refuses("questionable/rgba64.bmp", "64-bit pixels"),
        refuses("questionable/ba-bm.bmp", "bitmap array"), refuses("bad/badbitcount.bmp", "bit depth"),
        refuses("bad/badwidth.bmp", "width or height"), refuses("bad/rletopdown.bmp", "top-down run-length")),
    [](const auto& info) {
      return stem(info.param.file) + (info.param.colour == pixelry::Colour::asStored ? "_asStored" : "");
    });

// The bad files that are read: whatever they hold, a read ends with a whole image.
class FullReaderOnBadFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(FullReaderOnBadFiles, ReadsThemWithinTheLimit) {
  BMP image;
  pixelry::ReadOptions options;
  options.maxPixels = 1 << 20;
  const pixelry::Result result =
      pixelry::readFile(image, (kSuite + "bad/" + GetParam() + ".bmp").c_str(), options);
  EXPECT_TRUE(result) << result.message;
  EXPECT_EQ(image.TellWidth(), 127);
}

INSTANTIATE_TEST_SUITE_P(Bmpsuite, FullReaderOnBadFiles,
                         ::testing::Values("badbitssize", "baddens1", "baddens2", "badfilesize",
                                           "badheadersize", "badpalettesize", "badplanes", "badrle",
                                           "badrle4", "badrle4bis", "badrle4ter", "badrlebis", "badrleter",
                                           "pal8badindex", "shortfile"),
                         [](const auto& info) {
                           std::string name = info.param;
                           return name;
                         });

// Files that ImageMagick, GraphicsMagick, netpbm, Pillow, ffmpeg, OpenCV, Qt, SDL,
// gdk-pixbuf and GIMP write, each beside the writer's own decoding (tests/data/programs,
// described row by row in its MANIFEST.tsv).
struct ProgramFile {
  std::string file;
  // Channel widths (red, green, blue, alpha) where a file stores fewer than 8 bits, and
  // whether its alpha counts (an alpha mask); 8 elsewhere.
  int bits[4] = {8, 8, 8, 8};
  bool alpha = false;
  // A 32-bit file without bit fields, whose fourth byte these writers fill with alpha.
  bool fourthByte = false;
};

void PrintTo(const ProgramFile& f, std::ostream* out) { *out << f.file; }

int bitCount(unsigned long mask) {
  int count = 0;
  for (; mask != 0; mask >>= 1) count += static_cast<int>(mask & 1);
  return count;
}

std::vector<ProgramFile> programFiles() {
  std::ifstream manifest(std::string(PIXELRY_TEST_DATA) + "/programs/MANIFEST.tsv");
  std::vector<ProgramFile> files;
  std::string line;
  std::getline(manifest, line);  // column names
  while (std::getline(manifest, line)) {
    std::vector<std::string> cells;
    std::istringstream row(line);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    ProgramFile f;
    f.file = cells.at(0);
    const int depth = std::stoi(cells.at(6));
    const std::string& masks = cells.at(10);
    if (depth == 16 && masks.rfind("none", 0) == 0) f.bits[0] = f.bits[1] = f.bits[2] = 5;  // 5-5-5
    f.fourthByte = depth == 32 && masks.rfind("none", 0) == 0;
    if ((depth == 16 || depth == 32) && masks.rfind("R=", 0) == 0) {
      for (int c = 0; c < 4; ++c) {
        const unsigned long mask =
            std::stoul(masks.substr(masks.find("RGBA"[c] + std::string("=")) + 2, 8), nullptr, 16);
        if (c < 3 || mask != 0) f.bits[c] = bitCount(mask);
        if (c == 3) f.alpha = mask != 0;
      }
    }
    files.push_back(f);
  }
  return files;
}

// A channel of n bits as the library widens it: round(v x 255 / (2^n - 1)).
int widened(int v, int n) { return (2 * v * 255 + (1 << n) - 1) / (2 * ((1 << n) - 1)); }

class ProgramCorpus : public ::testing::TestWithParam<ProgramFile> {};

TEST_P(ProgramCorpus, ReadsAsTheWriterDecodesIt) {
  const ProgramFile& f = GetParam();
  const std::string base =
      std::string(PIXELRY_TEST_DATA) + "/programs/" + f.file.substr(0, f.file.size() - 4);
  BMP image;
  const pixelry::Result result = pixelry::readFile(image, (base + ".bmp").c_str());
  ASSERT_TRUE(result) << result.message;
  const Reference ref = loadRendering(base + ".pam");
  ASSERT_EQ(image.TellWidth(), ref.width);
  ASSERT_EQ(image.TellHeight(), ref.height);
  // A fourth byte is alpha, but some writers' own readers leave it out: it is compared
  // where the writer's decoding shows it.
  bool shownAlpha = false;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) shownAlpha = shownAlpha || rgba(ref.at(x, y))[3] != 255;
  EXPECT_EQ(result.alpha, f.alpha || f.fourthByte);
  const bool alpha = f.alpha || (f.fourthByte && shownAlpha);
  // Writers widen narrow channels by rules of their own (15 may read 240, 31 may read
  // 247, 248 or 255): the channel's value is what they agree on, and the library widens
  // it by its rule.
  int differing = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      const Rgba ours = rgba(image.GetPixel(x, y)), q = rgba(ref.at(x, y));
      for (int c = 0; c < (alpha ? 4 : 3); ++c) {
        const int n = f.bits[c];
        differing += ours[c] != (n == 8 ? q[c] : widened(q[c] >> (8 - n), n));
      }
    }
  EXPECT_EQ(differing, 0);
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramCorpus, ::testing::ValuesIn(programFiles()), [](const auto& info) {
  std::string name;
  for (char ch : info.param.file.substr(0, info.param.file.size() - 4))
    name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
});

// Every 16-bit word once, in a picture large enough to be decoded through a table.
TEST(FullReader, WidensEverySixteenBitWord) {
  BmpFile file = BmpFile::make(256, 256, 16);
  file.infoHeader.biCompression = 3;
  file.before({0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0});
  for (int y = 255; y >= 0; --y) {
    Bytes row;
    for (int x = 0; x < 256; ++x)
      row.insert(row.end(), {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)});
    file.row(row);
  }
  const Bytes bytes = file.bytes();
  BMP image;
  ASSERT_TRUE(pixelry::readMemory(image, bytes.data(), bytes.size()));
  int differing = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const int word = y << 8 | x;
      const Rgba expected{widened(word >> 11, 5), widened(word >> 5 & 63, 6), widened(word & 31, 5), 0};
      differing += rgba(image.GetPixel(x, y)) != expected;
    }
  EXPECT_EQ(differing, 0);
}

TEST(FullReader, FromMemoryAsFromTheFile) {
  for (const char* file : {"good/pal4rle.bmp", "good/rgb16-565.bmp", "good/pal8topdown.bmp", "good/rgb24.bmp",
                           "questionable/rgba32-1.bmp", "bad/shortfile.bmp"}) {
    BMP fromFile, fromMemory;
    ASSERT_TRUE(pixelry::readFile(fromFile, (kSuite + file).c_str()));
    const Bytes bytes = readBytes(kSuite + file);
    ASSERT_TRUE(pixelry::readMemory(fromMemory, bytes.data(), bytes.size()));
    ASSERT_EQ(fromMemory.TellWidth(), fromFile.TellWidth());
    ASSERT_EQ(fromMemory.TellBitDepth(), fromFile.TellBitDepth());
    for (int y = 0; y < fromFile.TellHeight(); ++y)
      for (int x = 0; x < fromFile.TellWidth(); ++x)
        ASSERT_EQ(rgba(fromMemory.GetPixel(x, y)), rgba(fromFile.GetPixel(x, y)))
            << file << " " << x << "," << y;
  }
}

TEST(FullReader, PrintsNothingAndReportsInTheResult) {
  BMP image;
  pixelry::Result result;
  const std::string missing = kSuite + "missing.bmp";
  EXPECT_EQ(capturedOutput([&] { result = pixelry::readFile(image, missing.c_str()); }), "");
  EXPECT_EQ(result.code, pixelry::Code::cannotOpen);
  EXPECT_EQ(result.message, "Cannot open file " + missing + " for input.");
  const Bytes notBmp = {'P', '6', ' ', '1'};
  EXPECT_EQ(capturedOutput([&] { result = pixelry::readMemory(image, notBmp.data(), notBmp.size()); }), "");
  EXPECT_EQ(result.code, pixelry::Code::notBmp);
  EXPECT_EQ(result.message, "memory is not a Windows BMP file!");
  Bytes cut = readBytes(kSuite + "good/pal8rle.bmp");
  cut.resize(cut.size() / 2);
  EXPECT_EQ(capturedOutput([&] { result = pixelry::readMemory(image, cut.data(), cut.size()); }), "");
  EXPECT_TRUE(result);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].find("run-length data ends early"), std::string::npos);
  EXPECT_EQ(pixelry::readMemory(image, nullptr, 10).code, pixelry::Code::truncated);
  EXPECT_EQ(pixelry::readMemory(image, cut.data(), 20).code, pixelry::Code::truncated);
}

// File names are UTF-8 on every system: "λ-名-é.bmp" and "ü.bmp" are created under those
// names, and every entry point that takes a name finds them.
TEST(FileNames, NonAsciiNamesAreUtf8Everywhere) {
  testing_support::TempDir dir;
  const std::string greek = dir.file("\xCE\xBB-\xE5\x90\x8D-\xC3\xA9.bmp"), umlaut = dir.file("\xC3\xBC.bmp");
  BMP image;
  image.SetSize(3, 2);
  image.SetPixel(2, 1, pixel(10, 20, 30));
  ASSERT_TRUE(image.WriteToFile(greek.c_str()));
  ASSERT_TRUE(pixelry::writeFile(image, umlaut.c_str()));
  ASSERT_TRUE(pixelry::writeFile(image, umlaut.c_str()));  // replacing the file
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().u8string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"\xC3\xBC.bmp", "\xCE\xBB-\xE5\x90\x8D-\xC3\xA9.bmp"}));
  for (const std::string& name : {greek, umlaut}) {
    BMP classic, full;
    ASSERT_TRUE(classic.ReadFromFile(name.c_str())) << name;
    ASSERT_TRUE(pixelry::readFile(full, name.c_str())) << name;
    EXPECT_EQ(pixelsOf(classic), pixelsOf(image));
    EXPECT_EQ(pixelsOf(full), pixelsOf(image));
    EXPECT_EQ(GetBMIH(name.c_str()).biWidth, 3u);
    EXPECT_EQ(GetBMFH(name.c_str()).bfSize, 78u);
  }
}

// rgb24prof2.bmp's embedded profile ("Custom RGB": sRGB's colorants with red and green
// swapped, gamma 2.2 curves, which puts right pixels stored with red and green swapped)
// edited: a profile that can be converted is, one that describes sRGB needs no work, and
// one the reader cannot use leaves the colours as stored, with a warning.
struct ProfileEdit {
  const char* name;
  bool srgbColorants;  // red and green put back in place
  int gamma;           // of the three tone curves, x 256
  pixelry::ColourHandling handling;
  const char* warning;  // what the warning names; empty: none
  // The size the header gives the profile: as stored, 64 KiB more (past the end of the
  // file), or none.
  enum class Size { asStored, pastTheEnd, none } size = Size::asStored;
  // The tone curves replaced by sRGB's own parametric curve (type 3).
  bool parametric = false;
};

void PrintTo(const ProfileEdit& e, std::ostream* out) { *out << e.name; }

class EmbeddedProfiles : public ::testing::TestWithParam<ProfileEdit> {};

std::uint32_t be32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}
void putBe32(Bytes& b, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<PixelryBYTE>(value >> (24 - 8 * i));
}

// sRGB's tone curve as an ICC parametric curve of type 3: g, a, b, c, d.
Bytes srgbParametricCurve() {
  Bytes curve = {'p', 'a', 'r', 'a', 0, 0, 0, 0, 0, 3, 0, 0};
  for (const double v : {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}) {
    curve.resize(curve.size() + 4);
    putBe32(curve, curve.size() - 4, static_cast<std::uint32_t>(std::lround(v * 65536)));
  }
  return curve;
}

const char kUnreachableProfile[] = "its colour profile lies where the reader cannot reach it";

// The largest difference in red, green or blue between two images of one size.
int largestDifference(const BMP& a, const BMP& b) {
  int largest = 0;
  for (int y = 0; y < a.TellHeight(); ++y)
    for (int x = 0; x < a.TellWidth(); ++x) {
      const Rgba p = rgba(a.GetPixel(x, y)), q = rgba(b.GetPixel(x, y));
      for (int c = 0; c < 3; ++c) largest = std::max(largest, std::abs(p[c] - q[c]));
    }
  return largest;
}

TEST_P(EmbeddedProfiles, ConvertedOrReadAsStoredFromMemoryAndFromAFile) {
  const ProfileEdit& edit = GetParam();
  Bytes file = readBytes(kSuite + "questionable/rgb24prof2.bmp");
  const std::size_t profile = 14 + (file[14 + 112] | file[14 + 113] << 8);  // it ends the file
  const auto parametricAt = static_cast<std::uint32_t>(file.size() - profile);
  std::size_t red = 0, green = 0;
  for (std::size_t tag = 0; tag < be32(file, profile + 128); ++tag) {
    const std::size_t entry = profile + 132 + 12 * tag;
    const std::string signature(file.begin() + static_cast<std::ptrdiff_t>(entry),
                                file.begin() + static_cast<std::ptrdiff_t>(entry) + 4);
    if (signature == "rXYZ") red = entry;
    if (signature == "gXYZ") green = entry;
    if (signature.substr(1) == "TRC") {
      const std::size_t curve = profile + be32(file, entry + 4);
      file[curve + 12] = static_cast<PixelryBYTE>(edit.gamma >> 8);
      file[curve + 13] = static_cast<PixelryBYTE>(edit.gamma);
      if (edit.parametric) {
        putBe32(file, entry + 4, parametricAt);
        putBe32(file, entry + 8, 32);
      }
    }
  }
  if (edit.parametric) {
    const Bytes curve = srgbParametricCurve();
    file.insert(file.end(), curve.begin(), curve.end());
    file[14 + 116] = static_cast<PixelryBYTE>(file[14 + 116] + curve.size());  // 0x1C + 32: no carry
    putBe32(file, profile, be32(file, profile) + static_cast<std::uint32_t>(curve.size()));
  }
  if (edit.srgbColorants)
    for (int i = 4; i < 12; ++i) std::swap(file[red + i], file[green + i]);
  if (edit.size == ProfileEdit::Size::pastTheEnd) ++file[14 + 118];
  if (edit.size == ProfileEdit::Size::none) std::fill_n(file.begin() + 14 + 116, 4, 0);

  testing_support::TempDir dir;
  const std::string path = dir.file("edited.bmp");
  testing_support::writeBytes(path, file);
  BMP stored;  // the classic reader takes the pixels as they are stored
  ASSERT_TRUE(stored.ReadFromFile((kSuite + "questionable/rgb24prof2.bmp").c_str()));
  for (const std::string& name : {std::string("memory"), path}) {
    BMP image;
    const pixelry::Result result = name == path ? pixelry::readFile(image, path.c_str())
                                                : pixelry::readMemory(image, file.data(), file.size());
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(result.colour, edit.handling);
    if (*edit.warning == '\0') {
      EXPECT_EQ(result.warnings, std::vector<std::string>());
    } else {
      ASSERT_EQ(result.warnings.size(), 1u);
      EXPECT_EQ(result.warnings[0].rfind(name + ": " + edit.warning, 0), 0u) << result.warnings[0];
    }
    const int largest = largestDifference(image, stored);
    if (edit.handling == pixelry::ColourHandling::converted)
      EXPECT_GT(largest, 0);
    else
      EXPECT_EQ(largest, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rgb24prof2, EmbeddedProfiles,
    ::testing::Values(
        ProfileEdit{"AsStored", false, 0x0233, pixelry::ColourHandling::converted, ""},
        ProfileEdit{"SrgbColorants", true, 0x0233, pixelry::ColourHandling::converted, ""},
        ProfileEdit{"SrgbColorantsGamma1", true, 0x0100, pixelry::ColourHandling::converted, ""},
        ProfileEdit{"SrgbParametricCurves", true, 0x0100, pixelry::ColourHandling::identity, "",
                    ProfileEdit::Size::asStored, true},
        ProfileEdit{"LongerThanTheFile", true, 0x0233, pixelry::ColourHandling::asStored, kUnreachableProfile,
                    ProfileEdit::Size::pastTheEnd},
        ProfileEdit{"Empty", true, 0x0233, pixelry::ColourHandling::asStored,
                    "its colour profile is smaller than a profile header", ProfileEdit::Size::none}),
    [](const auto& info) { return std::string(info.param.name); });

// A stream that cannot seek cannot reach a profile stored after the pixels: the file is
// read as stored with a warning, and converted from memory.
TEST(FullReader, AProfileOutOfReachOfAPipeIsReadAsStored) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << testing_support::kNeedsPosix;
#else
  const Bytes file = readBytes(kSuite + "questionable/rgb24prof2.bmp");
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], file.data(), file.size()),
            static_cast<ssize_t>(file.size()));  // within the pipe's 64 KiB
  close(ends[1]);
  const std::string name = "/dev/fd/" + std::to_string(ends[0]);
  BMP image;
  const pixelry::Result result = pixelry::readFile(image, name.c_str());
  close(ends[0]);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.colour, pixelry::ColourHandling::asStored);
  EXPECT_TRUE(result.profile.empty());
  EXPECT_EQ(result.warnings, std::vector<std::string>{
                                 name + ": " + kUnreachableProfile +
                                 " (past the end of the data, in a stream that cannot seek, or behind a "
                                 "108-byte header that has no room to say where); the colours are read as "
                                 "stored."});
  EXPECT_EQ(pixelry::readMemory(image, file.data(), file.size()).colour, pixelry::ColourHandling::converted);
#endif
}

// A run-length stream that draws a pixel at the bottom left, moves 1 right and 2 up with a
// delta, draws another and ends: the rest takes entry 0.
TEST(FullReader, RunLengthDeltasMoveRightAndUp) {
  const RGBApixel table[3] = {pixel(0, 0, 0), pixel(255, 0, 0), pixel(0, 255, 0)};
  for (const int bits : {8, 4}) {
    BmpFile file = BmpFile::make(4, 3, bits);
    file.infoHeader.biCompression = bits == 8 ? 1 : 2;
    file.infoHeader.biClrUsed = 3;
    file.palette({table[0], table[1], table[2]});
    const PixelryBYTE red = bits == 8 ? 1 : 0x10, green = bits == 8 ? 2 : 0x20;
    file.row({1, red, 0, 2, 1, 2, 1, green, 0, 1});
    const Bytes bytes = file.bytes();
    BMP image;
    ASSERT_TRUE(pixelry::readMemory(image, bytes.data(), bytes.size())) << bits;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        const RGBApixel expected = x == 0 && y == 2 ? table[1] : x == 2 && y == 0 ? table[2] : table[0];
        EXPECT_EQ(rgba(image.GetPixel(x, y)), rgba(expected)) << bits << " bits, " << x << "," << y;
      }
  }
}

TEST(FullReader, TakesTheResolutionOnlyFromAFileItReads) {
  BMP classic, full, fromMemory;
  const std::string path = kSuite + "good/pal8nonsquare.bmp";
  capturedOutput([&] { EXPECT_TRUE(classic.ReadFromFile(path.c_str())); });
  ASSERT_TRUE(pixelry::readFile(full, path.c_str()));
  const Bytes bytes = readBytes(path);
  ASSERT_TRUE(pixelry::readMemory(fromMemory, bytes.data(), bytes.size()));
  for (BMP* image : {&full, &fromMemory}) {
    EXPECT_EQ(image->TellHorizontalDPI(), classic.TellHorizontalDPI());
    EXPECT_EQ(image->TellVerticalDPI(), classic.TellVerticalDPI());
  }
  EXPECT_NE(classic.TellHorizontalDPI(), classic.TellVerticalDPI());
  BMP refused;
  refused.SetDPI(50, 60);
  EXPECT_FALSE(pixelry::readFile(refused, (kSuite + "questionable/rgb24jpeg.bmp").c_str()));
  EXPECT_EQ(refused.TellHorizontalDPI(), 49);
  EXPECT_EQ(refused.TellVerticalDPI(), 59);
}

TEST(FullReader, RefusesMorePixelsThanAllowedWithoutChangingTheImage) {
  BMP image;
  image.SetSize(5, 4);
  image.SetBitDepth(8);
  const Bytes file = readBytes(kSuite + "good/pal8.bmp");  // 127 x 64
  pixelry::ReadOptions options;
  options.maxPixels = std::uint64_t{127} * 64 - 1;
  EXPECT_EQ(pixelry::readMemory(image, file.data(), file.size(), options).code, pixelry::Code::tooLarge);
  EXPECT_EQ(image.TellWidth(), 5);
  EXPECT_EQ(image.TellBitDepth(), 8);
  options.maxPixels = std::uint64_t{127} * 64;
  EXPECT_TRUE(pixelry::readMemory(image, file.data(), file.size(), options));
  EXPECT_EQ(image.TellWidth(), 127);
}

// Files built byte by byte for the full reader: a change applied to a small file.
Bytes changed(BmpFile file, const std::function<void(BmpFile&)>& change) {
  change(file);
  return file.bytes();
}

// A 2 x 2 24-bit file at 2835 x 1417 pixels per metre.
BmpFile twoByTwo() {
  BmpFile file = BmpFile::make(2, 2, 24).row(Bytes(8, 0x40)).row(Bytes(8, 0x80));
  file.infoHeader.biXPelsPerMeter = 2835;
  file.infoHeader.biYPelsPerMeter = 1417;
  return file;
}
Bytes twoByTwo(const std::function<void(BmpFile&)>& change) { return changed(twoByTwo(), change); }
Bytes firstBytesOf(const Bytes& whole, std::size_t length) {
  return Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
}
auto atDepth(int bits, PixelryDWORD compression = 0) {
  return [=](BmpFile& f) {
    f.infoHeader.biBitCount = static_cast<PixelryWORD>(bits);
    f.infoHeader.biCompression = compression;
  };
}
auto sizedAs(PixelryDWORD width, PixelryDWORD height) {
  return [=](BmpFile& f) {
    f.infoHeader.biWidth = width;
    f.infoHeader.biHeight = height;
  };
}
// Heights as the header stores them: a negative one is a top-down file.
constexpr PixelryDWORD kMinusTwo = 0xFFFFFFFEu, kMinus2p31 = 0x80000000u, kMinus2p31PlusOne = 0x80000001u;

// A 2-pixel-wide run-length file of two rows, top-down or bottom-up: one run, then the
// end of the bitmap.
Bytes runLength(int bits, PixelryDWORD height) {
  BmpFile file = BmpFile::make(2, 2, bits);
  file.infoHeader.biCompression = bits == 8 ? 1 : 2;
  file.infoHeader.biHeight = height;
  const PixelryBYTE white = bits == 8 ? 1 : 0x11;  // entry 1, once or twice a byte
  file.palette({pixel(0, 0, 0), pixel(255, 255, 255)}).row({2, white, 0, 1});
  return file.bytes();
}

// A 2 x 1 16-bit file with bit fields red, green and blue: word 0x8000, then 0x03FF.
Bytes sixteenBitMasks(std::uint32_t red, std::uint32_t green = 0x03E0, std::uint32_t blue = 0x001F) {
  BmpFile file = BmpFile::make(2, 1, 16);
  file.infoHeader.biCompression = 3;
  for (const std::uint32_t mask : {red, green, blue}) BmpFile::dword(file.beforePixels, mask);
  file.fileHeader.bfOffBits += 12;
  return file.row({0x00, 0x80, 0xFF, 0x03}).bytes();
}

// A 1 x 1 32-bit file with bit fields red, green, blue (alpha none).
Bytes thirtyTwoBitMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  BmpFile file = BmpFile::make(1, 1, 32);
  file.infoHeader.biCompression = 3;
  for (const std::uint32_t mask : {red, green, blue}) BmpFile::dword(file.beforePixels, mask);
  file.fileHeader.bfOffBits += 12;
  return file.row({1, 2, 3, 4}).bytes();
}

// A top-down 24-bit file of width x height whose pixel n (top row first) is (n, 2n, 3n),
// cut after `kept` bytes of pixel data.
Bytes topDown24(int width, int height, std::size_t kept = SIZE_MAX) {
  BmpFile file = BmpFile::make(width, -height, 24);
  const std::size_t rowSize = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
  for (int y = 0, n = 0; y < height; ++y) {
    Bytes row(rowSize, 0);
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x, ++n) {
      row[3 * x] = static_cast<std::uint8_t>(3 * n);
      row[3 * x + 1] = static_cast<std::uint8_t>(2 * n);
      row[3 * x + 2] = static_cast<std::uint8_t>(n);
    }
    file.row(row);
  }
  file.pixels.resize(std::min(kept, file.pixels.size()));
  return file.bytes();
}
Rgba topDownPixel(int n) { return {n, 2 * n, 3 * n, 0}; }

// What the full reader does with a file it refuses: a code, a message that names the
// reason, and the image left exactly as it was (size, depth, pixels, table, resolution).
struct FullRefusal {
  const char* name;
  std::optional<Bytes> file;  // none: a file that does not exist
  std::uint64_t maxPixels;    // ReadOptions::maxPixels (0: no limit)
  pixelry::Code code;
  const char* reason;  // a part of the message
};

void PrintTo(const FullRefusal& r, std::ostream* out) { *out << r.name; }

class FullReaderRefusal : public ::testing::TestWithParam<FullRefusal> {};

TEST_P(FullReaderRefusal, GivesItsCodeAndLeavesTheImageAsItWas) {
  const FullRefusal& r = GetParam();
  TempDir dir;
  const std::string path = dir.file("in.bmp");
  if (r.file) writeBytes(path, *r.file);
  pixelry::ReadOptions options;
  options.maxPixels = r.maxPixels;
  BMP reference;
  makeBusy(reference);
  for (const bool fromMemory : {true, false}) {
    if (fromMemory && !r.file) continue;
    SCOPED_TRACE(fromMemory ? "from memory" : "from a file");
    BMP image;
    makeBusy(image);
    const pixelry::Result result = fromMemory
                                       ? pixelry::readMemory(image, r.file->data(), r.file->size(), options)
                                       : pixelry::readFile(image, path.c_str(), options);
    EXPECT_EQ(result.code, r.code);
    EXPECT_FALSE(result);
    EXPECT_NE(result.message.find(r.reason), std::string::npos) << result.message;
    EXPECT_EQ(describe(image), describe(reference));
  }
}

constexpr std::uint64_t kNoLimit = 0;

INSTANTIATE_TEST_SUITE_P(
    Conditions, FullReaderRefusal,
    ::testing::Values(
        FullRefusal{"Missing", std::nullopt, kNoLimit, pixelry::Code::cannotOpen, "Cannot open file"},
        FullRefusal{"NoSignature", twoByTwo([](BmpFile& f) { f.fileHeader.bfType = 0x4D42 ^ 0x0100; }),
                    kNoLimit, pixelry::Code::notBmp, "is not a Windows BMP file"},
        FullRefusal{"BitmapArray", twoByTwo([](BmpFile& f) { f.fileHeader.bfType = 0x4142; }), kNoLimit,
                    pixelry::Code::unsupported, "an OS/2 bitmap array"},
        FullRefusal{"Empty", Bytes{}, kNoLimit, pixelry::Code::truncated, "obviously corrupted"},
        FullRefusal{"EndsInTheFileHeader", firstBytesOf(twoByTwo([](BmpFile&) {}), 13), kNoLimit,
                    pixelry::Code::truncated, "obviously corrupted"},
        FullRefusal{"EndsInTheInfoHeader", firstBytesOf(twoByTwo([](BmpFile&) {}), 53), kNoLimit,
                    pixelry::Code::truncated, "obviously corrupted"},
        FullRefusal{"TwoBitPixels", twoByTwo(atDepth(2)), kNoLimit, pixelry::Code::unsupported,
                    "2-bit pixels"},
        FullRefusal{"SixtyFourBitPixels", twoByTwo(atDepth(64)), kNoLimit, pixelry::Code::unsupported,
                    "64-bit pixels"},
        FullRefusal{"ThreeBitPixels", twoByTwo(atDepth(3)), kNoLimit, pixelry::Code::invalid, "bit depth"},
        FullRefusal{"ZeroBitPixels", twoByTwo(atDepth(0)), kNoLimit, pixelry::Code::invalid, "bit depth"},
        FullRefusal{"Jpeg", twoByTwo(atDepth(24, 4)), kNoLimit, pixelry::Code::unsupported, "JPEG"},
        FullRefusal{"Png", twoByTwo(atDepth(24, 5)), kNoLimit, pixelry::Code::unsupported, "PNG"},
        FullRefusal{"UnknownCompression", twoByTwo(atDepth(24, 7)), kNoLimit, pixelry::Code::unsupported,
                    "unsupported format"},
        FullRefusal{"Os2Huffman",
                    changed(twoByTwo().before(Bytes(24, 0)),
                            [](BmpFile& f) {
                              f.infoHeader.biSize = 64;
                              f.infoHeader.biBitCount = 1;
                              f.infoHeader.biCompression = 3;
                            }),
                    kNoLimit, pixelry::Code::unsupported, "Huffman"},
        FullRefusal{"BitFieldsAt24Bits", twoByTwo(atDepth(24, 3)), kNoLimit, pixelry::Code::invalid,
                    "uses bit fields"},
        FullRefusal{"AlphaBitFieldsAt8Bits", twoByTwo(atDepth(8, 6)), kNoLimit, pixelry::Code::invalid,
                    "uses bit fields"},
        FullRefusal{"Rle8At4Bits", twoByTwo(atDepth(4, 1)), kNoLimit, pixelry::Code::unsupported,
                    "RLE8 at a depth other than 8 bits"},
        FullRefusal{"Rle4At8Bits", twoByTwo(atDepth(8, 2)), kNoLimit, pixelry::Code::unsupported,
                    "RLE4 at a depth other than 4 bits"},
        FullRefusal{"WidthZero", twoByTwo(sizedAs(0, 2)), kNoLimit, pixelry::Code::invalid,
                    "width or height"},
        FullRefusal{"WidthMinusOne", twoByTwo(sizedAs(0xFFFFFFFFu, 2)), kNoLimit, pixelry::Code::invalid,
                    "width or height"},
        FullRefusal{"HeightZero", twoByTwo(sizedAs(2, 0)), kNoLimit, pixelry::Code::invalid,
                    "width or height"},
        // -2^31 has no positive counterpart in 32 bits; one more is 2^31 - 1 rows, over the limit.
        FullRefusal{"HeightMinus2p31", twoByTwo(sizedAs(2, kMinus2p31)), kNoLimit, pixelry::Code::invalid,
                    "width or height"},
        FullRefusal{"HeightMinus2p31PlusOne", twoByTwo(sizedAs(2, kMinus2p31PlusOne)), 1 << 20,
                    pixelry::Code::tooLarge, "more than the limit"},
        FullRefusal{"TopDownRle8", runLength(8, kMinusTwo), kNoLimit, pixelry::Code::unsupported,
                    "top-down run-length"},
        FullRefusal{"TopDownRle4", runLength(4, kMinusTwo), kNoLimit, pixelry::Code::unsupported,
                    "top-down run-length"},
        FullRefusal{"SixteenBitMaskNotOneRun", sixteenBitMasks(0x7C01), kNoLimit, pixelry::Code::unsupported,
                    "not one run of bits"},
        FullRefusal{"SixteenBitMaskAtBit16", sixteenBitMasks(0x00010000), kNoLimit,
                    pixelry::Code::unsupported, "not one run of bits"},
        FullRefusal{"SixteenBitMaskAcrossBit16", sixteenBitMasks(0x00018000), kNoLimit,
                    pixelry::Code::unsupported, "not one run of bits"},
        FullRefusal{"ElevenBitChannel", thirtyTwoBitMasks(0xFFE00000u, 0x001FF800u, 0x000007FFu), kNoLimit,
                    pixelry::Code::unsupported, "wider than 10 bits"},
        FullRefusal{"BottomUpOverTheLimit", twoByTwo([](BmpFile&) {}), 3, pixelry::Code::tooLarge,
                    "more than the limit"},
        FullRefusal{"TopDownOverTheLimit", topDown24(3, 2), 5, pixelry::Code::tooLarge,
                    "more than the limit"},
        // About 2^62 pixels: no grid of them can be had, and none is asked for.
        FullRefusal{"GridBeyondMemory", twoByTwo(sizedAs(0x7FFFFFFF, 0x7FFFFFFF)), kNoLimit,
                    pixelry::Code::tooLarge, "too large to fit in memory"},
        FullRefusal{"TopDownGridBeyondMemory", twoByTwo(sizedAs(0x7FFFFFFF, kMinus2p31PlusOne)), kNoLimit,
                    pixelry::Code::tooLarge, "too large to fit in memory"}),
    [](const auto& info) { return std::string(info.param.name); });

// Files the full reader reads at the edge of a refusal or of a rule: the pixels, top row
// first, and the warnings, each named by a part of it.
struct FullRead {
  const char* name;
  Bytes file;
  std::uint64_t maxPixels;  // ReadOptions::maxPixels (0: no limit)
  int width, height;
  std::vector<Rgba> pixels;
  std::vector<std::string> warnings;
};

void PrintTo(const FullRead& r, std::ostream* out) { *out << r.name; }

class FullReaderReads : public ::testing::TestWithParam<FullRead> {};

TEST_P(FullReaderReads, ThePixelsByTheRule) {
  const FullRead& r = GetParam();
  TempDir dir;
  const std::string path = dir.file("in.bmp");
  writeBytes(path, r.file);
  pixelry::ReadOptions options;
  options.maxPixels = r.maxPixels;
  for (const bool fromMemory : {true, false}) {
    SCOPED_TRACE(fromMemory ? "from memory" : "from a file");
    BMP image;
    const pixelry::Result result = fromMemory
                                       ? pixelry::readMemory(image, r.file.data(), r.file.size(), options)
                                       : pixelry::readFile(image, path.c_str(), options);
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(image.TellWidth(), r.width);
    EXPECT_EQ(image.TellHeight(), r.height);
    EXPECT_EQ(pixelsOf(image), r.pixels);
    ASSERT_EQ(result.warnings.size(), r.warnings.size());
    for (std::size_t i = 0; i < r.warnings.size(); ++i)
      EXPECT_NE(result.warnings[i].find(r.warnings[i]), std::string::npos) << result.warnings[i];
  }
}

// A top-down 16-bit (5-5-5) file, 2 x 3, whose words are 0x7C00 (red), 0x03E0 (green) in
// each row, cut after `kept` bytes of pixel data.
Bytes topDown16(std::size_t kept) {
  BmpFile file = BmpFile::make(2, -3, 16);
  for (int y = 0; y < 3; ++y) file.row({0x00, 0x7C, 0xE0, 0x03});
  file.pixels.resize(kept);
  return file.bytes();
}

// An 8-bit 4 x 1 file with biClrUsed 4: entries blue, (1, 3, 2), red and white, then the
// indices 3, 2, 1, 0; bfOffBits as given.
const std::vector<RGBApixel> kFourEntries = {pixel(0, 0, 255), pixel(1, 3, 2), pixel(255, 0, 0),
                                             pixel(255, 255, 255)};
Bytes offsetIntoTheTable(PixelryDWORD offBits) {
  BmpFile file = BmpFile::make(4, 1, 8);
  file.infoHeader.biClrUsed = 4;
  file.palette(kFourEntries).row({3, 2, 1, 0});
  file.fileHeader.bfOffBits = offBits;
  return file.bytes();
}

const Rgba kBlack{0, 0, 0, 0}, kRed{255, 0, 0, 0}, kGreen{0, 255, 0, 0}, kBlue{0, 0, 255, 0};
const char kRowsLacking[] = "the pixel data ends early; the rows it lacks are white";

INSTANTIATE_TEST_SUITE_P(
    Edges, FullReaderReads,
    ::testing::Values(
        FullRead{
            "SixteenBitMaskAtBit15", sixteenBitMasks(0x8000), kNoLimit, 2, 1, {kRed, {0, 255, 255, 0}}, {}},
        FullRead{"TopDownAtTheLimit",
                 topDown24(3, 2),
                 6,
                 3,
                 2,
                 {topDownPixel(0), topDownPixel(1), topDownPixel(2), topDownPixel(3), topDownPixel(4),
                  topDownPixel(5)},
                 {}},
        // The file ends in its second row: the top row is kept, the rows below it are white.
        FullRead{"TopDownCutInItsSecondRow",
                 topDown24(2, 3, 8 + 3),
                 kNoLimit,
                 2,
                 3,
                 {topDownPixel(0), topDownPixel(1), kWhite, kWhite, kWhite, kWhite},
                 {kRowsLacking}},
        FullRead{"TopDownCutAfterItsFirstRow",
                 topDown24(2, 3, 8),
                 kNoLimit,
                 2,
                 3,
                 {topDownPixel(0), topDownPixel(1), kWhite, kWhite, kWhite, kWhite},
                 {kRowsLacking}},
        // A 16-bit row keeps the whole words it has.
        FullRead{"TopDownSixteenBitsCutInItsSecondRow",
                 topDown16(4 + 2),
                 kNoLimit,
                 2,
                 3,
                 {kRed, kGreen, kRed, kWhite, kWhite, kWhite},
                 {kRowsLacking}},
        // An offset at the end of the info header (or before it) is taken as not given: the
        // pixels follow the whole table. One past it cuts the table there, and the pixels
        // start at the offset: at 58 the table is blue alone, and the indices are the bytes
        // of entry 1 (2, 3, 1 and 0), of which 1 to 3 read black.
        FullRead{"OffsetAtTheEndOfTheInfoHeader",
                 offsetIntoTheTable(54),
                 kNoLimit,
                 4,
                 1,
                 {kWhite, kRed, {1, 3, 2, 0}, kBlue},
                 {}},
        FullRead{"OffsetBeforeTheEndOfTheInfoHeader",
                 offsetIntoTheTable(53),
                 kNoLimit,
                 4,
                 1,
                 {kWhite, kRed, {1, 3, 2, 0}, kBlue},
                 {}},
        FullRead{"OffsetOneBytePastTheInfoHeader",
                 offsetIntoTheTable(55),
                 kNoLimit,
                 4,
                 1,
                 {kBlack, kBlack, kBlack, kBlack},
                 {"Extra meta data"}},  // the byte between the header and the offset
        FullRead{"OffsetOneEntryIntoTheTable",
                 offsetIntoTheTable(58),
                 kNoLimit,
                 4,
                 1,
                 {kBlack, kBlack, kBlack, kBlue},
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

BMP smallImage(int bits) {
  BMP image;
  image.SetSize(3, 2);
  image.SetBitDepth(bits);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.SetPixel(x, y, pixel(40 * x, 90 * y, 7 + x + y, 60 * x + 100 * y));
  return image;
}

TEST(WriteToMemory, GivesTheBytesOfTheFileAtEveryDepth) {
  testing_support::TempDir dir;
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    BMP image = smallImage(bits);
    const std::string path = dir.file("classic.bmp");
    ASSERT_TRUE(image.WriteToFile(path.c_str()));
    Bytes memory = {1, 2, 3};
    ASSERT_TRUE(pixelry::writeMemory(image, memory));
    EXPECT_EQ(memory, readBytes(path)) << bits << " bits";
    ASSERT_TRUE(pixelry::writeFile(image, path.c_str()));
    EXPECT_EQ(readBytes(path), memory) << bits << " bits";
    // The alpha mask is a 32-bit form: at any other depth the option changes no byte.
    if (bits == 32) continue;
    pixelry::WriteOptions alphaMask;
    alphaMask.alphaMask = true;
    Bytes masked;
    ASSERT_TRUE(pixelry::writeMemory(image, masked, alphaMask));
    EXPECT_EQ(masked, memory) << bits << " bits, alpha mask asked";
    ASSERT_TRUE(pixelry::writeFile(image, path.c_str(), alphaMask));
    EXPECT_EQ(readBytes(path), memory) << bits << " bits, alpha mask asked";
  }
}

TEST(WriteToMemory, AlphaMaskFormCarriesAlphaInALongHeader) {
  BMP image = smallImage(32);
  Bytes file;
  pixelry::WriteOptions options;
  options.alphaMask = true;
  ASSERT_TRUE(pixelry::writeMemory(image, file, options));
  ASSERT_EQ(file.size(), 122u + 6 * 4);
  EXPECT_EQ(testing_support::le32(file, 2), 122u + 6 * 4);  // bfSize: 14 + 108 + the pixels
  EXPECT_EQ(testing_support::le32(file, 10), 122u);         // bfOffBits
  EXPECT_EQ(testing_support::le32(file, 14), 108u);         // biSize
  EXPECT_EQ(testing_support::le32(file, 30), 3u);           // bit fields
  EXPECT_EQ(testing_support::le32(file, 54), 0x00FF0000u);  // red
  EXPECT_EQ(testing_support::le32(file, 58), 0x0000FF00u);  // green
  EXPECT_EQ(testing_support::le32(file, 62), 0x000000FFu);  // blue
  EXPECT_EQ(testing_support::le32(file, 66), 0xFF000000u);  // alpha
  EXPECT_EQ(testing_support::le32(file, 70), 0x73524742u);  // "sRGB"
  BMP back;
  ASSERT_TRUE(pixelry::readMemory(back, file.data(), file.size()));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(rgba(back.GetPixel(x, y)), rgba(image.GetPixel(x, y)));
  testing_support::TempDir dir;
  const std::string path = dir.file("masked.bmp");
  ASSERT_TRUE(pixelry::writeFile(image, path.c_str(), options));
  EXPECT_EQ(readBytes(path), file);
  // At other depths the option changes nothing.
  BMP eight = smallImage(8);
  Bytes plain, masked;
  pixelry::writeMemory(eight, plain);
  pixelry::writeMemory(eight, masked, options);
  EXPECT_EQ(plain, masked);
}

// The 16-bit layouts: header, masks and words. Three pixels, so a row has two bytes of
// padding: (200, 100, 37) at Alpha 200, (255, 0, 127) at 127 and (0, 255, 255) at 128.
// 5-6-5 keeps the top bits (200 is 25 of 31); the others round (200 is 24.3 of 31, and
// 37 is 4.498, just below a half).
struct SixteenBitCase {
  const char* name;
  pixelry::SixteenBitLayout layout;
  std::uint32_t headerSize, compression;
  std::uint32_t masks[4];  // red, green, blue, alpha, where the file states them
  std::uint16_t words[3];
  Bytes padding;
};

void PrintTo(const SixteenBitCase& c, std::ostream* out) { *out << c.name; }

BMP threeSixteenBitPixels() {
  BMP image;
  image.SetSize(3, 1);
  image.SetBitDepth(16);
  image.SetPixel(0, 0, pixel(200, 100, 37, 200));
  image.SetPixel(1, 0, pixel(255, 0, 127, 127));
  image.SetPixel(2, 0, pixel(0, 255, 255, 128));
  return image;
}

class SixteenBitLayouts : public ::testing::TestWithParam<SixteenBitCase> {};

TEST_P(SixteenBitLayouts, StateTheirMasksAndPackTheWords) {
  const SixteenBitCase& c = GetParam();
  BMP image = threeSixteenBitPixels();
  pixelry::WriteOptions options;
  options.sixteenBitLayout = c.layout;
  Bytes file;
  ASSERT_TRUE(pixelry::writeMemory(image, file, options));
  const std::uint32_t maskBytes = c.headerSize == 40 && c.compression == 3 ? 12 : 0;
  const std::uint32_t offset = 14 + c.headerSize + maskBytes;
  ASSERT_EQ(file.size(), offset + 8);
  EXPECT_EQ(testing_support::le32(file, 2), offset + 8);
  EXPECT_EQ(testing_support::le32(file, 10), offset);
  EXPECT_EQ(testing_support::le32(file, 14), c.headerSize);
  EXPECT_EQ(testing_support::le32(file, 30), c.compression);
  for (std::size_t m = 0; m < (c.headerSize == 108 ? 4 : maskBytes / 4); ++m)
    EXPECT_EQ(testing_support::le32(file, 54 + 4 * m), c.masks[m]) << "mask " << m;
  for (std::size_t x = 0; x < 3; ++x)
    EXPECT_EQ(file[offset + 2 * x] | file[offset + 2 * x + 1] << 8, c.words[x]) << "pixel " << x;
  EXPECT_EQ(Bytes(file.end() - 2, file.end()), c.padding);
  // Read back and written again in the same layout, the file is the same.
  BMP back;
  const pixelry::Result read = pixelry::readMemory(back, file.data(), file.size());
  ASSERT_TRUE(read) << read.message;
  EXPECT_EQ(read.alpha, c.masks[3] != 0);
  Bytes again;
  ASSERT_TRUE(pixelry::writeMemory(back, again, options));
  EXPECT_EQ(again, file);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SixteenBitLayouts,
    ::testing::Values(
        SixteenBitCase{"Rgb565",
                       pixelry::SixteenBitLayout::rgb565,
                       40,
                       3,
                       {0xF800, 0x07E0, 0x001F, 0},
                       {0xCB24, 0xF80F, 0x07FF},
                       {0xFF, 0xFF}},
        SixteenBitCase{
            "Rgb555", pixelry::SixteenBitLayout::rgb555, 40, 0, {}, {0x6184, 0x7C0F, 0x03FF}, {0, 0}},
        SixteenBitCase{"Argb1555",
                       pixelry::SixteenBitLayout::argb1555,
                       108,
                       3,
                       {0x7C00, 0x03E0, 0x001F, 0x8000},
                       {0xE184, 0x7C0F, 0x83FF},
                       {0, 0}},
        SixteenBitCase{"Argb4444",
                       pixelry::SixteenBitLayout::argb4444,
                       108,
                       3,
                       {0x0F00, 0x00F0, 0x000F, 0xF000},
                       {0xCC62, 0x7F07, 0x80FF},
                       {0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// Alpha that nobody set (0 in every pixel) is written opaque in the forms that carry
// alpha; one pixel with Alpha keeps every pixel's as it is. The other forms carry none.
struct UnsetAlphaCase {
  const char* name;
  int bits;
  bool alphaMask;
  pixelry::SixteenBitLayout layout;
  int unsetReadsAs;  // the Alpha read back from an image whose Alpha is 0 everywhere
};

void PrintTo(const UnsetAlphaCase& c, std::ostream* out) { *out << c.name; }

class UnsetAlpha : public ::testing::TestWithParam<UnsetAlphaCase> {};

TEST_P(UnsetAlpha, IsWrittenOpaqueWhereTheFileCarriesAlpha) {
  const UnsetAlphaCase& c = GetParam();
  pixelry::WriteOptions options;
  options.alphaMask = c.alphaMask;
  options.sixteenBitLayout = c.layout;
  BMP image;
  image.SetSize(2, 1);
  image.SetBitDepth(c.bits);
  image.SetPixel(0, 0, pixel(10, 20, 30, 0));
  image.SetPixel(1, 0, pixel(40, 50, 60, 0));
  Bytes file;
  BMP back;
  ASSERT_TRUE(pixelry::writeMemory(image, file, options));
  ASSERT_TRUE(pixelry::readMemory(back, file.data(), file.size()));
  EXPECT_EQ(back.GetPixel(0, 0).Alpha, c.unsetReadsAs);
  EXPECT_EQ(back.GetPixel(1, 0).Alpha, c.unsetReadsAs);
  // Once one pixel has Alpha, the others' 0 is transparency.
  image.SetPixel(1, 0, pixel(40, 50, 60, 255));
  ASSERT_TRUE(pixelry::writeMemory(image, file, options));
  ASSERT_TRUE(pixelry::readMemory(back, file.data(), file.size()));
  EXPECT_EQ(back.GetPixel(0, 0).Alpha, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, UnsetAlpha,
    ::testing::Values(UnsetAlphaCase{"AlphaMask", 32, true, pixelry::SixteenBitLayout::rgb565, 255},
                      UnsetAlphaCase{"Argb1555", 16, false, pixelry::SixteenBitLayout::argb1555, 255},
                      UnsetAlphaCase{"Argb4444", 16, false, pixelry::SixteenBitLayout::argb4444, 255}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnsetAlpha, StaysZeroWithoutAnAlphaMaskAndInTheClassicWriter) {
  BMP image;
  image.SetSize(1, 1);
  image.SetBitDepth(32);
  image.SetPixel(0, 0, pixel(10, 20, 30, 0));
  Bytes file;
  ASSERT_TRUE(pixelry::writeMemory(image, file));
  EXPECT_EQ(file.back(), 0);
}

// 16-bit files other programs write keep their pixels' bytes when read and written back
// in their own layout.
TEST(SixteenBitLayouts, ProgramFilesKeepTheirPixels) {
  const std::pair<const char*, pixelry::SixteenBitLayout> files[] = {
      {"ffmpeg_rgb555", pixelry::SixteenBitLayout::rgb555},
      {"gimp_rgb555", pixelry::SixteenBitLayout::rgb555},
      {"ffmpeg_rgb565", pixelry::SixteenBitLayout::rgb565},
      {"imagemagick_argb1555", pixelry::SixteenBitLayout::argb1555},
      {"gimp_rgba5551", pixelry::SixteenBitLayout::argb1555},
      {"imagemagick_argb4444", pixelry::SixteenBitLayout::argb4444}};
  for (const auto& [name, layout] : files) {
    SCOPED_TRACE(name);
    const Bytes file = readBytes(std::string(PIXELRY_TEST_DATA) + "/programs/" + name + ".bmp");
    BMP image;
    ASSERT_TRUE(pixelry::readMemory(image, file.data(), file.size()));
    pixelry::WriteOptions options;
    options.sixteenBitLayout = layout;
    Bytes again;
    ASSERT_TRUE(pixelry::writeMemory(image, again, options));
    const std::size_t pixels = static_cast<std::size_t>(image.TellHeight()) *
                               static_cast<std::size_t>((image.TellWidth() * 2 + 3) / 4 * 4);
    ASSERT_GE(file.size(), testing_support::le32(file, 10) + pixels);
    EXPECT_TRUE(std::equal(again.end() - static_cast<std::ptrdiff_t>(pixels), again.end(),
                           file.begin() + testing_support::le32(file, 10)));
  }
}

TEST(SixteenBitLayouts, AnUnknownLayoutIsTheCallersMistake) {
  BMP image = threeSixteenBitPixels();
  pixelry::WriteOptions options;
  options.sixteenBitLayout = static_cast<pixelry::SixteenBitLayout>(4);
  Bytes file = {1};
  EXPECT_EQ(pixelry::writeMemory(image, file, options).code, pixelry::Code::badArgument);
  EXPECT_EQ(file, Bytes{1});
  const Bytes rgb(9, 0);
  EXPECT_EQ(pixelry::encode(rgb.data(), 3, 1, 9, pixelry::PixelFormat::rgb8, 16, file, options).code,
            pixelry::Code::badArgument);
  // So is an unknown palette, whatever the depth.
  options = {};
  options.palette = static_cast<pixelry::Palette>(2);
  const pixelry::Result refused = pixelry::writeMemory(image, file, options);
  EXPECT_EQ(refused.code, pixelry::Code::badArgument);
  EXPECT_EQ(refused.message, "Cannot write memory: unknown palette.");
  EXPECT_EQ(file, Bytes{1});
}

// The classic reader's mends: a 16-bit mask narrower than five bits is widened by its
// own width, and an info header shorter than 40 bytes is refused before any of its bytes
// is taken for a 40-byte header's.
TEST(ClassicReaderMends, NarrowMasksReachTheTopOfTheByte) {
  testing_support::TempDir dir;
  const std::string path = dir.file("444.bmp");
  // Red 0x0F00, green 0x00F0, blue 0x000F; then blue 0x000E, three bits above bit 0.
  for (const auto& [blueMask, white] :
       {std::pair<PixelryBYTE, Rgba>{0x0F, {240, 240, 240, 0}}, {0x0E, {240, 240, 224, 0}}}) {
    BmpFile file = BmpFile::make(1, 1, 16);
    file.infoHeader.biCompression = 3;
    file.before({0x00, 0x0F, 0, 0, 0xF0, 0x00, 0, 0, blueMask, 0x00, 0, 0}).row({0xFF, 0x0F, 0, 0});
    testing_support::writeBytes(path, file.bytes());
    BMP image;
    EXPECT_EQ(capturedOutput([&] { image.ReadFromFile(path.c_str()); }), "");
    EXPECT_EQ(rgba(image.GetPixel(0, 0)), white);
  }
}

TEST(ClassicReaderMends, ShortInfoHeadersAreRefusedAsUnsupported) {
  testing_support::TempDir dir;
  for (const PixelryDWORD size : {1u, 12u, 16u, 39u}) {
    const std::string path = dir.file("os2.bmp");
    BmpFile file = BmpFile::make(2, 2, 24);
    file.infoHeader.biSize = size;
    file.infoHeader.biXPelsPerMeter = 1234;
    file.row(Bytes(8, 0)).row(Bytes(8, 0));
    testing_support::writeBytes(path, file.bytes());
    BMP image;
    image.SetSize(3, 3);
    image.SetDPI(50, 50);
    bool result = true;
    EXPECT_EQ(capturedOutput([&] { result = image.ReadFromFile(path.c_str()); }),
              testing_support::withName(testing_support::unsupported("0"), path))
        << size;
    EXPECT_FALSE(result);
    EXPECT_EQ(image.TellWidth(), 1);
    EXPECT_EQ(image.TellBitDepth(), 1);
    EXPECT_EQ(image.TellHorizontalDPI(), 49);  // the header's bytes are not taken for a resolution
  }
}

}  // namespace
