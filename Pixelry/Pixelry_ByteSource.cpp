// Reading bytes front to back from a stream or from memory.
#include "detail/ByteSource.h"

#include <climits>
#include <cstring>
#include <new>

namespace pixelry::detail {

std::size_t ByteSource::read(PixelryBYTE* out, std::size_t count) {
  if (file_) return std::fread(out, 1, count, file_);
  const std::size_t got = count < size_ - at_ ? count : size_ - at_;
  if (got > 0) std::memcpy(out, data_ + at_, got);
  at_ += got;
  return got;
}

const PixelryBYTE* ByteSource::take(std::size_t count, std::size_t& got) {
  got = 0;
  if (file_) return nullptr;
  got = count < size_ - at_ ? count : size_ - at_;
  const PixelryBYTE* bytes = data_ + at_;
  at_ += got;
  return bytes;
}

bool ByteSource::peek(std::int64_t distance, PixelryBYTE* out, std::size_t count) {
  if (!file_) {
    const std::int64_t from = static_cast<std::int64_t>(at_) + distance;
    if (from < 0 || from > static_cast<std::int64_t>(size_) || count > size_ - static_cast<std::size_t>(from))
      return false;
    if (count > 0) std::memcpy(out, data_ + from, count);
    return true;
  }
  if (distance < LONG_MIN / 2 || distance > LONG_MAX / 2 ||
      std::fseek(file_, static_cast<long>(distance), SEEK_CUR) != 0)
    return false;
  const std::size_t got = std::fread(out, 1, count, file_);
  const bool back = std::fseek(file_, -static_cast<long>(distance) - static_cast<long>(got), SEEK_CUR) == 0;
  return got == count && back;
}

void ByteSource::skip(std::int64_t count) {
  if (!file_) {
    const auto left = static_cast<std::int64_t>(size_ - at_);
    at_ += static_cast<std::size_t>(count < left ? (count > 0 ? count : 0) : left);
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
