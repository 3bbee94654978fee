// The nearest colour-table entry to a colour.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "detail/PaletteSearch.h"
#include "detail/Report.h"

PixelryBYTE BMP::FindClosestColor(RGBApixel& input) {
  // Without a table there is nothing to search: one warning, and the index a search
  // starts from.
  if (!HasColorTable()) {
    pixelry::detail::warnNoTable("access");
    return 0;
  }
  return pixelry::detail::paletteSearchFor(ColorTable.data(), TellNumberOfColors())(input);
}

namespace pixelry::detail {

namespace {

// A box keeps its own list up to this many candidates; a box with more is searched over
// every distinct entry, which bounds the memory the lists take.
constexpr std::size_t kMostCandidates = 32;

// Cells whose colours have more than one answer keep all 64 answers, up to this many cells
// (2 MiB); past it, such cells are searched over their lists.
constexpr std::size_t kMostAnswerBlocks = std::size_t{1} << 15;

// The side of a box, and of a cell, in levels of each channel.
constexpr int kBoxSide = 8, kCellSide = 4;

// The smallest and largest squared distance from value to the side values of a box side
// starting at low.
int nearestSquare(int value, int low, int side) {
  const int high = low + side - 1;
  const int gap = value < low ? low - value : value > high ? value - high : 0;
  return gap * gap;
}

int farthestSquare(int value, int low, int side) {
  const int high = low + side - 1;
  const int gap = value - low < high - value ? high - value : value - low;
  return gap * gap;
}

// The lowest corner of a box or cell whose number holds 8 - shift bits a channel.
struct Corner {
  int red, green, blue;
};

Corner cornerOf(unsigned number, unsigned shift) {
  const unsigned bits = 8 - shift, mask = (1u << bits) - 1;
  return {static_cast<int>((number >> 2 * bits) << shift), static_cast<int>((number >> bits & mask) << shift),
          static_cast<int>((number & mask) << shift)};
}

// The entries of a list that may be nearest somewhere in the box at corner: those whose
// nearest point of the box is no farther than the farthest point of the box from the
// entry that has it nearest.
template <class Keep>
void keepReachable(const RGBApixel* table, const PixelryBYTE* list, std::size_t count, Corner corner,
                   int side, Keep&& keep) {
  int nearestFarthest = INT32_MAX;
  for (std::size_t k = 0; k < count; ++k) {
    const RGBApixel& e = table[list[k]];
    const int farthest = farthestSquare(e.Red, corner.red, side) +
                         farthestSquare(e.Green, corner.green, side) +
                         farthestSquare(e.Blue, corner.blue, side);
    nearestFarthest = farthest < nearestFarthest ? farthest : nearestFarthest;
  }
  for (std::size_t k = 0; k < count; ++k) {
    const RGBApixel& e = table[list[k]];
    if (nearestSquare(e.Red, corner.red, side) + nearestSquare(e.Green, corner.green, side) +
            nearestSquare(e.Blue, corner.blue, side) <=
        nearestFarthest)
      keep(list[k]);
  }
}

// Whether entry winner is the answer rather than entry loser at every point p of the
// cell at corner. The difference of squared distances |p - w|^2 - |p - l|^2 is, on each
// channel, (l - w)(2p - w - l): linear in p, so largest at one end of the cell's side.
bool beatsEverywhere(const RGBApixel* table, PixelryBYTE winner, PixelryBYTE loser, Corner corner) {
  const RGBApixel &w = table[winner], &l = table[loser];
  int worst = 0;
  for (const auto [low, wv, lv] :
       {std::array<int, 3>{corner.red, w.Red, l.Red}, std::array<int, 3>{corner.green, w.Green, l.Green},
        std::array<int, 3>{corner.blue, w.Blue, l.Blue}}) {
    const int end = lv > wv ? low + kCellSide - 1 : low;
    worst += (lv - wv) * (2 * end - wv - lv);
  }
  return winner < loser ? worst <= 0 : worst < 0;
}

std::size_t padded(std::size_t count) { return (count + 3) / 4 * 4; }

// Lengthens the list that starts at start to a multiple of four by repeating its first
// entry, which cannot change which key is smallest.
void padToFours(std::vector<PixelryBYTE>& candidates, std::size_t start) {
  const PixelryBYTE first = candidates[start];
  candidates.resize(start + padded(candidates.size() - start), first);
}

}  // namespace

void PaletteSearch::use(const RGBApixel* table, int count) {
  const auto bytes = static_cast<std::size_t>(count) * sizeof(RGBApixel);
  if (count == count_ && std::memcmp(table_, table, bytes) == 0) return;
  std::memcpy(table_, table, bytes);
  count_ = count;
  distinct_.clear();
  for (int i = 0; i < count; ++i) {
    bool repeat = false;
    for (int earlier = 0; earlier < i && !repeat; ++earlier)
      repeat = table[earlier].Red == table[i].Red && table[earlier].Green == table[i].Green &&
               table[earlier].Blue == table[i].Blue;
    if (!repeat) distinct_.push_back(static_cast<PixelryBYTE>(i));
  }
  boxes_.assign(std::size_t{1} << 15, 0);
  cells_.assign(std::size_t{1} << 18, kUnknown);
  answers_.clear();
  // The distinct entries come first: the list of every box that has too many candidates.
  candidates_.assign(distinct_.begin(), distinct_.end());
  padToFours(candidates_, 0);
}

PixelryBYTE PaletteSearch::searchBox(const RGBApixel& colour) {
  const unsigned box = (colour.Red >> 3u) << 10u | (colour.Green >> 3u) << 5u | (colour.Blue >> 3u);
  if (boxes_[box] == 0) boxes_[box] = fillBox(box);
  const PixelryDWORD found = boxes_[box];
  const PixelryBYTE* index = candidates_.data() + (found >> 9u);
  const PixelryBYTE* end = index + padded(found & 511u);
  // Lists come in fours (see fillBox), so that the loop is short and regular.
  int best = INT32_MAX;
  for (; index != end; index += 4)
    for (int k = 0; k < 4; ++k) best = lower(best, colour, index[k]);
  return static_cast<PixelryBYTE>(best & 0xFF);
}

PixelryDWORD PaletteSearch::fillBox(unsigned box) {
  const std::size_t start = candidates_.size();
  keepReachable(table_, distinct_.data(), distinct_.size(), cornerOf(box, 3), kBoxSide,
                [this](PixelryBYTE i) { candidates_.push_back(i); });
  const std::size_t count = candidates_.size() - start;
  if (count > kMostCandidates) {
    candidates_.resize(start);
    return static_cast<PixelryDWORD>(distinct_.size());
  }
  padToFours(candidates_, start);
  return static_cast<PixelryDWORD>(start << 9 | count);
}

PixelryDWORD PaletteSearch::fillCell(unsigned cell) {
  // The cell's box: each channel's top five bits of the cell's top six.
  const unsigned box = (cell >> 13) << 10 | (cell >> 7 & 31) << 5 | (cell >> 1 & 31);
  if (boxes_[box] == 0) boxes_[box] = fillBox(box);
  const Corner corner = cornerOf(cell, 2);
  PixelryBYTE reachable[256];
  std::size_t count = 0;
  keepReachable(table_, candidates_.data() + (boxes_[box] >> 9), boxes_[box] & 511u, corner, kCellSide,
                [&](PixelryBYTE i) { reachable[count++] = i; });
  // An entry that another beats at every point of the cell is never the answer there.
  // Past kMostCandidates the pairs are too many to weigh, and all are kept.
  PixelryBYTE unbeaten[256] = {};
  std::size_t found = 0;
  for (std::size_t k = 0; k < count; ++k) {
    bool beaten = false;
    for (std::size_t other = 0; other < count && count <= kMostCandidates && !beaten; ++other)
      beaten = other != k && beatsEverywhere(table_, reachable[other], reachable[k], corner);
    if (!beaten) unbeaten[found++] = reachable[k];
  }
  if (found > 1 && answers_.size() < kMostAnswerBlocks * 64) {
    // Every colour of the cell gets its answer, in the order operator() looks it up.
    const PixelryDWORD block = static_cast<PixelryDWORD>(answers_.size() / 64);
    for (int red = 0; red < kCellSide; ++red)
      for (int green = 0; green < kCellSide; ++green)
        for (int blue = 0; blue < kCellSide; ++blue) {
          const RGBApixel colour{static_cast<PixelryBYTE>(corner.blue + blue),
                                 static_cast<PixelryBYTE>(corner.green + green),
                                 static_cast<PixelryBYTE>(corner.red + red), 0};
          int best = INT32_MAX;
          for (std::size_t k = 0; k < found; ++k) best = lower(best, colour, unbeaten[k]);
          answers_.push_back(static_cast<PixelryBYTE>(best & 0xFF));
        }
    return block << 16 | kAnswers;
  }
  if (found > 4) return kWholeBox;
  PixelryDWORD four = 0;
  for (std::size_t k = 4; k-- > 0;) four = four << 8 | (k < found ? unbeaten[k] : unbeaten[0]);
  return four;
}

PaletteSearch& paletteSearchFor(const RGBApixel* table, int count) {
  thread_local PaletteSearch search;
  search.use(table, count);
  return search;
}

}  // namespace pixelry::detail
