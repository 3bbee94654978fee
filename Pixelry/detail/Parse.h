// Internal: the first step of reading a BMP file, its headers turned into a description
// of the file or a refusal. Nothing is printed and no image is touched.
#ifndef PIXELRY_DETAIL_PARSE_H
#define PIXELRY_DETAIL_PARSE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "../Pixelry_Codec.h"
#include "../Pixelry_Image.h"
#include "Colour.h"

namespace pixelry::detail {

class ByteSource;

// Why a file is refused, in the order the checks are made.
enum class Refusal {
  none,
  notBmp,            // no "BM" signature
  corrupted,         // the file ends inside the headers
  rle,               // run-length compression (1 or 2)
  unknownFormat,     // a compression code above 3
  bitFieldsDepth,    // bit fields (3) at a depth other than 16 bits
  unsupportedDepth,  // not 1, 4, 8, 16, 24 or 32 bits
  badSize,           // a width or height below 1
  // The full reader's own refusals; feature names what it does not read.
  unsupportedFeature,
  tooLarge,  // more pixels than the caller allows
};

// Which rules the parse follows: the classic reader's (uncompressed bottom-up files with
// a 40-byte header; the table and masks taken to follow it), or the whole format.
enum class Policy { classic, full };

// What a read survives, in the order it meets them.
enum class Oddity {
  extraBytes,  // bytes between the headers and the pixels that nothing explains
  shortTable,  // fewer colour-table entries than the depth has
  rleCut,      // a run-length stream that ends before its end-of-bitmap code
};

// The oddities a read met, each once, in the order met.
class Oddities {
 public:
  void add(Oddity oddity) {
    for (std::size_t i = 0; i < count_; ++i)
      if (list_[i] == oddity) return;
    list_[count_++] = oddity;
  }
  const Oddity* begin() const { return list_.data(); }
  const Oddity* end() const { return list_.data() + count_; }

 private:
  std::array<Oddity, 3> list_{};
  std::size_t count_ = 0;
};

// How a bit-field channel of n bits becomes 8 bits.
enum class Widening {
  // round(v x 255 / (2^n - 1)): 5-bit 31 reads 255.
  scale,
  // The classic reader's: the top five bits of the mask times 8 (5-bit 31 reads 248, a
  // sixth green bit is dropped); a mask of four bits or fewer is widened by its own width
  // instead (4-bit 15 reads 240). Only the low 16 bits of a mask count.
  classic,
};

// A file as its headers describe it.
struct FileLayout {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t headerSize = 0;  // bytes of the info header
  std::uint32_t fileSize = 0;    // bfSize
  std::uint32_t dataOffset = 0;  // bfOffBits
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  // The colour table at 1, 4 and 8 bits (2^bits entries as the image will hold them):
  // the file's entries, then white (classic) or black (full) for those it lacks, and the
  // standard colour where the file ends inside the table.
  std::array<RGBApixel, 256> table{};
  int tableEntries = 0;  // how many of them the file gives
  enum class Encoding { rows, rle8, rle4 } encoding = Encoding::rows;
  bool topDown = false;
  // Pixels decoded through red, green, blue and alpha masks: every 16-bit file (5-5-5
  // unless it gives bit fields) and 32-bit files with bit fields.
  bool masked = false;
  std::uint32_t masks[4] = {};
  Widening widening = Widening::scale;
  // The colour space of a V4 or V5 header, and whether the reader was asked to convert
  // it to sRGB.
  ColourSpace colour;
  bool toSrgb = false;

  // A 32-bit file without bit fields whose fourth bytes are not all 0.
  bool fourthByteAlpha = false;

  AlphaSource alphaSource() const {
    return masked && masks[3] != 0 ? AlphaSource::mask
           : fourthByteAlpha       ? AlphaSource::fourthByte
                                   : AlphaSource::none;
  }
  // Whether the pixels carry opacity.
  bool alpha() const { return alphaSource() != AlphaSource::none; }
  // Whether the pixels are converted to sRGB on their way out.
  bool converting() const { return toSrgb && colour.converts(); }
};

struct ParseOutcome {
  Refusal refusal = Refusal::none;
  // Whether both headers arrived whole; from then on the resolution is known, even for a
  // file refused later.
  bool headersRead = false;
  FileLayout layout;
  Oddities oddities;
  std::string feature;  // with Refusal::unsupportedFeature
};

// Reads the headers, the colour table or the masks, and any extra bytes before the
// pixels, leaving source at the first byte of pixel data. maxPixels (0: no limit) bounds
// the grid the full reader may ask for; toSrgb asks the full reader to convert the colour
// space a file gives to sRGB.
ParseOutcome parseBmp(ByteSource& source, Policy policy = Policy::classic, std::uint64_t maxPixels = 0,
                      bool toSrgb = false);

}  // namespace pixelry::detail

#endif
