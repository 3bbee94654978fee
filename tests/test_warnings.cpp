// The warnings switch: every call that prints a message gives the same results silently
// while warnings are off. One row per call that prints; a new message is a new row.
#include <climits>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

// A call that prints with warnings on, returning everything it changed or answered as text.
struct Loud {
  const char* name;
  std::function<std::string()> call;
};

void PrintTo(const Loud& loud, std::ostream* out) { *out << loud.name; }

std::string yesNo(bool value) { return value ? "true\n" : "false\n"; }

// Reads the bytes (no file at all when none) into an image that had something else.
std::function<std::string()> reading(std::optional<Bytes> bytes) {
  return [=] {
    TempDir dir;
    const std::string path = dir.file("in.bmp");
    if (bytes) writeBytes(path, *bytes);
    BMP image;
    makeBusy(image);
    const bool result = image.ReadFromFile(path.c_str());
    return yesNo(result) + describe(image);
  };
}

Bytes withHeader(BmpFile file, const std::function<void(BmpFile&)>& change) {
  change(file);
  return file.bytes();
}

// A call on an image at the given depth.
std::function<std::string()> on(int bits, std::function<std::string(BMP&)> call) {
  return [=] {
    BMP image = patterned(4, 3);
    image.SetBitDepth(bits);
    const std::string answer = call(image);
    return answer + describe(image);
  };
}

// A call on a file that is not there.
std::function<std::string()> onAMissingFile(std::function<std::string(const std::string&)> call) {
  return [=] {
    TempDir dir;
    return call(dir.file("missing.bmp"));
  };
}

std::string headerText(const BMFH& h) {
  return std::to_string(h.bfType) + " " + std::to_string(h.bfSize) + " " + std::to_string(h.bfOffBits) + "\n";
}
std::string headerText(const BMIH& h) {
  return std::to_string(h.biSize) + " " + std::to_string(h.biWidth) + " " + std::to_string(h.biBitCount) +
         " " + std::to_string(h.biXPelsPerMeter) + "\n";
}

