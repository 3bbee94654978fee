#include "CodecCases.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "PeerCodecs.h"
#include "Pixelry/Pixelry.h"
#include "ProfiledFile.h"
#include "Report.h"
#include "RunLengthFiles.h"
#include "SampleImages.h"

namespace bench {
namespace {

using pixelry::PixelFormat;

struct Format {
  PixelFormat format;
  const char* name;
};
const Format kFormats[] = {{PixelFormat::rgba8, "rgba8"}, {PixelFormat::bgra8, "bgra8"},
                           {PixelFormat::rgb8, "rgb8"},   {PixelFormat::bgr8, "bgr8"},
                           {PixelFormat::gray8, "gray8"}, {PixelFormat::index8, "index8"}};

// The sample picture's file in memory: at a depth, or run-length coded.
struct CodecFile {
  std::string label;  // "24-bit", "RLE8"
  int bits;           // the depth whose colours the file holds
  std::vector<std::uint8_t> bytes;
};

// index8 is for files with a colour table only.
bool decodes(const CodecFile& file, PixelFormat format) {
  return format != PixelFormat::index8 || file.bits <= 8;
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

const CodecFile& fileLabelled(const std::vector<CodecFile>& files, const std::string& label) {
  for (const CodecFile& file : files)
    if (file.label == label) return file;
  return files.front();
}

double mebibytes(std::size_t bytes) { return static_cast<double>(bytes) / 1048576.0; }

// What decode must give for every pixel of the files of one depth, top row first, by the
// rule of each format: no file here has an alpha mask, so rgba8 and bgra8 are opaque; gray8
// is the BT.601 luma (19595 R + 38470 G + 7471 B + 32768) / 65536; index8 is the index.
class Expected {
 public:
  Expected(int size, int bits) : size_(size), bits_(bits) {
    const std::size_t count = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
    colours_.reserve(count);
    if (bits <= 8) indices_.reserve(count);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        colours_.push_back(fileColour(x, y, size, size, bits));
        if (bits <= 8) indices_.push_back(static_cast<std::uint8_t>(fileIndex(x, y, size, size, bits)));
      }
  }

  int bits() const { return bits_; }

  // False, after printing the first wrong pixel, when out (rows packed) differs.
  bool check(const std::uint8_t* out, PixelFormat format, const std::string& what) const {
    const std::size_t bytes = pixelry::bytesPerPixel(format);
    for (std::size_t i = 0; i < colours_.size(); ++i) {
      const Colour& c = colours_[i];
      std::uint8_t want[4] = {0, 0, 0, 255};
      switch (format) {
        case PixelFormat::rgba8:
        case PixelFormat::rgb8:
          want[0] = c.red, want[1] = c.green, want[2] = c.blue;
          break;
        case PixelFormat::bgra8:
        case PixelFormat::bgr8:
          want[0] = c.blue, want[1] = c.green, want[2] = c.red;
          break;
        case PixelFormat::gray8:
          want[0] =
              static_cast<std::uint8_t>((19595U * c.red + 38470U * c.green + 7471U * c.blue + 32768U) >> 16);
          break;
        case PixelFormat::index8:
          want[0] = indices_[i];
          break;
      }
      if (std::memcmp(out + i * bytes, want, bytes) != 0) {
        const std::size_t size = static_cast<std::size_t>(size_);
        std::fprintf(stderr, "CHECK FAILED: %s: pixel (%zu, %zu) gives", what.c_str(), i % size, i / size);
        for (std::size_t b = 0; b < bytes; ++b) std::fprintf(stderr, " %d", out[i * bytes + b]);
        std::fprintf(stderr, ", expected");
        for (std::size_t b = 0; b < bytes; ++b) std::fprintf(stderr, " %d", want[b]);
        std::fprintf(stderr, "\n");
        return false;
      }
    }
    return true;
  }

 private:
  int size_;
  int bits_;
  std::vector<Colour> colours_;
  std::vector<std::uint8_t> indices_;
};

// False, after saying why, when the call failed or warned.
bool clean(const pixelry::Result& result, const std::string& what) {
  if (!result) std::fprintf(stderr, "CHECK FAILED: %s: %s\n", what.c_str(), result.message.c_str());
  for (const std::string& warning : result.warnings)
    std::fprintf(stderr, "CHECK FAILED: %s, warning: %s\n", what.c_str(), warning.c_str());
  return result && result.warnings.empty();
}

// Every decode and every load in rgba8 gives the picture.
bool checkAll(const std::vector<CodecFile>& files, int size, std::vector<std::uint8_t>& out) {
  std::optional<Expected> expected;
  for (const CodecFile& file : files) {
    if (!expected || expected->bits() != file.bits) expected.emplace(size, file.bits);
    for (const Format& f : kFormats) {
      if (!decodes(file, f.format)) continue;
      const std::string what = "decode " + file.label + " -> " + f.name;
      const std::size_t stride = static_cast<std::size_t>(size) * pixelry::bytesPerPixel(f.format);
      if (!clean(pixelry::decode(file.bytes.data(), file.bytes.size(), f.format, out.data(), stride), what) ||
          !expected->check(out.data(), f.format, what))
        return false;
    }
    pixelry::Pixels loaded;
    const std::string what = "load " + file.label + " rgba8";
    if (!clean(pixelry::load(file.bytes.data(), file.bytes.size(), PixelFormat::rgba8, loaded), what) ||
        !expected->check(loaded.bytes.data(), PixelFormat::rgba8, what))
      return false;
  }
  return true;
}

}  // namespace

bool runCodecCases(int size, const Repeat& repeat, bool goals, const PathOf& path) {
  const double goal = goals ? 1 : 0;  // 0: no goal printed
  std::vector<CodecFile> files;
  for (int bits : {1, 4, 8})
    files.push_back(
        {std::to_string(bits) + "-bit", bits, readBytes(path("in" + std::to_string(bits) + ".bmp"))});
  files.push_back({"RLE8", 8, sampleRunLengthFile(size, size)});
  for (int bits : {16, 24, 32})
    files.push_back(
        {std::to_string(bits) + "-bit", bits, readBytes(path("in" + std::to_string(bits) + ".bmp"))});

  // The decoder's destination and the memcpy's source: allocated and written once before
  // any run, so that no run pays for page faults.
  const std::size_t pixels = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
  std::vector<std::uint8_t> out(4 * pixels, 1);
  const std::vector<std::uint8_t> source(4 * pixels, 2);
  if (!checkAll(files, size, out)) return false;

  auto nothing = [] {};
  auto decode = [&out, size](const CodecFile& file, PixelFormat format) {
    const std::size_t stride = static_cast<std::size_t>(size) * pixelry::bytesPerPixel(format);
    return [&file, &out, format, stride] {
      pixelry::decode(file.bytes.data(), file.bytes.size(), format, out.data(), stride);
    };
  };
  auto copy = [&out, &source](std::size_t bytes) {
    return [&out, &source, bytes] { std::memcpy(out.data(), source.data(), bytes); };
  };
  auto copyName = [](std::size_t bytes) {
    char name[32];
    if (bytes >= 1048576)
      std::snprintf(name, sizeof name, "memcpy %.0f MiB", mebibytes(bytes));
    else
      std::snprintf(name, sizeof name, "memcpy %.0f KiB", static_cast<double>(bytes) / 1024.0);
    return std::string(name);
  };
  std::printf(
      "  codec, into a buffer allocated and touched before the runs (the picture as RLE8: %.2f MiB):\n",
      mebibytes(fileLabelled(files, "RLE8").bytes.size()));

  // The 24-bit file's pixel bytes: from bfOffBits to the end.
  const CodecFile& file24 = fileLabelled(files, "24-bit");
  const std::size_t offBits = file24.bytes[10] | file24.bytes[11] << 8 | file24.bytes[12] << 16;
  const std::size_t pixelBytes24 = file24.bytes.size() - offBits;
  printRow("decode 24-bit -> bgr8, file bytes",
           bestOf(repeat, nothing, decode(file24, PixelFormat::bgr8), copy(pixelBytes24)),
           copyName(pixelBytes24).c_str(), goal * 1.2);
  printRow("decode 24-bit -> rgba8, file bytes",
           bestOf(repeat, nothing, decode(file24, PixelFormat::rgba8), copy(pixelBytes24)),
           copyName(pixelBytes24).c_str(), goal * 1.5);

  for (const CodecFile& file : files)
    for (const Format& f : kFormats) {
      if (!decodes(file, f.format)) continue;
      const std::size_t bytes = pixels * pixelry::bytesPerPixel(f.format);
      printRow("decode " + file.label + " -> " + f.name,
               bestOf(repeat, nothing, decode(file, f.format), copy(bytes)), copyName(bytes).c_str(),
               goal * 2);
    }

  // A fresh buffer each run on both sides, released within the run.
  for (const CodecFile& file : files) {
    const int bytes = static_cast<int>(file.bytes.size());
    int width = 0, height = 0;
    unsigned char* peerPixels = peer::loadMemory(file.bytes.data(), bytes, width, height);
    if (!peerPixels) {
      std::printf("  load %-29s stb_image refuses the file\n", file.label.c_str());
      continue;
    }
    peer::release(peerPixels);
    printRow("load " + file.label + " rgba8",
             bestOf(
                 repeat, nothing,
                 [&file] {
                   pixelry::Pixels loaded;
                   pixelry::load(file.bytes.data(), file.bytes.size(), PixelFormat::rgba8, loaded);
                 },
                 [&file, bytes] {
                   int w = 0, h = 0;
                   peer::release(peer::loadMemory(file.bytes.data(), bytes, w, h));
                 }),
             "stbi memory RGBA", goal * 0.25);
  }
  // Converted to sRGB from an embedded profile: at most three times the time of the file
  // without one.
  const std::vector<std::uint8_t> profiled24 = withColourProfile(file24.bytes);
  const auto load24 = [](const std::vector<std::uint8_t>& bytes) {
    return [&bytes] {
      pixelry::Pixels loaded;
      pixelry::load(bytes.data(), bytes.size(), PixelFormat::rgba8, loaded);
    };
  };
  printRow("load 24-bit rgba8, colour profile",
           bestOf(repeat, nothing, load24(profiled24), load24(file24.bytes)), "load 24-bit rgba8", goal * 3);
  return true;
}

}  // namespace bench
