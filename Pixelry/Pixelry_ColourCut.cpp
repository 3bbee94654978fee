// A colour table for a picture: Wu's cut of colour space, refined by Lloyd's k-means.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "detail/ColourCut.h"
#include "detail/PaletteSearch.h"

namespace pixelry::detail {

namespace {

// The cut's grid: 64 cells a channel (the top 6 bits), with a plane of zeros before each
// axis so that the running sums need no edge cases.
constexpr int kCellShift = 2;
constexpr int kGrid = (256 >> kCellShift) + 1;
// Up to this many distinct colours, k-means works on the colours themselves.
constexpr std::size_t kMostExact = std::size_t{1} << 18;
constexpr int kLloydPasses = 20;

std::uint32_t keyOf(const RGBApixel& p) {
  return static_cast<std::uint32_t>(p.Red) << 16 | static_cast<std::uint32_t>(p.Green) << 8 | p.Blue;
}

RGBApixel colourOf(std::uint32_t key) {
  return {static_cast<PixelryBYTE>(key & 0xFF), static_cast<PixelryBYTE>((key >> 8) & 0xFF),
          static_cast<PixelryBYTE>(key >> 16), 0};
}

bool byKey(const RGBApixel& a, const RGBApixel& b) { return keyOf(a) < keyOf(b); }
bool sameColour(const RGBApixel& a, const RGBApixel& b) { return keyOf(a) == keyOf(b); }

int bitCount(std::uint64_t word) {
  word -= (word >> 1) & 0x5555555555555555u;
  word = (word & 0x3333333333333333u) + ((word >> 2) & 0x3333333333333333u);
  word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((word * 0x0101010101010101u) >> 56);
}

// A set of pixels summed: how many, their channels, their squared channels.
struct Moments {
  std::int64_t weight = 0, red = 0, green = 0, blue = 0, squares = 0;

  void add(const RGBApixel& p) {
    ++weight;
    red += p.Red;
    green += p.Green;
    blue += p.Blue;
    squares += p.Red * p.Red + p.Green * p.Green + p.Blue * p.Blue;
  }
  Moments& operator+=(const Moments& m) {
    weight += m.weight;
    red += m.red;
    green += m.green;
    blue += m.blue;
    squares += m.squares;
    return *this;
  }
  Moments& operator-=(const Moments& m) {
    weight -= m.weight;
    red -= m.red;
    green -= m.green;
    blue -= m.blue;
    squares -= m.squares;
    return *this;
  }
  // Their squared error about the mean is squares - spread(): the larger the spread of
  // the parts a set is cut into, the smaller their error.
  double spread() const {
    const double r = static_cast<double>(red), g = static_cast<double>(green), b = static_cast<double>(blue);
    return weight == 0 ? 0 : (r * r + g * g + b * b) / static_cast<double>(weight);
  }
  double error() const { return weight < 2 ? 0 : static_cast<double>(squares) - spread(); }

  // The mean colour, each channel rounded to nearest (weight above 0).
  RGBApixel mean() const {
    const auto level = [this](std::int64_t sum) {
      return static_cast<PixelryBYTE>((2 * sum + weight) / (2 * weight));
    };
    return {level(blue), level(green), level(red), 0};
  }
};

// A colour k-means places: its pixels' moments, and the colour it is measured at.
struct Point {
  RGBApixel colour;
  std::int64_t weight;
};

// What one pass over the pixels learns: which of the 2^24 colours occur (a bit each) and
// the moments of every cell of the grid.
class Census {
 public:
  Census() : seen_(std::size_t{1} << 18, 0), cells_(static_cast<std::size_t>(kGrid) * kGrid * kGrid) {}

  void add(const RGBApixel* row, int width) {
    for (const RGBApixel* p = row; p != row + width; ++p) {
      const std::uint32_t key = keyOf(*p);
      std::uint64_t& word = seen_[key >> 6];
      const std::uint64_t bit = std::uint64_t{1} << (key & 63);
      distinct_ += (word & bit) == 0;
      word |= bit;
      cells_[cellOf(*p)].add(*p);
    }
  }
  std::size_t distinct() const { return distinct_; }

