// bmpconvert: reads a BMP file of any kind the full reader takes and writes it at a chosen
// bit depth, one row at a time: memory in proportion to the width, whatever the height
// (standard input is read whole first, so that its rows can be taken bottom first). A
// table made for the picture and run-length rows need the whole picture, which is then
// held in memory.
//
//   bmpconvert IN OUT [BITS] [--layout 565|555|1555|4444] [--palette standard|adaptive]
//              [--dither] [--rle] [--as-stored]
//   bmpconvert --help
//
// IN `-` reads standard input, OUT `-` writes standard output (both as bytes). BITS is 1,
// 4, 8, 16, 24 or 32. Left out, it is IN's depth, and what IN holds is kept: input with
// alpha is written at 32 bits with an alpha mask, or, from 16 bits, in the 16-bit layout
// with alpha that IN has (1-5-5-5 or 4-4-4-4; 32 bits for another); 16-bit input without
// alpha keeps 5-6-5, or takes 5-5-5. --layout chooses the layout of 16-bit output.
// A file with a colour profile (or calibrated RGB) is converted to sRGB; with --as-stored
// its values are kept, and so is its ICC profile, embedded in OUT. A profile the reader
// cannot convert is kept the same way.
// At 1, 4 and 8 bits the image keeps IN's colour table when IN has that depth, and takes
// a table made for the picture otherwise (exactly its colours when it has no more than
// the depth holds); --palette chooses the standard table of the depth or a table made for
// the picture whatever IN's depth. --dither spreads each pixel's error over its
// neighbours (Floyd-Steinberg) at those depths, and is ignored at others. --rle writes
// 8- and 4-bit output run-length compressed (RLE8, RLE4); at other depths it is refused. 32-bit output
// carries an alpha mask, so that alpha is read back; when IN has no alpha, every pixel is written opaque. A
// depth or layout that drops IN's alpha or some of its colours is said on standard error before the
// conversion, a line for each loss; the read's warnings follow the conversion. Exits 2 on a wrong command
// line (with the usage line on standard error), 1 after the reason on standard error when IN is refused or
// OUT cannot be written, 0 otherwise.
#include <algorithm>
#include <cstdint>
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

// The 16-bit layouts by the names --layout takes, with the masks (red, green, blue,
// alpha) that say which one a file has.
struct Layout {
  const char* option;
  const char* name;
  pixelry::SixteenBitLayout layout;
  std::uint32_t masks[4];
};
constexpr Layout kLayouts[] = {
    {"565", "5-6-5", pixelry::SixteenBitLayout::rgb565, {0xF800, 0x07E0, 0x001F, 0}},
    {"555", "5-5-5", pixelry::SixteenBitLayout::rgb555, {0x7C00, 0x03E0, 0x001F, 0}},
    {"1555", "1-5-5-5", pixelry::SixteenBitLayout::argb1555, {0x7C00, 0x03E0, 0x001F, 0x8000}},
    {"4444", "4-4-4-4", pixelry::SixteenBitLayout::argb4444, {0x0F00, 0x00F0, 0x000F, 0xF000}},
};

const Layout& layoutOf(pixelry::SixteenBitLayout layout) {
  for (const Layout& known : kLayouts)
    if (known.layout == layout) return known;
  return kLayouts[0];
}

// The colour tables by the names --palette takes.
struct Palette {
  const char* option;
  pixelry::Palette palette;
};
constexpr Palette kPalettes[] = {{"standard", pixelry::Palette::standard},
                                 {"adaptive", pixelry::Palette::adaptive}};

const char kUsage[] =
    "Usage: bmpconvert IN OUT [BITS] [--layout 565|555|1555|4444] [--palette standard|adaptive] [--dither] "
    "[--rle] [--as-stored]";

const char kHelp[] =
    "Converts a BMP file of any kind Pixelry reads to another depth or layout, a row at a\n"
    "time (the whole picture at once for a table made for it, or for --rle).\n"
    "  IN, OUT          the files; - for standard input or standard output\n"
    "  BITS             1, 4, 8, 16, 24 or 32; left out, IN's depth, and 32 bits with an\n"
    "                   alpha mask for IN with alpha (from 16 bits, its own layout with alpha)\n"
    "  --layout L       the layout of 16-bit output: 565 (red 5 bits, green 6, blue 5; the\n"
    "                   default), 555, 1555 (1 bit of alpha) or 4444 (4 bits of alpha)\n"
    "  --palette P      the colour table at 1, 4 and 8 bits: standard (the depth's standard\n"
    "                   table) or adaptive (made for the picture); left out, IN's own table\n"
    "                   when the depth stays, otherwise adaptive\n"
    "  --dither         at 1, 4 and 8 bits, spread each pixel's error over its neighbours\n"
    "  --rle            at 4 and 8 bits, compress the pixels by runs (RLE4, RLE8)\n"
    "  --as-stored      keep the values of a file with a colour profile and embed the\n"
    "                   profile in OUT, instead of converting the colours to sRGB\n"
    "  --help           this text\n"
    "A depth or layout that loses IN's alpha or colours is said on standard error.\n";

