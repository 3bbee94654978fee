// Writing coded by runs against writing uncompressed, the same picture at the same depth:
// the image object's writeMemory with WriteOptions::runLength (RLE8, RLE4) and without, and
// encode from rgb8 and from index8 pixels, on the sample picture (a photograph's noise:
// mostly absolute runs) and on the banded picture (runs of 1 to 400 pixels).
#ifndef PIXELRY_BENCH_RUNLENGTHWRITECASES_H
#define PIXELRY_BENCH_RUNLENGTHWRITECASES_H

#include "Stopwatch.h"

namespace bench {

// Checks that every coded file reads back with the uncompressed file's indices, then times
// each case and prints a line per case (with the goals when goals is set), and the sizes.
// Returns false, after saying which, when a coded file does not read back.
bool runRunLengthWriteCases(int size, const Repeat& repeat, bool goals);

}  // namespace bench

#endif
