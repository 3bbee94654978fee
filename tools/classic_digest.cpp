// classic_digest: prints what a caller can observe when the library reads and writes each
// BMP file given, one "path<TAB>key<TAB>value" line at a time and the same on every run,
// so that two builds of the library can be compared line by line
// (tools/classic_differential.sh does that).
//
//   classic_digest [--scratch FILE] [BMP...]     without BMP: one path a line on stdin
//
// For each file, in this order:
//   headers        GetBMFH, GetBMIH, GetBitmapColorDepth and what DisplayBitmapInfo prints;
//   *.fresh        BMP::ReadFromFile into a new image: its result and what it printed, then
//                  the image (size, depth, colour table, a hash of every pixel), WriteToFile
//                  of it (result, printed text, a hash of the file), the five row encoders
//                  on row 0 and the matching decoders into a copy, and the resolution;
//   *.preset       the same, read into an image that was SetSize(3, 2) and SetBitDepth(8)
//                  first (a refused read resets or keeps the image);
//   *.quiet        ReadFromFile with warnings off, and the image it leaves;
//   memory.*       pixelry::readMemory with maxPixels 0, into a new and into a preset
//                  image (code, message, warnings, alpha, the image), then writeMemory of
//                  that image with the default options and with alphaMask;
//   file.fresh     pixelry::readFile (maxPixels 0) and writeFile;
//   end            the file is done (a run that stops without it crashed or hung on the file).
// Printed text is shown escaped in double quotes; the scratch file's name reads <scratch>.
// The scratch file (default: a new name in the system's temporary folder) is written and
// removed for every write. The exit status is 0 unless the arguments are wrong.
//
// Only Pixelry/Pixelry.h is included, and only calls that older trees have too, so the one
// source builds against an old tree and a new one.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Pixelry/Pixelry.h"

namespace {

// Printed text longer than this is cut, with its full length and hash after the cut.
constexpr std::size_t shownTextLimit = 4000;
// Bytes after a row encoder's buffer that must stay as they were.
constexpr std::size_t guardBytes = 8;

// FNV-1a, 64 bits.
class Hash {
 public:
  void add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t k = 0; k < size; ++k) {
      value = (value ^ bytes[k]) * 1099511628211ULL;
    }
  }
  void add(const RGBApixel& pixel) {
    const std::array<PixelryBYTE, 4> bytes = {pixel.Blue, pixel.Green, pixel.Red, pixel.Alpha};
    add(bytes.data(), bytes.size());
  }
  std::string hex() const {
    std::array<char, 17> text{};
    std::snprintf(text.data(), text.size(), "%016llx", static_cast<unsigned long long>(value));
    return text.data();
  }

 private:
  std::uint64_t value = 14695981039346656037ULL;
};

std::string hashOf(const std::vector<PixelryBYTE>& bytes) {
  Hash hash;
  hash.add(bytes.data(), bytes.size());
  return std::to_string(bytes.size()) + ":" + hash.hex();
}

// Sends std::cout, where the library prints, into a string while it lives.
class CoutCapture {
 public:
  CoutCapture() : saved(std::cout.rdbuf(text.rdbuf())) {}
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  ~CoutCapture() { std::cout.rdbuf(saved); }
  std::string str() const { return text.str(); }

 private:
  std::ostringstream text;
  std::streambuf* saved;
};

// What call printed.
template <typename Call>
std::string printedBy(Call&& call) {
  const CoutCapture capture;
  std::forward<Call>(call)();
  return capture.str();
}

// Text as a double-quoted C-like literal on one line, cut after shownTextLimit bytes.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  const std::size_t shown = std::min(text.size(), shownTextLimit);
  for (std::size_t k = 0; k < shown; ++k) {
    const auto c = static_cast<unsigned char>(text[k]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::array<char, 5> escape{};
      std::snprintf(escape.data(), escape.size(), "\\x%02x", static_cast<unsigned>(c));
      out += escape.data();
    }
  }
  out += '"';
  if (shown < text.size()) {
    Hash hash;
    hash.add(text.data(), text.size());
    out += "...(" + std::to_string(text.size()) + " bytes, " + hash.hex() + ")";
  }
  return out;
}

std::string flag(bool value) { return value ? "1" : "0"; }

std::vector<PixelryBYTE> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The temporary file every write goes to; its name never shows in the digest.
class Scratch {
 public:
  explicit Scratch(std::string path) : path(std::move(path)) {}
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() { std::remove(path.c_str()); }

