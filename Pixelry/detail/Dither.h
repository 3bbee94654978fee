// Internal: pixels mapped to colour-table indices with Floyd-Steinberg error diffusion,
// one row at a time, for the writers and mapToTable alike.
#ifndef PIXELRY_DETAIL_DITHER_H
#define PIXELRY_DETAIL_DITHER_H

#include <vector>

#include "../Pixelry_Image.h"
#include "PaletteSearch.h"

namespace pixelry::detail {

// Each pixel, with the error carried to it from pixels already mapped (clamped to 0 to
// 255), goes to its nearest entry; what that leaves is passed on, 7/16 to the next pixel
// of the row, 3/16, 5/16 and 1/16 to the pixels behind, below and ahead in the next row.
// Rows alternate in direction, the first left to right. Rows may come in either order
// (the writers go bottom first): "next" is the row mapped after this one.
class ErrorDiffusion {
 public:
  // False when the error rows cannot be allocated.
  bool allocate(int width);
  // Maps width pixels of row to indices of table (which search answers for).
  void operator()(const RGBApixel* row, const RGBApixel* table, PaletteSearch& search, PixelryBYTE* indices);

 private:
  int width_ = 0;
  bool leftToRight_ = true;
  // Errors in sixteenths, three channels a pixel, with a pixel of room at either end:
  // those carried into this row, and those gathered for the next.
  std::vector<int> here_, next_;
};

}  // namespace pixelry::detail

#endif
