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
// measuring every entry. Colour space is cut three times, each piece learnt the first time
// a colour falls in it:
// - regions of 32 x 32 x 32 and, inside them, boxes of 8 x 8 x 8 keep the entries that can
//   be nearest somewhere inside: an entry whose nearest point of the piece is farther than
//   the farthest point of the piece from some other entry can never win there, and neither
//   can a repeat of an earlier entry. A box takes its entries from its region's list;
// - cells of 4 x 4 x 4 keep the entries of their box's list that no other entry beats at
//   every point of the cell. Most cells keep one, the answer; a cell that keeps more has
//   the answers of its 64 colours worked out at once, so nearly every colour is answered
//   by one or two look-ups.
// At most 3.8 MiB: 0.5 for the cells, 2 for the cells' answers, 1.1 for the lists and
// 0.13 for the boxes' words.
class PaletteSearch {
 public:
  // Makes the search answer for table (count entries, at least 1); what was learnt is kept
  // when the table is the one searched last.
  void use(const RGBApixel* table, int count);

  PixelryBYTE operator()(const RGBApixel& colour) {
    const unsigned cell = (colour.Red >> 2u) << 12u | (colour.Green >> 2u) << 6u | (colour.Blue >> 2u);
    const unsigned word = cells_[cell];
    if (word >= kWholeBox) return learn(colour, cell);
    // Both looked up, one kept by a mask rather than a branch: a cell with one answer and
    // its neighbour with several come in no order a processor could foresee.
    const unsigned several = 0u - static_cast<unsigned>(word > 255);
    const unsigned answer = answers_[((word - 255) & several) << 6 | (colour.Red & 3u) << 4 |
                                     (colour.Green & 3u) << 2 | (colour.Blue & 3u)];
    return static_cast<PixelryBYTE>((word & ~several) | (answer & several));
  }

 private:
  // A cell's word: below 256, its one answer; from 256, block (word - 255) of answers_;
  // or one of these.
  static constexpr std::uint16_t kWholeBox = 0xFFFE, kUnknown = 0xFFFF;

  // The answer for a colour whose cell is not learnt yet or has too many answers to keep.
  PixelryBYTE learn(const RGBApixel& colour, unsigned cell);
  // The nearest entry over the list of colour's box.
  PixelryBYTE searchBox(const RGBApixel& colour) const;
  // The list of the box, its region's learnt first.
  PixelryDWORD boxList(unsigned box);
  // The word of a cell, from the list of its box.
  std::uint16_t fillCell(unsigned cell);
  // The list of the piece of side levels at corner, taken from list parent.
  PixelryDWORD fillList(PixelryDWORD parent, int red, int green, int blue, int side, std::size_t most);

  RGBApixel table_[256];
  int count_ = 0;
  // Lists of entry indices, in index order: first the entries that are not a repeat of
  // an earlier one, then the regions' and boxes' lists as they are learnt. A list is
  // named by a word: where it starts shifted left by 9, plus how many it holds.
  std::vector<PixelryBYTE> lists_;
  // The list of the entries that are not a repeat.
  PixelryDWORD distinct_ = 0;
  // One word per region and per box, 0 until first met.
  std::vector<PixelryDWORD> regions_, boxes_;
  // One word per cell, kUnknown until first met.
  std::vector<std::uint16_t> cells_;
  // Blocks of 64 answers, one per colour of a cell whose colours have several, red, green
  // and blue's low two bits making the place in the block. Block 0 is never a cell's: it
  // is read, and not used, for cells with one answer.
  std::vector<PixelryBYTE> answers_;
};

// This thread's search, made to answer for table. Writing the rows of one image, or of
// images that share a table, reuses what it has learnt.
PaletteSearch& paletteSearchFor(const RGBApixel* table, int count);

}  // namespace pixelry::detail

#endif
