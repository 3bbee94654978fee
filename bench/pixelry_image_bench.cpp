// The image object's readers and writers at every depth, alone: ReadFromFile, readFile,
// readMemory, WriteToFile, writeFile and writeMemory on the sample picture. It uses only
// calls that Pixelry has had since before its codec, so that the same source can be built
// against two revisions of the library and the two programs run in turn
// (compare_revisions.sh).
//
//   pixelry_image_bench --make DIRECTORY [--size 4096]
//   pixelry_image_bench --dir DIRECTORY [--size 4096] [--runs 3] [--filter TEXT]
//
// --make writes the sample files; --dir times each case whose name contains TEXT, best of
// the runs, and prints one line per case: its name, then the best wall-clock and CPU
// milliseconds.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"
#include "SampleImages.h"
#include "Stopwatch.h"

namespace {

const int kDepths[] = {1, 4, 8, 16, 24, 32};

struct Options {
  std::filesystem::path make;
  std::filesystem::path dir;
  int size = 4096;
  int runs = 3;
  std::string filter;
};

std::string sampleName(const Options& options, int bits) {
  return (options.dir / ("image_" + std::to_string(options.size) + "_" + std::to_string(bits) + ".bmp"))
      .string();
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  unsigned char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

// Times work when its name passes the filter, and prints its line.
template <class Work>
void timeCase(const Options& options, const std::string& name, Work&& work) {
  if (name.find(options.filter) == std::string::npos) return;
  bench::Times best;
  for (int run = 0; run < options.runs; ++run) bench::keepBest(best, bench::timeOnce([] {}, work));
  std::printf("%s\t%.2f\t%.2f\n", name.c_str(), best.wall, best.cpu);
  std::fflush(stdout);
}

int timeAll(const Options& options) {
  const std::string out = (options.dir / "image_out.bmp").string();
  std::vector<PixelryBYTE> memory;
  for (int bits : kDepths) {
    const std::string depth = std::to_string(bits) + "-bit";
    const std::string file = sampleName(options, bits);
    const std::vector<std::uint8_t> bytes = readBytes(file);
    BMP image;
    if (bytes.empty() || !pixelry::readMemory(image, bytes.data(), bytes.size())) {
      std::fprintf(stderr, "cannot read %s: run --make first\n", file.c_str());
      return 1;
    }
    // Reads into a fresh image each run; writes of the image read from the file, at its depth.
    timeCase(options, "ReadFromFile " + depth, [&] {
      BMP fresh;
      fresh.ReadFromFile(file.c_str());
    });
    timeCase(options, "readFile " + depth, [&] {
      BMP fresh;
      pixelry::readFile(fresh, file.c_str());
    });
    timeCase(options, "readMemory " + depth, [&] {
      BMP fresh;
      pixelry::readMemory(fresh, bytes.data(), bytes.size());
    });
    timeCase(options, "WriteToFile " + depth, [&] { image.WriteToFile(out.c_str()); });
    timeCase(options, "writeFile " + depth, [&] { pixelry::writeFile(image, out.c_str()); });
    timeCase(options, "writeMemory " + depth, [&] { pixelry::writeMemory(image, memory); });
  }
  std::filesystem::remove(out);
  return 0;
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i], value = argv[i + 1];
    if (arg == "--make")
      options.make = value;
    else if (arg == "--dir")
      options.dir = value;
    else if (arg == "--size")
      options.size = std::atoi(value.c_str());
    else if (arg == "--runs")
      options.runs = std::atoi(value.c_str());
    else if (arg == "--filter")
      options.filter = value;
    else
      return false;
  }
  return argc % 2 == 1 && options.size >= 2 && options.runs >= 1 &&
         options.make.empty() != options.dir.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::printf(
        "usage: pixelry_image_bench --make DIRECTORY [--size 4096]\n"
        "       pixelry_image_bench --dir DIRECTORY [--size 4096] [--runs 3] [--filter TEXT]\n");
    return 2;
  }
  if (options.make.empty()) return timeAll(options);
  options.dir = options.make;
  std::filesystem::create_directories(options.dir);
  for (int bits : kDepths)
    if (!bench::saveFile(sampleName(options, bits), bench::sampleFile(options.size, options.size, bits))) {
      std::fprintf(stderr, "cannot write %s\n", sampleName(options, bits).c_str());
      return 1;
    }
  return 0;
}
