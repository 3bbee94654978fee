// Internal: the first step of reading a BMP file, its headers turned into a description
// of the file or a refusal. Nothing is printed and no image is touched.
#ifndef PIXELRY_DETAIL_PARSE_H
#define PIXELRY_DETAIL_PARSE_H

#include <array>
#include <cstdint>
#include <vector>

#include "../Pixelry_Image.h"
#include "RowCodecs.h"

namespace pixelry::detail {

class ByteSource;

// Why a file is refused, in the order the checks are made.
enum class Refusal {
  none,
  notBmp,           // no "BM" signature
  corrupted,        // the file ends inside the headers
  rle,              // run-length compression (1 or 2)
  unknownFormat,    // a compression code above 3
  bitFieldsDepth,   // bit fields (3) at a depth other than 16 bits
  unsupportedDepth, // not 1, 4, 8, 16, 24 or 32 bits
  badSize,          // a width or height below 1
};

// What a read survives, in the order it meets them.
enum class Oddity {
  extraBytes,  // bytes between the headers and the pixels that nothing explains
  shortTable,  // fewer colour-table entries than the depth has
};

// A file as its headers describe it.
struct FileLayout {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::uint32_t compression = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  // The colour table at 1, 4 and 8 bits (2^bits entries as the image will hold them):
  // the file's entries, white for those it lacks, and the standard colour where the
  // file ends inside the table.
  std::array<RGBApixel, 256> table{};
  // The masks of a 16-bit file (5-5-5 unless the file gives bit fields).
  BitFields fields{};
};

struct ParseOutcome {
  Refusal refusal = Refusal::none;
  // Whether both headers arrived whole; from then on the resolution is known, even for a
  // file refused later.
  bool headersRead = false;
  FileLayout layout;
  std::vector<Oddity> oddities;
};

// Reads the headers, the colour table or the masks, and any extra bytes before the
// pixels, leaving source at the first byte of pixel data.
ParseOutcome parseBmp(ByteSource& source);

}  // namespace pixelry::detail

#endif
