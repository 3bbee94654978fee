// bmpscale: rescales a BMP file and writes the result at a chosen bit depth.
//
//   bmpscale IN OUT MODE N [BITS]
//
// MODE is one letter, in either case: P (N is a percentage), W (N is the new width),
// H (the new height) or F (the new length of the longer side). BITS is 1, 4, 8, 16, 24
// or 32 (default 24); at 1, 4 and 8 bits the standard colour table is used. IN may be any
// kind of BMP file the full reader takes (run-length, top-down, bit fields, OS/2); its
// warnings go to standard error. Exits 1 on a wrong command line (with the usage line),
// after the reader's reason on standard error when IN is refused, and after the library's
// message when the mode or depth is refused or OUT cannot be written; 0 otherwise.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"

namespace {

// The whole argument as an int, or false.
bool parseInt(const char* text, int& value) {
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> arguments = pixelry::utf8Arguments(argc, argv);
  int size = 0;
  int bits = 24;
  const bool valid = (argc == 5 || argc == 6) && std::string(argv[3]).size() == 1 &&
                     parseInt(argv[4], size) && (argc == 5 || parseInt(argv[5], bits));
  if (!valid) {
    std::cout << "Usage: bmpscale IN OUT MODE N [BITS]   (MODE: P percent, W width, H height, F longer side)"
              << std::endl;
    return 1;
  }
  BMP image;
  const pixelry::Result loaded = pixelry::readFile(image, arguments[1].c_str());
  for (const std::string& warning : loaded.warnings) std::cerr << warning << '\n';
  if (!loaded) {
    std::cerr << loaded.message << std::endl;
    return 1;
  }
  if (!Rescale(image, argv[3][0], size)) return 1;
  if (!image.SetBitDepth(bits)) return 1;
  return image.WriteToFile(arguments[2].c_str()) ? 0 : 1;
}
