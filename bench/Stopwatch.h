// Best-of-N timing. Ours and the peer's runs alternate, so that a load that comes and goes
// on the machine weighs on both sides of a ratio alike.
#ifndef PIXELRY_BENCH_STOPWATCH_H
#define PIXELRY_BENCH_STOPWATCH_H

#include <algorithm>
#include <chrono>
#include <limits>

namespace bench {

// Milliseconds taken by one call of work; prepare runs first, untimed.
template <class Prepare, class Work>
double timeOnce(Prepare&& prepare, Work&& work) {
  prepare();
  const auto start = std::chrono::steady_clock::now();
  work();
  const auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(stop - start).count();
}

struct Best {
  double ours = std::numeric_limits<double>::infinity();
  double peer = std::numeric_limits<double>::infinity();
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
      const double mine = timeOnce(prepare, ours);
      spent += mine;
      best.ours = std::min(best.ours, mine);
      ++best.runs;
    }
    best.peer = std::min(best.peer, timeOnce(prepare, peer));
  }
  return best;
}

}  // namespace bench

#endif
