// Internal: what the writers share, from the image object's to the row writer: files
// replaced whole, failures and their messages, and the file a buffer is encoded as.
#ifndef PIXELRY_DETAIL_WRITING_H
#define PIXELRY_DETAIL_WRITING_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "../Pixelry_Codec.h"
#include "../Pixelry_IO.h"
#include "Encode.h"

namespace pixelry::detail {

class ByteSink;

// Why a write failed.
enum class WriteFailure { none, dataSize, tooLarge, cannotOpen, incomplete, badIndex };

// Writes a file of shape through body, replacing an existing one only once the new one is
// whole (see OutputFile).
WriteFailure writeFileWith(const char* fileName, const FileShape& shape,
                           const std::function<EncodeStatus(ByteSink&)>& body);
// Writes into out (replacing its contents; empty on failure).
WriteFailure writeMemoryWith(std::vector<PixelryBYTE>& out, const FileShape& shape,
                             const std::function<EncodeStatus(ByteSink&)>& body);
// The Result of a write; name is the file's, quoted, or "memory".
Result writeResult(WriteFailure failure, const std::string& name);
// The file encode writes for its arguments, or Code::badArgument with the reason. An
// adaptive palette is built from pixels; without them (RowWriter) it is refused.
Result shapeOfPixels(const void* pixels, int width, int height, std::size_t stride, PixelFormat format,
                     int bits, const WriteOptions& options, FileShape& shape);

}  // namespace pixelry::detail

#endif