std::vector<Loud> louds() {
  const BmpFile small = BmpFile::make(1, 1, 24).row({1, 2, 3, 0});
  auto compression = [](PixelryDWORD c, int bits) {
    return [=](BmpFile& f) {
      f.infoHeader.biCompression = c;
      f.infoHeader.biBitCount = static_cast<PixelryWORD>(bits);
    };
  };
  return {
      {"ReadMissing", reading(std::nullopt)},
      {"ReadEmpty", reading(Bytes{})},
      {"ReadNotBmp", reading(Bytes{'P', '6', 0, 0})},
      {"ReadRle", reading(withHeader(BmpFile::make(1, 1, 8), compression(1, 8)))},
      {"ReadCompression4", reading(withHeader(BmpFile::make(1, 1, 8), compression(4, 8)))},
      {"ReadBitFields32", reading(withHeader(BmpFile::make(1, 1, 32), compression(3, 32)))},
      {"ReadBadDepth", reading(withHeader(small, compression(0, 7)))},
      {"ReadTopDown",
       reading(withHeader(small, [](BmpFile& f) { f.infoHeader.biHeight = PixelryDWORD(-1); }))},
      {"ReadTooLarge",
       reading(
           withHeader(small, [](BmpFile& f) { f.infoHeader.biWidth = f.infoHeader.biHeight = INT_MAX; }))},
      {"ReadShortTable",
       reading(
           BmpFile::make(2, 1, 4).palette({pixel(1, 2, 3), pixel(4, 5, 6)}).row({0x12, 0, 0, 0}).bytes())},
      {"ReadExtra", reading(BmpFile::make(1, 1, 24).before({1, 2, 3}).row({1, 2, 3, 0}).bytes())},
      {"ReadLongHeader",
       reading(withHeader(
           BmpFile::make(1, 1, 4).before(Bytes(68, 0)).palette({pixel(1, 2, 3)}).row({0x30, 0, 0, 0}),
           [](BmpFile& f) { f.infoHeader.biSize = 108; }))},
      {"ReadTruncated", reading(BmpFile::make(2, 2, 24).row(Bytes(9, 3)).bytes())},
      // A cut 16-bit file prints nothing of its own: the extra bytes make the row loud.
      {"ReadTruncated16", reading(BmpFile::make(3, 1, 16).before({9}).row({1, 2, 3}).bytes())},
      {"ReadRowWithAnIndexBeyondTheTable", on(4,
                                              [](BMP& image) {
                                                PixelryBYTE row[4] = {3, 20, 200, 1};
                                                return yesNo(image.Read8bitRow(row, 4, 1));
                                              })},
      {"SetSizeNonPositive",
       on(24, [](BMP& image) { return yesNo(image.SetSize(0, 1)) + yesNo(image.SetSize(3, -1)); })},
      {"SetSizeTooLarge", on(8, [](BMP& image) { return yesNo(image.SetSize(INT_MAX, INT_MAX)); })},
      {"SetBitDepthUnsupported", on(4, [](BMP& image) { return yesNo(image.SetBitDepth(3)); })},
      {"GetPixelOutsideTheGrid", on(24,
                                    [](BMP& image) {
                                      std::string served;
                                      for (const auto& [x, y] : {std::pair{-1, -1},
                                                                 {4, 3},
                                                                 {4, 0},
                                                                 {1, -7},
                                                                 {-2, 2},
                                                                 {INT_MIN, INT_MAX},
                                                                 {INT_MAX, INT_MIN},
                                                                 {2, 1},
                                                                 {0, 0},
                                                                 {3, 2}})
                                        for (int channel : rgba(image.GetPixel(x, y)))
                                          served += std::to_string(channel) + " ";
                                      return served + "\n";
                                    })},
      {"PixelCopyOutsideBothImages", on(24,
                                        [](BMP& image) {
                                          BMP from = patterned(2, 2, 1);
                                          PixelToPixelCopy(from, 5, -3, image, -1, 9);
                                          return std::string();
                                        })},
      {"ColourTableAtDirectDepths",
       [] {
         std::string answers;
         for (int bits : {16, 24, 32}) {
           BMP image = patterned(4, 3);
           image.SetBitDepth(bits);
           answers += yesNo(image.SetColor(0, pixel(1, 2, 3))) + yesNo(image.CreateStandardColorTable()) +
                      yesNo(CreateGrayscaleColorTable(image));
           RGBApixel colour = image.GetColor(0);
           answers +=
               std::to_string(rgba(colour)[1]) + " " + std::to_string(image.FindClosestColor(colour)) + "\n";
           answers += describe(image);
         }
         return answers;
       }},
      {"ColourOutOfRange", on(4,
                              [](BMP& image) {
                                const std::string answers = yesNo(image.SetColor(16, pixel(1, 2, 3))) +
                                                            yesNo(image.SetColor(-1, pixel(1, 2, 3))) +
                                                            yesNo(image.SetColor(15, pixel(4, 5, 6)));
                                return answers + std::to_string(rgba(image.GetColor(-1))[0]) +
                                       std::to_string(rgba(image.GetColor(16))[2]) + "\n";
                              })},
      {"RowEncodersWithoutATable", on(24,
                                      [](BMP& image) {
                                        Bytes row(16, 0xAA);
                                        const std::string answers =
                                            yesNo(image.Write8bitRow(row.data(), 16, 0)) +
                                            yesNo(image.Write1bitRow(row.data(), 16, 1));
                                        return answers + std::string(row.begin(), row.end());
                                      })},
      {"RescaleUnknownModes", on(8,
                                 [](BMP& image) {
                                   std::string answers;
                                   for (char mode : {'x', 'q', 'Q', '?', '\xE9'})
                                     answers += yesNo(Rescale(image, mode, 50));
                                   return answers;
                                 })},
      // One pixel wide or high: the missing neighbours are read through the clamping accessor.
      {"RescaleThinSources",
       [] {
         std::string pixels;
         for (const auto& [width, height, mode, parameter] :
              {std::tuple{1, 2, 'H', 4}, {2, 1, 'W', 4}, {1, 1, 'P', 300}}) {
           BMP image = patterned(width, height);
           pixels += yesNo(Rescale(image, mode, parameter)) + describe(image);
         }
         return pixels;
       }},
      {"HeaderInfoOfMissingFiles", onAMissingFile([](const std::string& name) {
         const std::string headers = headerText(GetBMFH(name.c_str())) + headerText(GetBMIH(name.c_str()));
         return headers + std::to_string(GetBitmapColorDepth(name.c_str())) + "\n";
       })},
      {"DisplayBitmapInfoOfMissingFiles", onAMissingFile([](const std::string& name) {
         DisplayBitmapInfo(name.c_str());
         return name + "\n";
       })},
      {"WriteWhereADirectoryStandsAndToAFullDisk",
       [] {
         TempDir dir;
         BMP image = patterned(200, 200);
         std::string answers = yesNo(image.WriteToFile(dir.path().u8string().c_str()));
         if (std::filesystem::exists("/dev/full")) answers += yesNo(image.WriteToFile("/dev/full"));
         return answers;
       }},
  };
}

class Warnings : public ::testing::TestWithParam<Loud> {};

TEST_P(Warnings, OffGiveTheSameResultsSilently) {
  std::string loudResults, quietResults;
  EXPECT_NE(capturedOutput([&] { loudResults = GetParam().call(); }), "");
  {
    const WarningsOff off;
    EXPECT_FALSE(GetPixelrywarningState());
    EXPECT_EQ(capturedOutput([&] { quietResults = GetParam().call(); }), "");
  }
  EXPECT_TRUE(GetPixelrywarningState());
  EXPECT_EQ(quietResults, loudResults);
}

INSTANTIATE_TEST_SUITE_P(Calls, Warnings, ::testing::ValuesIn(louds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
