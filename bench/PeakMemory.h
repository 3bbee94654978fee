// Peak memory of one ReadFromFile, measured in a fresh process so that nothing the
// benchmark already holds is counted.
#ifndef PIXELRY_BENCH_PEAKMEMORY_H
#define PIXELRY_BENCH_PEAKMEMORY_H

#include <string>

namespace bench {

// Bytes by which the resident peak (VmHWM) of a fresh run of this program rises while it
// reads path; -1 when it could not be measured.
long long peakReadBytes(const std::string& path);

// The child's side: reads path and prints the rise; returns the exit status.
int reportPeakRead(const char* path);

}  // namespace bench

#endif
