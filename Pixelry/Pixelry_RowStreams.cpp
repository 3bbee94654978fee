// Reading and writing BMP files one row at a time.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Pixelry_Codec.h"
#include "detail/ByteSource.h"
#include "detail/Decode.h"
#include "detail/Encode.h"
#include "detail/FileNames.h"
#include "detail/Layout.h"
#include "detail/OutputFile.h"
#include "detail/Parse.h"
#include "detail/Verdicts.h"
#include "detail/Writing.h"

using namespace pixelry::detail;

namespace pixelry {

struct RowReader::State {
  std::FILE* owned = nullptr;  // a file opened by name, closed with the reader
  ByteSource source;
  std::string name;
  FileLayout layout;
  Info info;
  Target target = Target::rgba8;
  std::unique_ptr<PixelRows> rows;
  Result result;
  bool cutReported = false;

  State(ByteSource from, std::string quotedName) : source(from), name(std::move(quotedName)) {}
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    rows.reset();
    if (owned) std::fclose(owned);
  }

  Result open(PixelFormat format, RowOrder order, const ReadOptions& options) {
    if (!isKnown(format))
      return failure(Code::badArgument, "Cannot read " + name + ": unknown pixel format.");
    target = targetOf(format);
    const ParseOutcome parsed =
        parseBmp(source, Policy::full, options.maxPixels, options.colour == Colour::toSrgb);
    layout = parsed.layout;
    result = verdictOf(parsed, name, options.maxPixels, target);
    if (!result) return result;
    info = infoOf(parsed);
    if (!PixelRows::canGive(source, layout, order))
      return failure(Code::unsupported,
                     name + ": rows in that order need uncompressed rows and a source that can seek.");
    try {
      rows = std::make_unique<PixelRows>(source, layout, target, order);
    } catch (const std::bad_alloc&) {
      return failure(Code::tooLarge, tooLargeForMemory(name));
    }
    if (!rows->allocated()) {
      rows.reset();
      return failure(Code::tooLarge, tooLargeForMemory(name));
    }
    return result;
  }
};

RowReader::RowReader() = default;
RowReader::RowReader(RowReader&&) noexcept = default;
RowReader& RowReader::operator=(RowReader&&) noexcept = default;
RowReader::~RowReader() = default;

Result RowReader::start(std::unique_ptr<State> opened, PixelFormat format, RowOrder order,
                        const ReadOptions& options) {
  Result result = opened->open(format, order, options);
  if (result) state_ = std::move(opened);
  return result;
}

Result RowReader::open(const char* fileName, PixelFormat format, RowOrder order, const ReadOptions& options) {
  state_.reset();
  std::FILE* file = openFile(fileName, "rb");
  if (!file) return failure(Code::cannotOpen, cannotOpen(quoted(fileName)));
  auto opened = std::make_unique<State>(ByteSource(file), quoted(fileName));
  opened->owned = file;
  return start(std::move(opened), format, order, options);
}

Result RowReader::open(const void* data, std::size_t size, PixelFormat format, RowOrder order,
                       const ReadOptions& options) {
  state_.reset();
  return start(
      std::make_unique<State>(ByteSource(static_cast<const PixelryBYTE*>(data), data ? size : 0), "memory"),
      format, order, options);
}

Result RowReader::open(std::FILE* stream, PixelFormat format, RowOrder order, const ReadOptions& options) {
  state_.reset();
  if (!stream) return failure(Code::badArgument, "Cannot read from a null stream.");
  return start(std::make_unique<State>(ByteSource(stream), "the stream"), format, order, options);
}

const Info& RowReader::info() const {
  static const Info kNone;
  return state_ ? state_->info : kNone;
}

std::size_t RowReader::rowBytes() const {
  return state_ ? static_cast<std::size_t>(state_->layout.width) * bytesOf(state_->target) : 0;
}

bool RowReader::next(void* out, int& y) {
  if (!state_ || !state_->rows || state_->rows->nextRow() < 0) return false;
  y = state_->rows->nextRow();
  state_->rows->decodeNext(static_cast<PixelryBYTE*>(out));
  if (state_->rows->cut() && !state_->cutReported) {
    state_->cutReported = true;
    state_->result.warnings.push_back(cutWarning(state_->layout, state_->name));
  }
  return true;
}

const Result& RowReader::result() const {
  static const Result kNone;
  return state_ ? state_->result : kNone;
}

struct RowWriter::State {
  explicit State(std::string quotedName) : name(std::move(quotedName)) {}

  OutputFile file;  // a file named by the caller, replaced on close
  std::FILE* stream = nullptr;
  std::vector<PixelryBYTE>* memory = nullptr;
  std::unique_ptr<ByteSink> sink;
  std::string name;
  FileShape shape;
  Target source = Target::rgba8;
  std::unique_ptr<RowEncoder> encode;
  std::vector<PixelryBYTE> row;
  int written = 0;