  // Every colour that occurs, in key order.
  std::vector<RGBApixel> colours() const {
    std::vector<RGBApixel> found;
    found.reserve(distinct_);
    for (std::size_t w = 0; w < seen_.size(); ++w)
      for (std::uint64_t word = seen_[w]; word != 0; word &= word - 1)
        found.push_back(colourOf(static_cast<std::uint32_t>(w << 6) +
                                 static_cast<std::uint32_t>(bitCount((word & (~word + 1)) - 1))));
    return found;
  }

  // Every colour that occurs with its pixels' moments, in key order: a second pass.
  std::vector<Point> exactPoints(const RowSource& rows, int width, int height) const {
    std::vector<std::uint32_t> before(seen_.size());
    std::uint32_t count = 0;
    for (std::size_t w = 0; w < seen_.size(); ++w) {
      before[w] = count;
      count += static_cast<std::uint32_t>(bitCount(seen_[w]));
    }
    std::vector<Point> points(count);
    for (const RGBApixel& c : colours()) points[rankOf(keyOf(c), before)] = {c, 0};
    for (int y = 0; y < height; ++y) {
      const RGBApixel* row = rows(y);
      for (const RGBApixel* p = row; p != row + width; ++p) ++points[rankOf(keyOf(*p), before)].weight;
    }
    return points;
  }

  // The occupied cells, each at its pixels' mean, in grid order.
  std::vector<Point> cellPoints() const {
    std::vector<Point> points;
    for (const Moments& cell : cells_)
      if (cell.weight > 0) points.push_back({cell.mean(), cell.weight});
    return points;
  }

  // Turns the cells into running sums: cell (r, g, b) then holds the moments of every
  // cell at or below it on all three axes.
  std::vector<Moments> runningSums() {
    const std::size_t strides[3] = {std::size_t{kGrid} * kGrid, kGrid, 1};
    for (std::size_t stride : strides)
      for (std::size_t i = 0; i < cells_.size(); ++i)
        if ((i / stride) % kGrid != 0) cells_[i] += cells_[i - stride];
    return std::move(cells_);
  }

 private:
  static std::size_t cellOf(const RGBApixel& p) {
    return ((static_cast<std::size_t>(p.Red >> kCellShift) + 1) * kGrid + (p.Green >> kCellShift) + 1) *
               kGrid +
           (p.Blue >> kCellShift) + 1;
  }
  std::size_t rankOf(std::uint32_t key, const std::vector<std::uint32_t>& before) const {
    const std::uint64_t below = (std::uint64_t{1} << (key & 63)) - 1;
    return before[key >> 6] + static_cast<std::size_t>(bitCount(seen_[key >> 6] & below));
  }

  std::vector<std::uint64_t> seen_;
  std::size_t distinct_ = 0;
  std::vector<Moments> cells_;
};

// A box of the grid: the cells above low and up to high on each axis (red, green, blue).
struct Box {
  std::array<int, 3> low{0, 0, 0}, high{kGrid - 1, kGrid - 1, kGrid - 1};
};

// What a box's pixels lose when they all take its mean: their squared error, or an
// estimate of their absolute error (it grows as the square root of weight times squared
// error; sqrt rounds alike on every machine).
double squaredError(const Moments& m) { return m.error(); }
double absoluteError(const Moments& m) { return std::sqrt(m.error() * static_cast<double>(m.weight)); }
using BoxError = double (*)(const Moments&);

// Wu's cut: the box of the largest error is cut in two where the two parts' errors add
// up to the least, until there are enough boxes or none can be cut.
class WuCut {
 public:
  WuCut(const std::vector<Moments>& sums, BoxError errorOf) : sums_(sums), errorOf_(errorOf) {}

  std::vector<Moments> boxes(int most) const {
    std::vector<Box> boxes(1);
    std::vector<double> errors{errorOf_(inside(boxes[0]))};
    while (static_cast<int>(boxes.size()) < most) {
      const auto next =
          static_cast<std::size_t>(std::max_element(errors.begin(), errors.end()) - errors.begin());
      if (errors[next] <= 0) break;
      Box other;
      if (!cut(boxes[next], other)) {
        errors[next] = 0;
        continue;
      }
      errors[next] = errorOf_(inside(boxes[next]));
      boxes.push_back(other);
      errors.push_back(errorOf_(inside(other)));
    }
    std::vector<Moments> moments;
    moments.reserve(boxes.size());
    for (const Box& box : boxes) moments.push_back(inside(box));
    return moments;
  }

