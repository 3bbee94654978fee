// The lines the benchmark prints: one per case, in the same columns for every case.
#ifndef PIXELRY_BENCH_REPORT_H
#define PIXELRY_BENCH_REPORT_H

#include <string>

#include "Stopwatch.h"

namespace bench {

// One line: wall-clock times and their ratio ours / peer, the goal when there is one
// (goal 0: none), and the ratio of CPU times, steadier on a loaded machine.
void printRow(const std::string& what, const Best& best, const char* peerName, double goal);

// One line of peak memory: what was measured against a reference size, and the goal
// (goal 0: none). Prints "not measured" when peakBytes is negative.
void printPeak(const std::string& what, long long peakBytes, const std::string& referenceName,
               double referenceBytes, double goal);

}  // namespace bench

#endif
