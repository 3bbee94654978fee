// The pixel data of a BMP file decoded into a fresh grid.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "detail/ByteSource.h"
#include "detail/Decode.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/Parse.h"
#include "detail/RowCodecs.h"

namespace pixelry::detail {

namespace {

// Turns a pixel word into 8-bit channels by the file's masks: a channel of n bits
// becomes round(v x 255 / (2^n - 1)); a missing mask gives 0.
class Channels {
 public:
  explicit Channels(const std::uint32_t* masks) {
    for (int c = 0; c < 4; ++c) {
      mask_[c] = masks[c];
      if (masks[c] == 0) continue;
      while (((masks[c] >> shift_[c]) & 1) == 0) ++shift_[c];
      while (bits_[c] < 32 && ((masks[c] >> shift_[c] >> bits_[c]) & 1) != 0) ++bits_[c];
      if (bits_[c] <= kTableBits) {
        table_[c].resize(std::size_t{1} << bits_[c]);
        for (std::uint32_t v = 0; v < table_[c].size(); ++v) table_[c][v] = widen(v, bits_[c]);
      }
    }
  }

  RGBApixel operator()(std::uint32_t word) const {
    return RGBApixel{channel(2, word), channel(1, word), channel(0, word), channel(3, word)};
  }

 private:
  static constexpr int kTableBits = 12;

  static PixelryBYTE widen(std::uint64_t v, int bits) {
    const std::uint64_t top = (std::uint64_t{1} << bits) - 1;
    return static_cast<PixelryBYTE>((2 * v * 255 + top) / (2 * top));
  }
  PixelryBYTE channel(int c, std::uint32_t word) const {
    if (mask_[c] == 0) return 0;
    const std::uint32_t v = (word & mask_[c]) >> shift_[c];
    return bits_[c] <= kTableBits ? table_[c][v] : widen(v, bits_[c]);
  }

  std::uint32_t mask_[4] = {};
  int shift_[4] = {};
  int bits_[4] = {};
  std::vector<PixelryBYTE> table_[4];
};

// The full reader's 32-bit masks that need no more than a copy of the bytes.
bool plainThirtyTwo(const FileLayout& layout) {
  return layout.bits == 32 && layout.masks[0] == 0x00FF0000u && layout.masks[1] == 0x0000FF00u &&
         layout.masks[2] == 0x000000FFu && (layout.masks[3] == 0xFF000000u || layout.masks[3] == 0);
}

class RowDecoder {
 public:
  explicit RowDecoder(const FileLayout& layout)
      : layout_(layout), channels_(layout.masks), copy_(layout.masked && plainThirtyTwo(layout)) {
    // A 16-bit picture of many pixels looks each word up in a table of all 65536.
    if (layout.masked && layout.bits == 16 &&
        static_cast<std::int64_t>(layout.width) * layout.height >= std::int64_t{1} << 16) {
      words_.resize(std::size_t{1} << 16);
      for (std::uint32_t word = 0; word < words_.size(); ++word) words_[word] = channels_(word);
    }
  }

  // Decodes the whole pixels among the first `available` bytes of a row.
  void operator()(const PixelryBYTE* in, std::int64_t available, RGBApixel* out) const {
    const int width = layout_.width;
    if (copy_) {
      decodeDirectRow(32, in, out, width, Alpha24::zero);
      if (layout_.masks[3] == 0)
        for (int x = 0; x < width; ++x) out[x].Alpha = 0;
    } else if (layout_.masked && layout_.bits == 32) {
      for (int x = 0; x < width; ++x, in += 4)
        out[x] = channels_(in[0] | in[1] << 8 | in[2] << 16 | static_cast<std::uint32_t>(in[3]) << 24);
    } else if (layout_.masked) {
      const std::int64_t words = std::min<std::int64_t>(available / 2, width);
      if (!words_.empty())
        for (std::int64_t x = 0; x < words; ++x, in += 2) out[x] = words_[in[0] | in[1] << 8];
      else
        for (std::int64_t x = 0; x < words; ++x, in += 2) out[x] = channels_(in[0] | in[1] << 8);
    } else if (layout_.bits == 16) {
      decode16bitRow(in, available, out, width, layout_.fields);
    } else if (isIndexedDepth(layout_.bits)) {
      decodeIndexedRow(layout_.bits, in, out, width, layout_.table.data());
    } else {
      decodeDirectRow(layout_.bits, in, out, width, Alpha24::zero);
    }
  }

 private:
  const FileLayout& layout_;
  Channels channels_;
  bool copy_;
  std::vector<RGBApixel> words_;
};

// Bytes of a run-length stream, taken a buffer at a time.
class StreamReader {
 public:
  explicit StreamReader(ByteSource& source) : source_(source) {}
  // The next byte into out; false at the end of the data.
  bool next(PixelryBYTE& out) {
    if (at_ == size_) {
      size_ = source_.read(buffer_, sizeof buffer_);
      at_ = 0;
      if (size_ == 0) return false;
    }
    out = buffer_[at_++];
    return true;
  }

 private:
  ByteSource& source_;
  PixelryBYTE buffer_[1 << 16];
  std::size_t size_ = 0, at_ = 0;
};

// Decodes an RLE8 or RLE4 stream. Pixels it never sets take entry 0: each row is given
// entry 0 just before the stream first reaches it, and the rows it never reaches at the
// end. Runs and absolute pixels past the right edge are dropped; the stream may move past
// the top. False when the data ends before the end-of-bitmap code.
bool decodeRle(ByteSource& source, const FileLayout& layout, RGBApixel* grid) {
  const bool four = layout.encoding == FileLayout::Encoding::rle4;
  const std::int64_t width = layout.width;
  std::int64_t x = 0, y = layout.height - 1;  // the file's first row is the bottom one
  std::int64_t unfilled = layout.height - 1;  // the highest row not given entry 0 yet
  auto fillTo = [&](std::int64_t row) {
    for (; unfilled >= row && unfilled >= 0; --unfilled)
      std::fill_n(grid + unfilled * width, width, layout.table[0]);
  };
  // The pixels from x on that still fall inside the picture, at most count.
  auto room = [&](std::int64_t count) {
    if (y < 0 || x >= width) return std::int64_t{0};
    fillTo(y);
    return std::min(count, width - x);
  };
  // The reader's buffer is too large for the stack of every thread.
  const auto reader = std::make_unique<StreamReader>(source);
  StreamReader& in = *reader;
  PixelryBYTE count, value;
  bool ended = false;
  while (!ended && in.next(count) && in.next(value)) {
    if (count > 0) {  // a run: one index, or two alternating ones at 4 bits
      const std::int64_t inside = room(count);
      RGBApixel* at = inside > 0 ? grid + y * width + x : grid;
      if (four) {
        const RGBApixel pair[2] = {layout.table[value >> 4], layout.table[value & 15]};
        for (std::int64_t i = 0; i < inside; ++i) at[i] = pair[i % 2];
      } else {
        std::fill_n(at, inside, layout.table[value]);
      }
      x += count;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      --y;
    } else if (value == 1) {  // end of bitmap
      ended = true;
    } else if (value == 2) {  // delta: right and up
      PixelryBYTE dx, dy;
      if (!in.next(dx) || !in.next(dy)) break;
      x += dx;
      y -= dy;
    } else {  // absolute: value indices, padded to a whole number of 16-bit words
      const int bytes = four ? (value + 1) / 2 : value;
      const std::int64_t inside = room(value);
      RGBApixel* at = inside > 0 ? grid + y * width + x : grid;
      PixelryBYTE b = 0;
      bool whole = true;
      for (int i = 0; i < bytes && whole; ++i) {
        whole = in.next(b);
        if (!whole) break;
        const std::int64_t pixel = four ? 2 * i : i;
        if (pixel < inside) at[pixel] = layout.table[four ? b >> 4 : b];
        if (four && pixel + 1 < inside) at[pixel + 1] = layout.table[b & 15];
      }
      x += value;
      if (!whole || (bytes % 2 == 1 && !in.next(b))) break;
    }
    ended = ended || y < 0;  // nothing more can land in the picture
  }
  fillTo(0);
  return ended;
}

// Writes one pixel in every page of a fresh grid, last page first. A top-down file fills
// the grid from its start; the system maps fresh (huge) pages touched from the end
// faster, so they are touched that way before the rows arrive.
void touchFromTheEnd(RGBApixel* grid, std::size_t count) {
  constexpr std::size_t kPixelsPerPage = 4096 / sizeof(RGBApixel);
  for (std::size_t at = count; at > 0;) {
    at = at > kPixelsPerPage ? at - kPixelsPerPage : 0;
    grid[at] = RGBApixel{0, 0, 0, 0};
  }
}

}  // namespace

Decoded decodeBmp(ByteSource& source, const FileLayout& layout) {
  Decoded decoded;
  const int width = layout.width;
  // Not white yet: the rows the file holds are decoded over it, the others whitened.
  decoded.grid = allocateGrid(width, layout.height);
  if (!decoded.grid) {
    decoded.status = Decoded::Status::gridTooLarge;
    return decoded;
  }
  auto row = [&](int y) {
    return decoded.grid.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
  };

  if (layout.encoding != FileLayout::Encoding::rows) {
    if (!decodeRle(source, layout, decoded.grid.get())) decoded.status = Decoded::Status::cut;
    return decoded;
  }

  // Many rows come in with one read. A bottom-up file stores the bottom row first.
  const std::int64_t rowSize = rowSizeBytes(width, layout.bits);
  const std::int64_t rowsPerChunk = std::clamp<std::int64_t>(kChunkBytes / rowSize, 1, layout.height);
  std::unique_ptr<PixelryBYTE[]> buffer(new (std::nothrow)
                                            PixelryBYTE[static_cast<std::size_t>(rowsPerChunk * rowSize)]);
  if (!buffer) {
    decoded.grid.reset();
    decoded.status = Decoded::Status::bufferTooLarge;
    return decoded;
  }
  const RowDecoder decodeRow(layout);
  if (layout.topDown)
    touchFromTheEnd(decoded.grid.get(),
                    static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.height));
  const int step = layout.topDown ? 1 : -1;
  int y = layout.topDown ? 0 : layout.height - 1;
  for (int left = layout.height; left > 0;) {
    const std::int64_t rows = std::min<std::int64_t>(rowsPerChunk, left);
    // Bytes in memory are decoded where they stand; a stream's are read into the buffer.
    std::size_t taken = 0;
    const PixelryBYTE* in = source.take(static_cast<std::size_t>(rows * rowSize), taken);
    if (!in) {
      taken = source.read(buffer.get(), static_cast<std::size_t>(rows * rowSize));
      in = buffer.get();
    }
    const auto got = static_cast<std::int64_t>(taken);
    const std::int64_t whole = got / rowSize;
    for (std::int64_t k = 0; k < whole; ++k, y += step, --left, in += rowSize) decodeRow(in, rowSize, row(y));
    if (whole == rows) continue;
    // The file ends inside row y: it and the rows after it stay white, but for the whole
    // words a 16-bit row has.
    if (layout.topDown)
      fillWhite(row(y), static_cast<std::size_t>(left) * static_cast<std::size_t>(width));
    else
      fillWhite(row(0), static_cast<std::size_t>(y + 1) * static_cast<std::size_t>(width));
    if (layout.bits == 16) decodeRow(in, got - whole * rowSize, row(y));
    decoded.status = Decoded::Status::cut;
    break;
  }
  return decoded;
}

}  // namespace pixelry::detail