 private:
  Moments inside(const Box& box) const {
    Moments total;
    for (int corner = 0; corner < 8; ++corner) {
      const int r = corner & 4 ? box.high[0] : box.low[0], g = corner & 2 ? box.high[1] : box.low[1],
                b = corner & 1 ? box.high[2] : box.low[2];
      const Moments& m = sums_[(static_cast<std::size_t>(r) * kGrid + g) * kGrid + b];
      // An odd count of low corners is subtracted.
      if (bitCount(static_cast<std::uint64_t>(~corner & 7)) % 2 == 0)
        total += m;
      else
        total -= m;
    }
    return total;
  }

  // Cuts box where the parts' errors add up to the least (the first such place, red
  // before green before blue): box keeps the lower part, other gets the upper.
  bool cut(Box& box, Box& other) const {
    const Moments whole = inside(box);
    bool found = false;
    double best = 0;
    int bestAxis = 0, bestAt = 0;
    for (int axis = 0; axis < 3; ++axis)
      for (int at = box.low[axis] + 1; at < box.high[axis]; ++at) {
        Box lower = box;
        lower.high[axis] = at;
        const Moments below = inside(lower);
        Moments above = whole;
        above -= below;
        if (below.weight == 0 || above.weight == 0) continue;
        const double error = errorOf_(below) + errorOf_(above);
        if (!found || error < best) {
          found = true;
          best = error;
          bestAxis = axis;
          bestAt = at;
        }
      }
    if (!found) return false;
    other = box;
    box.high[bestAxis] = bestAt;
    other.low[bestAxis] = bestAt;
    return true;
  }

  const std::vector<Moments>& sums_;
  BoxError errorOf_;
};

// The absolute differences of two colours' channels, added up.
int channelDistance(const RGBApixel& a, const RGBApixel& b) {
  return std::abs(a.Red - b.Red) + std::abs(a.Green - b.Green) + std::abs(a.Blue - b.Blue);
}

// Each entry's points, channel by channel, for their medians (the median, where the mean
// would lessen the squared error, lessens the absolute error).
class MedianTally {
 public:
  explicit MedianTally(std::size_t entries) : counts_(entries * 768), weights_(entries) {}

  void add(std::size_t entry, const RGBApixel& colour, std::int64_t weight) {
    std::int64_t* channels = &counts_[entry * 768];
    channels[colour.Red] += weight;
    channels[256 + colour.Green] += weight;
    channels[512 + colour.Blue] += weight;
    weights_[entry] += weight;
  }
  bool empty(std::size_t entry) const { return weights_[entry] == 0; }
  // The weighted median of each channel of an entry's points: the lowest level at or
  // below which lies at least half their weight.
  RGBApixel median(std::size_t entry) const {
    const auto level = [this, entry](int channel) {
      const std::int64_t* counts = &counts_[entry * 768 + static_cast<std::size_t>(channel) * 256];
      int at = 0;
      for (std::int64_t below = 0; 2 * (below + counts[at]) < weights_[entry]; ++at) below += counts[at];
      return static_cast<PixelryBYTE>(at);
    };
    return {level(2), level(1), level(0), 0};
  }

 private:
  std::vector<std::int64_t> counts_, weights_;
};

// Lloyd's passes: every point goes to its nearest entry (as the pixels will be mapped),
// every entry moves to its points' median, channel by channel. An entry left
// without points, or missing, takes the point that is worst served (its weight times
// its channels' distance to its entry), the next worst for the next.
class Lloyd {
 public:
  Lloyd(const std::vector<Point>& points, std::vector<RGBApixel> table, int colours)
      : points_(points), table_(std::move(table)), colours_(colours) {}