  Result start(int width, int height, PixelFormat format, int bits, const WriteOptions& options) {
    Result result =
        shapeOfPixels(nullptr, width, height, static_cast<std::size_t>(width) * bytesPerPixel(format), format,
                      bits, options, shape);
    if (!result) return result;
    if (shape.fileBytes() > UINT32_MAX) return writeResult(WriteFailure::tooLarge, name);
    source = targetOf(format);
    try {
      encode = std::make_unique<RowEncoder>(shape, source);
      row.resize(static_cast<std::size_t>(shape.rowSize()));
    } catch (const std::bad_alloc&) {
      return failure(Code::tooLarge, "Cannot write " + name + ": the row buffers cannot be allocated.");
    }
    if (!encode->allocate())
      return failure(Code::tooLarge, "Cannot write " + name + ": the row buffers cannot be allocated.");
    return Result{};
  }
};

RowWriter::RowWriter() = default;
RowWriter::RowWriter(RowWriter&&) noexcept = default;
RowWriter& RowWriter::operator=(RowWriter&&) noexcept = default;
RowWriter::~RowWriter() = default;

Result RowWriter::start(std::unique_ptr<State> started, int width, int height, PixelFormat format, int bits,
                        const WriteOptions& options, std::FILE* stream, std::vector<std::uint8_t>* memory,
                        const char* fileName) {
  Result result = started->start(width, height, format, bits, options);
  if (!result) return result;
  if (fileName) {
    if (!PixelrycheckDataSize()) return writeResult(WriteFailure::dataSize, started->name);
    if (!started->file.open(fileName)) return writeResult(WriteFailure::cannotOpen, started->name);
    stream = started->file.stream();
  }
  started->stream = fileName ? nullptr : stream;
  started->memory = memory;
  if (memory) memory->clear();
  started->sink = memory ? std::make_unique<ByteSink>(*memory) : std::make_unique<ByteSink>(stream);
  if (!writeHeaders(*started->sink, started->shape))
    return writeResult(WriteFailure::incomplete, started->name);
  state_ = std::move(started);
  return result;
}

Result RowWriter::open(const char* fileName, int width, int height, PixelFormat format, int bits,
                       const WriteOptions& options) {
  state_.reset();
  return start(std::make_unique<State>(quoted(fileName)), width, height, format, bits, options, nullptr,
               nullptr, fileName);
}

Result RowWriter::open(std::vector<std::uint8_t>& out, int width, int height, PixelFormat format, int bits,
                       const WriteOptions& options) {
  state_.reset();
  return start(std::make_unique<State>("memory"), width, height, format, bits, options, nullptr, &out,
               nullptr);
}

Result RowWriter::open(std::FILE* stream, int width, int height, PixelFormat format, int bits,
                       const WriteOptions& options) {
  state_.reset();
  if (!stream) return failure(Code::badArgument, "Cannot write to a null stream.");
  return start(std::make_unique<State>("the stream"), width, height, format, bits, options, stream, nullptr,
               nullptr);
}

int RowWriter::nextRow() const { return state_ ? state_->shape.height - 1 - state_->written : -1; }

Result RowWriter::write(const void* row) {
  if (!state_) return failure(Code::badArgument, "Cannot write a row: nothing is open.");
  State& state = *state_;
  if (state.written == state.shape.height)
    return failure(Code::badArgument, "Cannot write " + state.name + ": every row is written already.");
  if (!row) return failure(Code::badArgument, "Cannot write " + state.name + ": no pixels.");
  WriteFailure failed = WriteFailure::none;
  if (!(*state.encode)(static_cast<const PixelryBYTE*>(row), state.row.data()))
    failed = WriteFailure::badIndex;
  else if (!state.sink->write(state.row.data(), state.row.size()))
    failed = WriteFailure::incomplete;
  if (failed != WriteFailure::none) {
    if (state.memory) state.memory->clear();
    const std::string name = state.name;
    state_.reset();  // a file is abandoned: its target stays as it was
    return writeResult(failed, name);
  }
  ++state.written;
  return Result{};
}

Result RowWriter::close() {
  if (!state_) return failure(Code::badArgument, "Cannot close: nothing is open.");
  std::unique_ptr<State> state = std::move(state_);
  if (state->written < state->shape.height) {
    if (state->memory) state->memory->clear();
    return failure(Code::badArgument, "Cannot finish " + state->name + ": " + std::to_string(state->written) +
                                          " of " + std::to_string(state->shape.height) +
                                          " rows were written.");
  }
  if (!writeProfile(*state->sink, state->shape)) {
    if (state->memory) state->memory->clear();
    return writeResult(WriteFailure::incomplete, state->name);
  }
  const bool done = state->stream   ? std::fflush(state->stream) == 0
                    : state->memory ? true
                                    : state->file.commit(true);
  return done ? Result{} : writeResult(WriteFailure::incomplete, state->name);
}

}  // namespace pixelry
