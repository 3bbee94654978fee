// run_length_write: writes a palette picture again, uncompressed or coded by runs, with
// the same indices and colour table, and checks that Pixelry reads the result back as
// written; or tells whether two files hold the same indices and table. For
// check_run_length.sh.
//
//   run_length_write write IN.bmp OUT.bmp BITS [rle]   BITS 4 or 8; exit 1 when IN has an
//                                                      index past 2^BITS - 1 or OUT does not
//                                                      read back as written
//   run_length_write same A.bmp B.bmp                  exit 0 when both hold the same
//                                                      indices and the same colours for them
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"

namespace {

bool loadIndices(const char* path, pixelry::Pixels& pixels) {
  const pixelry::Result result = pixelry::loadFile(path, pixelry::PixelFormat::index8, pixels);
  if (!result) std::fprintf(stderr, "%s\n", result.message.c_str());
  return result && result.warnings.empty();
}

bool sameColour(const RGBApixel& a, const RGBApixel& b) {
  return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue;
}

int write(const char* in, const char* out, int bits, bool runLength) {
  pixelry::Pixels source, back;
  if (!loadIndices(in, source)) return 1;
  pixelry::WriteOptions options;
  options.runLength = runLength;
  options.table.assign(source.table.begin(),
                       source.table.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                  source.table.size(), std::size_t{1} << bits)));
  const pixelry::Result written =
      pixelry::encodeFile(out, source.bytes.data(), source.width, source.height, source.stride,
                          pixelry::PixelFormat::index8, bits, options);
  if (!written) {
    std::fprintf(stderr, "%s\n", written.message.c_str());
    return 1;
  }
  if (!loadIndices(out, back) || back.bytes != source.bytes) {
    std::fprintf(stderr, "%s does not read back as written\n", out);
    return 1;
  }
  return 0;
}

// The colours of the entries the pixels use agree; other entries may differ.
int same(const char* a, const char* b) {
  pixelry::Pixels first, second;
  if (!loadIndices(a, first) || !loadIndices(b, second)) return 1;
  if (first.width != second.width || first.height != second.height || first.bytes != second.bytes) return 1;
  for (const std::uint8_t index : first.bytes)
    if (index >= second.table.size() || !sameColour(first.table[index], second.table[index])) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "write" && (argc == 5 || argc == 6)) {
    const int bits = std::atoi(argv[4]);
    if (bits == 4 || bits == 8)
      return write(argv[2], argv[3], bits, argc == 6 && std::string(argv[5]) == "rle");
  }
  if (command == "same" && argc == 4) return same(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: run_length_write write IN.bmp OUT.bmp BITS [rle]\n"
               "       run_length_write same A.bmp B.bmp\n");
  return 2;
}
