// Pixelry against stb on the same deterministic pictures: reading at every depth,
// writing at every depth, and halving with Rescale. Prints best-of-N times and the
// ratios ours / peer, the 24-bit read against the floor of the machine (reading the file
// plus first touch of a fresh grid), and the peak memory of one read. Then the full
// reader against the classic one and on top-down, in-memory and run-length coded data;
// the codec's buffer calls against memcpy and stb; writing coded by runs against writing
// uncompressed; and, when asked (--cases rows), a large file converted to another depth
// by the row reader and writer against the image object.
//
//   pixelry_bench [--runs N] [--sizes 4096,1000] [--dir DIRECTORY]
//                 [--cases classic,full,codec,rle,rows] [--row-size 20000]
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CodecCases.h"
#include "FullReaderCases.h"
#include "PeakMemory.h"
#include "PeerCodecs.h"
#include "Pixelry/Pixelry.h"
#include "Report.h"
#include "RowCases.h"
#include "RunLengthWriteCases.h"
#include "SampleImages.h"
#include "Stopwatch.h"

namespace {

using bench::Best;
using bench::printRow;
using bench::Repeat;

struct Options {
  int runs = 9;
  std::vector<int> sizes{4096, 1000};
  std::filesystem::path dir;
  // Which groups of cases run: the classic reader, writer and Rescale against stb; the full
  // reader; the codec's buffer calls; writing coded by runs; the row reader and writer on
  // one large file.
  std::set<std::string> cases{"classic", "full", "codec", "rle"};
  int rowSize = 20000;
};

const int kDepths[] = {1, 4, 8, 16, 24, 32};

// The goals hold at this size; smaller sizes are reported for reference.
constexpr int kGoalSize = 4096;
// A case stops starting new runs after this much of our time (the slow palette writes).
constexpr double kBudgetMs = 20000;

// The palette index of every pixel in the written file agrees with a search of the whole
// table, lowest index first among equal distances.
bool indicesAreExhaustive(BMP& image, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  const int bits = image.TellBitDepth();
  const int width = image.TellWidth();
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  const std::size_t offBits = 54 + (std::size_t{4} << bits);
  if (bytes.size() != offBits + rowBytes * static_cast<std::size_t>(image.TellHeight())) return false;
  for (int y = 0; y < image.TellHeight(); ++y) {
    const unsigned char* row =
        bytes.data() + offBits + rowBytes * static_cast<std::size_t>(image.TellHeight() - 1 - y);
    const RGBApixel* pixels = image(0, y);
    for (int x = 0; x < width; ++x) {
      int best = 0;
      int bestDistance = 1 << 30;
      for (int i = 0; i < image.TellNumberOfColors(); ++i) {
        const RGBApixel entry = image.GetColor(i);
        const int dr = entry.Red - pixels[x].Red, dg = entry.Green - pixels[x].Green,
                  db = entry.Blue - pixels[x].Blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) bestDistance = distance, best = i;
      }
      const int perByte = 8 / bits;
      const int stored = (row[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1 << bits) - 1);
      if (stored != best) return false;
    }
  }
  return true;
}