// What the command line asks for.
struct CommandLine {
  std::vector<std::string> files;             // IN and OUT
  int bits = 0;                               // 0: chosen from IN
  const Layout* layout = nullptr;             // null: chosen from IN
  const pixelry::Palette* palette = nullptr;  // null: chosen from IN
  bool dither = false;
  bool runLength = false;
  bool asStored = false;
  bool help = false;
};

// False when the command line is wrong.
bool parseCommandLine(const std::vector<std::string>& arguments, CommandLine& line) {
  std::vector<std::string> positional;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help") {
      line.help = true;
    } else if (argument == "--as-stored") {
      line.asStored = true;
    } else if (argument == "--dither") {
      line.dither = true;
    } else if (argument == "--rle") {
      line.runLength = true;
    } else if (argument == "--palette") {
      if (++i == arguments.size()) return false;
      for (const Palette& known : kPalettes)
        if (arguments[i] == known.option) line.palette = &known.palette;
      if (!line.palette) return false;
    } else if (argument == "--layout") {
      if (++i == arguments.size()) return false;
      for (const Layout& known : kLayouts)
        if (arguments[i] == known.option) line.layout = &known;
      if (!line.layout) return false;
    } else {
      positional.push_back(argument);
    }
  }
  if (line.help) return positional.empty();
  if (positional.size() != 2 && positional.size() != 3) return false;
  if (positional.size() == 3 && !parseDepth(positional[2].c_str(), line.bits)) return false;
  line.files.assign(positional.begin(), positional.begin() + 2);
  return true;
}

int bitCount(std::uint32_t mask) {
  int count = 0;
  for (; mask != 0; mask >>= 1) count += static_cast<int>(mask & 1);
  return count;
}

// The depth and layout written: those asked for, or what keeps IN's alpha and colours.
void chooseOutput(const pixelry::Info& info, const CommandLine& line, int& bits,
                  pixelry::SixteenBitLayout& layout) {
  bits = line.bits;
  layout = pixelry::SixteenBitLayout::rgb565;
  if (bits == 0) {
    const Layout* own = nullptr;
    for (const Layout& known : kLayouts)
      if (std::equal(known.masks, known.masks + 4, info.masks)) own = &known;
    if (info.bits == 16)
      layout = own                           ? own->layout
               : bitCount(info.masks[1]) > 5 ? pixelry::SixteenBitLayout::rgb565
                                             : pixelry::SixteenBitLayout::rgb555;
    const bool alphaKept = info.bits == 16 && own && own->masks[3] != 0;
    bits = info.alpha && !alphaKept ? 32 : info.bits;
  }
  if (line.layout) layout = line.layout->layout;
}

// Whether every colour of the table comes back unchanged from a file written with
// options at bits: the table is written as a row of pixels (uncompressed: coding by runs
// changes no colour) and read back.
bool keepsColours(const std::vector<RGBApixel>& table, int bits, pixelry::WriteOptions options) {
  if (table.empty()) return true;
  options.runLength = false;
  std::vector<PixelryBYTE> row;
  for (const RGBApixel& entry : table) row.insert(row.end(), {entry.Blue, entry.Green, entry.Red, 255});
  const int width = static_cast<int>(table.size());
  std::vector<PixelryBYTE> file, back(row.size());
  return pixelry::encode(row.data(), width, 1, row.size(), pixelry::PixelFormat::bgra8, bits, file,
                         options) &&
         pixelry::decode(file.data(), file.size(), pixelry::PixelFormat::bgra8, back.data(), back.size()) &&
         back == row;
}

