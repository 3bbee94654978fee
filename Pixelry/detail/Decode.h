// Internal: the second step of reading a BMP file, its pixels decoded row by row into a
// pixel format. Nothing is printed and no image is touched.
#ifndef PIXELRY_DETAIL_DECODE_H
#define PIXELRY_DETAIL_DECODE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "../Pixelry_Codec.h"
#include "../Pixelry_Image.h"
#include "Parse.h"
#include "PixelFormats.h"

namespace pixelry::detail {

class ByteSource;
class RowConverter;
class RunLengthRows;
class StoredRows;

// The rows of a file's pixel data, decoded one at a time into a target format, with
// memory in proportion to the width. Rows come in the order asked for; an order other
// than the file's own needs uncompressed rows and a source that can seek (see canGive).
class PixelRows {
 public:
  // layout must outlive the rows; source stands at the first byte of pixel data.
  PixelRows(ByteSource& source, const FileLayout& layout, Target target, RowOrder order = RowOrder::file);
  ~PixelRows();
  PixelRows(const PixelRows&) = delete;
  PixelRows& operator=(const PixelRows&) = delete;

  // Whether an order can be given from this source.
  static bool canGive(ByteSource& source, const FileLayout& layout, RowOrder order);
  // False when the buffers could not be allocated.
  bool allocated() const { return allocated_; }
  // The picture row the next decodeNext fills (0 is the top), or -1 after the last.
  int nextRow() const;
  // Decodes the next row into out, width pixels of the target format. A row the data
  // does not reach is white (entry 0 in a run-length file), but for the whole words a
  // 16-bit row cut short has.
  void decodeNext(PixelryBYTE* out);
  // Whether the data ended before every row arrived (a run-length stream before its
  // end-of-bitmap code).
  bool cut() const;

 private:
  const FileLayout& layout_;
  std::unique_ptr<StoredRows> stored_;
  std::unique_ptr<RunLengthRows> runs_;
  std::unique_ptr<RowConverter> convert_;
  std::int64_t given_ = 0;  // rows decoded so far
  bool reversed_ = false;   // rows are given against the file's order
  bool allocated_ = false;
};

// The colour table the pixels are read with: the file's, converted to sRGB when the
// layout's colours are.
std::array<RGBApixel, 256> tableAsRead(const FileLayout& layout);

enum class DecodeStatus {
  whole,     // every row arrived
  cut,       // the data ended early: see PixelRows::decodeNext
  noMemory,  // a buffer could not be allocated
};

// Decodes every row into out, row y at out + y x stride.
DecodeStatus decodeInto(ByteSource& source, const FileLayout& layout, Target target, PixelryBYTE* out,
                        std::size_t stride);
// The same with rows already allocated, from the first row they have not given.
DecodeStatus decodeRows(PixelRows& rows, PixelryBYTE* out, std::size_t stride);

// Decodes into a fresh grid for the image object: width x height pixels, row 0 first;
// null with noMemory when it cannot be allocated.
struct Decoded {
  DecodeStatus status = DecodeStatus::whole;
  std::unique_ptr<RGBApixel[]> grid;
};
Decoded decodeImage(ByteSource& source, const FileLayout& layout);

}  // namespace pixelry::detail

#endif
