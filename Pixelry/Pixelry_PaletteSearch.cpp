// The nearest colour-table entry to a colour.
#include <algorithm>
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

// A box keeps its own list up to this many entries; a box with more is searched over its
// region's list, which bounds the memory the lists take.
constexpr std::size_t kMostInBox = 32;

// Cells whose colours have more than one answer keep all 64 answers, up to this many
// blocks (2 MiB, block 0 included), when at most kMostInBlock entries can be nearest in
// them: the answers cost 64 measures of each. Other cells are searched over their box's
// list.
constexpr std::size_t kMostAnswerBlocks = std::size_t{1} << 15, kMostInBlock = 8;

// The side of a region, a box and a cell, in levels of each channel.
constexpr int kRegionSide = 32, kBoxSide = 8, kCellSide = 4;

// The smallest and largest squared distance from value to the side values of a side of a
// piece starting at low.
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

// Hands keep the entries of list (count of them) that may be nearest somewhere in the
// piece of side levels at (red, green, blue): those whose nearest point of the piece is no
// farther than the farthest point of the piece from the entry that has it nearest.
template <class Keep>
void keepReachable(const RGBApixel* table, const PixelryBYTE* list, std::size_t count, int red, int green,
                   int blue, int side, Keep&& keep) {
  int nearestFarthest = INT32_MAX;
  for (std::size_t k = 0; k < count; ++k) {
    const RGBApixel& e = table[list[k]];
    const int farthest = farthestSquare(e.Red, red, side) + farthestSquare(e.Green, green, side) +
                         farthestSquare(e.Blue, blue, side);
    nearestFarthest = farthest < nearestFarthest ? farthest : nearestFarthest;
  }
  for (std::size_t k = 0; k < count; ++k) {
    const RGBApixel& e = table[list[k]];
    if (nearestSquare(e.Red, red, side) + nearestSquare(e.Green, green, side) +
            nearestSquare(e.Blue, blue, side) <=
        nearestFarthest)
      keep(list[k]);
  }
}

// The smaller of best and the key of entry index for colour: distance and index in one
// key, so that the smallest is the nearest entry, the lower index first among equals.
int lower(const RGBApixel* table, int best, int red, int green, int blue, PixelryBYTE index) {
  const RGBApixel& entry = table[index];
  const int r = entry.Red - red, g = entry.Green - green, b = entry.Blue - blue;
  const int key = (r * r + g * g + b * b) << 8 | index;
  return key < best ? key : best;
}

// Whether entry winner is the answer rather than entry loser at every colour p of the
// cell at (red, green, blue). The difference of squared distances |p - w|^2 - |p - l|^2
// is, on each channel, (l - w)(2p - w - l): linear in p, so largest at one end of the
// cell's side.
bool beatsEverywhere(const RGBApixel* table, PixelryBYTE winner, PixelryBYTE loser, int red, int green,
                     int blue) {
  const RGBApixel &w = table[winner], &l = table[loser];
  int worst = 0;
  for (const auto [low, wv, lv] :
       {std::array<int, 3>{red, w.Red, l.Red}, std::array<int, 3>{green, w.Green, l.Green},
        std::array<int, 3>{blue, w.Blue, l.Blue}}) {
    const int end = lv > wv ? low + kCellSide - 1 : low;
    worst += (lv - wv) * (2 * end - wv - lv);
  }
  return winner < loser ? worst <= 0 : worst < 0;
}

}  // namespace

void PaletteSearch::use(const RGBApixel* table, int count) {
  const auto bytes = static_cast<std::size_t>(count) * sizeof(RGBApixel);
  if (count == count_ && std::memcmp(table_, table, bytes) == 0) return;
  std::memcpy(table_, table, bytes);
  count_ = count;
  // Room for every list the table can need, and for the most answers: the memory is
  // bounded and nothing moves once reserved.
  lists_.reserve(256 + (std::size_t{1} << 9) * 256 + (std::size_t{1} << 15) * kMostInBox);
  answers_.reserve(kMostAnswerBlocks * 64);
  lists_.clear();
  for (int i = 0; i < count; ++i) {
    bool repeat = false;
    for (int earlier = 0; earlier < i && !repeat; ++earlier)
      repeat = table[earlier].Red == table[i].Red && table[earlier].Green == table[i].Green &&
               table[earlier].Blue == table[i].Blue;
    if (!repeat) lists_.push_back(static_cast<PixelryBYTE>(i));
  }
  distinct_ = static_cast<PixelryDWORD>(lists_.size());
  regions_.assign(std::size_t{1} << 9, 0);
  boxes_.assign(std::size_t{1} << 15, 0);
  cells_.assign(std::size_t{1} << 18, kUnknown);
  answers_.assign(64, 0);
}

