// Peak memory of one read (ReadFromFile or pixelry::readFile), measured in a fresh
// process so that nothing the benchmark already holds is counted; and the helpers other
// fresh-process measurements share.
#ifndef PIXELRY_BENCH_PEAKMEMORY_H
#define PIXELRY_BENCH_PEAKMEMORY_H

#include <string>

namespace bench {

enum class Reader { classic, full };  // BMP::ReadFromFile, pixelry::readFile

// Bytes by which the resident peak (VmHWM) of a fresh run of this program rises while it
// reads path with reader; -1 when it could not be measured.
long long peakReadBytes(const std::string& path, Reader reader);

// The child's side, when this program's arguments are those peakReadBytes gives it: reads
// the file, prints the rise and sets status to the exit status. False for other arguments.
bool reportPeakRead(int argc, char** argv, int& status);

// A "Vm...:  N kB" line of /proc/self/status (VmRSS, VmHWM), in bytes; -1 when missing.
long long statusBytes(const char* field);

// The path of this program, to start it again in a fresh process; empty when unknown.
std::string selfPath();

}  // namespace bench

#endif
