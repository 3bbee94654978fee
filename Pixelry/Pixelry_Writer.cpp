// Saving an image as a BMP file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "Pixelry_FormatDetail.h"
#include "Pixelry_Report.h"
#include "detail/Pixelry_OutputFile.h"

using namespace pixelry::detail;

namespace {

// Sizes of the parts of the file the writer produces.
struct Layout {
  std::int64_t paletteBytes;  // colour table, or the three masks at 16 bits
  std::int64_t rowSize;
  std::int64_t imageBytes;
  std::int64_t fileBytes;
};

Layout layoutOf(int width, int height, int bits) {
  Layout layout{};
  layout.paletteBytes = isIndexedDepth(bits) ? 4 * IntPow(2, bits) : bits == 16 ? 12 : 0;
  layout.rowSize = rowSizeBytes(width, bits);
  layout.imageBytes = height * layout.rowSize;
  layout.fileBytes = kHeadersBytes + layout.paletteBytes + layout.imageBytes;
  return layout;
}

// 16-bit files are written 5-6-5: red 0xF800, green 0x07E0, blue 0x001F, each stored as
// a little-endian 32-bit value.
constexpr PixelryBYTE k565Masks[12] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0};

bool writeBytes(std::FILE* file, const PixelryBYTE* bytes, std::int64_t count) {
  return std::fwrite(bytes, 1, static_cast<std::size_t>(count), file) == static_cast<std::size_t>(count);
}

}  // namespace

bool BMP::WriteToFile(const char* FileName) {
  if (!PixelrycheckDataSize()) {
    failDataSize();
    return false;
  }
  const std::string name = quoted(FileName);
  if (layoutOf(Width, Height, BitDepth).fileBytes > UINT32_MAX) {
    fail({"Cannot write " + name + ": the image is too large for a BMP file."});
    return false;
  }
  pixelry::detail::OutputFile file;
  if (!file.open(FileName)) {
    fail({"Cannot open file " + name + " for output."});
    return false;
  }
  if (!file.commit(WriteToStream(file.stream()))) {
    fail({"Could not write proper amount of data."});
    return false;
  }
  return true;
}

bool BMP::WriteToStream(std::FILE* file) {
  const Layout layout = layoutOf(Width, Height, BitDepth);

  BMFH bmfh;
  bmfh.bfSize = static_cast<PixelryDWORD>(layout.fileBytes);
  bmfh.bfOffBits = static_cast<PixelryDWORD>(kHeadersBytes + layout.paletteBytes);
  BMIH bmih;
  bmih.biSize = 40;
  bmih.biWidth = static_cast<PixelryDWORD>(Width);
  bmih.biHeight = static_cast<PixelryDWORD>(Height);
  bmih.biBitCount = static_cast<PixelryWORD>(BitDepth);
  bmih.biCompression = BitDepth == 16 ? 3 : 0;
  bmih.biSizeImage = static_cast<PixelryDWORD>(layout.imageBytes);
  // An unset resolution is written as 96 dpi.
  bmih.biXPelsPerMeter = static_cast<PixelryDWORD>(XPelsPerMeter != 0 ? XPelsPerMeter : 3780);
  bmih.biYPelsPerMeter = static_cast<PixelryDWORD>(YPelsPerMeter != 0 ? YPelsPerMeter : 3780);
  if (!writeRecord(file, bmfh) || !writeRecord(file, bmih)) return false;

  if (HasColorTable()) {
    // RGBApixel has the byte order of a palette entry.
    PixelryBYTE table[4 * 256];
    for (std::size_t i = 0; i < static_cast<std::size_t>(TellNumberOfColors()); ++i) {
      const RGBApixel& entry = ColorTable[i];
      table[4 * i] = entry.Blue;
      table[4 * i + 1] = entry.Green;
      table[4 * i + 2] = entry.Red;
      table[4 * i + 3] = entry.Alpha;
    }
    if (!writeBytes(file, table, layout.paletteBytes)) return false;
  } else if (BitDepth == 16) {
    if (!writeBytes(file, k565Masks, sizeof k565Masks)) return false;
  }

  // Many rows go out in one write. The buffer is cleared once: the encoders never touch
  // the padding, so it stays 0.
  const std::int64_t rowsPerChunk = std::clamp<std::int64_t>(kChunkBytes / layout.rowSize, 1, Height);
  std::unique_ptr<PixelryBYTE[]> buffer(
      new (std::nothrow) PixelryBYTE[static_cast<std::size_t>(rowsPerChunk * layout.rowSize)]());
  if (!buffer) return false;
  // The file stores the bottom row first.
  for (int y = Height - 1; y >= 0;) {
    const std::int64_t rows = std::min<std::int64_t>(rowsPerChunk, y + 1);
    for (std::int64_t k = 0; k < rows; ++k, --y) PackRow(buffer.get() + k * layout.rowSize, y);
    if (!writeBytes(file, buffer.get(), rows * layout.rowSize)) return false;
  }
  return true;
}

PixelryBYTE BMP::FindClosestColor(RGBApixel& input) {
  // Without a table there is nothing to search: one warning, and the index a search that
  // finds no entry starts from.
  if (!HasColorTable()) {
    warnNoTable("access");
    return 0;
  }
  int best = 0;
  int bestDistance = 999999;
  for (int i = 0; i < TellNumberOfColors(); ++i) {
    const RGBApixel entry = GetColor(i);
    const int distance = IntSquare(entry.Red - input.Red) + IntSquare(entry.Green - input.Green) +
                         IntSquare(entry.Blue - input.Blue);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
    if (bestDistance <= 0) break;
  }
  return static_cast<PixelryBYTE>(best);
}

bool pixelry::detail::writeToStream(BMP& image, std::FILE* file) { return image.WriteToStream(file); }

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
    const int farthest = farthestSquare(e.Red, red) + farthestSquare(e.Green, green) + farthestSquare(e.Blue, blue);
    nearestFarthest = farthest < nearestFarthest ? farthest : nearestFarthest;
  }
  const std::size_t start = candidates_.size();
  for (PixelryBYTE i : distinct_) {
    const RGBApixel& e = table_[i];
    if (nearestSquare(e.Red, red) + nearestSquare(e.Green, green) + nearestSquare(e.Blue, blue) <= nearestFarthest)
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