PixelryDWORD PaletteSearch::fillList(PixelryDWORD parent, int red, int green, int blue, int side,
                                     std::size_t most) {
  // A copy: lists_ may move as it grows.
  PixelryBYTE list[256];
  std::copy_n(lists_.begin() + (parent >> 9), parent & 511u, list);
  const std::size_t start = lists_.size();
  keepReachable(table_, list, parent & 511u, red, green, blue, side,
                [this](PixelryBYTE i) { lists_.push_back(i); });
  if (lists_.size() - start > most) {
    lists_.resize(start);
    return parent;
  }
  return static_cast<PixelryDWORD>(start << 9 | (lists_.size() - start));
}

PixelryDWORD PaletteSearch::boxList(unsigned box) {
  if (boxes_[box] != 0) return boxes_[box];
  const int red = static_cast<int>(box >> 10) * kBoxSide, green = static_cast<int>(box >> 5 & 31) * kBoxSide,
            blue = static_cast<int>(box & 31) * kBoxSide;
  const unsigned region = (box >> 12) << 6 | (box >> 7 & 7) << 3 | (box >> 2 & 7);
  if (regions_[region] == 0) {
    const int low = kRegionSide - 1;
    regions_[region] = fillList(distinct_, red & ~low, green & ~low, blue & ~low, kRegionSide, 256);
  }
  return boxes_[box] = fillList(regions_[region], red, green, blue, kBoxSide, kMostInBox);
}

PixelryBYTE PaletteSearch::learn(const RGBApixel& colour, unsigned cell) {
  if (cells_[cell] == kUnknown) cells_[cell] = fillCell(cell);
  return cells_[cell] == kWholeBox ? searchBox(colour) : (*this)(colour);
}

PixelryBYTE PaletteSearch::searchBox(const RGBApixel& colour) const {
  const PixelryDWORD list =
      boxes_[(colour.Red >> 3u) << 10u | (colour.Green >> 3u) << 5u | (colour.Blue >> 3u)];
  int best = INT32_MAX;
  for (std::size_t k = list >> 9; k < (list >> 9) + (list & 511u); ++k)
    best = lower(table_, best, colour.Red, colour.Green, colour.Blue, lists_[k]);
  return static_cast<PixelryBYTE>(best & 0xFF);
}

std::uint16_t PaletteSearch::fillCell(unsigned cell) {
  const int red = static_cast<int>(cell >> 12) * kCellSide,
            green = static_cast<int>(cell >> 6 & 63) * kCellSide,
            blue = static_cast<int>(cell & 63) * kCellSide;
  // The cell's box: each channel's top five bits of the cell's top six.
  const PixelryDWORD box = boxList((cell >> 13) << 10 | (cell >> 7 & 31) << 5 | (cell >> 1 & 31));
  PixelryBYTE reachable[256];
  std::size_t count = 0;
  keepReachable(table_, lists_.data() + (box >> 9), box & 511u, red, green, blue, kCellSide,
                [&](PixelryBYTE i) { reachable[count++] = i; });
  // An entry that another beats at every point of the cell is never the answer there.
  // Past kMostInBox the pairs are too many to weigh, and all are kept.
  PixelryBYTE unbeaten[256] = {};
  std::size_t found = 0;
  for (std::size_t k = 0; k < count; ++k) {
    bool beaten = false;
    for (std::size_t other = 0; other < count && count <= kMostInBox && !beaten; ++other)
      beaten = other != k && beatsEverywhere(table_, reachable[other], reachable[k], red, green, blue);
    if (!beaten) unbeaten[found++] = reachable[k];
  }
  if (found == 1) return unbeaten[0];
  if (found > kMostInBlock || answers_.size() == kMostAnswerBlocks * 64) return kWholeBox;
  // Every colour of the cell gets its answer, in the order operator() looks it up.
  const auto block = static_cast<std::uint16_t>(255 + answers_.size() / 64);
  for (int r = red; r < red + kCellSide; ++r)
    for (int g = green; g < green + kCellSide; ++g)
      for (int b = blue; b < blue + kCellSide; ++b) {
        int best = INT32_MAX;
        for (std::size_t k = 0; k < found; ++k) best = lower(table_, best, r, g, b, unbeaten[k]);
        answers_.push_back(static_cast<PixelryBYTE>(best & 0xFF));
      }
  return block;
}

PaletteSearch& paletteSearchFor(const RGBApixel* table, int count) {
  thread_local PaletteSearch search;
  search.use(table, count);
  return search;
}

}  // namespace pixelry::detail
