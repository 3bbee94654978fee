#include "RowCases.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "PeakMemory.h"
#include "Pixelry/Pixelry.h"
#include "Report.h"
#include "RunLengthFiles.h"
#include "SampleImages.h"
#include "Stopwatch.h"

namespace bench {
namespace {

enum class Way { rows, image };

// The child's first argument, one per way.
const char* flagOf(Way way) { return way == Way::rows ? "--convert-rows" : "--convert-image"; }

struct Conversion {
  const char* from;  // the input file's label: "24-bit", "RLE8"
  int fromBits;      // the depth whose colours the input holds
  bool runLength;
  int toBits;
};
const Conversion kConversions[] = {
    {"24-bit", 24, false, 8}, {"8-bit", 8, false, 24}, {"1-bit", 1, false, 24}, {"RLE8", 8, true, 24}};

std::string inputName(const Conversion& c) {
  return c.runLength ? "large_rle8.bmp" : "large" + std::to_string(c.fromBits) + ".bmp";
}

// The sample picture, size x size, written a row at a time: at bits, or RLE8.
bool saveLargeSample(const std::string& path, int size, int bits, bool runLength) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  // An RLE8 file's headers give the size of its pixel data: written again at the end.
  std::vector<std::uint8_t> headers = sampleHeaders(size, size, bits, runLength ? 1 : 0);
  bool written = std::fwrite(headers.data(), 1, headers.size(), file) == headers.size();
  std::uint64_t dataBytes = 0;
  std::vector<std::uint8_t> coded;
  for (int y = size - 1; written && y >= 0; --y) {  // the bottom row first
    const std::vector<std::uint8_t> row = sampleRow(y, size, size, bits);
    coded.clear();
    if (runLength) appendRunLengthRow(coded, row.data(), size, 8, y == 0);
    const std::vector<std::uint8_t>& out = runLength ? coded : row;
    written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    dataBytes += out.size();
  }
  if (written && runLength) {
    written = dataBytes < UINT32_MAX - headers.size();
    headers = sampleHeaders(size, size, bits, static_cast<std::uint32_t>(dataBytes));
    written = written && std::fseek(file, 0, SEEK_SET) == 0 &&
              std::fwrite(headers.data(), 1, headers.size(), file) == headers.size();
  }
  return std::fclose(file) == 0 && written;
}

// What one conversion took: milliseconds, and the rise of the resident peak.
struct Measure {
  Times times;
  long long rise = -1;
};

// True when result is a success without warnings; otherwise says why on stderr.
bool clean(const pixelry::Result& result) {
  if (!result) std::fprintf(stderr, "%s\n", result.message.c_str());
  for (const std::string& warning : result.warnings) std::fprintf(stderr, "%s\n", warning.c_str());
  return result && result.warnings.empty();
}

bool convertRows(const char* in, const char* out, int bits) {
  pixelry::ReadOptions options;
  options.maxPixels = 0;
  pixelry::RowReader reader;
  // Bottom row first, the order in which the writer takes them.
  if (!clean(reader.open(in, pixelry::PixelFormat::bgra8, pixelry::RowOrder::bottomFirst, options)))
    return false;
  pixelry::RowWriter writer;
  if (!clean(writer.open(out, reader.info().width, reader.info().height, pixelry::PixelFormat::bgra8, bits)))
    return false;
  std::vector<std::uint8_t> row(reader.rowBytes());
  for (int y = 0; reader.next(row.data(), y);)
    if (!clean(writer.write(row.data()))) return false;
  return clean(writer.close()) && clean(reader.result());
}

bool convertImage(const char* in, const char* out, int bits) {
  pixelry::ReadOptions options;
  options.maxPixels = 0;
  BMP image;
  if (!clean(pixelry::readFile(image, in, options))) return false;
  image.SetBitDepth(bits);
  return clean(pixelry::writeFile(image, out));
}

// Runs one conversion in a fresh process.
std::optional<Measure> measure(Way way, const std::string& in, const std::string& out, int bits) {
  const std::string self = selfPath();
  if (self.empty()) return std::nullopt;
  const std::string command =
      "'" + self + "' " + flagOf(way) + " '" + in + "' '" + out + "' " + std::to_string(bits);
  std::FILE* child = popen(command.c_str(), "r");
  if (!child) return std::nullopt;
  Measure m;
  const bool read = std::fscanf(child, "%lf %lf %lld", &m.times.wall, &m.times.cpu, &m.rise) == 3;
  if (pclose(child) != 0 || !read) return std::nullopt;
  return m;
}

// The two ways wrote the same file, but perhaps for the resolution (bytes 38 to 45: the
// image object keeps the input's, the row writer writes its default).
bool sameFiles(const std::string& rows, const std::string& image) {
  std::FILE* a = std::fopen(rows.c_str(), "rb");
  std::FILE* b = std::fopen(image.c_str(), "rb");
  bool same = a && b;
  std::vector<std::uint8_t> chunkA(1 << 20), chunkB(1 << 20);
  for (std::size_t at = 0; same;) {
    const std::size_t gotA = std::fread(chunkA.data(), 1, chunkA.size(), a);
    const std::size_t gotB = std::fread(chunkB.data(), 1, chunkB.size(), b);
    same = gotA == gotB;
    for (std::size_t i = 0; same && i < gotA; ++i)
      same = chunkA[i] == chunkB[i] || (at + i >= 38 && at + i < 46);
    if (gotA == 0) break;
    at += gotA;
  }
  if (a) std::fclose(a);
  if (b) std::fclose(b);
  if (!same) std::fprintf(stderr, "CHECK FAILED: %s and %s differ\n", rows.c_str(), image.c_str());
  return same;
}

// A 24-bit output holds the input's colours, checked on every 97th row.
bool holdsPicture(const std::string& path, int size, int fromBits) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const std::size_t rowBytes = (static_cast<std::size_t>(size) * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> row(rowBytes);
  bool same = true;
  for (int y = 0; same && y < size; y += 97) {
    const long at = 54 + static_cast<long>(rowBytes) * (size - 1 - y);
    same = std::fseek(file, at, SEEK_SET) == 0 && std::fread(row.data(), 1, rowBytes, file) == rowBytes;
    for (int x = 0; same && x < size; ++x) {
      const Colour c = fileColour(x, y, size, size, fromBits);
      const std::uint8_t* p = row.data() + 3 * static_cast<std::size_t>(x);
      same = p[0] == c.blue && p[1] == c.green && p[2] == c.red;
      if (!same)
        std::fprintf(stderr, "CHECK FAILED: %s pixel (%d, %d) is not the picture's\n", path.c_str(), x, y);
    }
  }
  std::fclose(file);
  return same;
}

void keepBest(Measure& best, const Measure& run) {
  bench::keepBest(best.times, run.times);
  best.rise = std::max(best.rise, run.rise);
}

}  // namespace

