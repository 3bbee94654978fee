// Reading bytes front to back from a stream or from memory.
#include "detail/ByteSource.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

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
  return count == 0 || peekSome(distance, out, count) == count;
}

std::size_t ByteSource::peekSome(std::int64_t distance, PixelryBYTE* out, std::size_t count) {
  if (!file_) {
    const std::int64_t from = static_cast<std::int64_t>(at_) + distance;
    if (from < 0 || from >= static_cast<std::int64_t>(size_)) return 0;
    const std::size_t got = std::min(count, size_ - static_cast<std::size_t>(from));
    std::memcpy(out, data_ + from, got);
    return got;
  }
  if (count == 0 || !seekFileBy(file_, distance)) return 0;
  const std::size_t got = std::fread(out, 1, count, file_);
  return seekFileBy(file_, -distance - static_cast<std::int64_t>(got)) ? got : 0;
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
  if (file_) return std::fwrite(bytes, 1, count, file_) == count;
  try {
    out_->insert(out_->end(), bytes, bytes + count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace pixelry::detail
