#pragma once
// Short jobs timed in batches: one interval of the clock costs about 20 ns, a fifth of a
// job that takes 100 ns, so such a job runs many times within one interval.

#include <algorithm>

#include "ratio.h"

namespace norv::bench {

// The runs a batch needs to last about `target` seconds when one run takes `estimate`.
inline int BatchRuns(double estimate, double target = 4e-6) {
  return estimate > 0 ? std::clamp(static_cast<int>(target / estimate), 1, 4096) : 1;
}

// Seconds per run of F over `runs` runs timed as one interval (for TRatio::Run, which takes
// a job that returns its seconds as timed by itself).
template <typename F>
double SecondsPerRun(int runs, F&& f) {
  return TRatio::Seconds([&] {
           for (int k = 0; k < runs; ++k) f();
         }) /
         runs;
}

// The runs of F a batch needs, from the fastest of a few single runs.
template <typename F>
int BatchRunsFor(F&& f) {
  double fastest = TRatio::Seconds(f);
  for (int k = 0; k < 7; ++k) fastest = std::min(fastest, TRatio::Seconds(f));
  return BatchRuns(fastest);
}

}  // namespace norv::bench
