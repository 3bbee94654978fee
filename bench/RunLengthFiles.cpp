#include "RunLengthFiles.h"

#include <algorithm>

namespace bench {
namespace {

// Longest run one code holds, and longest stretch of absolute pixels.
constexpr int kMaxCount = 255;
// Rows of a band, which share their blocks.
constexpr int kBandRows = 32;

// The number of equal indices from row[x] on, at most limit.
int runAt(const std::uint8_t* row, int x, int width, int limit) {
  int run = 1;
  while (x + run < width && run < limit && row[x + run] == row[x]) ++run;
  return run;
}

// Two indices in one byte, the first in the high nibble, as RLE4 stores them.
std::uint8_t nibbles(std::uint8_t first, std::uint8_t second) {
  return static_cast<std::uint8_t>(first << 4 | second);
}

// Pixels [x, x + count) as one or two encoded runs: at 4 bits two different indices fit
// one code whose byte alternates them.
void putShortRuns(std::vector<std::uint8_t>& out, const std::uint8_t* row, int x, int count, bool four) {
  if (four) {
    out.push_back(static_cast<std::uint8_t>(count));
    out.push_back(nibbles(row[x], count == 2 ? row[x + 1] : 0));
    return;
  }
  for (int i = 0; i < count; ++i) out.insert(out.end(), {1, row[x + i]});
}

// Pixels [x, x + count) in absolute mode (count >= 3): the indices as they are, packed two
// to a byte at 4 bits, padded to a whole number of 16-bit words.
void putAbsolute(std::vector<std::uint8_t>& out, const std::uint8_t* row, int x, int count, bool four) {
  out.insert(out.end(), {0, static_cast<std::uint8_t>(count)});
  int bytes = 0;
  for (int i = 0; i < count; i += four ? 2 : 1, ++bytes)
    out.push_back(four ? nibbles(row[x + i], i + 1 < count ? row[x + i + 1] : 0) : row[x + i]);
  if (bytes % 2 == 1) out.push_back(0);
}

}  // namespace

void appendRunLengthRow(std::vector<std::uint8_t>& out, const std::uint8_t* row, int width, int bits,
                        bool last) {
  const bool four = bits == 4;
  for (int x = 0; x < width;) {
    const int run = runAt(row, x, width, kMaxCount);
    if (run >= 3) {
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(four ? nibbles(row[x], row[x]) : row[x]);
      x += run;
      continue;
    }
    int end = x;
    while (end < width && end - x < kMaxCount) {
      const int next = runAt(row, end, width, kMaxCount - (end - x));
      if (next >= 3) break;
      end += next;
    }
    const int count = end - x;
    if (count >= 3) {
      putAbsolute(out, row, x, count, four);
    } else {
      putShortRuns(out, row, x, count, four);
    }
    x = end;
  }
  out.insert(out.end(), {0, static_cast<std::uint8_t>(last ? 1 : 0)});  // end of bitmap / of line
}

std::vector<std::uint8_t> bandedIndices(int width, int height, int bits) {
  const std::uint32_t colours = 1U << bits;
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    const auto band = static_cast<std::uint32_t>(y / kBandRows);
    // Blocks: lengths from 1 to a maximum that differs from band to band (4 to 403), each
    // in one of the band's four colours; every row of the band has the same blocks.
    const std::uint32_t longest = 4 + mix(band * 7919U + 1U) % 400;
    std::uint8_t bandColours[4];
    for (std::uint32_t k = 0; k < 4; ++k)
      bandColours[k] = static_cast<std::uint8_t>(mix(band * 4U + k + 99U) % colours);
    for (std::uint32_t x = 0, block = 0; x < static_cast<std::uint32_t>(width); ++block) {
      const std::uint32_t h = mix(band * 1000003U + block);
      const std::uint32_t length = std::min(1 + h % longest, static_cast<std::uint32_t>(width) - x);
      std::fill_n(row + x, length, bandColours[(h >> 20) % 4]);
      x += length;
    }
    // Noise: about one pixel in 97 of any colour, and up to two stretches of 4 to 63.
    for (int x = 0; x < width; ++x) {
      const std::uint32_t h =
          mix(static_cast<std::uint32_t>(y) * 65537U + static_cast<std::uint32_t>(x) + 12345U);
      if (h % 97 == 0) row[x] = static_cast<std::uint8_t>((h >> 8) % colours);
    }
    const std::uint32_t stretches = mix(static_cast<std::uint32_t>(y) + 777U) % 3;
    for (std::uint32_t s = 0; s < stretches; ++s) {
      const std::uint32_t h = mix(static_cast<std::uint32_t>(y) * 3U + s + 4242U);
      const std::uint32_t start = h % static_cast<std::uint32_t>(width);
      const std::uint32_t end = std::min(start + 4 + (h >> 24) % 60, static_cast<std::uint32_t>(width));
      for (std::uint32_t x = start; x < end; ++x) row[x] = static_cast<std::uint8_t>(mix(h + x) % colours);
    }
  }
  return indices;
}

std::vector<Colour> bandedTable(int bits) {
  std::vector<Colour> table;
  for (std::uint32_t i = 0; i < (1U << bits); ++i) {
    const std::uint32_t h = mix(i + 31337U);
    table.push_back(Colour{static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                           static_cast<std::uint8_t>(h >> 16), 0});
  }
  return table;
}

std::vector<std::uint8_t> bandedFile(const std::vector<std::uint8_t>& indices, int width, int height,
                                     int bits, bool runLength) {
  const bool four = bits == 4;
  std::vector<std::uint8_t> pixels;
  for (int y = height - 1; y >= 0; --y) {  // the bottom row first
    const std::uint8_t* row = indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    const std::size_t start = pixels.size();
    if (runLength) {
      appendRunLengthRow(pixels, row, width, bits, y == 0);
      continue;
    }
    for (int x = 0; x < width; x += four ? 2 : 1)
      pixels.push_back(four ? nibbles(row[x], x + 1 < width ? row[x + 1] : 0) : row[x]);
    pixels.resize(start + (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4,
                  0);
  }
  const std::vector<Colour> table = bandedTable(bits);
  std::vector<std::uint8_t> out =
      fileHeaders(width, height, bits, runLength ? (four ? 2 : 1) : 0,
                  static_cast<std::uint32_t>(table.size() * 4), static_cast<std::uint32_t>(pixels.size()));
  for (const Colour& c : table) out.insert(out.end(), {c.blue, c.green, c.red, c.alpha});
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

std::vector<std::uint8_t> sampleRunLengthFile(int width, int height) {
  std::vector<std::uint8_t> pixels;
  for (int y = height - 1; y >= 0; --y)  // the bottom row first
    appendRunLengthRow(pixels, sampleRow(y, width, height, 8).data(), width, 8, y == 0);
  std::vector<std::uint8_t> out = sampleHeaders(width, height, 8, static_cast<std::uint32_t>(pixels.size()));
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

}  // namespace bench
