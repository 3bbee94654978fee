// Internal: where the reader takes its bytes from and the writer puts them, an open
// stream or memory.
#ifndef PIXELRY_DETAIL_BYTESOURCE_H
#define PIXELRY_DETAIL_BYTESOURCE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "../Pixelry_DataTypes.h"

namespace pixelry::detail {

// Bytes are taken front to back, never sought: any stream will do (a pipe, a FIFO). Only
// peek looks elsewhere, where the source allows it.
class ByteSource {
 public:
  // Reads from an open stream, which stays open and is left where reading stopped.
  explicit ByteSource(std::FILE* file) : file_(file) {}
  // Reads from size bytes at data, which must outlive the source.
  ByteSource(const PixelryBYTE* data, std::size_t size) : data_(data), size_(size) {}

  // Copies up to count bytes into out; fewer arrive only at the end. Returns how many.
  std::size_t read(PixelryBYTE* out, std::size_t count);
  // Reads past count bytes in bounded steps, stopping at the end.
  void skip(std::int64_t count);
  // Moves by distance bytes (back when negative); memory may be left behind, where reads
  // find nothing. False when the stream cannot seek.
  bool seekBy(std::int64_t distance);
  // Whether seekBy works here.
  bool canSeek();
  bool inMemory() const { return file_ == nullptr; }
  // The stream read from; null in memory.
  std::FILE* stream() const { return file_; }
  // From memory: the next bytes where they stand (got of them, up to count), taken as
  // read. From a stream: null, and nothing is taken.
  const PixelryBYTE* take(std::size_t count, std::size_t& got);
  // Copies the count bytes that start distance bytes from here (back when negative) into
  // out, and stays where it is. False when they are not all there, or the stream cannot
  // seek.
  bool peek(std::int64_t distance, PixelryBYTE* out, std::size_t count);
  // Shows visit the count bytes that start distance bytes from here, as far as they go,
  // a piece at a time (in memory, where they stand), until visit returns false; stays
  // where it is. Nothing is shown from a stream that cannot seek.
  void scan(std::int64_t distance, std::int64_t count,
            const std::function<bool(const PixelryBYTE*, std::size_t)>& visit);

 private:
  std::FILE* file_ = nullptr;
  const PixelryBYTE* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t at_ = 0;  // in memory: where reading stands, perhaps past the end

  // In memory: the bytes left from where reading stands.
  std::size_t left() const { return at_ < size_ ? size_ - at_ : 0; }
};

// Bytes are put front to back.
class ByteSink {
 public:
  // Writes to an open stream, which stays open.
  explicit ByteSink(std::FILE* file) : file_(file) {}
  // Appends to out.
  explicit ByteSink(std::vector<PixelryBYTE>& out) : out_(&out) {}

  // True when every byte was put.
  bool write(const PixelryBYTE* bytes, std::size_t count);

 private:
  std::FILE* file_ = nullptr;
  std::vector<PixelryBYTE>* out_ = nullptr;
};

}  // namespace pixelry::detail

#endif
