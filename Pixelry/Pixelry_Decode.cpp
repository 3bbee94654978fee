// The pixel data of a BMP file decoded row by row into a pixel format.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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

// Turns a pixel word into 8-bit channels by the file's masks and widening rule; a
// missing mask gives 0.
class Channels {
 public:
  Channels(const std::uint32_t* masks, Widening widening) : classic_(widening == Widening::classic) {
    for (int c = 0; c < 4; ++c) {
      mask_[c] = masks[c];
      if (masks[c] == 0) continue;
      while (((masks[c] >> shift_[c]) & 1) == 0) ++shift_[c];
      while (bits_[c] < 32 && ((masks[c] >> shift_[c] >> bits_[c]) & 1) != 0) ++bits_[c];
      if (classic_) {
        classicShift(c);
      } else if (bits_[c] <= kTableBits) {
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
  // The classic rule: the shift that brings the mask down to five bits and the shift up
  // by 3; a mask whose top five bits hold fewer than five set bits (four bits or fewer,
  // or gaps) is brought down to bit 0 and widened by its bit count instead.
  void classicShift(int c) {
    const std::uint32_t mask = mask_[c];
    int down = 0;
    while ((mask >> down) > 31) ++down;
    up_[c] = 3;
    if ((mask >> down) < 16) {
      int count = 0;
      for (std::uint32_t m = mask; m != 0; m >>= 1) count += static_cast<int>(m & 1);
      up_[c] = 8 - count;
    } else {
      shift_[c] = down;
    }
  }
  PixelryBYTE channel(int c, std::uint32_t word) const {
    if (mask_[c] == 0) return 0;
    const std::uint32_t v = (word & mask_[c]) >> shift_[c];
    if (classic_) return static_cast<PixelryBYTE>(v << up_[c]);
    return bits_[c] <= kTableBits ? table_[c][v] : widen(v, bits_[c]);
  }

  bool classic_;
  std::uint32_t mask_[4] = {};
  int shift_[4] = {};
  int bits_[4] = {};
  int up_[4] = {};
  std::vector<PixelryBYTE> table_[4];
};

// 32-bit masks that need no more than a copy of the bytes (and perhaps Alpha set).
bool plainThirtyTwo(const FileLayout& layout) {
  return layout.bits == 32 &&
         (!layout.masked ||
          (layout.masks[0] == 0x00FF0000u && layout.masks[1] == 0x0000FF00u &&
           layout.masks[2] == 0x000000FFu && (layout.masks[3] == 0xFF000000u || layout.masks[3] == 0)));
}

// Vectors that report a failed allocation instead of throwing.
template <class T>
bool tryResize(std::vector<T>& vector, std::size_t size) {
  try {
    vector.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

// One stored row (or, in a run-length file, one row of 8-bit indices) into the target.
// Palette indices, and the words of a large 16-bit picture, are looked up in a table of
// their colours already in the target's layout; 24- and 32-bit pixels are reordered in
// one pass; other pixels become RGBApixels first (in place when the target's layout is
// theirs), then the target's layout.
class RowConverter {
 public:
  RowConverter(const FileLayout& layout, Target target)
      : target_(target),
        size_(bytesOf(target)),
        width_(layout.width),
        bits_(layout.encoding == FileLayout::Encoding::rows ? layout.bits : 8),
        whole_(layout.encoding == FileLayout::Encoding::rows ? rowSizeBytes(layout.width, layout.bits)
                                                             : layout.width),
        opaque_(target != Target::image && !layout.alpha()),
        colour_(layout.converting() ? &layout.colour : nullptr),
        channels_(layout.masks, layout.widening) {
    kind_ = isIndexedDepth(bits_)    ? Kind::indexed
            : bits_ == 24            ? Kind::bgr
            : plainThirtyTwo(layout) ? Kind::copy
                                     : Kind::masked;
    // The fourth byte of a plain 32-bit pixel: kept, or made opaque, or 0 when bit fields
    // give no alpha mask.
    alpha32_ = opaque_ ? Alpha::opaque : layout.masked && layout.masks[3] == 0 ? Alpha::zero : Alpha::stored;
  }

  // Allocates what the conversion needs; false when it cannot be.
  bool allocate(const FileLayout& layout) {
    if (kind_ == Kind::indexed && target_ != Target::index8) {
      std::array<RGBApixel, 256> table = tableAsRead(layout);
      return (bits_ == 8 || tryResize(indices_, static_cast<std::size_t>(width_))) &&
             lookUp(table.data(), table.size());
    }
    if (kind_ != Kind::masked) return true;
    // A 16-bit picture of many pixels looks each word up in a table of all 65536.
    if (layout.bits == 16 && static_cast<std::int64_t>(layout.width) * layout.height >= std::int64_t{1}
                                                                                            << 16) {
      std::vector<RGBApixel> words;
      if (!tryResize(words, std::size_t{1} << 16)) return false;
      for (std::uint32_t word = 0; word < words.size(); ++word) words[word] = channels_(word);
      convertColours(words.data(), words.size());
      return lookUp(words.data(), words.size());
    }
    const bool inPlace = target_ == Target::bgra8 || target_ == Target::image;
    return inPlace || tryResize(scratch_, static_cast<std::size_t>(width_));
  }

  // Allocates the row that 24- and 32-bit pixels are converted to sRGB in, when they are.
  bool allocateColours() {
    return colour_ == nullptr || kind_ == Kind::indexed || kind_ == Kind::masked ||
           tryResize(converted_, static_cast<std::size_t>(width_) * 4);
  }

  // Converts a row of which `available` bytes arrived: a row without all its bytes,
  // padding included, is white, but for the whole words of a 16-bit one.
  void operator()(const PixelryBYTE* in, std::int64_t available, PixelryBYTE* out) {
    if (available >= whole_) {
      convert(in, width_, out);
      return;
    }
    fillWhite(target_, out, width_, opaque_);
    if (bits_ == 16) convert(in, available / 2, out);
  }

 private:
  enum class Kind { indexed, bgr, copy, masked };
  enum class Alpha { stored, opaque, zero };

  // Makes the table of count colours in the target's layout, opaque where the file has
  // no alpha.
  bool lookUp(RGBApixel* colours, std::size_t count) {
    if (!tryResize(lookUp_, count * size_)) return false;
    if (opaque_)
      for (std::size_t i = 0; i < count; ++i) colours[i].Alpha = 255;
    storePixels(target_, reinterpret_cast<const PixelryBYTE*>(colours), 4, static_cast<std::int64_t>(count),
                lookUp_.data());
    return true;
  }

  void convert(const PixelryBYTE* in, std::int64_t count, PixelryBYTE* out) {
    if (kind_ == Kind::indexed) {
      // Packed indices are unpacked a byte each first, into out itself for index8.
      if (bits_ != 8 || target_ == Target::index8) {
        PixelryBYTE* indices = target_ == Target::index8 ? out : indices_.data();
        if (bits_ == 4)
          unpack<4>(in, count, indices);
        else if (bits_ == 1)
          unpack<1>(in, count, indices);
        else
          std::memcpy(indices, in, static_cast<std::size_t>(count));
        if (target_ == Target::index8) return;
        in = indices;
      }
      return lookUpEach(count, out, [in](std::int64_t x) { return in[x]; });
    }
    if (kind_ == Kind::bgr) {
      const auto alpha = static_cast<PixelryBYTE>(opaque_ ? 255 : 0);
      return storePixels(target_, converted(in, 3, count), 3, count, out, &alpha);
    }
    if (kind_ == Kind::copy) {
      const auto alpha = static_cast<PixelryBYTE>(alpha32_ == Alpha::opaque ? 255 : 0);
      return storePixels(target_, converted(in, 4, count), 4, count, out,
                         alpha32_ == Alpha::stored ? nullptr : &alpha);
    }
    if (!lookUp_.empty()) return lookUpEach(count, out, [in](std::int64_t x) { return le16(in + 2 * x); });
    // RGBApixel has the byte order of bgra8 and of the image object's rows.
    const bool inPlace = target_ == Target::bgra8 || target_ == Target::image;
    RGBApixel* pixels = inPlace ? reinterpret_cast<RGBApixel*>(out) : scratch_.data();
    for (std::int64_t x = 0; x < count; ++x)
      pixels[x] = channels_(bits_ == 16 ? le16(in + 2 * x) : le32(in + 4 * x));
    convertColours(pixels, static_cast<std::size_t>(count));
    if (opaque_)
      for (std::int64_t x = 0; x < count; ++x) pixels[x].Alpha = 255;
    if (!inPlace) storePixels(target_, reinterpret_cast<const PixelryBYTE*>(pixels), 4, count, out);
  }

  // The count pixels of size bytes at in, converted to sRGB when the file's colours are.
  const PixelryBYTE* converted(const PixelryBYTE* in, int size, std::int64_t count) {
    if (colour_ == nullptr) return in;
    colour_->convert(in, size, count, converted_.data());
    return converted_.data();
  }
  void convertColours(RGBApixel* pixels, std::size_t count) const {
    if (colour_ == nullptr) return;
    auto* bytes = reinterpret_cast<PixelryBYTE*>(pixels);
    colour_->convert(bytes, 4, static_cast<std::int64_t>(count), bytes);
  }

  // Unpacks count indices of `bits` bits, the first in the most significant bits of its
  // byte, into a byte each, a whole byte at a time.
  template <int bits>
  static void unpack(const PixelryBYTE* in, std::int64_t count, PixelryBYTE* out) {
    constexpr int perByte = 8 / bits;
    constexpr unsigned mask = (1u << bits) - 1;
    std::int64_t x = 0;
    for (; x + perByte <= count; x += perByte, ++in)
      for (int k = 0; k < perByte; ++k)
        out[x + k] = static_cast<PixelryBYTE>((*in >> (8 - bits * (k + 1))) & mask);
    for (int k = 0; x < count; ++x, ++k)
      out[x] = static_cast<PixelryBYTE>((*in >> (8 - bits * (k + 1))) & mask);
  }

  // Writes the entries indexAt(x) names for the count pixels, from the table in the
  // target's layout.
  template <class IndexAt>
  void lookUpEach(std::int64_t count, PixelryBYTE* out, IndexAt&& indexAt) const {
    switch (size_) {
      case 4:
        return lookUpRow<4>(lookUp_.data(), count, out, indexAt);
      case 3:
        return lookUpRow<3>(lookUp_.data(), count, out, indexAt);
      default:
        return lookUpRow<1>(lookUp_.data(), count, out, indexAt);
    }
  }

  // The loop itself, over pointers that do not overlap.
  template <std::size_t size, class IndexAt>
  static void lookUpRow(const PixelryBYTE* PIXELRY_RESTRICT table, std::int64_t count,
                        PixelryBYTE* PIXELRY_RESTRICT out, IndexAt indexAt) {
    for (std::int64_t x = 0; x < count; ++x)
      std::memcpy(out + size * static_cast<std::size_t>(x), table + size * indexAt(x), size);
  }

  Target target_;
  std::size_t size_;  // bytes of a pixel in the target's layout
  int width_;
  int bits_;
  std::int64_t whole_;  // the bytes of a whole row
  bool opaque_;
  const ColourSpace* colour_;  // the file's colours, when they are converted to sRGB
  Kind kind_ = Kind::bgr;
  Alpha alpha32_ = Alpha::stored;
  Channels channels_;
  std::vector<PixelryBYTE> lookUp_;  // colours in the target's layout, by index or word
  std::vector<RGBApixel> scratch_;
  std::vector<PixelryBYTE> indices_;    // a row of packed indices, a byte each
  std::vector<PixelryBYTE> converted_;  // a row of 24- or 32-bit pixels converted to sRGB
};

// Uncompressed rows. Read in file order, many rows come in with one read (from memory
// they are decoded where they stand); out of order, each row is sought.
class StoredRows {
 public:
  StoredRows(ByteSource& source, const FileLayout& layout, bool inOrder)
      : source_(source),
        height_(layout.height),
        rowSize_(rowSizeBytes(layout.width, layout.bits)),
        chunkRows_(inOrder ? std::clamp<std::int64_t>(kChunkBytes / rowSize_, 1, layout.height) : 1) {}

  // Allocates the buffer a stream's rows are read into; false when it cannot be.
  bool allocate() {
    if (source_.inMemory()) return true;
    buffer_.reset(new (std::nothrow) PixelryBYTE[static_cast<std::size_t>(chunkRows_ * rowSize_)]);
    return buffer_ != nullptr;
  }

  // The bytes of stored row k (0 is the first row in the file), and how many arrived.
  const PixelryBYTE* row(std::int64_t k, std::int64_t& available) {
    if (k < first_ || k >= first_ + buffered_) fill(k);
    const std::int64_t from = (k - first_) * rowSize_;
    available = std::clamp<std::int64_t>(got_ - from, 0, rowSize_);
    if (available < rowSize_) cut_ = true;
    return bytes_ + from;
  }
  bool cut() const { return cut_; }

 private:
  // Brings rows k and after (as many as a chunk holds) into view.
  void fill(std::int64_t k) {
    const std::int64_t at = k * rowSize_;
    if (at != position_) source_.seekBy(at - position_);
    const std::int64_t rows = std::min(chunkRows_, height_ - k);
    std::size_t got = 0;
    bytes_ = source_.take(static_cast<std::size_t>(rows * rowSize_), got);
    if (!bytes_) {
      got = source_.read(buffer_.get(), static_cast<std::size_t>(rows * rowSize_));
      bytes_ = buffer_.get();
    }
    first_ = k;
    buffered_ = rows;
    got_ = static_cast<std::int64_t>(got);
    position_ = at + got_;
  }

  ByteSource& source_;
  std::int64_t height_, rowSize_, chunkRows_;
  std::unique_ptr<PixelryBYTE[]> buffer_;
  const PixelryBYTE* bytes_ = nullptr;
  std::int64_t first_ = 0, buffered_ = 0, got_ = 0;
  std::int64_t position_ = 0;  // where the source stands, from the first row's first byte
  bool cut_ = false;
};

namespace {

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

// An RLE8 or RLE4 stream, bottom row first, as rows of 8-bit indices. Pixels it never
// sets take index 0. Runs and absolute pixels past the right edge are dropped; the stream
// may move past the top. Cut when the data ends before the end-of-bitmap code.
}  // namespace

class RunLengthRows {
 public:
  RunLengthRows(ByteSource& source, const FileLayout& layout)
      : source_(source),
        four_(layout.encoding == FileLayout::Encoding::rle4),
        width_(layout.width),
        height_(layout.height) {}

  // Allocates the stream's buffer and the row; false when they cannot be.
  bool allocate() {
    try {
      // The reader's buffer is too large for the stack of every thread.
      in_ = std::make_unique<StreamReader>(source_);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return tryResize(row_, static_cast<std::size_t>(width_));
  }

  // Row k as 8-bit indices, asked for in file order.
  const PixelryBYTE* row(std::int64_t k, std::int64_t& available) {
    std::fill(row_.begin(), row_.end(), PixelryBYTE{0});
    available = width_;
    if (!finished_ && line_ == k) decodeLine();
    return row_.data();
  }

 private:
  // Decodes commands into the current line until the stream leaves it.
  void decodeLine() {
    const std::int64_t line = line_;
    PixelryBYTE count, value;
    while (line_ == line && !finished_) {
      if (!in_->next(count) || !in_->next(value)) return stop(true);
      if (count > 0) {  // a run: one index, or two alternating ones at 4 bits
        const std::int64_t inside = room(count);
        for (std::int64_t i = 0; i < inside; ++i)
          row_[static_cast<std::size_t>(x_ + i)] =
              four_ ? static_cast<PixelryBYTE>(i % 2 == 0 ? value >> 4 : value & 15) : value;
        x_ += count;
      } else if (value == 0) {  // end of line
        x_ = 0;
        ++line_;
      } else if (value == 1) {  // end of bitmap
        return stop(false);
      } else if (value == 2) {  // delta: right and up
        PixelryBYTE dx, dy;
        if (!in_->next(dx) || !in_->next(dy)) return stop(true);
        x_ += dx;
        line_ += dy;
      } else if (!absolute(value)) {
        return stop(true);
      }
      // Nothing more can land in the picture.
      if (line_ >= height_) stop(false);
    }
  }

  // value indices, padded to a whole number of 16-bit words; false when the data ends.
  bool absolute(PixelryBYTE value) {
    const int bytes = four_ ? (value + 1) / 2 : value;
    const std::int64_t inside = room(value);
    PixelryBYTE b = 0;
    for (int i = 0; i < bytes; ++i) {
      if (!in_->next(b)) return false;
      const std::int64_t pixel = four_ ? 2 * i : i;
      const auto at = static_cast<std::size_t>(x_ + pixel);
      if (pixel < inside) row_[at] = four_ ? static_cast<PixelryBYTE>(b >> 4) : b;
      if (four_ && pixel + 1 < inside) row_[at + 1] = static_cast<PixelryBYTE>(b & 15);
    }
    x_ += value;
    return bytes % 2 == 0 || in_->next(b);
  }

  // The pixels from x on that still fall inside the row, at most count.
  std::int64_t room(std::int64_t count) const { return x_ >= width_ ? 0 : std::min(count, width_ - x_); }

  void stop(bool cut) {
    finished_ = true;
    cut_ = cut;
  }

 public:
  bool cut() const { return cut_; }

 private:
  ByteSource& source_;
  bool four_;
  std::int64_t width_, height_;
  std::unique_ptr<StreamReader> in_;
  std::vector<PixelryBYTE> row_;
  std::int64_t line_ = 0, x_ = 0;  // where the stream stands, line 0 the bottom row
  bool finished_ = false;
  bool cut_ = false;
};

namespace {

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

std::array<RGBApixel, 256> tableAsRead(const FileLayout& layout) {
  std::array<RGBApixel, 256> table = layout.table;
  if (layout.converting()) {
    auto* bytes = reinterpret_cast<PixelryBYTE*>(table.data());
    layout.colour.convert(bytes, 4, static_cast<std::int64_t>(table.size()), bytes);
  }
  return table;
}

bool PixelRows::canGive(ByteSource& source, const FileLayout& layout, RowOrder order) {
  const bool fileOrder = order == RowOrder::file || (order == RowOrder::topFirst) == layout.topDown;
  return fileOrder || (layout.encoding == FileLayout::Encoding::rows && source.canSeek());
}

PixelRows::PixelRows(ByteSource& source, const FileLayout& layout, Target target, RowOrder order)
    : layout_(layout) {
  reversed_ = order != RowOrder::file && (order == RowOrder::topFirst) != layout.topDown;
  try {
    if (layout.encoding == FileLayout::Encoding::rows)
      stored_ = std::make_unique<StoredRows>(source, layout, !reversed_);
    else
      runs_ = std::make_unique<RunLengthRows>(source, layout);
    convert_ = std::make_unique<RowConverter>(layout, target);
  } catch (const std::bad_alloc&) {
    return;
  }
  allocated_ = (stored_ ? stored_->allocate() : runs_->allocate()) && convert_->allocate(layout) &&
               convert_->allocateColours();
}

PixelRows::~PixelRows() = default;

int PixelRows::nextRow() const {
  if (given_ >= layout_.height) return -1;
  const std::int64_t k = reversed_ ? layout_.height - 1 - given_ : given_;
  return static_cast<int>(layout_.topDown ? k : layout_.height - 1 - k);
}

void PixelRows::decodeNext(PixelryBYTE* out) {
  const std::int64_t k = reversed_ ? layout_.height - 1 - given_ : given_;
  std::int64_t available = 0;
  const PixelryBYTE* bytes = stored_ ? stored_->row(k, available) : runs_->row(k, available);
  (*convert_)(bytes, available, out);
  ++given_;
}

bool PixelRows::cut() const { return stored_ ? stored_->cut() : runs_ && runs_->cut(); }

DecodeStatus decodeInto(ByteSource& source, const FileLayout& layout, Target target, PixelryBYTE* out,
                        std::size_t stride) {
  PixelRows rows(source, layout, target);
  return rows.allocated() ? decodeRows(rows, out, stride) : DecodeStatus::noMemory;
}

DecodeStatus decodeRows(PixelRows& rows, PixelryBYTE* out, std::size_t stride) {
  for (int y = rows.nextRow(); y >= 0; y = rows.nextRow())
    rows.decodeNext(out + static_cast<std::size_t>(y) * stride);
  return rows.cut() ? DecodeStatus::cut : DecodeStatus::whole;
}

Decoded decodeImage(ByteSource& source, const FileLayout& layout) {
  Decoded decoded;
  decoded.grid = allocateGrid(layout.width, layout.height);
  if (!decoded.grid) {
    decoded.status = DecodeStatus::noMemory;
    return decoded;
  }
  const std::size_t count = static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height);
  if (layout.topDown) touchFromTheEnd(decoded.grid.get(), count);
  // RGBApixel has the byte order of the image object's rows.
  decoded.status =
      decodeInto(source, layout, Target::image, reinterpret_cast<PixelryBYTE*>(decoded.grid.get()),
                 static_cast<std::size_t>(layout.width) * sizeof(RGBApixel));
  if (decoded.status == DecodeStatus::noMemory) decoded.grid.reset();
  return decoded;
}

}  // namespace pixelry::detail
