// Reading bytes front to back from a stream or from memory.
#include "detail/ByteSource.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>
#endif

namespace pixelry::detail {

std::size_t ByteSource::read(PixelryBYTE* out, std::size_t count) {
  if (file_) return std::fread(out, 1, count, file_);
  const std::size_t got = count < left() ? count : left();
  if (got > 0) std::memcpy(out, data_ + at_, got);
  at_ += got;
  return got;
}

const PixelryBYTE* ByteSource::take(std::size_t count, std::size_t& got) {
  got = 0;
  if (file_) return nullptr;
  got = count < left() ? count : left();
  const PixelryBYTE* bytes = data_ + (at_ < size_ ? at_ : size_);
  at_ += got;
  return bytes;
}

namespace {

// Moves a stream by distance bytes from where it stands; false where it cannot seek.
bool seekFileBy(std::FILE* file, std::int64_t distance) {
#ifdef _WIN32
  return ::_fseeki64(file, distance, SEEK_CUR) == 0;
#else
  if (distance < std::numeric_limits<off_t>::min() || distance > std::numeric_limits<off_t>::max())
    return false;
  return ::fseeko(file, static_cast<off_t>(distance), SEEK_CUR) == 0;
#endif
}

}  // namespace

bool ByteSource::peek(std::int64_t distance, PixelryBYTE* out, std::size_t count) {
  if (!file_) {
    const std::int64_t from = static_cast<std::int64_t>(at_) + distance;
    if (from < 0 || from > static_cast<std::int64_t>(size_) || count > size_ - static_cast<std::size_t>(from))
      return false;
    if (count > 0) std::memcpy(out, data_ + from, count);
    return true;
  }
  if (count == 0 || !seekFileBy(file_, distance)) return count == 0;
  const std::size_t got = std::fread(out, 1, count, file_);
  const bool back = seekFileBy(file_, -distance - static_cast<std::int64_t>(got));
  return got == count && back;
}

void ByteSource::scan(std::int64_t distance, std::int64_t count,
                      const std::function<bool(const PixelryBYTE*, std::size_t)>& visit) {
  if (!file_) {
    const std::int64_t from = static_cast<std::int64_t>(at_) + distance;
    if (from < 0 || from >= static_cast<std::int64_t>(size_) || count <= 0) return;
    visit(data_ + from,
          static_cast<std::size_t>(std::min<std::int64_t>(count, static_cast<std::int64_t>(size_) - from)));
    return;
  }
  if (count <= 0 || !seekFileBy(file_, distance)) return;
  std::vector<PixelryBYTE> piece;
  std::int64_t read = 0;
  try {
    piece.resize(static_cast<std::size_t>(std::min<std::int64_t>(count, std::int64_t{1} << 20)));
  } catch (const std::bad_alloc&) {
    piece.clear();
  }
  while (read < count && !piece.empty()) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(count - read, static_cast<std::int64_t>(piece.size())));
    const std::size_t got = std::fread(piece.data(), 1, wanted, file_);
    read += static_cast<std::int64_t>(got);
    if (got == 0 || !visit(piece.data(), got)) break;
  }
  seekFileBy(file_, -distance - read);
}

void ByteSource::skip(std::int64_t count) {
  if (!file_) {
    const auto rest = static_cast<std::int64_t>(left());
    at_ += static_cast<std::size_t>(count < rest ? (count > 0 ? count : 0) : rest);
    return;
  }
  PixelryBYTE chunk[4096];
  while (count > 0) {
    const std::size_t size =
        count < static_cast<std::int64_t>(sizeof chunk) ? static_cast<std::size_t>(count) : sizeof chunk;
    if (std::fread(chunk, 1, size, file_) < size) return;
    count -= static_cast<std::int64_t>(size);
  }
}

bool ByteSource::seekBy(std::int64_t distance) {
  if (file_) return seekFileBy(file_, distance);
  const std::int64_t to = static_cast<std::int64_t>(at_) + distance;
  if (to < 0) return false;
  at_ = static_cast<std::size_t>(to);
  return true;
}

bool ByteSource::canSeek() { return !file_ || seekFileBy(file_, 0); }

bool ByteSink::write(const PixelryBYTE* bytes, std::size_t count) {
  // Nothing to put may come as a null pointer (an empty profile's data), which fwrite
  // must not be given.
  if (count == 0) return true;
  if (file_) return std::fwrite(bytes, 1, count, file_) == count;
  try {
    out_->insert(out_->end(), bytes, bytes + count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace pixelry::detail
