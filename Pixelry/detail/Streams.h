// Internal: reading from and writing to an already open stream, for harnesses that work
// in memory (fmemopen). The stream is left open.
#ifndef PIXELRY_DETAIL_STREAMS_H
#define PIXELRY_DETAIL_STREAMS_H

#include <cstdio>

#include "../Pixelry_Image.h"

namespace pixelry::detail {

// Behaves as ReadFromFile once the file is open: the same messages, result and image.
bool readFromStream(BMP& image, std::FILE* file, const char* name);
// Writes the bytes WriteToFile would; false when a write failed, without a message.
bool writeToStream(const BMP& image, std::FILE* file);

}  // namespace pixelry::detail

#endif
