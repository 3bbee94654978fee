// A large file converted to another depth one row at a time (pixelry::RowReader into
// pixelry::RowWriter) against the image object (pixelry::readFile, then
// pixelry::writeFile), each conversion in a fresh process so that its peak memory is its
// own.
#ifndef PIXELRY_BENCH_ROWCASES_H
#define PIXELRY_BENCH_ROWCASES_H

#include <filesystem>

namespace bench {

// Writes the sample picture, size x size, at 1, 8 and 24 bits and as RLE8 into dir, then
// converts 24 -> 8, 8 -> 24, 1 -> 24 and RLE8 -> 24 bits both ways, runs times each,
// alternated, and prints the best times, their ratio and the peak memory of each way.
// Checks first that both ways write the same pixels, and that 24-bit outputs hold the
// picture. Returns false, after saying why, when a check fails or the disk lacks room.
// Removes the files it wrote.
bool runRowCases(int size, int runs, const std::filesystem::path& dir);

// The child's side, when this program's arguments are those runRowCases gives it: runs one
// conversion, prints its wall and CPU milliseconds and the rise of its resident peak
// (VmHWM over VmRSS at the start), and sets status to the exit status. False for other
// arguments.
bool reportConversion(int argc, char** argv, int& status);

}  // namespace bench

#endif