bool reportConversion(int argc, char** argv, int& status) {
  if (argc != 5) return false;
  for (const Way way : {Way::rows, Way::image})
    if (std::strcmp(argv[1], flagOf(way)) == 0) {
      const long long before = statusBytes("VmRSS");
      const int bits = std::atoi(argv[4]);
      const Times times = timeOnce([] {},
                                   [&] {
                                     status = (way == Way::rows ? convertRows(argv[2], argv[3], bits)
                                                                : convertImage(argv[2], argv[3], bits))
                                                  ? 0
                                                  : 1;
                                   });
      const long long peak = statusBytes("VmHWM");
      if (before < 0 || peak < 0) status = 1;
      if (status == 0) std::printf("%.1f %.1f %lld\n", times.wall, times.cpu, peak - before);
      return true;
    }
  return false;
}

bool runRowCases(int size, int runs, const std::filesystem::path& dir) {
  const double pixels = static_cast<double>(size) * static_cast<double>(size);
  // The inputs (about 4.2 bytes a pixel with RLE8 at its worst) and two 24-bit outputs.
  const double needed = 11 * pixels;
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(dir, error);
  std::printf("\nrows, %d x %d, one conversion per process, best of %d (files in %s)\n", size, size, runs,
              dir.c_str());
  if (error || static_cast<double>(space.available) < needed) {
    std::printf("  %s has %.1f GB free, the files need %.1f GB: choose a smaller --row-size\n", dir.c_str(),
                static_cast<double>(space.available) / 1e9, needed / 1e9);
    return false;
  }
  auto path = [&dir](const std::string& name) { return (dir / name).string(); };
  for (const Conversion& c : kConversions) {
    if (!saveLargeSample(path(inputName(c)), size, c.fromBits, c.runLength)) {
      std::printf("  cannot write %s\n", path(inputName(c)).c_str());
      return false;
    }
    std::printf("  %s: %.1f MiB\n", inputName(c).c_str(),
                static_cast<double>(std::filesystem::file_size(path(inputName(c)))) / 1048576.0);
  }
  sync();  // nothing left to write back while the conversions run
  std::printf(
      "                                     rows ms  image ms  peer                 rows/image goal"
      "                     (cpu time)\n");

  bool good = true;
  const std::string rowsOut = path("rows_out.bmp"), imageOut = path("image_out.bmp");
  for (const Conversion& c : kConversions) {
    const std::string in = path(inputName(c));
    Measure rows, image;
    int done = 0;
    for (int run = 0; good && run < runs; ++run) {
      // Each way goes first in every other run.
      for (const Way way :
           run % 2 == 0 ? std::vector<Way>{Way::rows, Way::image} : std::vector<Way>{Way::image, Way::rows}) {
        const std::string& out = way == Way::rows ? rowsOut : imageOut;
        std::filesystem::remove(out);
        const std::optional<Measure> m = measure(way, in, out, c.toBits);
        if (!m) {
          std::printf("  %s -> %d-bit by %s failed\n", c.from, c.toBits,
                      way == Way::rows ? "rows" : "the image object");
          good = false;
          break;
        }
        keepBest(way == Way::rows ? rows : image, *m);
      }
      if (good && run == 0)
        good = sameFiles(rowsOut, imageOut) && (c.toBits != 24 || holdsPicture(rowsOut, size, c.fromBits));
      ++done;
    }
    if (!good) break;
    const std::string label = std::string(c.from) + " -> " + std::to_string(c.toBits) + "-bit";
    printRow(label, Best{rows.times, image.times, done}, "readFile+writeFile", 1.2);
    printPeak("  peak memory, rows", rows.rise, "limit", 64.0 * 1048576.0, 1);
    printPeak("  peak memory, image object", image.rise, "grid", 4 * pixels, 0);
  }
  for (const Conversion& c : kConversions) std::filesystem::remove(path(inputName(c)));
  std::filesystem::remove(rowsOut);
  std::filesystem::remove(imageOut);
  return good;
}

}  // namespace bench