// The lines that say what writing IN with options at bits loses; fewColours: the table is
// made for the picture, which has no more colours than it holds.
std::vector<std::string> losses(const pixelry::Info& info, int bits, const pixelry::WriteOptions& options,
                                bool fewColours) {
  const bool sixteen = bits == 16;
  const Layout& layout = layoutOf(options.sixteenBitLayout);
  const std::string target = "Writing " + std::to_string(bits) + "-bit pixels" +
                             (sixteen ? " (" + std::string(layout.name) + ")" : "");
  std::vector<std::string> lines;
  const int alphaKept = bits == 32 ? 8 : sixteen ? bitCount(layout.masks[3]) : 0;
  const int alphaHeld = bitCount(info.masks[3]);
  if (info.alpha && alphaKept == 0)
    lines.push_back(target + " loses IN's alpha: every pixel is opaque.");
  else if (info.alpha && alphaKept < alphaHeld)
    lines.push_back(target + " keeps " + std::to_string(alphaKept) + " of IN's " + std::to_string(alphaHeld) +
                    " bits of alpha.");
  // A table's colours are tried; direct colours are lost where a channel narrows.
  bool colours = true;
  if (fewColours)
    colours = true;
  else if (info.bits <= 8)
    colours = keepsColours(info.table, bits, options);
  else if (bits <= 8)
    colours = false;
  else if (sixteen)
    for (int c = 0; c < 3; ++c)
      colours = colours && bitCount(info.bits == 24 ? 0xFFu : info.masks[c]) <= bitCount(layout.masks[c]);
  if (!colours)
    lines.push_back(target + (bits <= 8 ? " loses colours: each pixel takes the nearest colour of the table."
                                        : " loses colours: channels keep fewer bits."));
  return lines;
}

// All of standard input, or false when reading it failed.
bool readStandardInput(std::vector<PixelryBYTE>& bytes) {
  binaryMode(stdin);
  PixelryBYTE chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  return std::ferror(stdin) == 0;
}

bool isStandardStream(const char* name) { return std::strcmp(name, "-") == 0; }

// Rows come bottom first, the order in which the writer stores them. The rows are held
// one at a time, so the pixel limit is lifted.
pixelry::Result openInput(pixelry::RowReader& rows, const char* name, bool asStored,
                          std::vector<PixelryBYTE>& input) {
  pixelry::ReadOptions options;
  options.maxPixels = 0;
  options.colour = asStored ? pixelry::Colour::asStored : pixelry::Colour::toSrgb;
  const auto format = pixelry::PixelFormat::bgra8;
  if (!isStandardStream(name)) return rows.open(name, format, pixelry::RowOrder::bottomFirst, options);
  if (!readStandardInput(input)) {
    pixelry::Result failed;
    failed.code = pixelry::Code::cannotOpen;
    failed.message = "Cannot read standard input.";
    return failed;
  }
  return rows.open(input.data(), input.size(), format, pixelry::RowOrder::bottomFirst, options);
}

pixelry::Result openOutput(pixelry::RowWriter& writer, const char* name, const pixelry::Info& info, int bits,
                           const pixelry::WriteOptions& options) {
  const auto format = pixelry::PixelFormat::bgra8;
  if (!isStandardStream(name)) return writer.open(name, info.width, info.height, format, bits, options);
  binaryMode(stdout);
  return writer.open(stdout, info.width, info.height, format, bits, options);
}

// Whether a picture of count pixels (BGRA, 4 bytes each) has at most most distinct colours.
bool hasAtMost(const std::vector<PixelryBYTE>& picture, std::size_t most) {
  std::vector<bool> seen(std::size_t{1} << 24);
  std::size_t distinct = 0;
  for (std::size_t at = 0; at < picture.size() && distinct <= most; at += 4) {
    const std::size_t colour = picture[at] | picture[at + 1] << 8 | picture[at + 2] << 16;
    distinct += seen[colour] ? 0 : 1;
    seen[colour] = true;
  }
  return distinct <= most;
}

