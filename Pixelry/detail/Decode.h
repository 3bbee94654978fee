// Internal: the second step of reading a BMP file, its pixels decoded into a fresh grid.
// Nothing is printed and no image is touched.
#ifndef PIXELRY_DETAIL_DECODE_H
#define PIXELRY_DETAIL_DECODE_H

#include <memory>

#include "../Pixelry_Image.h"

namespace pixelry::detail {

class ByteSource;
struct FileLayout;

struct Decoded {
  enum class Status {
    whole,           // every row arrived
    cut,             // the data ended early: the rows that arrived are kept, the rest white
    gridTooLarge,    // the grid cannot be allocated
    bufferTooLarge,  // the row buffer cannot be allocated
  } status = Status::whole;
  // width x height pixels, row 0 (the top) first; null when too large.
  std::unique_ptr<RGBApixel[]> grid;
};

// Decodes the pixel data at the front of source (bottom row first) as layout describes.
// A 16-bit row cut short keeps the whole words it has.
Decoded decodeBmp(ByteSource& source, const FileLayout& layout);

}  // namespace pixelry::detail

#endif
