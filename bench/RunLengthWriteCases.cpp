#include "RunLengthWriteCases.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"
#include "Report.h"
#include "RunLengthFiles.h"
#include "SampleImages.h"

namespace bench {
namespace {

using pixelry::PixelFormat;

// A picture at a depth, as an image object read from its uncompressed file and as the
// buffers encode takes.
struct Picture {
  std::string name;
  int bits;
  BMP image;
  std::vector<std::uint8_t> indices, rgb;
  std::vector<RGBApixel> table;
};

Picture pictureOf(const std::string& name, int bits, const std::vector<std::uint8_t>& file) {
  Picture picture{name, bits, BMP(), {}, {}, {}};
  pixelry::readMemory(picture.image, file.data(), file.size());
  pixelry::Pixels pixels;
  pixelry::load(file.data(), file.size(), PixelFormat::index8, pixels);
  picture.indices = pixels.bytes;
  picture.table = pixels.table;
  pixelry::load(file.data(), file.size(), PixelFormat::rgb8, pixels);
  picture.rgb = pixels.bytes;
  return picture;
}

pixelry::WriteOptions coded(bool runLength, const std::vector<RGBApixel>& table = {}) {
  pixelry::WriteOptions options;
  options.runLength = runLength;
  options.table = table;
  return options;
}

// The indices a file holds; empty when it does not load cleanly.
std::vector<std::uint8_t> indicesOf(const std::vector<std::uint8_t>& file) {
  pixelry::Pixels pixels;
  const pixelry::Result result = pixelry::load(file.data(), file.size(), PixelFormat::index8, pixels);
  return result && result.warnings.empty() ? pixels.bytes : std::vector<std::uint8_t>{};
}

double mebibytes(std::size_t bytes) { return static_cast<double>(bytes) / 1048576.0; }

}  // namespace

bool runRunLengthWriteCases(int size, const Repeat& repeat, bool goals) {
  const std::vector<std::uint8_t> banded8 = bandedIndices(size, size, 8),
                                  banded4 = bandedIndices(size, size, 4);
  Picture pictures[] = {pictureOf("sample 8-bit", 8, sampleFile(size, size, 8)),
                        pictureOf("banded 8-bit", 8, bandedFile(banded8, size, size, 8, false)),
                        pictureOf("banded 4-bit", 4, bandedFile(banded4, size, size, 4, false))};
  std::printf("  writing coded by runs / uncompressed, the same picture and depth:\n");
  auto nothing = [] {};
  std::vector<std::uint8_t> plain, runs;
  for (Picture& p : pictures) {
    const std::string code = p.bits == 8 ? "RLE8" : "RLE4";
    pixelry::writeMemory(p.image, plain);
    pixelry::writeMemory(p.image, runs, coded(true));
    if (indicesOf(runs).empty() || indicesOf(runs) != indicesOf(plain)) {
      std::fprintf(stderr, "CHECK FAILED: %s %s does not read back as the uncompressed file\n",
                   p.name.c_str(), code.c_str());
      return false;
    }
    std::printf("    %s: %s %.2f MiB, uncompressed %.2f MiB\n", p.name.c_str(), code.c_str(),
                mebibytes(runs.size()), mebibytes(plain.size()));
    printRow("writeMemory " + code + ", " + p.name,
             bestOf(
                 repeat, nothing, [&] { pixelry::writeMemory(p.image, runs, coded(true)); },
                 [&] { pixelry::writeMemory(p.image, plain); }),
             "uncompressed", goals ? 2 : 0);
    const auto encodeRgb = [&](bool runLength) {
      return [&, runLength] {
        pixelry::encode(p.rgb.data(), size, size, 3 * static_cast<std::size_t>(size), PixelFormat::rgb8,
                        p.bits, runLength ? runs : plain, coded(runLength, p.table));
      };
    };
    printRow("encode rgb8 " + code + ", " + p.name,
             bestOf(repeat, nothing, encodeRgb(true), encodeRgb(false)), "uncompressed", goals ? 2 : 0);
    // index8 pixels are copied into an uncompressed file: no goal against a copy.
    const auto encodeIndices = [&](bool runLength) {
      return [&, runLength] {
        pixelry::encode(p.indices.data(), size, size, static_cast<std::size_t>(size), PixelFormat::index8,
                        p.bits, runLength ? runs : plain, coded(runLength, p.table));
      };
    };
    printRow("encode index8 " + code + ", " + p.name,
             bestOf(repeat, nothing, encodeIndices(true), encodeIndices(false)), "uncompressed", 0);
  }
  return true;
}

}  // namespace bench
