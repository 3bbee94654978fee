// bmpinfo: prints the two headers of each BMP file named on the command line, then what
// kind of BMP file it is and which of the library's readers take it.
//
//   bmpinfo FILE...
//
// For each file: DisplayBitmapInfo's listing (both headers as 40-byte records, whatever
// the file's own header is), then the header kind, the pixel size and depth, the
// compression, the masks, the row order and the colour table, as the file's bytes say,
// and whether the classic reader (BMP::ReadFromFile) and the full reader
// (pixelry::readFile) read the file. Exits 1 on a wrong command line or when a file cannot
// be opened (after the library's message; the other files are still listed), 0 otherwise.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"

namespace {

// Names are UTF-8, as the library takes them, on every system.
std::ifstream opened(const std::string& path) {
  return std::ifstream(std::filesystem::u8path(path), std::ios::binary);
}

// The info header sizes with a name of their own. Other sizes from 16 to 64 bytes are
// OS/2 2.x headers, which may stop after any field.
struct HeaderKind {
  std::uint32_t size;
  const char* name;
};
constexpr std::uint32_t kCoreHeader = 12, kInfoHeader = 40, kV2Header = 52, kV3Header = 56, kV5Header = 124;
constexpr HeaderKind kHeaderKinds[] = {{kCoreHeader, "OS/2 1.x BITMAPCOREHEADER"},
                                       {kInfoHeader, "Windows BITMAPINFOHEADER"},
                                       {kV2Header, "Windows BITMAPV2INFOHEADER"},
                                       {kV3Header, "Windows BITMAPV3INFOHEADER"},
                                       {108, "Windows BITMAPV4HEADER"},
                                       {kV5Header, "Windows BITMAPV5HEADER"}};
constexpr std::uint32_t kOs2Smallest = 16, kOs2Largest = 64;

// Compression codes by name. OS/2 2.x headers use codes 3 and 4 for their own methods.
constexpr const char* kCompressions[] = {
    "none", "RLE8", "RLE4", "bit fields", "JPEG", "PNG", "alpha bit fields"};
constexpr std::uint32_t kBitFields = 3, kAlphaBitFields = 6;
constexpr const char* kOs2Compressions[] = {"none", "RLE8", "RLE4", "OS/2 Huffman 1D", "OS/2 RLE24"};

constexpr const char* kChannels[] = {"red", "green", "blue", "alpha"};

// Enough of the start of a file for any header and the masks after a 40-byte one.
constexpr std::size_t kFileHeader = 14, kHeadBytes = kFileHeader + kV5Header + 16;

std::uint32_t le32(const std::vector<PixelryBYTE>& bytes, std::size_t at) {
  return bytes[at] | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<PixelryBYTE>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::string hex(std::uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << value;
  return text.str();
}

std::string headerKind(std::uint32_t size) {
  for (const HeaderKind& kind : kHeaderKinds)
    if (kind.size == size) return std::string(kind.name) + " (" + std::to_string(size) + " bytes)";
  if (size >= kOs2Smallest && size <= kOs2Largest)
    return "OS/2 2.x header (" + std::to_string(size) + " bytes)";
  return "unknown (" + std::to_string(size) + " bytes)";
}

std::string compressionName(std::uint32_t code, bool os2) {
  const auto name = [code](const auto& table) {
    return code < std::size(table) ? std::string(table[code]) : "unknown (" + std::to_string(code) + ")";
  };
  return os2 ? name(kOs2Compressions) : name(kCompressions);
}

// What the headers of a file say, parsed from its bytes as the full reader parses them.
std::vector<std::string> describe(const std::string& path) {
  std::ifstream file = opened(path);
  std::vector<PixelryBYTE> head(kHeadBytes, 0);
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  const auto got = static_cast<std::size_t>(file.gcount());
  file.clear();
  file.seekg(0, std::ios::end);
  const auto fileSize = static_cast<std::int64_t>(file.tellg());

  if (got >= 2 && head[0] == 'B' && head[1] == 'A')
    return {"Header kind: OS/2 bitmap array (\"BA\" signature)"};
  if (got < 2 || head[0] != 'B' || head[1] != 'M')
    return {"Header kind: not a BMP file (no \"BM\" signature)"};
  if (got < kFileHeader + 4) return {"Header kind: none (the file ends inside the headers)"};
  const std::uint32_t size = le32(head, kFileHeader);
  std::vector<std::string> lines = {"Header kind: " + headerKind(size)};
  const bool core = size == kCoreHeader;
  const bool windows = size == kInfoHeader || size == kV2Header || size == kV3Header || size > kOs2Largest;
  if (!core && size < kOs2Smallest) return lines;
  if (got < kFileHeader + std::min<std::size_t>(size, kV5Header)) {
    lines.emplace_back("Note: the file ends inside the info header");
    return lines;
  }
  // A field of the info header by its offset there; 0 past the end of a short OS/2 2.x one.
  const auto field = [&](std::size_t at) { return at + 4 <= size ? le32(head, kFileHeader + at) : 0; };
  const std::int64_t width = core ? le16(head, 18) : static_cast<std::int32_t>(field(4));
  const std::int64_t height = core ? le16(head, 20) : static_cast<std::int32_t>(field(8));
  const int bits = core ? le16(head, 24) : le16(head, 28);
  const std::uint32_t compression = core ? 0 : field(16);
  const std::uint32_t colorsUsed = core ? 0 : field(32);
  lines.push_back("Pixels: " + std::to_string(width) + " x " + std::to_string(height < 0 ? -height : height) +
                  " at " + std::to_string(bits) + " bits");
  lines.push_back("Compression: " + compressionName(compression, !windows));

  // The masks: in a header of 52 bytes or more, or in the 12 (16 with alpha) bytes after
  // a 40-byte one. Plain bit fields take an alpha mask only from a header that has one.
  std::int64_t tableStart = static_cast<std::int64_t>(kFileHeader) + size;
  if (windows && (compression == kBitFields || compression == kAlphaBitFields)) {
    const bool inHeader = size >= kV2Header;
    const std::size_t at = inHeader ? kFileHeader + kInfoHeader : kFileHeader + size;
    const int count = (inHeader ? size >= kV3Header : compression == kAlphaBitFields) ? 4 : 3;
    if (!inHeader) tableStart += std::int64_t{4} * count;
    std::string masks = "Masks:";
    for (int c = 0; c < count; ++c)
      masks += std::string(c == 0 ? " " : ", ") + kChannels[c] + " " +
               hex(le32(head, at + 4 * static_cast<std::size_t>(c)));
    lines.push_back(masks + (inHeader ? " (in the header)" : " (after the header)"));
  }
  lines.emplace_back(std::string("Row order: ") + (height < 0 ? "top-down" : "bottom-up"));

  // The entries present: as many as biClrUsed says (all the depth indexes when it says 0,
  // none above 8 bits), no more than fit before the pixels and in the file.
  const std::int64_t entrySize = core ? 3 : 4;
  const bool indexed = bits >= 1 && bits <= 8;
  const std::int64_t colors = indexed ? std::int64_t{1} << bits : 0;
  std::int64_t entries =
      indexed ? (colorsUsed == 0 || colorsUsed > colors ? colors : colorsUsed) : colorsUsed;
  const std::int64_t offBits = le32(head, 10);
  if (offBits > tableStart || !indexed)
    entries = std::min(entries, std::max<std::int64_t>(offBits - tableStart, 0) / entrySize);
  entries = std::min(entries, std::max<std::int64_t>(fileSize - tableStart, 0) / entrySize);
  const std::string count = entries == 0   ? std::string("none")
                            : entries == 1 ? std::string("1 entry")
                                           : std::to_string(entries) + " entries";
  lines.push_back("Colour table: " + count + (!indexed && entries > 0 ? " (not used by the pixels)" : ""));
  return lines;
}

// Whether the classic reader accepts the file, asked with its messages off.
bool classicReaderAccepts(const char* path) {
  const bool warnings = GetPixelrywarningState();
  SetPixelrywarningsOff();
  BMP image;
  const bool accepted = image.ReadFromFile(path);
  if (warnings) SetPixelrywarningsOn();
  return accepted;
}

std::string fullReaderVerdict(const char* path) {
  BMP image;
  const pixelry::Result result = pixelry::readFile(image, path);
  if (!result) return "refuses: " + result.message;
  std::string verdict = "reads";
  for (const std::string& warning : result.warnings) verdict += "; warning: " + warning;
  return verdict;
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
    if (!opened(path).is_open()) {
      status = 1;
      continue;
    }
    for (const std::string& line : describe(path)) std::cout << line << '\n';
    std::cout << "Classic reader (BMP::ReadFromFile): "
              << (classicReaderAccepts(path) ? "accepts" : "refuses") << '\n'
              << "Full reader (pixelry::readFile): " << fullReaderVerdict(path) << "\n\n"
              << std::flush;
  }
  return status;
}
