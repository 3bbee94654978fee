// The full reader (pixelry::readFile, pixelry::readMemory) against the classic one and
// against itself on other layouts of the same picture: top-down rows, memory instead of a
// file, run-length coding.
#ifndef PIXELRY_BENCH_FULLREADERCASES_H
#define PIXELRY_BENCH_FULLREADERCASES_H

#include <functional>
#include <string>

#include "Stopwatch.h"

namespace bench {

// The path of a benchmark file from its name ("in24.bmp").
using PathOf = std::function<std::string(const std::string&)>;

// Writes the files the full reader is timed on beside the sample files in1.bmp ...
// in32.bmp (which must exist): top-down copies of the 24- and 8-bit ones, and a picture of
// runs, size x size, run-length coded and uncompressed at 8 and 4 bits. Then reads each
// with pixelry::readFile and checks it pixel for pixel against the picture it was made
// from. Returns false, after printing the first difference, when one does not match.
bool makeFullReaderFiles(int size, const PathOf& path);

// Times the full reader on those files and the sample files, prints a line per case (with
// the goals when goals is set), the peak memory of one full read, and removes the files
// makeFullReaderFiles wrote.
void runFullReaderCases(int size, const Repeat& repeat, bool goals, const PathOf& path);

}  // namespace bench

#endif