  const char* name() const { return path.c_str(); }
  // Makes sure no file of that name exists, so every write creates its file.
  void clear() const { std::remove(path.c_str()); }
  // The file's bytes, and no file any more.
  std::vector<PixelryBYTE> take() const {
    std::vector<PixelryBYTE> bytes = fileBytes(path);
    clear();
    return bytes;
  }
  // Text with the scratch file's name replaced by <scratch>.
  std::string anonymous(std::string text) const {
    for (std::size_t at = text.find(path); at != std::string::npos; at = text.find(path, at)) {
      text.replace(at, path.size(), "<scratch>");
    }
    return text;
  }

 private:
  std::string path;
};

// The lines of one file, written out together so a crash leaves no half of a file.
class Digest {
 public:
  explicit Digest(const std::string& path) : prefix(quoted(path) + "\t") {}
  void line(const std::string& key, const std::string& value) { text += prefix + key + "\t" + value + "\n"; }
  void flush() const {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

 private:
  std::string prefix;
  std::string text;
};

std::string pixelHash(const BMP& image) {
  Hash hash;
  for (int j = 0; j < image.TellHeight(); ++j) {
    for (int i = 0; i < image.TellWidth(); ++i) hash.add(image.GetPixel(i, j));
  }
  return hash.hex();
}

bool indexed(int depth) { return depth == 1 || depth == 4 || depth == 8; }

// Size, depth, colour table and pixels, with whatever asking for them printed.
std::string describe(const BMP& image) {
  std::string fields;
  const std::string printed = printedBy([&] {
    Hash palette;
    if (indexed(image.TellBitDepth())) {
      for (int k = 0; k < (1 << image.TellBitDepth()); ++k) palette.add(image.GetColor(k));
    }
    fields = "size=" + std::to_string(image.TellWidth()) + "x" + std::to_string(image.TellHeight()) +
             " depth=" + std::to_string(image.TellBitDepth()) +
             " colors=" + std::to_string(image.TellNumberOfColors()) +
             " palette=" + (indexed(image.TellBitDepth()) ? palette.hex() : std::string("none")) +
             " pixels=" + pixelHash(image);
  });
  return fields + " out=" + quoted(printed);
}

using RowCall = bool (BMP::*)(PixelryBYTE*, int, int);

struct RowCodec {
  int bits;
  RowCall write;
  RowCall read;
};

const std::array<RowCodec, 5> rowCodecs = {{
    {1, &BMP::Write1bitRow, &BMP::Read1bitRow},
    {4, &BMP::Write4bitRow, &BMP::Read4bitRow},
    {8, &BMP::Write8bitRow, &BMP::Read8bitRow},
    {24, &BMP::Write24bitRow, &BMP::Read24bitRow},
    {32, &BMP::Write32bitRow, &BMP::Read32bitRow},
}};

// Encodes row 0 with an exact buffer (w), one byte short (ws) and for the row past the end
// (wo); decodes the exact buffer into a copy after a short (rs) and a past-the-end (ro) try.
std::string rowRoundTrip(BMP& image, const RowCodec& codec) {
  const long long needed = (static_cast<long long>(image.TellWidth()) * codec.bits + 7) / 8;
  if (needed > 0x7FFFFFF0LL) return "skipped (row of " + std::to_string(needed) + " bytes)";
  const int size = static_cast<int>(needed);
  const auto length = static_cast<std::size_t>(needed) + guardBytes;
  std::vector<PixelryBYTE> buffer(length, 0xA5);
  std::vector<PixelryBYTE> probe(length, 0x5A);
  bool wrote = false;
  bool wroteShort = false;
  bool wroteOutside = false;
  bool read = false;
  bool readShort = false;
  bool readOutside = false;
  std::string copyPixels;
  const std::string printed = printedBy([&] {
    wrote = (image.*codec.write)(buffer.data(), size, 0);
    wroteShort = (image.*codec.write)(probe.data(), size - 1, 0);
    wroteOutside = (image.*codec.write)(probe.data(), size, image.TellHeight());
    BMP copy(image);
    readShort = (copy.*codec.read)(buffer.data(), size - 1, 0);
    readOutside = (copy.*codec.read)(buffer.data(), size, copy.TellHeight());
    read = (copy.*codec.read)(buffer.data(), size, 0);
    copyPixels = pixelHash(copy);
  });
  return "w=" + flag(wrote) + " ws=" + flag(wroteShort) + " wo=" + flag(wroteOutside) + " r=" + flag(read) +
         " rs=" + flag(readShort) + " ro=" + flag(readOutside) + " buffer=" + hashOf(buffer) +
         " probe=" + hashOf(probe) + " copy=" + copyPixels + " out=" + quoted(printed);
}

// Everything observable about an image a read left: as describe, then its file, row codecs
// and resolution (after the write, since asking for it stores 96 dpi into an unset one).
void digestImage(Digest& digest, const std::string& variant, BMP& image, const Scratch& scratch) {
  digest.line("image." + variant, describe(image));

  scratch.clear();
  bool wrote = false;
  const std::string printed = printedBy([&] { wrote = image.WriteToFile(scratch.name()); });
  digest.line("write." + variant, "ok=" + flag(wrote) + " file=" + hashOf(scratch.take()) +
                                      " out=" + quoted(scratch.anonymous(printed)));

  for (const RowCodec& codec : rowCodecs) {
    digest.line("row" + std::to_string(codec.bits) + "." + variant, rowRoundTrip(image, codec));
  }

  int horizontal = 0;
  int vertical = 0;
  const std::string asked = printedBy([&] {
    horizontal = image.TellHorizontalDPI();
    vertical = image.TellVerticalDPI();
  });
  digest.line("dpi." + variant, "h=" + std::to_string(horizontal) + " v=" + std::to_string(vertical) +
                                    " pixels=" + pixelHash(image) + " out=" + quoted(asked));
}

// A new image, or one already 3 x 2 at 8 bits, with whatever making it printed.
std::string prepare(BMP& image, bool preset) {
  if (!preset) return "";
  return printedBy([&] {
    image.SetSize(3, 2);
    image.SetBitDepth(8);
  });
}

void digestHeaders(Digest& digest, const std::string& path) {
  BMFH file;
  BMIH info;
  int depth = 0;
  const std::string printed = printedBy([&] {
    file = GetBMFH(path.c_str());
    info = GetBMIH(path.c_str());
    depth = GetBitmapColorDepth(path.c_str());
  });
  const std::string shown = printedBy([&] { DisplayBitmapInfo(path.c_str()); });
  std::string fields = "depth=" + std::to_string(depth);
  for (const unsigned long value :
       {static_cast<unsigned long>(file.bfType), static_cast<unsigned long>(file.bfSize),
        static_cast<unsigned long>(file.bfReserved1), static_cast<unsigned long>(file.bfReserved2),
        static_cast<unsigned long>(file.bfOffBits), static_cast<unsigned long>(info.biSize),
        static_cast<unsigned long>(info.biWidth), static_cast<unsigned long>(info.biHeight),
        static_cast<unsigned long>(info.biPlanes), static_cast<unsigned long>(info.biBitCount),
        static_cast<unsigned long>(info.biCompression), static_cast<unsigned long>(info.biSizeImage),
        static_cast<unsigned long>(info.biXPelsPerMeter), static_cast<unsigned long>(info.biYPelsPerMeter),
        static_cast<unsigned long>(info.biClrUsed), static_cast<unsigned long>(info.biClrImportant)}) {
    fields += " " + std::to_string(value);
  }
  digest.line("headers", fields + " out=" + quoted(printed) + " display=" + quoted(shown));
}

void digestClassicRead(Digest& digest, const std::string& path, const std::string& variant,
                       const Scratch& scratch) {
  const bool quiet = variant == "quiet";
  BMP image;
  const std::string before = prepare(image, variant == "preset");
  bool ok = false;
  if (quiet) SetPixelrywarningsOff();
  const std::string printed = printedBy([&] { ok = image.ReadFromFile(path.c_str()); });
  if (quiet) SetPixelrywarningsOn();
  digest.line("read." + variant, "ok=" + flag(ok) + " out=" + quoted(printed) + " before=" + quoted(before));
  if (quiet) {
    digest.line("image." + variant, describe(image));
  } else {
    digestImage(digest, variant, image, scratch);
  }
}

std::string codeName(pixelry::Code code) {
  switch (code) {
    case pixelry::Code::ok:
      return "ok";
    case pixelry::Code::cannotOpen:
      return "cannotOpen";
    case pixelry::Code::notBmp:
      return "notBmp";
    case pixelry::Code::truncated:
      return "truncated";
    case pixelry::Code::unsupported:
      return "unsupported";
    case pixelry::Code::invalid:
      return "invalid";
    case pixelry::Code::tooLarge:
      return "tooLarge";
    case pixelry::Code::writeFailed:
      return "writeFailed";
    default:
      return "code" + std::to_string(static_cast<int>(code));
  }
}

std::string describe(const pixelry::Result& result, const Scratch& scratch) {
  std::string fields = "code=" + codeName(result.code) + " alpha=" + flag(result.alpha) +
                       " message=" + quoted(scratch.anonymous(result.message)) +
                       " warnings=" + std::to_string(result.warnings.size());
  for (const std::string& warning : result.warnings) fields += " " + quoted(warning);
  return fields;
}

void digestMemoryRead(Digest& digest, const std::vector<PixelryBYTE>& bytes, const std::string& variant,
                      const Scratch& scratch) {
  BMP image;
  const std::string before = prepare(image, variant == "preset");
  pixelry::ReadOptions options;
  options.maxPixels = 0;
  pixelry::Result read;
  const std::string printed =
      printedBy([&] { read = pixelry::readMemory(image, bytes.data(), bytes.size(), options); });
  digest.line("memory." + variant,
              describe(read, scratch) + " out=" + quoted(printed) + " before=" + quoted(before));
  digest.line("memory.image." + variant, describe(image));

  for (const bool alphaMask : {false, true}) {
    pixelry::WriteOptions writeOptions;
    writeOptions.alphaMask = alphaMask;
    std::vector<PixelryBYTE> out;
    pixelry::Result written;
    const std::string writePrinted =
        printedBy([&] { written = pixelry::writeMemory(image, out, writeOptions); });
    digest.line(std::string(alphaMask ? "memory.write.alpha." : "memory.write.") + variant,
                describe(written, scratch) + " bytes=" + hashOf(out) + " out=" + quoted(writePrinted));
  }
}

void digestFileRead(Digest& digest, const std::string& path, const Scratch& scratch) {
  BMP image;
  pixelry::ReadOptions options;
  options.maxPixels = 0;
  pixelry::Result read;
  const std::string printed = printedBy([&] { read = pixelry::readFile(image, path.c_str(), options); });
  digest.line("file.fresh", describe(read, scratch) + " out=" + quoted(printed));
  digest.line("file.image.fresh", describe(image));

  scratch.clear();
  pixelry::Result written;
  const std::string writePrinted = printedBy([&] { written = pixelry::writeFile(image, scratch.name()); });
  digest.line("file.write.fresh", describe(written, scratch) + " file=" + hashOf(scratch.take()) +
                                      " out=" + quoted(scratch.anonymous(writePrinted)));
}

void digestFile(const std::string& path, const Scratch& scratch) {
  Digest digest(path);
  digestHeaders(digest, path);
  for (const char* variant : {"fresh", "preset", "quiet"}) digestClassicRead(digest, path, variant, scratch);
  const std::vector<PixelryBYTE> bytes = fileBytes(path);
  for (const char* variant : {"fresh", "preset"}) digestMemoryRead(digest, bytes, variant, scratch);
  digestFileRead(digest, path, scratch);
  digest.line("end", "");
  digest.flush();
}

std::string defaultScratch() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  std::random_device entropy;
  const std::string name = "classic_digest_" + std::to_string(entropy()) + ".bmp";
  return error ? name : (folder / name).string();
}

int run(const std::vector<std::string>& arguments) {
  std::string scratchName;
  std::vector<std::string> paths;
  for (std::size_t k = 1; k < arguments.size(); ++k) {
    if (arguments[k] == "--scratch" && k + 1 < arguments.size()) {
      scratchName = arguments[++k];
    } else if (arguments[k].rfind("--", 0) == 0) {
      std::fputs("usage: classic_digest [--scratch FILE] [BMP...]   (no BMP: paths on stdin)\n", stderr);
      return 2;
    } else {
      paths.push_back(arguments[k]);
    }
  }
  const Scratch scratch(scratchName.empty() ? defaultScratch() : scratchName);
  if (!paths.empty()) {
    for (const std::string& path : paths) digestFile(path, scratch);
    return 0;
  }
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) digestFile(line, scratch);
  }
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  try {
    return run(pixelry::utf8Arguments(argc, argv));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "classic_digest: %s\n", error.what());
    return 3;
  }
}
