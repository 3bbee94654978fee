// A picture made of horizontal runs, the kind run-length coding is for, and the BMP files
// that hold it at 8 and 4 bits: run-length coded (RLE8, RLE4) and uncompressed; and the
// sample picture run-length coded.
#ifndef PIXELRY_BENCH_RUNLENGTHFILES_H
#define PIXELRY_BENCH_RUNLENGTHFILES_H

#include <cstdint>
#include <vector>

#include "SampleImages.h"

namespace bench {

// The colour-table indices of a width x height picture at 8 or 4 bits, one byte a pixel,
// top row first: bands of blocks in a few colours, whose runs vary from one pixel to a
// few hundred, broken by single noisy pixels and by short stretches of noise.
std::vector<std::uint8_t> bandedIndices(int width, int height, int bits);

// The colour table of the banded picture: 2^bits entries, Alpha 0.
std::vector<Colour> bandedTable(int bits);

// The picture as a bottom-up BMP file at bits (8 or 4) with its full colour table:
// run-length coded (RLE8 at 8 bits, RLE4 at 4) when runLength is set, every row ending
// with an end-of-line code and the last with end-of-bitmap; otherwise uncompressed.
std::vector<std::uint8_t> bandedFile(const std::vector<std::uint8_t>& indices, int width, int height,
                                     int bits, bool runLength);

// Appends one row of indices (one byte a pixel) run-length coded at bits (8: RLE8, 4:
// RLE4): runs of three or more equal pixels as encoded runs, what lies between them as
// absolute runs (under three pixels, as short runs), then end-of-line, or end-of-bitmap
// when last is set.
void appendRunLengthRow(std::vector<std::uint8_t>& out, const std::uint8_t* row, int width, int bits,
                        bool last);

// The sample picture's 8-bit file (SampleImages.h) as an RLE8 file: the same colour table
// and indices, every row coded by appendRunLengthRow.
std::vector<std::uint8_t> sampleRunLengthFile(int width, int height);

}  // namespace bench

#endif
