// The nearest colour-table entry to a colour.
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

// The smallest and largest squared distance from value to the eight values of a box side
// starting at low.
int nearestSquare(int value, int low) {
  const int high = low + 7;
  const int gap = value < low ? low - value : value > high ? value - high : 0;
  return gap * gap;
}

int farthestSquare(int value, int low) {
  const int gap = value - low < low + 7 - value ? low + 7 - value : value - low;
  return gap * gap;
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
  // The distinct entries come first: the list of every box that has too many candidates.
  candidates_.assign(distinct_.begin(), distinct_.end());
  padToFours(candidates_, 0);
}

PixelryDWORD PaletteSearch::fillBox(unsigned box) {
  const int red = static_cast<int>(box >> 10) << 3, green = static_cast<int>((box >> 5) & 31) << 3,
            blue = static_cast<int>(box & 31) << 3;
  int nearestFarthest = INT32_MAX;
  for (PixelryBYTE i : distinct_) {
    const RGBApixel& e = table_[i];
    const int farthest =
        farthestSquare(e.Red, red) + farthestSquare(e.Green, green) + farthestSquare(e.Blue, blue);
    nearestFarthest = farthest < nearestFarthest ? farthest : nearestFarthest;
  }
  const std::size_t start = candidates_.size();
  for (PixelryBYTE i : distinct_) {
    const RGBApixel& e = table_[i];
    if (nearestSquare(e.Red, red) + nearestSquare(e.Green, green) + nearestSquare(e.Blue, blue) <=
        nearestFarthest)
      candidates_.push_back(i);
  }
  if (candidates_.size() - start > kMostCandidates) {
    candidates_.resize(start);
    return static_cast<PixelryDWORD>(padded(distinct_.size()));
  }
  padToFours(candidates_, start);
  return static_cast<PixelryDWORD>(start << 9 | (candidates_.size() - start));
}

PaletteSearch& paletteSearchFor(const RGBApixel* table, int count) {
  thread_local PaletteSearch search;
  search.use(table, count);
  return search;
}

}  // namespace pixelry::detail