  // False when nothing moved.
  bool pass() {
    PaletteSearch& search = paletteSearchFor(table_.data(), static_cast<int>(table_.size()));
    MedianTally tally(table_.size());
    std::vector<std::int64_t> worst(points_.size());
    for (std::size_t i = 0; i < points_.size(); ++i) {
      const Point& point = points_[i];
      const PixelryBYTE entry = search(point.colour);
      tally.add(entry, point.colour, point.weight);
      worst[i] = point.weight * channelDistance(point.colour, table_[entry]);
    }
    std::vector<RGBApixel> next;
    for (std::size_t entry = 0; entry < table_.size(); ++entry)
      if (!tally.empty(entry)) next.push_back(tally.median(entry));
    fill(next, worst);
    const bool moved = !std::equal(next.begin(), next.end(), table_.begin(), table_.end(), sameColour);
    table_ = std::move(next);
    return moved;
  }

  const std::vector<RGBApixel>& table() const { return table_; }

  // The points' weighted channel distance to their nearest entries.
  std::int64_t error() const {
    PaletteSearch& search = paletteSearchFor(table_.data(), static_cast<int>(table_.size()));
    std::int64_t total = 0;
    for (const Point& point : points_)
      total += point.weight * channelDistance(point.colour, table_[search(point.colour)]);
    return total;
  }

 private:
  void fill(std::vector<RGBApixel>& next, const std::vector<std::int64_t>& worst) const {
    const auto missing = static_cast<std::size_t>(colours_) - next.size();
    if (missing == 0) return;
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < worst.size(); ++i)
      if (worst[i] > 0) order.push_back(static_cast<std::uint32_t>(i));
    const auto worse = [&worst](std::uint32_t a, std::uint32_t b) {
      return worst[a] != worst[b] ? worst[a] > worst[b] : a < b;
    };
    const std::size_t taken = std::min(missing, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(taken), order.end(), worse);
    for (std::size_t i = 0; i < taken; ++i) next.push_back(points_[order[i]].colour);
  }

  const std::vector<Point>& points_;
  std::vector<RGBApixel> table_;
  int colours_;
};

// Moves each entry to the median of the pixels that map to it, when Lloyd's passes saw
// cells rather than colours; an entry no pixel maps to stays.
void settle(const RowSource& rows, int width, int height, std::vector<RGBApixel>& table) {
  PaletteSearch& search = paletteSearchFor(table.data(), static_cast<int>(table.size()));
  MedianTally tally(table.size());
  for (int y = 0; y < height; ++y) {
    const RGBApixel* row = rows(y);
    for (const RGBApixel* p = row; p != row + width; ++p) tally.add(search(*p), *p, 1);
  }
  for (std::size_t entry = 0; entry < table.size(); ++entry)
    if (!tally.empty(entry)) table[entry] = tally.median(entry);
}

}  // namespace

void cutColours(const RowSource& rows, int width, int height, int colours, std::vector<RGBApixel>& table) {
  Census census;
  for (int y = 0; y < height; ++y) census.add(rows(y), width);
  if (census.distinct() <= static_cast<std::size_t>(colours)) {
    table = census.colours();
    return;
  }
  const bool exact = census.distinct() <= kMostExact;
  const std::vector<Point> points = exact ? census.exactPoints(rows, width, height) : census.cellPoints();
  // Two starts, cut for absolute and for squared error; the one that ends with the
  // smaller absolute error wins (the first on a tie).
  const std::vector<Moments> sums = census.runningSums();
  std::int64_t least = 0;
  for (BoxError errorOf : {absoluteError, squaredError}) {
    std::vector<RGBApixel> start;
    for (const Moments& box : WuCut(sums, errorOf).boxes(colours)) start.push_back(box.mean());
    Lloyd lloyd(points, std::move(start), colours);
    for (int pass = 0; pass < kLloydPasses && lloyd.pass(); ++pass) {
    }
    const std::int64_t error = lloyd.error();
    if (errorOf == absoluteError || error < least) {
      least = error;
      table = lloyd.table();
    }
  }
  if (!exact) settle(rows, width, height, table);
  std::sort(table.begin(), table.end(), byKey);
}

}  // namespace pixelry::detail
