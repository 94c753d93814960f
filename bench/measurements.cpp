// Ten measurements of a 4096-point pulse record, frame included (level histogram, top and
// base, thresholds, margins, in-margin levels), as after every acquisition.
// Baseline: one plain pass summing the record's values at the processor's full rate of
// additions: sixteen independent sums, compiled as eight chains of two-lane additions,
// enough that no addition waits for the one before it in its chain (an adder takes 3 or 4
// cycles and starts two a cycle; fewer chains run at a fraction of that rate), timed in
// batches as it takes well under a microsecond. Goal: at most 30 times it. The baseline
// loop's machine code (objdump -d of the release build) holds no library call.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "batch.h"
#include "framework/settings/program_objects.h"
#include "measure/meas_frame.h"
#include "measure/meas_state.h"
#include "ratio.h"

namespace norv {
namespace {

constexpr int kPoints = 4096;  // a multiple of the baseline's sums
constexpr size_t kSums = 16;

// The baseline pass, compiled the same in every build: an -O2 build's cost model would leave
// it sixteen plain sums, and its index checks (the release build's library assertions) one
// test per value.
[[gnu::optimize("vect-cost-model=dynamic")]] double SumOfValues(const std::vector<double>& values) {
  double sums[kSums] = {};
  const double* const data = values.data();
  for (size_t i = 0; i < values.size(); i += kSums) {
#pragma GCC unroll 16
    for (size_t lane = 0; lane < kSums; ++lane) sums[lane] += data[i + lane];
  }
  double sum = 0;
  for (const double s : sums) sum += s;
  return sum;
}

void BM_TenMeasurements(benchmark::State& state) {
  FreshProgramState();
  MeasHooks.SourceShown.Set([](TTraceId) { return true; });
  TSignalObj& rec = SignalObjs()[TTraceId::Ch1];
  rec.SetRecLen(kPoints);
  rec.SetDX(1e-10);
  rec.SetVertScale(0.1);
  rec.SetVertOffset(0);
  // 37.3 samples per period, 30 % high, smooth edges and a little ripple.
  std::vector<double> values(kPoints);
  for (int i = 0; i < kPoints; ++i) {
    const double phase = std::fmod(i, 37.3);
    const double pulse = 0.5 * (std::tanh(phase - 2) - std::tanh(phase - 13));
    values[static_cast<size_t>(i)] = -0.2 + 0.4 * pulse + 0.003 * std::sin(i * 0.7);
    rec.SetY(i, values[static_cast<size_t>(i)]);
  }
  const std::pair<uint8_t, uint8_t> measurements[] = {
      {mgTime, tmPeriod},     {mgTime, tmFrequency},        {mgTime, tmPosWidth},       {mgTime, tmRiseTime},
      {mgTime, tmPosDuty},    {mgAmplitude, amMaximum},     {mgAmplitude, amAmplitude}, {mgAmplitude, amMean},
      {mgAmplitude, amDcRms}, {mgAmplitude, amPosOvershoot}};
  for (const auto& [group, index] : measurements) {
    MeasState.MeasParams[static_cast<size_t>(MeasState.MeasParamCount++)] =
        std::make_unique<TParameterOfMeas>(TTraceId::Ch1, index, group, TTraceId::Ch2);
  }
  const auto sum = [&] { benchmark::DoNotOptimize(SumOfValues(values)); };
  const int sumRuns = bench::BatchRunsFor(sum);
  bench::TRatio::Run(
      state, 30,
      [&] {
        rec.MarkChanged();
        MeasureSource(TTraceId::Ch1, mrNewData);
        benchmark::DoNotOptimize(MeasState.MeasParams[0]->Value);
      },
      [&] { return bench::SecondsPerRun(sumRuns, sum); });
  for (int n = 0; n < MeasState.MeasParamCount; ++n) {
    if (IsUndefined(MeasState.MeasParams[static_cast<size_t>(n)]->Value))
      state.SkipWithError("undefined result");
  }
  FreshProgramState();
}
BENCHMARK(BM_TenMeasurements)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv
