// The codec's buffer calls on the sample picture in memory: pixelry::decode into the
// caller's buffer in every pixel format from every depth and from RLE8, against a memcpy
// of as many bytes; and pixelry::load against stb_image's load from memory.
#ifndef PIXELRY_BENCH_CODECCASES_H
#define PIXELRY_BENCH_CODECCASES_H

#include "FullReaderCases.h"
#include "Stopwatch.h"

namespace bench {

// Reads the sample files in1.bmp ... in32.bmp (which must exist) into memory and codes the
// 8-bit picture as RLE8. Checks every decode and load against the picture, pixel for pixel
// in every format, then times them and prints a line per case (with the goals when goals
// is set). Returns false, after printing the first wrong pixel, when one does not match.
bool runCodecCases(int size, const Repeat& repeat, bool goals, const PathOf& path);

}  // namespace bench

#endif
