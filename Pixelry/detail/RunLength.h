// Internal: rows of colour-table indices coded as an RLE8 or RLE4 stream, each row in the
// fewest bytes its runs allow.
#ifndef PIXELRY_DETAIL_RUNLENGTH_H
#define PIXELRY_DETAIL_RUNLENGTH_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../Pixelry_Image.h"
#include "Encode.h"

namespace pixelry::detail {

// Codes rows of width indices at 8 bits (RLE8) or 4 bits (RLE4).
class RunLengthCoder {
 public:
  RunLengthCoder(int width, int bits);
  // False when the row's buffers could not be allocated.
  bool allocate();
  // Appends row (width indices, one byte each, below 16 at 4 bits) to out, then an end of
  // line, or the end of the bitmap when last is set. Throws std::bad_alloc when out
  // cannot grow.
  void operator()(const PixelryBYTE* row, bool last, std::vector<PixelryBYTE>& out);

  // Where a run may start, and its key: the cost of the pixels before it, less, for an
  // absolute run, 2 bytes a word from the row's start to it.
  struct Start {
    std::int64_t key;
    std::int32_t at;
  };

 private:
  // The fewest bytes that code the row's first i pixels, for every i, and where the last
  // code of each best choice starts.
  void choose(const PixelryBYTE* row);
  // Writes the codes chosen for the row at out.
  PixelryBYTE* put(const PixelryBYTE* row, PixelryBYTE* out);

  int width_;
  bool four_;
  int wordPixels_;  // the pixels an absolute run packs into one 16-bit word: 2 or 4
  std::vector<std::int64_t> cost_;
  // from_[i]: the start j of the last code, -(j + 1) for an absolute run.
  std::vector<std::int32_t> from_;
  // Candidate starts of absolute runs, one queue per class of start modulo wordPixels_.
  std::vector<Start> queue_;
  std::vector<Start> runs_;           // at 4 bits: candidate starts of encoded runs
  std::vector<std::int32_t> starts_;  // the chosen codes' starts, last first
};

// Encodes height rows at pixels, stride bytes apart, row 0 the top, as a run-length coded
// file (shape.runLength): the stream is coded in memory first, since the headers give
// its size.
EncodeStatus encodeRunLength(ByteSink& sink, const FileShape& shape, Target source, const PixelryBYTE* pixels,
                             std::size_t stride);

}  // namespace pixelry::detail

#endif