// Every row of rows, each at its place (row 0 first), or false when memory runs out.
bool readWhole(pixelry::RowReader& rows, std::vector<PixelryBYTE>& picture) {
  const std::size_t rowBytes = rows.rowBytes();
  const auto height = static_cast<std::size_t>(rows.info().height);
  try {
    picture.resize(rowBytes * height);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Rows come bottom first.
  int y = 0;
  for (std::size_t k = 1; k <= height && rows.next(picture.data() + rowBytes * (height - k), y); ++k) {
  }
  return true;
}

// The whole picture encoded to OUT.
pixelry::Result writeWhole(const std::vector<PixelryBYTE>& picture, const char* name,
                           const pixelry::Info& info, int bits, const pixelry::WriteOptions& options) {
  const auto format = pixelry::PixelFormat::bgra8;
  const std::size_t stride = picture.size() / static_cast<std::size_t>(info.height);
  if (!isStandardStream(name))
    return pixelry::encodeFile(name, picture.data(), info.width, info.height, stride, format, bits, options);
  std::vector<PixelryBYTE> file;
  pixelry::Result written =
      pixelry::encode(picture.data(), info.width, info.height, stride, format, bits, file, options);
  binaryMode(stdout);
  if (written &&
      (std::fwrite(file.data(), 1, file.size(), stdout) != file.size() || std::fflush(stdout) != 0))
    written.code = pixelry::Code::writeFailed;
  return written;
}

// Every row from rows to writer; the writer's failure, if any.
pixelry::Result convert(pixelry::RowReader& rows, pixelry::RowWriter& writer) {
  std::vector<PixelryBYTE> row(rows.rowBytes());
  for (int y = 0; rows.next(row.data(), y);) {
    pixelry::Result written = writer.write(row.data());
    if (!written) return written;
  }
  return writer.close();
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> arguments = pixelry::utf8Arguments(argc, argv);
  CommandLine line;
  if (!parseCommandLine(arguments, line)) {
    std::cerr << kUsage << "   (IN or OUT - for standard input or output; BITS 1, 4, 8, 16, 24 or 32)"
              << std::endl;
    return kWrongCommandLine;
  }
  if (line.help) {
    std::cout << kUsage << '\n' << kHelp << std::flush;
    return 0;
  }
  pixelry::RowReader rows;
  std::vector<PixelryBYTE> input;
  const pixelry::Result opened = openInput(rows, line.files[0].c_str(), line.asStored, input);
  if (!opened) {
    for (const std::string& warning : opened.warnings) std::cerr << warning << '\n';
    std::cerr << opened.message << std::endl;
    return kFailed;
  }
  const pixelry::Info& info = rows.info();
  int bits = 0;
  pixelry::WriteOptions options;
  chooseOutput(info, line, bits, options.sixteenBitLayout);
  // At 1, 4 and 8 bits the file's own table is kept when the depth stays (black past the
  // entries it gives, as the reader has it); otherwise the standard table of the depth.
  // 32 bits carry an alpha mask; pixels without alpha come opaque.
  const bool ownTable = !line.palette && bits == info.bits && bits <= 8;
  if (ownTable) {
    options.table = info.table;
    options.table.resize(std::size_t{1} << bits, RGBApixel{0, 0, 0, 0});
  }
  options.palette = line.palette ? *line.palette
                    : ownTable   ? pixelry::Palette::standard
                                 : pixelry::Palette::adaptive;
  options.dither = line.dither;
  options.runLength = line.runLength;
  options.alphaMask = bits == 32;
  options.xPelsPerMeter = info.xPelsPerMeter;
  options.yPelsPerMeter = info.yPelsPerMeter;
  // Values left as stored keep the profile that says what they mean.
  if (opened.colour != pixelry::ColourHandling::converted) options.profile = opened.profile;
  // A table made for the picture, and run-length rows, need the whole picture.
  const bool whole = options.runLength || (options.palette == pixelry::Palette::adaptive && bits <= 8);
  std::vector<PixelryBYTE> picture;
  if (whole && !readWhole(rows, picture)) {
    std::cerr << "Cannot convert " << line.files[0] << ": the picture does not fit in memory." << std::endl;
    return kFailed;
  }
  const bool fewColours = whole && options.palette == pixelry::Palette::adaptive && bits <= 8 &&
                          hasAtMost(picture, std::size_t{1} << bits);
  for (const std::string& loss : losses(info, bits, options, fewColours)) std::cerr << loss << '\n';
  const std::string& out = line.files[1];
  pixelry::RowWriter writer;
  pixelry::Result written = whole ? writeWhole(picture, out.c_str(), info, bits, options)
                                  : openOutput(writer, out.c_str(), info, bits, options);
  if (written && !whole) written = convert(rows, writer);
  for (const std::string& warning : rows.result().warnings) std::cerr << warning << '\n';
  if (!written) {
    std::cerr << (isStandardStream(out.c_str()) && written.code == pixelry::Code::writeFailed
                      ? "Could not write the whole image to standard output."
                      : written.message)
              << std::endl;
    return kFailed;
  }
  return 0;
}
