// Pixels coded by runs: RLE8 at 8 bits, RLE4 at 4 bits.
//
// A row is a sequence of codes. An encoded run (count, value) repeats one index count
// times at 8 bits; at 4 bits it alternates the value's two nibbles, high first, so it
// covers any stretch where each pixel equals the one two before it. An absolute run (0,
// count, indices) holds 3 to 255 indices as they are, one a byte or two a byte, padded to
// a whole 16-bit word. Both kinds hold at most 255 pixels.
//
// The absolute runs written fill whole words: 4 to 254 pixels at 8 bits, 4 to 252 in
// fours at 4 bits. That costs nothing: a run that would end inside a word costs what the
// same run ending at the word before does together with encoded runs of the one or two
// pixels after it (and 3 pixels cost as much as 3 runs of one). It spares the padding,
// and Pillow, which reads count / 2 bytes of an RLE4 absolute run, rounded down, and loses
// its place in the stream after an odd count, reads every file.
//
// The fewest bytes for a row come from a dynamic program over its prefixes: cost[i], the
// best for the first i pixels, is the cheaper of an encoded run ending at i (2 bytes after
// the cheapest start the run can have, at most 255 pixels back) and an absolute run ending
// at i (2 bytes and a word for each wordPixels pixels, after a start a whole number of
// words back). The starts are kept in sliding-window minimum queues: the encoded runs' in
// one (at 8 bits cost never falls as i grows, so the earliest start is the cheapest and no
// queue is needed), the absolute runs' in one for each class of start modulo wordPixels,
// keyed by cost less the words from the row's start. Each pixel costs a constant number
// of steps.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "detail/ByteSource.h"
#include "detail/Layout.h"
#include "detail/RunLength.h"

namespace pixelry::detail {

namespace {

constexpr int kMostPixels = 255;  // in one code of either kind
constexpr PixelryBYTE kEndOfLine = 0, kEndOfBitmap = 1;

// The dynamic program for the pixels an absolute run packs into a 16-bit word (2 for RLE8,
// 4 for RLE4), a constant so that its divisions are shifts. Positions are never negative:
// they are divided unsigned.
template <int kWord>
void chooseCodes(const PixelryBYTE* row, std::int64_t width, std::int64_t* cost, std::int32_t* from,
                 RunLengthCoder::Start* queue, RunLengthCoder::Start* runs) {
  constexpr bool kFour = kWord == 4;
  // The shortest absolute run (counts 0, 1 and 2 are escapes) and the longest, in words.
  constexpr int kShortest = 4, kLongest = kMostPixels / kWord * kWord;
  const auto words = [](std::int64_t pixels) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(pixels) / kWord);
  };
  // Each class's queue of absolute starts: its part of queue, from head to tail, keys rising.
  RunLengthCoder::Start *head[kWord], *tail[kWord];
  for (int r = 0; r < kWord; ++r) head[r] = tail[r] = queue + r * (words(width) + 1);
  // At 4 bits: the encoded runs' starts, from runsHead to runsTail, costs rising.
  RunLengthCoder::Start *runsHead = runs, *runsTail = runs;
  cost[0] = 0;
  std::int64_t repeated = 0;  // where the stretch one encoded run can cover up to pixel i - 1 starts
  for (std::int64_t i = 1; i <= width; ++i) {
    const std::int64_t last = i - 1;
    if (kFour ? last >= 2 && row[last] != row[last - 2] : last >= 1 && row[last] != row[last - 1])
      repeated = kFour ? last - 1 : last;
    std::int64_t start = std::max<std::int64_t>(repeated, i - kMostPixels);
    if (kFour) {
      while (runsTail > runsHead && runsTail[-1].key >= cost[last]) --runsTail;
      *runsTail++ = {cost[last], static_cast<std::int32_t>(last)};
      while (runsHead->at < start) ++runsHead;
      start = runsHead->at;
    }
    cost[i] = cost[start] + 2;
    from[i] = static_cast<std::int32_t>(start);
    if (i < kShortest) continue;
    // The absolute runs that end at i start in i's class.
    const auto r = static_cast<int>(static_cast<std::uint64_t>(i) % kWord);
    const std::int64_t j = i - kShortest, key = cost[j] - 2 * words(j);
    while (tail[r] > head[r] && tail[r][-1].key >= key) --tail[r];
    *tail[r]++ = {key, static_cast<std::int32_t>(j)};
    while (head[r]->at < i - kLongest) ++head[r];
    const std::int64_t absolute = head[r]->key + 2 + 2 * words(i);
    if (absolute < cost[i]) {
      cost[i] = absolute;
      from[i] = -(head[r]->at + 1);
    }
  }
}

}  // namespace

