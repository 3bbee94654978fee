// Best-of-N timing. Ours and the peer's runs alternate, so that a load that comes and goes
// on the machine weighs on both sides of a ratio alike.
#ifndef PIXELRY_BENCH_STOPWATCH_H
#define PIXELRY_BENCH_STOPWATCH_H

#include <time.h>

#include <algorithm>
#include <chrono>
#include <limits>

namespace bench {

// Milliseconds of one call of work, on the wall clock and in CPU time of this process
// (user and system, page faults included). On a loaded machine the wall clock also
// counts the time spent waiting for a core; CPU time does not.
struct Times {
  double wall = std::numeric_limits<double>::infinity();
  double cpu = std::numeric_limits<double>::infinity();
};

inline double cpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// prepare runs first, untimed.
template <class Prepare, class Work>
Times timeOnce(Prepare&& prepare, Work&& work) {
  prepare();
  const double cpuStart = cpuMilliseconds();
  const auto start = std::chrono::steady_clock::now();
  work();
  const auto stop = std::chrono::steady_clock::now();
  return Times{std::chrono::duration<double, std::milli>(stop - start).count(), cpuMilliseconds() - cpuStart};
}

inline void keepBest(Times& best, const Times& run) {
  best.wall = std::min(best.wall, run.wall);
  best.cpu = std::min(best.cpu, run.cpu);
}

struct Best {
  Times ours;
  Times peer;
  int runs = 0;
};

// How many runs a case gets: `runs`, except that our side starts no new run once it has
// spent `budgetMs` (it always runs once), so that a slow case cannot stall the whole run;
// the peer still gets all its runs.
struct Repeat {
  int runs;
  double budgetMs;
};

// Best of the runs of ours and of peer, alternated.
template <class Prepare, class Ours, class Peer>
Best bestOf(Repeat repeat, Prepare&& prepare, Ours&& ours, Peer&& peer) {
  Best best;
  double spent = 0;
  for (int run = 0; run < repeat.runs; ++run) {
    if (run == 0 || spent < repeat.budgetMs) {
      const Times mine = timeOnce(prepare, ours);
      spent += mine.wall;
      keepBest(best.ours, mine);
      ++best.runs;
    }
    keepBest(best.peer, timeOnce(prepare, peer));
  }
  return best;
}

}  // namespace bench

#endif
