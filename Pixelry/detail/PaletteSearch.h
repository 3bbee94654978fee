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
// measuring every entry. Colour space is cut twice, each cut learnt the first time a colour
// falls in it:
// - into boxes of 8 x 8 x 8, each with the entries that can be nearest somewhere inside it:
//   an entry whose nearest point of the box is farther than the farthest point of the box
//   from some other entry can never win there, and neither can a repeat of an earlier entry;
// - into cells of 4 x 4 x 4, each with at most four entries taken from its box's list,
//   those that no other entry beats at every point of the cell. Most cells keep one, the
//   answer; a cell that keeps more has the answers of its 64 colours worked out at once.
//   So nearly every colour is answered by one or two look-ups.
class PaletteSearch {
 public:
  // Makes the search answer for table (count entries); what was learnt is kept when the
  // table is the one searched last.
  void use(const RGBApixel* table, int count);

  PixelryBYTE operator()(const RGBApixel& colour) {
    const unsigned cell = (colour.Red >> 2u) << 12u | (colour.Green >> 2u) << 6u | (colour.Blue >> 2u);
    PixelryDWORD word = cells_[cell];
    if (word == kUnknown) word = cells_[cell] = fillCell(cell);
    // One entry four times: the answer without measuring.
    if (word == (word & 0xFFu) * 0x01010101u) return static_cast<PixelryBYTE>(word);
    if ((word & 0xFFFFu) == kAnswers)
      return answers_[(word >> 16) << 6 | (colour.Red & 3u) << 4 | (colour.Green & 3u) << 2 |
                      (colour.Blue & 3u)];
    if (word == kWholeBox) return searchBox(colour);
    int best = INT32_MAX;
    for (unsigned k = 0; k < 32; k += 8) best = lower(best, colour, static_cast<PixelryBYTE>(word >> k));
    return static_cast<PixelryBYTE>(best & 0xFF);
  }

 private:
  // A cell's word holds four entry indices, a byte each (the first in the low byte), a
  // list of fewer padded with its first. No list has a second index lower than its first
  // (lists are in index order), so words whose low bytes are (n, 0) are free to mean: the
  // cell is not learnt yet; the cell is searched over its box's list; the cell's answers
  // are block (word >> 16) of answers_.
  static constexpr PixelryDWORD kUnknown = 1, kWholeBox = 2, kAnswers = 0xFF;

  // The smaller of best and the key of entry index for colour: distance and index in one
  // key, so that the smallest is the nearest entry, the lower index first among equals.
  int lower(int best, const RGBApixel& colour, PixelryBYTE index) const {
    const RGBApixel& entry = table_[index];
    const int red = entry.Red - colour.Red, green = entry.Green - colour.Green,
              blue = entry.Blue - colour.Blue;
    const int key = (red * red + green * green + blue * blue) << 8 | index;
    return key < best ? key : best;
  }

  // The nearest entry over the list of colour's box.
  PixelryBYTE searchBox(const RGBApixel& colour);
  // Where the box's candidates start in candidates_, shifted left by 9, plus how many.
  PixelryDWORD fillBox(unsigned box);
  // The word of a cell, from the list of its box.
  PixelryDWORD fillCell(unsigned cell);

  RGBApixel table_[256];
  int count_ = 0;
  // The entries that are not a repeat of an earlier one, in index order.
  std::vector<PixelryBYTE> distinct_;
  // One word per box, 0 until the box is first met.
  std::vector<PixelryDWORD> boxes_;
  std::vector<PixelryBYTE> candidates_;
  // One word per cell, kUnknown until the cell is first met.
  std::vector<PixelryDWORD> cells_;
  // Blocks of 64 answers, one per colour of a cell whose colours have several, red, green
  // and blue's low two bits making the place in the block.
  std::vector<PixelryBYTE> answers_;
};

// This thread's search, made to answer for table. Writing the rows of one image, or of
// images that share a table, reuses what it has learnt.
PaletteSearch& paletteSearchFor(const RGBApixel* table, int count);

}  // namespace pixelry::detail

#endif
