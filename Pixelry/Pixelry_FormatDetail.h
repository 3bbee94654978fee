// Internal: what the reader, the writer and the header utilities share about the layout.
#ifndef PIXELRY_FORMATDETAIL_H
#define PIXELRY_FORMATDETAIL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <type_traits>
#include <vector>

#include "Pixelry_Format.h"
#include "Pixelry_Image.h"

namespace pixelry::detail {

inline bool isIndexedDepth(int bits) { return bits == 1 || bits == 4 || bits == 8; }
inline bool isSupportedDepth(int bits) {
  return isIndexedDepth(bits) || bits == 16 || bits == 24 || bits == 32;
}

// Gives an image a new grid of newWidth x newHeight through references to its fields,
// white when asked, and returns true. When the grid cannot be allocated, prints SetSize's
// warning, changes nothing and returns false. The reader and the copy constructor ask for
// no white, as they overwrite the pixels (the reader whitens the rows a file lacks).
bool replaceGrid(std::unique_ptr<RGBApixel[]>& pixels, int& width, int& height, int newWidth, int newHeight,
                 bool white);
// Sets count pixels to white (255, 255, 255, Alpha 0).
void fillWhite(RGBApixel* pixels, std::size_t count);

constexpr std::int64_t kHeadersBytes = 54;  // file header (14) and info header (40)
constexpr PixelryWORD kSignature = 19778;   // "BM"

// The header fields in file order with their names: this table drives reading, writing,
// byte swapping and display alike. Header is BMFH or BMIH, const or not; visit is called
// as visit(name, field) for each field.
template <class Header, class Visit>
std::enable_if_t<std::is_same_v<std::remove_const_t<Header>, BMFH>> forEachField(Header& h, Visit&& visit) {
  visit("bfType", h.bfType);
  visit("bfSize", h.bfSize);
  visit("bfReserved1", h.bfReserved1);
  visit("bfReserved2", h.bfReserved2);
  visit("bfOffBits", h.bfOffBits);
}

template <class Header, class Visit>
std::enable_if_t<std::is_same_v<std::remove_const_t<Header>, BMIH>> forEachField(Header& h, Visit&& visit) {
  visit("biSize", h.biSize);
  visit("biWidth", h.biWidth);
  visit("biHeight", h.biHeight);
  visit("biPlanes", h.biPlanes);
  visit("biBitCount", h.biBitCount);
  visit("biCompression", h.biCompression);
  visit("biSizeImage", h.biSizeImage);
  visit("biXPelsPerMeter", h.biXPelsPerMeter);
  visit("biYPelsPerMeter", h.biYPelsPerMeter);
  visit("biClrUsed", h.biClrUsed);
  visit("biClrImportant", h.biClrImportant);
}

// Fill a record from the next bytes of the file, little-endian field by field. Fields
// the file does not reach keep their values. True when the whole record arrived.
bool readRecord(std::FILE* file, BMFH& header);
bool readRecord(std::FILE* file, BMIH& header);
// Write a record little-endian. True when every byte was written.
bool writeRecord(std::FILE* file, BMFH header);
bool writeRecord(std::FILE* file, BMIH header);

// Bytes that hold the pixels of one row: ceil(width x bits / 8).
std::int64_t pixelBytes(int width, int bits);
// Bytes of one stored row: pixelBytes padded to a multiple of 4.
std::int64_t rowSizeBytes(int width, int bits);

// Palette index of pixel x in a row packed at 1, 4 or 8 bits, first pixel in the most
// significant bits of its byte.
inline unsigned indexAt(const PixelryBYTE* row, int x, int bits) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (x % perByte + 1);
  return (row[x / perByte] >> shift) & ((1u << bits) - 1);
}

// Rows are moved between file and image this many bytes at a time (or one row, when a
// row is longer).
constexpr std::int64_t kChunkBytes = std::int64_t{1} << 20;

// Row codecs over plain pointers. Direct depths are 24 and 32; indexed 1, 4 and 8.
// A 24-bit row carries no Alpha: the decoder leaves each pixel's own (Alpha24::keep, the
// public row decoder) or sets it to 0 (Alpha24::zero, the reader's fresh grid).
enum class Alpha24 { keep, zero };
void decodeDirectRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width, Alpha24 alpha);
void decodeIndexedRow(int bits, const PixelryBYTE* in, RGBApixel* out, int width,
                      const RGBApixel* table);
void encodeDirectRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width);

// The red, green and blue masks of a 16-bit file with the shifts that bring each down to
// five bits.
struct BitFields {
  PixelryWORD mask[3];
  int shift[3];
};
BitFields makeBitFields(PixelryWORD red, PixelryWORD green, PixelryWORD blue);
// Decodes the whole 16-bit words among the first `available` bytes of a row into pixels
// with Alpha 0; the pixels whose word is missing are left as they are.
void decode16bitRow(const PixelryBYTE* in, std::int64_t available, RGBApixel* out, int width,
                    const BitFields& fields);
// Encodes a row as 5-6-5 words, padding included.
void encode16bitRow(const RGBApixel* in, PixelryBYTE* out, int width);

// Packs one row of palette indices, most significant bits first; indexOf maps a pixel
// to its index. The bits after the last pixel of a partly filled byte are 0. A byte is
// the low 8 bits of the sum of its indices, each weighted by its place, so an index too
// wide for the depth (a 1-bit row of an 8-bit image) spills into the places before it.
template <class IndexOf>
void encodeIndexedRow(int bits, const RGBApixel* in, PixelryBYTE* out, int width, IndexOf&& indexOf) {
  if (bits == 8) {
    for (int x = 0; x < width; ++x) out[x] = indexOf(in[x]);
    return;
  }
  const int perByte = 8 / bits;
  int x = 0;
  for (; x + perByte <= width; x += perByte) {
    unsigned packed = 0;
    for (int k = 0; k < perByte; ++k) packed = (packed << bits) + indexOf(in[x + k]);
    *out++ = static_cast<PixelryBYTE>(packed);
  }
  if (x < width) {
    unsigned packed = 0;
    for (int k = 0; k < perByte; ++k) packed = (packed << bits) + (x + k < width ? indexOf(in[x + k]) : 0u);
    *out = static_cast<PixelryBYTE>(packed);
  }
}

// The colour-table entry nearest to a colour, the one FindClosestColor returns (smallest
// squared distance over red, green and blue, lowest index among equals), found without
// measuring every entry. Colour space is cut into boxes of 8 x 8 x 8; a box, when first
// met, gets the entries that can be nearest somewhere inside it: an entry whose nearest
// point of the box is farther than the farthest point of the box from some other entry
// can never win there, and neither can a repeat of an earlier entry.
class PaletteSearch {
 public:
  // Makes the search answer for table (count entries); what was learnt about the boxes
  // is kept when the table is the one searched last.
  void use(const RGBApixel* table, int count);

  PixelryBYTE operator()(const RGBApixel& colour) {
    const unsigned box = (colour.Red >> 3u) << 10u | (colour.Green >> 3u) << 5u | (colour.Blue >> 3u);
    if (boxes_[box] == 0) boxes_[box] = fillBox(box);
    const PixelryDWORD found = boxes_[box];
    const PixelryBYTE* index = candidates_.data() + (found >> 9u);
    const PixelryBYTE* end = index + (found & 511u);
    // Distance and index in one key: the smallest key is the nearest entry, the lower
    // index first among equal distances. Lists come in fours (see fillBox), so that
    // the loop is short and regular.
    int best = INT32_MAX;
    for (; index != end; index += 4)
      for (int k = 0; k < 4; ++k) {
        const RGBApixel& entry = table_[index[k]];
        const int red = entry.Red - colour.Red, green = entry.Green - colour.Green, blue = entry.Blue - colour.Blue;
        const int key = (red * red + green * green + blue * blue) << 8 | index[k];
        best = key < best ? key : best;
      }
    return static_cast<PixelryBYTE>(best & 0xFF);
  }

 private:
  // Where the box's candidates start in candidates_, shifted left by 9, plus how many.
  PixelryDWORD fillBox(unsigned box);

  RGBApixel table_[256];
  int count_ = 0;
  // The entries that are not a repeat of an earlier one, in index order.
  std::vector<PixelryBYTE> distinct_;
  // One word per box, 0 until the box is first met.
  std::vector<PixelryDWORD> boxes_;
  std::vector<PixelryBYTE> candidates_;
};

// This thread's search, made to answer for table. Writing the rows of one image, or of
// images that share a table, reuses what it has learnt.
PaletteSearch& paletteSearchFor(const RGBApixel* table, int count);

}  // namespace pixelry::detail

#endif
