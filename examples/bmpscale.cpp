// bmpscale: rescales a BMP file and writes the result at a chosen bit depth.
//
//   bmpscale IN OUT MODE N [BITS] [--palette standard|adaptive] [--dither]
//
// MODE is one letter, in either case: P (N is a percentage), W (N is the new width),
// H (the new height) or F (the new length of the longer side). BITS is 1, 4, 8, 16, 24
// or 32 (default 24). At 1, 4 and 8 bits the colour table is made for the rescaled
// picture (exactly its colours when it has no more than the depth holds), or with
// --palette standard is the standard table of the depth; --dither spreads each pixel's
// error over its neighbours (Floyd-Steinberg). Both are ignored at other depths. IN may be any
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

// The options, taken out of arguments; false for an unknown palette or one not named.
bool takeOptions(std::vector<std::string>& arguments, bool& adaptive, bool& dither) {
  for (auto at = arguments.begin(); at != arguments.end();) {
    if (*at == "--dither") {
      dither = true;
    } else if (*at == "--palette") {
      at = arguments.erase(at);
      if (at == arguments.end() || (*at != "standard" && *at != "adaptive")) return false;
      adaptive = *at == "adaptive";
    } else {
      ++at;
      continue;
    }
    at = arguments.erase(at);
  }
  return true;
}

// At 1, 4 and 8 bits: the pixels become colours of the table written (made for them when
// adaptive, else the image's standard one), dithered when asked.
bool choosePalette(BMP& image, bool adaptive, bool dither) {
  if (image.TellBitDepth() > 8 || (!adaptive && !dither)) return true;
  std::vector<RGBApixel> table(static_cast<std::size_t>(image.TellNumberOfColors()));
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = image.GetColor(static_cast<int>(i));
  if (adaptive && !pixelry::quantize(image, image.TellNumberOfColors(), table)) return false;
  table.resize(static_cast<std::size_t>(image.TellNumberOfColors()), RGBApixel{0, 0, 0, 0});
  for (std::size_t i = 0; i < table.size(); ++i) image.SetColor(static_cast<int>(i), table[i]);
  pixelry::QuantizeOptions options;
  options.dither = dither;
  return static_cast<bool>(pixelry::mapToTable(image, table, options));
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> arguments = pixelry::utf8Arguments(argc, argv);
  int size = 0;
  int bits = 24;
  bool adaptive = true, dither = false;
  const bool valid = takeOptions(arguments, adaptive, dither) &&
                     (arguments.size() == 5 || arguments.size() == 6) && arguments[3].size() == 1 &&
                     parseInt(arguments[4].c_str(), size) &&
                     (arguments.size() == 5 || parseInt(arguments[5].c_str(), bits));
  if (!valid) {
    std::cout << "Usage: bmpscale IN OUT MODE N [BITS] [--palette standard|adaptive] [--dither]   (MODE: P "
                 "percent, W width, H height, F longer side)"
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
  if (!Rescale(image, arguments[3][0], size)) return 1;
  if (!image.SetBitDepth(bits)) return 1;
  if (!choosePalette(image, adaptive, dither)) {
    std::cerr << "Cannot choose the colour table: out of memory." << std::endl;
    return 1;
  }
  return image.WriteToFile(arguments[2].c_str()) ? 0 : 1;
}
