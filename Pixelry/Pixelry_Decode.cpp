// The pixel data of a BMP file decoded into a fresh grid.
#include <algorithm>
#include <cstdint>
#include <new>

#include "detail/ByteSource.h"
#include "detail/Decode.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/Parse.h"
#include "detail/RowCodecs.h"

namespace pixelry::detail {

namespace {

void decodeRow(const FileLayout& layout, const PixelryBYTE* in, std::int64_t available, RGBApixel* out) {
  if (layout.bits == 16)
    decode16bitRow(in, available, out, layout.width, layout.fields);
  else if (isIndexedDepth(layout.bits))
    decodeIndexedRow(layout.bits, in, out, layout.width, layout.table.data());
  else
    decodeDirectRow(layout.bits, in, out, layout.width, Alpha24::zero);
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
  auto row = [&](int y) { return decoded.grid.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width); };

  // Many rows come in with one read. The file stores the bottom row first.
  const std::int64_t rowSize = rowSizeBytes(width, layout.bits);
  const std::int64_t rowsPerChunk = std::clamp<std::int64_t>(kChunkBytes / rowSize, 1, layout.height);
  std::unique_ptr<PixelryBYTE[]> buffer(
      new (std::nothrow) PixelryBYTE[static_cast<std::size_t>(rowsPerChunk * rowSize)]);
  if (!buffer) {
    decoded.grid.reset();
    decoded.status = Decoded::Status::bufferTooLarge;
    return decoded;
  }
  for (int y = layout.height - 1; y >= 0;) {
    const std::int64_t rows = std::min<std::int64_t>(rowsPerChunk, y + 1);
    const auto got = static_cast<std::int64_t>(source.read(buffer.get(), static_cast<std::size_t>(rows * rowSize)));
    const std::int64_t whole = got / rowSize;
    const PixelryBYTE* in = buffer.get();
    for (std::int64_t k = 0; k < whole; ++k, --y, in += rowSize) decodeRow(layout, in, rowSize, row(y));
    if (whole == rows) continue;
    // The file ends inside row y: it and the rows above it stay white, but for the
    // whole words a 16-bit row has.
    fillWhite(row(0), static_cast<std::size_t>(y + 1) * static_cast<std::size_t>(width));
    if (layout.bits == 16) decodeRow(layout, in, got - whole * rowSize, row(y));
    decoded.status = Decoded::Status::cut;
    break;
  }
  return decoded;
}

}  // namespace pixelry::detail