RunLengthCoder::RunLengthCoder(int width, int bits)
    : width_(width), four_(bits == 4), wordPixels_(bits == 4 ? 4 : 2) {}

bool RunLengthCoder::allocate() {
  const auto points = static_cast<std::size_t>(width_) + 1;
  try {
    cost_.resize(points);
    from_.resize(points);
    queue_.resize(static_cast<std::size_t>(wordPixels_) *
                  (points / static_cast<std::size_t>(wordPixels_) + 1));
    if (four_) runs_.resize(points);
    starts_.reserve(points);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void RunLengthCoder::choose(const PixelryBYTE* row) {
  if (four_)
    chooseCodes<4>(row, width_, cost_.data(), from_.data(), queue_.data(), runs_.data());
  else
    chooseCodes<2>(row, width_, cost_.data(), from_.data(), queue_.data(), runs_.data());
}

PixelryBYTE* RunLengthCoder::put(const PixelryBYTE* row, PixelryBYTE* out) {
  starts_.clear();
  for (std::int32_t i = width_; i > 0; i = from_[i] >= 0 ? from_[i] : -from_[i] - 1) starts_.push_back(i);
  for (auto at = starts_.rbegin(); at != starts_.rend(); ++at) {
    const std::int32_t end = *at, from = from_[end], start = from >= 0 ? from : -from - 1;
    const auto count = static_cast<PixelryBYTE>(end - start);
    if (from >= 0) {
      *out++ = count;
      *out++ =
          four_ ? static_cast<PixelryBYTE>(row[start] << 4 | (count > 1 ? row[start + 1] : 0)) : row[start];
      continue;
    }
    // Whole words: no padding.
    *out++ = 0;
    *out++ = count;
    if (four_) {
      for (std::int64_t x = start; x < end; x += 2)
        *out++ = static_cast<PixelryBYTE>(row[x] << 4 | row[x + 1]);
    } else {
      out = std::copy(row + start, row + end, out);
    }
  }
  return out;
}

void RunLengthCoder::operator()(const PixelryBYTE* row, bool last, std::vector<PixelryBYTE>& out) {
  choose(row);
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(cost_[width_]) + 2);
  PixelryBYTE* end = put(row, out.data() + at);
  *end++ = 0;
  *end = last ? kEndOfBitmap : kEndOfLine;
}

EncodeStatus encodeRunLength(ByteSink& sink, const FileShape& shape, Target source, const PixelryBYTE* pixels,
                             std::size_t stride) {
  RowEncoder mapRow(shape, source);
  RunLengthCoder code(shape.width, shape.bits);
  FileShape coded = shape;
  std::vector<PixelryBYTE> indices, stream;
  try {
    indices.resize(static_cast<std::size_t>(shape.width));
    if (!mapRow.allocate() || !code.allocate()) return EncodeStatus::noMemory;
    // The file stores the bottom row first.
    for (int y = shape.height - 1; y >= 0; --y) {
      if (!mapRow.indices(pixels + static_cast<std::size_t>(y) * stride, indices.data()))
        return EncodeStatus::badIndex;
      code(indices.data(), y == 0, stream);
      coded.runLengthBytes = static_cast<std::int64_t>(stream.size());
      if (coded.fileBytes() > UINT32_MAX) return EncodeStatus::tooLarge;
    }
  } catch (const std::bad_alloc&) {
    return EncodeStatus::noMemory;
  }
  if (!writeHeaders(sink, coded) || !sink.write(stream.data(), stream.size()))
    return EncodeStatus::writeFailed;
  return writeProfile(sink, coded) ? EncodeStatus::written : EncodeStatus::writeFailed;
}

}  // namespace pixelry::detail
