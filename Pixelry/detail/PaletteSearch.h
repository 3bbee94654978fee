// Internal: the nearest colour-table entry to a colour, the one search behind
// FindClosestColor, the public 8-, 4- and 1-bit row encoders and the writer.
#ifndef PIXELRY_DETAIL_PALETTESEARCH_H
#define PIXELRY_DETAIL_PALETTESEARCH_H

#include <climits>
#include <cstdint>
#include <vector>

#include "../Pixelry_Image.h"

namespace pixelry::detail {

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
        const int red = entry.Red - colour.Red, green = entry.Green - colour.Green,
                  blue = entry.Blue - colour.Blue;
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