// Reading, writing and halving with the classic members against stb, and the peak memory
// of a classic read. The sample files exist.
void runClassicCases(int size, const Repeat& repeat, double goal, const bench::PathOf& path) {
  // Reading: a fresh image or buffer each run, released within the run on both sides.
  auto nothing = [] {};
  Best read24;
  for (int bits : kDepths) {
    const std::string file = path("in" + std::to_string(bits) + ".bmp");
    const Best best = bench::bestOf(
        repeat, nothing,
        [&] {
          BMP image;
          image.ReadFromFile(file.c_str());
        },
        [&] {
          int w = 0, h = 0;
          peer::release(peer::load(file.c_str(), w, h));
        });
    printRow("ReadFromFile " + std::to_string(bits) + "-bit", best, "stbi_load RGBA",
             goal * (bits >= 24 ? 0.4 : 0.5));
    if (bits == 24) read24 = best;
  }

  // The floor of a 24-bit read: the file's bytes into memory, and a fresh grid of
  // ordinary pages touched.
  const std::string file24 = path("in24.bmp");
  const std::size_t fileBytes = std::filesystem::file_size(file24);
  std::vector<unsigned char> whole(fileBytes);
  const std::size_t pixels = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
  const Best floorParts = bench::bestOf(
      repeat, nothing,
      [&] {
        std::FILE* f = std::fopen(file24.c_str(), "rb");
        if (f) {
          if (std::fread(whole.data(), 1, fileBytes, f) != fileBytes) std::printf("short read\n");
          std::fclose(f);
        }
      },
      [&] {
        // Straight from the kernel: the allocator could hand back memory touched before.
        const std::size_t bytes = pixels * sizeof(RGBApixel);
        void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return;
        auto* grid = static_cast<RGBApixel*>(memory);
        std::fill_n(grid, pixels, RGBApixel{255, 255, 255, 0});
        if (grid[pixels / 2].Red != 255) std::printf("untouched\n");
        munmap(memory, bytes);
      });
  std::printf("  floor: read file %.1f ms + touch grid %.1f ms = %.1f ms\n", floorParts.ours.wall,
              floorParts.peer.wall, floorParts.ours.wall + floorParts.peer.wall);
  const bench::Times floor{floorParts.ours.wall + floorParts.peer.wall,
                           floorParts.ours.cpu + floorParts.peer.cpu};
  printRow("ReadFromFile 24-bit / floor", Best{read24.ours, floor, read24.runs}, "read + touch", goal * 1.3);

  // Writing the direct depths against stb_image_write from the same pixels.
  BMP image24;
  image24.ReadFromFile(file24.c_str());
  BMP image32;
  image32.ReadFromFile(path("in32.bmp").c_str());
  const std::vector<std::uint8_t> rgb = bench::samplePixels(size, size, 3);
  const std::vector<std::uint8_t> rgba = bench::samplePixels(size, size, 4);
  const std::string ours = path("out_ours.bmp");
  const std::string theirs = path("out_stb.bmp");
  auto stbWrite24 = [&] { peer::writeBmp(theirs.c_str(), size, size, 3, rgb.data()); };
  printRow("WriteToFile 24-bit",
           bench::bestOf(
               repeat, nothing, [&] { image24.WriteToFile(ours.c_str()); }, stbWrite24),
           "stbi_write_bmp 24", goal * 0.3);
  printRow("WriteToFile 32-bit",
           bench::bestOf(
               repeat, nothing, [&] { image32.WriteToFile(ours.c_str()); },
               [&] { peer::writeBmp(theirs.c_str(), size, size, 4, rgba.data()); }),
           "stbi_write_bmp 32", 0);
  BMP image16(image24);
  image16.SetBitDepth(16);
  printRow("WriteToFile 16-bit",
           bench::bestOf(
               repeat, nothing, [&] { image16.WriteToFile(ours.c_str()); }, stbWrite24),
           "stbi_write_bmp 24", 0);

  // Palette searches: the standard tables, and at 8 bits also a table of the picture's own
  // colours. Each against stb's 24-bit write of the same picture.
  struct PaletteCase {
    int bits;
    bool ownColours;
    const char* name;
  };
  const PaletteCase paletteCases[] = {{8, false, "WriteToFile 8-bit standard table"},
                                      {8, true, "WriteToFile 8-bit picture's table"},
                                      {4, false, "WriteToFile 4-bit"},
                                      {1, false, "WriteToFile 1-bit"}};
  const std::vector<bench::Colour> palette = bench::samplePalette(size, size);
  for (const PaletteCase& c : paletteCases) {
    BMP indexed(image24);
    indexed.SetBitDepth(c.bits);
    if (c.ownColours)
      for (int i = 0; i < 256; ++i)
        indexed.SetColor(i, RGBApixel{palette[i].blue, palette[i].green, palette[i].red, 0});
    const Best best = bench::bestOf(
        repeat, nothing, [&] { indexed.WriteToFile(ours.c_str()); }, stbWrite24);
    printRow(c.name, best, "stbi_write_bmp 24", goal * (c.bits == 8 ? 1 : 0));
    if (size < kGoalSize)
      std::printf("    indices identical to the exhaustive search: %s\n",
                  indicesAreExhaustive(indexed, ours) ? "yes" : "NO");
  }

  // Halving: Rescale works in place, so each run starts from a fresh copy (untimed).
  std::optional<BMP> work;
  std::vector<std::uint8_t> halved(static_cast<std::size_t>(size / 2) * static_cast<std::size_t>(size / 2) *
                                   4);
  const Best rescale = bench::bestOf(
      repeat, [&] { work.emplace(image24); }, [&] { Rescale(*work, 'P', 50); },
      [&] { peer::resize(rgba.data(), size, size, halved.data(), size / 2, size / 2); });
  printRow("Rescale 'P' 50", rescale, "stbir_resize_uint8", goal * 0.6);
  work.reset();

  // Peak memory of a 24-bit read against the grid plus one file row.
  const double grid = 4.0 * static_cast<double>(pixels);
  // A file row: three bytes a pixel, padded to a multiple of four.
  const std::size_t rowBytes = (static_cast<std::size_t>(size) * 3 + 3) / 4 * 4;
  bench::printPeak("peak memory of a 24-bit read", bench::peakReadBytes(file24, bench::Reader::classic),
                   "grid + row", grid + static_cast<double>(rowBytes), goal * 1.1);
}

