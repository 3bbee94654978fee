#include "FullReaderCases.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "PeakMemory.h"
#include "Pixelry/Pixelry.h"
#include "ProfiledFile.h"
#include "Report.h"
#include "RunLengthFiles.h"
#include "SampleImages.h"

namespace bench {
namespace {

const int kDepths[] = {1, 4, 8, 16, 24, 32};
const int kTopDownDepths[] = {24, 8};
const int kRunLengthDepths[] = {8, 4};

std::string sampleName(int bits) { return "in" + std::to_string(bits) + ".bmp"; }
std::string topDownName(int bits) { return "in" + std::to_string(bits) + "_top_down.bmp"; }
std::string runLengthName(int bits) { return "runs" + std::to_string(bits) + "_rle.bmp"; }
std::string uncompressedRunsName(int bits) { return "runs" + std::to_string(bits) + ".bmp"; }
std::string runLengthLabel(int bits) { return bits == 8 ? "RLE8" : "RLE4"; }

std::vector<std::uint8_t> loadFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  unsigned char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

// Reads path with pixelry::readFile; false, after saying why, on failure or a warning.
bool readCleanly(const std::string& path, BMP& image) {
  const pixelry::Result result = pixelry::readFile(image, path.c_str());
  if (!result) std::fprintf(stderr, "CHECK FAILED: %s\n", result.message.c_str());
  for (const std::string& warning : result.warnings)
    std::fprintf(stderr, "CHECK FAILED, warning: %s\n", warning.c_str());
  return result && result.warnings.empty();
}

bool samePixel(const RGBApixel& a, const RGBApixel& b) {
  return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue && a.Alpha == b.Alpha;
}

void printDifference(const std::string& path, int x, int y, const RGBApixel& got, const RGBApixel& expected) {
  std::fprintf(
      stderr,
      "CHECK FAILED: %s pixel (%d, %d) reads (R %d, G %d, B %d, A %d), expected (R %d, G %d, B %d, A %d)\n",
      path.c_str(), x, y, got.Red, got.Green, got.Blue, got.Alpha, expected.Red, expected.Green,
      expected.Blue, expected.Alpha);
}

// The top-down copy reads as the bottom-up file does, every byte of every pixel.
bool topDownMatches(const std::string& topDown, const std::string& bottomUp) {
  BMP expected, image;
  if (!readCleanly(bottomUp, expected) || !readCleanly(topDown, image)) return false;
  if (image.TellWidth() != expected.TellWidth() || image.TellHeight() != expected.TellHeight() ||
      image.TellBitDepth() != expected.TellBitDepth()) {
    std::fprintf(stderr, "CHECK FAILED: %s has another size or depth than %s\n", topDown.c_str(),
                 bottomUp.c_str());
    return false;
  }
  for (int y = 0; y < image.TellHeight(); ++y) {
    const RGBApixel* got = image(0, y);
    const RGBApixel* want = expected(0, y);
    for (int x = 0; x < image.TellWidth(); ++x)
      if (!samePixel(got[x], want[x])) {
        printDifference(topDown, x, y, got[x], want[x]);
        return false;
      }
  }
  return true;
}

// The file reads as the banded picture: every pixel the table colour of its index, Alpha 0.
bool bandedMatches(const std::string& path, const std::vector<std::uint8_t>& indices, int size, int bits) {
  BMP image;
  if (!readCleanly(path, image)) return false;
  if (image.TellWidth() != size || image.TellHeight() != size || image.TellBitDepth() != bits) {
    std::fprintf(stderr, "CHECK FAILED: %s reads as %d x %d at %d bits\n", path.c_str(), image.TellWidth(),
                 image.TellHeight(), image.TellBitDepth());
    return false;
  }
  const std::vector<Colour> table = bandedTable(bits);
  for (int y = 0; y < size; ++y) {
    const RGBApixel* got = image(0, y);
    const std::uint8_t* row = indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(size);
    for (int x = 0; x < size; ++x) {
      const Colour& c = table[row[x]];
      const RGBApixel want{c.blue, c.green, c.red, c.alpha};
      if (!samePixel(got[x], want)) {
        printDifference(path, x, y, got[x], want);
        return false;
      }
    }
  }
  return true;
}

double mebibytes(std::uintmax_t bytes) { return static_cast<double>(bytes) / 1048576.0; }

}  // namespace

bool makeFullReaderFiles(int size, const PathOf& path) {
  for (int bits : kTopDownDepths) {
    if (!saveFile(path(topDownName(bits)), topDownCopy(loadFile(path(sampleName(bits)))))) return false;
    if (!topDownMatches(path(topDownName(bits)), path(sampleName(bits)))) return false;
  }
  for (int bits : kRunLengthDepths) {
    const std::vector<std::uint8_t> indices = bandedIndices(size, size, bits);
    for (const bool runLength : {true, false}) {
      const std::string file = path(runLength ? runLengthName(bits) : uncompressedRunsName(bits));
      if (!saveFile(file, bandedFile(indices, size, size, bits, runLength))) return false;
      if (!bandedMatches(file, indices, size, bits)) return false;
    }
  }
  return true;
}

void runFullReaderCases(int size, const Repeat& repeat, bool goals, const PathOf& path) {
  const double goal = goals ? 1 : 0;  // 0: no goal printed
  auto nothing = [] {};
  auto fullRead = [](const std::string& file) {
    return [file] {
      BMP image;
      pixelry::readFile(image, file.c_str());
    };
  };
  std::printf("  full reader:\n");

  for (int bits : kDepths) {
    const std::string file = path(sampleName(bits));
    const Best best = bestOf(repeat, nothing, fullRead(file), [&] {
      BMP image;
      image.ReadFromFile(file.c_str());
    });
    printRow("readFile " + std::to_string(bits) + "-bit", best, "ReadFromFile", goal * 1.05);
  }

  for (int bits : kTopDownDepths)
    printRow("readFile " + std::to_string(bits) + "-bit top-down",
             bestOf(repeat, nothing, fullRead(path(topDownName(bits))), fullRead(path(sampleName(bits)))),
             "readFile bottom-up", goal * 1.05);

  // The file's bytes are in memory before the runs; each run reads them into a fresh image.
  const std::string file24 = path(sampleName(24));
  const std::vector<std::uint8_t> bytes24 = loadFile(file24);
  printRow("readMemory 24-bit",
           bestOf(
               repeat, nothing,
               [&] {
                 BMP image;
                 pixelry::readMemory(image, bytes24.data(), bytes24.size());
               },
               fullRead(file24)),
           "readFile", goal * 1.0);
  // Converted to sRGB from an embedded profile: at most three times the time of the file
  // without one.
  const std::vector<std::uint8_t> profiled24 = withColourProfile(bytes24);
  printRow("readMemory 24-bit, colour profile",
           bestOf(
               repeat, nothing,
               [&] {
                 BMP image;
                 pixelry::readMemory(image, profiled24.data(), profiled24.size());
               },
               [&] {
                 BMP image;
                 pixelry::readMemory(image, bytes24.data(), bytes24.size());
               }),
           "readMemory 24-bit", goal * 3);

  for (int bits : kRunLengthDepths) {
    const std::string label = runLengthLabel(bits);
    printRow("readFile " + label,
             bestOf(repeat, nothing, fullRead(path(runLengthName(bits))),
                    fullRead(path(uncompressedRunsName(bits)))),
             ("readFile " + std::to_string(bits) + "-bit").c_str(), goal * 2);
  }
  std::printf(
      "  the picture of runs: RLE8 %.2f MiB, RLE4 %.2f MiB; uncompressed 8-bit %.2f MiB, 4-bit %.2f MiB\n",
      mebibytes(std::filesystem::file_size(path(runLengthName(8)))),
      mebibytes(std::filesystem::file_size(path(runLengthName(4)))),
      mebibytes(std::filesystem::file_size(path(uncompressedRunsName(8)))),
      mebibytes(std::filesystem::file_size(path(uncompressedRunsName(4)))));

  const double grid = 4.0 * static_cast<double>(size) * static_cast<double>(size);
  printPeak("peak memory of a full 24-bit read", peakReadBytes(file24, Reader::full), "grid", grid,
            goal * 1.1);

  for (int bits : kTopDownDepths) std::filesystem::remove(path(topDownName(bits)));
  for (int bits : kRunLengthDepths) {
    std::filesystem::remove(path(runLengthName(bits)));
    std::filesystem::remove(path(uncompressedRunsName(bits)));
  }
}

}  // namespace bench
