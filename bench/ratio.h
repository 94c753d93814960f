#pragma once
// Absolute times differ several-fold between machines, so every benchmark also times a
// baseline that stands for the physical limit of its job and reports the ratio.
//
// Job and baseline take turns in blocks of a few runs each: close enough in time that the
// load of the moment weighs on both alike, and each in its own steady cache state (run
// turn about, the job would evict the baseline's data and flatter the ratio). The medians
// of the per-run times keep pre-empted runs and each block's first, colder run from
// counting. Counters: job_ns and baseline_ns (medians), ratio, goal (the largest ratio
// wanted, 0 for none). Register with ->UseManualTime().
//
// A job or baseline that returns a double has timed itself: it gives its seconds (for a
// job whose runs must be prepared in between, or whose cost comes in cycles of runs).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <type_traits>
#include <vector>

namespace norv::bench {

class TRatio {
 public:
  static constexpr int kBlock = 64;

  // One iteration runs Job once; Baseline runs as often, in blocks.
  template <typename Job, typename Baseline>
  static void Run(benchmark::State& state, double goal, Job&& job, Baseline&& baseline) {
    std::vector<double> jobTimes;
    std::vector<double> baselineTimes;
    jobTimes.reserve(1 << 16);
    baselineTimes.reserve(1 << 16);
    const auto runBaseline = [&] { baselineTimes.push_back(Time(baseline)); };
    for (auto _ : state) {
      jobTimes.push_back(Time(job));
      state.SetIterationTime(jobTimes.back());
      if (jobTimes.size() % kBlock == 0) {
        for (int i = 0; i < kBlock; ++i) runBaseline();
      }
    }
    while (baselineTimes.size() < std::max<size_t>(jobTimes.size(), 1)) runBaseline();
    if (jobTimes.empty()) return;
    const double jobMedian = Median(jobTimes);
    const double baselineMedian = Median(baselineTimes);
    state.counters["job_ns"] = jobMedian * 1e9;
    state.counters["baseline_ns"] = baselineMedian * 1e9;
    state.counters["ratio"] = baselineMedian > 0 ? jobMedian / baselineMedian : 0;
    state.counters["goal"] = goal;
  }

  // Seconds that F takes.
  template <typename F>
  static double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    benchmark::ClobberMemory();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

 private:
  template <typename F>
  static double Time(F& f) {
    if constexpr (std::is_same_v<std::invoke_result_t<F&>, double>) {
      return f();
    } else {
      return Seconds(f);
    }
  }
  static double Median(std::vector<double>& v) {
    const auto middle = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    return *middle;
  }
};

}  // namespace norv::bench