// False, after saying why, when the files to time could not be made as they should be.
bool runSize(int size, const Options& options) {
  const Repeat repeat{options.runs, kBudgetMs};
  const double goal = size == kGoalSize ? 1 : 0;  // 0: no goal printed
  auto path = [&](const std::string& name) {
    return (options.dir / (std::to_string(size) + "_" + name)).string();
  };
  std::printf(
      "\n%d x %d                             ours ms   peer ms  peer                 ours/peer goal"
      "                     (cpu time)\n",
      size, size);

  for (int bits : kDepths)
    if (!bench::saveFile(path("in" + std::to_string(bits) + ".bmp"), bench::sampleFile(size, size, bits))) {
      std::printf("cannot write the sample files in %s\n", options.dir.c_str());
      return false;
    }
  // Checked before anything is timed: a full read that gives a wrong picture stops here.
  if (options.cases.count("full") > 0 && !bench::makeFullReaderFiles(size, path)) {
    std::printf("the full reader's files could not be written or do not read back as made\n");
    return false;
  }

  if (options.cases.count("classic") > 0) runClassicCases(size, repeat, goal, path);
  if (options.cases.count("full") > 0) bench::runFullReaderCases(size, repeat, goal > 0, path);
  if (options.cases.count("codec") > 0 && !bench::runCodecCases(size, repeat, goal > 0, path)) {
    std::printf("a decode or load does not give the picture\n");
    return false;
  }
  if (options.cases.count("rle") > 0 && !bench::runRunLengthWriteCases(size, repeat, goal > 0)) {
    std::printf("a file coded by runs does not read back as written\n");
    return false;
  }

  for (const char* name :
       {"in1.bmp", "in4.bmp", "in8.bmp", "in16.bmp", "in24.bmp", "in32.bmp", "out_ours.bmp", "out_stb.bmp"})
    std::filesystem::remove(path(name));
  return true;
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (arg == "--runs") {
      options.runs = std::atoi(value.c_str());
      if (options.runs < 1) return false;
    } else if (arg == "--sizes") {
      options.sizes.clear();
      for (std::size_t at = 0; at < value.size();) {
        const int size = std::atoi(value.c_str() + at);
        if (size < 2) return false;
        options.sizes.push_back(size);
        const std::size_t comma = value.find(',', at);
        at = comma == std::string::npos ? value.size() : comma + 1;
      }
    } else if (arg == "--dir") {
      options.dir = value;
    } else if (arg == "--cases") {
      options.cases.clear();
      for (std::size_t at = 0; at <= value.size();) {
        const std::size_t comma = std::min(value.find(',', at), value.size());
        const std::string name = value.substr(at, comma - at);
        if (name != "classic" && name != "full" && name != "codec" && name != "rle" && name != "rows")
          return false;
        options.cases.insert(name);
        at = comma + 1;
      }
    } else if (arg == "--row-size") {
      options.rowSize = std::atoi(value.c_str());
      if (options.rowSize < 2) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (bench::reportPeakRead(argc, argv, status) || bench::reportConversion(argc, argv, status)) return status;
  Options options;
  if (!parse(argc, argv, options)) {
    std::printf(
        "usage: pixelry_bench [--runs N] [--sizes 4096,1000] [--dir DIRECTORY]\n"
        "                     [--cases classic,full,codec,rle,rows] [--row-size 20000]\n");
    return 2;
  }
  const bool ownDir = options.dir.empty();
  if (ownDir)
    options.dir = std::filesystem::temp_directory_path() / ("pixelry_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(options.dir);
  std::printf("Pixelry benchmark: best of up to %d runs per case, ours and peer alternated\n", options.runs);
  bool made = true;
  const bool bySize = options.cases.count("classic") + options.cases.count("full") +
                          options.cases.count("codec") + options.cases.count("rle") >
                      0;
  for (std::size_t i = 0; bySize && made && i < options.sizes.size(); ++i)
    made = runSize(options.sizes[i], options);
  if (made && options.cases.count("rows") > 0)
    made = bench::runRowCases(options.rowSize, options.runs, options.dir);
  if (ownDir) std::filesystem::remove_all(options.dir);
  return made ? 0 : 1;
}
