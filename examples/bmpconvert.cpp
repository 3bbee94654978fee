// bmpconvert: reads a BMP file of any kind the full reader takes and writes it at a chosen
// bit depth, one row at a time: memory in proportion to the width, whatever the height
// (standard input is read whole first, so that its rows can be taken bottom first).
//
//   bmpconvert IN OUT [BITS]
//
// IN `-` reads standard input, OUT `-` writes standard output (both as bytes). BITS is 1,
// 4, 8, 16, 24 or 32; left out, the depth of IN. At 1, 4 and 8 bits the image keeps IN's
// colour table when IN has that depth, and takes the standard table of the depth
// otherwise. 32-bit output carries an alpha mask, so that the image's Alpha is read back;
// when IN has no alpha mask, every pixel is written opaque.
// The read's warnings go to standard error, after the conversion. Exits 2 on a wrong command line (with the
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

bool isStandardStream(const char* name) { return std::strcmp(name, "-") == 0; }

// Rows come bottom first, the order in which the writer stores them. The rows are held
// one at a time, so the pixel limit is lifted.
pixelry::Result openInput(pixelry::RowReader& rows, const char* name, std::vector<PixelryBYTE>& input) {
  pixelry::ReadOptions options;
  options.maxPixels = 0;
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
  int bits = 0;
  if ((argc != 3 && argc != 4) || (argc == 4 && !parseDepth(argv[3], bits))) {
    std::cerr << "Usage: bmpconvert IN OUT [BITS]   "
                 "(IN or OUT - for standard input or output; BITS 1, 4, 8, 16, 24 or 32)"
              << std::endl;
    return kWrongCommandLine;
  }
  pixelry::RowReader rows;
  std::vector<PixelryBYTE> input;
  const pixelry::Result opened = openInput(rows, arguments[1].c_str(), input);
  if (!opened) {
    for (const std::string& warning : opened.warnings) std::cerr << warning << '\n';
    std::cerr << opened.message << std::endl;
    return kFailed;
  }
  const pixelry::Info& info = rows.info();
  if (bits == 0) bits = info.bits;
  // At 1, 4 and 8 bits the file's own table is kept when the depth stays (black past the
  // entries it gives, as the reader has it); otherwise the standard table of the depth.
  // 32 bits carry an alpha mask; pixels without alpha come opaque.
  pixelry::WriteOptions options;
  if (bits == info.bits && bits <= 8) {
    options.table = info.table;
    options.table.resize(std::size_t{1} << bits, RGBApixel{0, 0, 0, 0});
  }
  options.alphaMask = bits == 32;
  options.xPelsPerMeter = info.xPelsPerMeter;
  options.yPelsPerMeter = info.yPelsPerMeter;
  pixelry::RowWriter writer;
  pixelry::Result written = openOutput(writer, arguments[2].c_str(), info, bits, options);
  if (written) written = convert(rows, writer);
  for (const std::string& warning : rows.result().warnings) std::cerr << warning << '\n';
  if (!written) {
    std::cerr << (isStandardStream(arguments[2].c_str()) && written.code == pixelry::Code::writeFailed
                      ? "Could not write the whole image to standard output."
                      : written.message)
              << std::endl;
    return kFailed;
  }
  return 0;
}
