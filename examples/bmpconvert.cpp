// bmpconvert: reads a BMP file of any kind the full reader takes and writes it at a chosen
// bit depth.
//
//   bmpconvert IN OUT [BITS]
//
// IN `-` reads standard input, OUT `-` writes standard output (both as bytes). BITS is 1,
// 4, 8, 16, 24 or 32; left out, the depth of IN. At 1, 4 and 8 bits the image keeps IN's
// colour table when IN has that depth, and takes the standard table of the depth
// otherwise. 32-bit output carries an alpha mask, so that the image's Alpha is read back;
// when IN has no alpha mask, every pixel is written opaque.
// The read's warnings go to standard error. Exits 2 on a wrong command line (with the
// usage line on standard error), 1 after the reason on standard error when IN is refused
// or OUT cannot be written, 0 otherwise.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "Pixelry/Pixelry.h"

namespace {

constexpr int kWrongCommandLine = 2;
constexpr int kFailed = 1;

// The standard streams carry bytes, not text: no newline translation where the system
// has one.
void binaryMode(std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#else
  (void)stream;
#endif
}

// BITS as one of the depths the writer knows, or false.
bool parseDepth(const char* text, int& bits) {
  for (const int depth : {1, 4, 8, 16, 24, 32})
    if (std::to_string(depth) == text) {
      bits = depth;
      return true;
    }
  return false;
}

// All of standard input, or false when reading it failed.
bool readStandardInput(std::vector<PixelryBYTE>& bytes) {
  binaryMode(stdin);
  PixelryBYTE chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  return std::ferror(stdin) == 0;
}

bool writeStandardOutput(const std::vector<PixelryBYTE>& bytes) {
  binaryMode(stdout);
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
}

bool isStandardStream(const char* name) { return std::strcmp(name, "-") == 0; }

pixelry::Result readInput(BMP& image, const char* name) {
  if (!isStandardStream(name)) return pixelry::readFile(image, name);
  std::vector<PixelryBYTE> bytes;
  if (!readStandardInput(bytes)) {
    pixelry::Result failed;
    failed.code = pixelry::Code::cannotOpen;
    failed.message = "Cannot read standard input.";
    return failed;
  }
  return pixelry::readMemory(image, bytes.data(), bytes.size());
}

pixelry::Result writeOutput(const BMP& image, const char* name, const pixelry::WriteOptions& options) {
  if (!isStandardStream(name)) return pixelry::writeFile(image, name, options);
  std::vector<PixelryBYTE> bytes;
  pixelry::Result result = pixelry::writeMemory(image, bytes, options);
  if (result && !writeStandardOutput(bytes)) {
    result.code = pixelry::Code::writeFailed;
    result.message = "Could not write the whole image to standard output.";
  }
  return result;
}

void makeOpaque(BMP& image) {
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x) image(x, y)->Alpha = 255;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> arguments = pixelry::utf8Arguments(argc, argv);
  int bits = 0;
  if ((argc != 3 && argc != 4) || (argc == 4 && !parseDepth(argv[3], bits))) {
    std::cerr << "Usage: bmpconvert IN OUT [BITS]   "
                 "(IN or OUT - for standard input or output; BITS 1, 4, 8, 16, 24 or 32)"
              << std::endl;
    return kWrongCommandLine;
  }
  BMP image;
  const pixelry::Result loaded = readInput(image, arguments[1].c_str());
  for (const std::string& warning : loaded.warnings) std::cerr << warning << '\n';
  if (!loaded) {
    std::cerr << loaded.message << std::endl;
    return kFailed;
  }
  // SetBitDepth installs the standard table, so a file's own table is kept by not calling
  // it when the depth stays.
  if (bits != 0 && bits != image.TellBitDepth()) image.SetBitDepth(bits);
  pixelry::WriteOptions options;
  options.alphaMask = image.TellBitDepth() == 32;
  if (options.alphaMask && !loaded.alpha) makeOpaque(image);
  const pixelry::Result written = writeOutput(image, arguments[2].c_str(), options);
  if (!written) {
    std::cerr << written.message << std::endl;
    return kFailed;
  }
  return 0;
}
