// bmpinfo: prints the two headers of each BMP file named on the command line, then what
// kind of BMP file it is and which of the library's readers take it.
//
//   bmpinfo FILE...
//
// For each file: DisplayBitmapInfo's listing (both headers as 40-byte records, whatever
// the file's own header is), then the header kind, the pixel size and depth, the
// compression, the masks, the row order and the colour table, as the file's bytes say,
// and whether the classic reader (BMP::ReadFromFile) and the full reader
// (pixelry::readFile) read the file, all from the library's probe (the pixels are not
// decoded: data that ends early is not noticed). Exits 1 on a wrong command line or when a file cannot
// be opened (after the library's message; the other files are still listed), 0 otherwise.
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"

namespace {

// The info header sizes with a name of their own. Other sizes from 16 to 64 bytes are
// OS/2 2.x headers, which may stop after any field.
struct HeaderKind {
  int size;
  const char* name;
};
constexpr int kCoreHeader = 12, kInfoHeader = 40, kV2Header = 52, kV3Header = 56;
constexpr HeaderKind kHeaderKinds[] = {{kCoreHeader, "OS/2 1.x BITMAPCOREHEADER"},
                                       {kInfoHeader, "Windows BITMAPINFOHEADER"},
                                       {kV2Header, "Windows BITMAPV2INFOHEADER"},
                                       {kV3Header, "Windows BITMAPV3INFOHEADER"},
                                       {108, "Windows BITMAPV4HEADER"},
                                       {124, "Windows BITMAPV5HEADER"}};
constexpr int kOs2Smallest = 16, kOs2Largest = 64;

// Compression codes by name. OS/2 2.x headers use codes 3 and 4 for their own methods.
constexpr const char* kCompressions[] = {
    "none", "RLE8", "RLE4", "bit fields", "JPEG", "PNG", "alpha bit fields"};
constexpr std::uint32_t kBitFields = 3, kAlphaBitFields = 6;
constexpr const char* kOs2Compressions[] = {"none", "RLE8", "RLE4", "OS/2 Huffman 1D", "OS/2 RLE24"};

constexpr const char* kChannels[] = {"red", "green", "blue", "alpha"};

std::string hex(std::uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << value;
  return text.str();
}

std::string headerKind(int size) {
  for (const HeaderKind& kind : kHeaderKinds)
    if (kind.size == size) return std::string(kind.name) + " (" + std::to_string(size) + " bytes)";
  if (size >= kOs2Smallest && size <= kOs2Largest)
    return "OS/2 2.x header (" + std::to_string(size) + " bytes)";
  return "unknown (" + std::to_string(size) + " bytes)";
}

bool isOs2(int size) {
  return size == kCoreHeader ||
         (size <= kOs2Largest && size != kInfoHeader && size != kV2Header && size != kV3Header);
}

std::string compressionName(std::uint32_t code, bool os2) {
  const auto name = [code](const auto& table) {
    return code < std::size(table) ? std::string(table[code]) : "unknown (" + std::to_string(code) + ")";
  };
  return os2 ? name(kOs2Compressions) : name(kCompressions);
}

// What the headers of a file say, as the library's probe reads them.
std::vector<std::string> describe(const pixelry::Result& verdict, const pixelry::Info& info) {
  if (verdict.code == pixelry::Code::notBmp) return {"Header kind: not a BMP file (no \"BM\" signature)"};
  if (info.headerSize == 0)
    return {verdict.code == pixelry::Code::truncated ? "Header kind: none (the file ends inside the headers)"
                                                     : "Header kind: OS/2 bitmap array (\"BA\" signature)"};
  const bool os2 = isOs2(info.headerSize);
  std::vector<std::string> lines = {"Header kind: " + headerKind(info.headerSize),
                                    "Pixels: " + std::to_string(info.width) + " x " +
                                        std::to_string(info.height) + " at " + std::to_string(info.bits) +
                                        " bits",
                                    "Compression: " + compressionName(info.compression, os2)};
  // Plain bit fields have an alpha mask only in a header with room for one.
  if (!os2 && (info.compression == kBitFields || info.compression == kAlphaBitFields)) {
    const bool inHeader = info.headerSize >= kV2Header;
    const int count = (inHeader ? info.headerSize >= kV3Header : info.compression == kAlphaBitFields) ? 4 : 3;
    std::string masks = "Masks:";
    for (int c = 0; c < count; ++c)
      masks += std::string(c == 0 ? " " : ", ") + kChannels[c] + " " + hex(info.masks[c]);
    lines.push_back(masks + (inHeader ? " (in the header)" : " (after the header)"));
  }
  if (info.alphaSource == pixelry::AlphaSource::fourthByte)
    lines.emplace_back("Alpha: the fourth byte of each pixel, not 0 in every one");
  lines.emplace_back(std::string("Row order: ") + (info.topDown ? "top-down" : "bottom-up"));
  const std::size_t entries = info.table.size();
  const std::string count = entries == 0   ? std::string("none")
                            : entries == 1 ? std::string("1 entry")
                                           : std::to_string(entries) + " entries";
  const bool indexed = info.bits >= 1 && info.bits <= 8;
  lines.push_back("Colour table: " + count + (!indexed && entries > 0 ? " (not used by the pixels)" : ""));
  return lines;
}

std::string fullReaderVerdict(const pixelry::Result& verdict) {
  if (!verdict) return "refuses: " + verdict.message;
  std::string text = "reads";
  for (const std::string& warning : verdict.warnings) text += "; warning: " + warning;
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> arguments = pixelry::utf8Arguments(argc, argv);
  if (argc < 2) {
    std::cout << "Usage: bmpinfo FILE..." << std::endl;
    return 1;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const char* path = arguments[static_cast<std::size_t>(i)].c_str();
    // Prints the listing, or the library's error for a file that cannot be opened.
    DisplayBitmapInfo(path);
    pixelry::Info info;
    const pixelry::Result verdict = pixelry::probeFile(path, info);
    if (verdict.code == pixelry::Code::cannotOpen) {
      status = 1;
      continue;
    }
    for (const std::string& line : describe(verdict, info)) std::cout << line << '\n';
    std::cout << "Classic reader (BMP::ReadFromFile): " << (info.classic ? "accepts" : "refuses") << '\n'
              << "Full reader (pixelry::readFile): " << fullReaderVerdict(verdict) << "\n\n"
              << std::flush;
  }
  return status;
}
