#include "Report.h"

#include <cstdio>

namespace bench {

void printRow(const std::string& what, const Best& best, const char* peerName, double goal) {
  const double ratio = best.ours.wall / best.peer.wall;
  std::printf("  %-34s %9.1f %9.1f  %-20s %6.3f", what.c_str(), best.ours.wall, best.peer.wall, peerName,
              ratio);
  if (goal > 0)
    std::printf("  <= %-4g %-6s", goal, ratio <= goal ? "met" : "MISSED");
  else
    std::printf("  %-15s", "");
  std::printf("  cpu %6.3f  (ours: best of %d)\n", best.ours.cpu / best.peer.cpu, best.runs);
  std::fflush(stdout);
}

void printPeak(const std::string& what, long long peakBytes, const std::string& referenceName,
               double referenceBytes, double goal) {
  if (peakBytes < 0) {
    std::printf("  %s: not measured%s\n", what.c_str(), goal > 0 ? "   goal MISSED" : "");
    return;
  }
  const double peak = static_cast<double>(peakBytes);
  std::printf("  %s: %.2f MiB, %s %.2f MiB, ratio %.3f", what.c_str(), peak / 1048576.0,
              referenceName.c_str(), referenceBytes / 1048576.0, peak / referenceBytes);
  if (goal > 0) std::printf("   goal <= %g %s", goal, peak <= goal * referenceBytes ? "met" : "MISSED");
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace bench
