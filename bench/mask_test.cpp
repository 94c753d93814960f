// The mask test against every shipped eye mask (read from its file by the program's loader,
// without and with margins, so that the figures follow the files), on the records of both
// channels holding a noisy eye (a bit stream crossing at the mask's crossing points).
//
// BM_MaskTestPath: what the program does per acquisition, in the shape the acquisition
// calls it: CountMaskHitsInRun once per block of points as the cycle hands each block to
// the point store (the simulator's block of 125 words holds 41 or 42 points of two
// channels), for both channels' stored records (the heights, the hit test on the columns
// and mask words kept from the acquisition before, the counters), at record lengths 512
// (the program's default) and 4096. Baseline: one pass summing the stored values the path
// reads. Goal: at most 10 times it.
//
// BM_MaskTestRebuild: the first block of both channels after a change of mask (a change of
// record length, first shown point or zoom does the same): the kept columns of the records
// gathered again, then the block tested. Baseline: copying as many words as the kept
// columns hold. Goal: at most 30 times it. The rebuild computes each point's column and
// reads its words from the mask's tables, which a change leaves out of the cache, so it
// cannot stream as the copy does; it comes once per change of the user's, where the path
// comes with every block.
//
// BM_MaskTestKernel: the batch hit test alone on the same points' screen positions and
// their columns' mask words, gathered beforehand as the program keeps them from one
// acquisition to the next, at every record length 512 .. 4096. Baseline: one pass summing
// those positions. Goal: at most 5 times it.
//
// The summing baselines keep sixteen independent sums (no addition waits for the one before
// it) and are built for the instruction set of the kernel the test takes on this processor.
// Jobs shorter than a few microseconds are timed in batches (batch.h).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch.h"
#include "framework/settings/program_objects.h"
#include "framework/util/numeric_utils.h"
#include "instrument/record/signal_obj.h"
#include "ratio.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_points.h"
#include "tdr_mask/mask_testing.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

constexpr int kMarginPercent = 10;
constexpr int kChannels[2] = {0, 2};  // Ch1, Ch2
constexpr size_t kSums = 16;
// The simulator's block: 125 word times, three for each point of two channels.
constexpr int kBlockWordTimes = 125, kWordTimesPerPoint = 3;

// The first point of block b, as the cycle hands blocks to the point store.
int BlockStart(int b, int points) { return std::min(points, b * kBlockWordTimes / kWordTimesPerPoint); }

// Both channels' records tested block by block, as one acquisition stores them.
void TestBlocks(int points) {
  for (int b = 0; BlockStart(b, points) < points; ++b) {
    const int first = BlockStart(b, points), count = BlockStart(b + 1, points) - first;
    for (const int channel : kChannels) CountMaskHitsInRun(channel, first, count);
  }
}

// Loads the shipped mask of that file (below the standard-mask folder) into MaskObj, as a
// user loads it.
void LoadShippedMask(const std::string& path, int margin) {
  std::string pattern = (fs::temp_directory_path() / "norv-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  const fs::path folder = pattern;
  InstallShippedMasks(folder, folder);
  TMaskEntry entry;
  const bool loaded =
      ReadStandardMaskHeader(folder / path, entry) && LoadStandardMaskFile(folder / path, entry, margin);
  fs::remove_all(folder);
  if (!loaded || !MaskObj) throw std::runtime_error("mask not loaded: " + path);
}

// Both channels' records of `points` points as an acquisition leaves them (0.1 V per
// division, the whole record shown): an eye of bits 2400 screen columns long crossing at
// columns 800 and 3200 between a quarter and three quarters of the screen height, each edge
// a smooth step of about 300 columns, with noise of 1/25 of the screen height and rare
// overshoots.
void StoreEyeRecords(int points) {
  for (const int channel : kChannels) {
    TSignalObj& r = SignalObjs().At(channel);
    r.SetRecLen(static_cast<uint16_t>(points));
    r.SetZoomStep(1);
    r.SetFirstShown(0);
    TRandomSource random(static_cast<uint32_t>(channel + 1));
    const int seed = channel + 1;
    const int bits[3] = {seed & 1, seed >> 1 & 1, 1 - (seed & 1)};
    const double span = r.GetEffScale() * 8;
    for (int i = 0; i < points; ++i) {
      const double x = r.IndexToScreenX(i);
      const double before = x < 2000 ? bits[0] : bits[1], after = x < 2000 ? bits[1] : bits[2];
      const double edge = x < 2000 ? 800 : 3200;
      const double level = before + (after - before) * 0.5 * (1 + std::tanh((x - edge) / 100));
      // One point in 32 overshoots by up to a sixth of the screen height: those hit.
      const double spike = random.UniformInt(32) == 0 ? (level > 0.5 ? 1 : -1) * 170 * random.Uniform() : 0;
      const double screenY = 256 + 512 * level + 40 * (random.Uniform() - 0.5) + spike;
      r.SetY(i, r.GetEffOffset() + (screenY - 512) * span / 1024);
    }
  }
}

// The baselines' passes: sixteen independent sums, compiled the same in every build (an -O2
// build's cost model would leave them plain sums).
[[gnu::always_inline]] inline double SumOfValues(const double* values, size_t count) {
  double sums[kSums] = {};
  for (size_t i = 0; i < count; i += kSums) {
#pragma GCC unroll 16
    for (size_t lane = 0; lane < kSums; ++lane) sums[lane] += values[i + lane];
  }
  double sum = 0;
  for (const double s : sums) sum += s;
  return sum;
}
[[gnu::always_inline]] inline int64_t SumOfPositions(const int32_t* xs, const int32_t* ys, size_t count) {
  int64_t sums[kSums] = {};
  for (size_t i = 0; i < count; i += kSums) {
#pragma GCC unroll 16
    for (size_t lane = 0; lane < kSums; ++lane) sums[lane] += xs[i + lane] + ys[i + lane];
  }
  int64_t sum = 0;
  for (const int64_t s : sums) sum += s;
  return sum;
}
// A copy of words in sixteen lanes: memcpy's string move is many times slower on some
// processors at some distances between source and destination.
[[gnu::always_inline]] inline void CopyWords(const uint32_t* from, uint32_t* to, size_t count) {
  for (size_t i = 0; i < count; i += kSums) {
#pragma GCC unroll 16
    for (size_t lane = 0; lane < kSums; ++lane) to[i + lane] = from[i + lane];
  }
}
[[gnu::optimize("align-loops=64", "vect-cost-model=dynamic", "no-tree-loop-distribute-patterns")]] void
CopyWordsPortable(const uint32_t* from, uint32_t* to, size_t count) {
  CopyWords(from, to, count);
}
[[gnu::optimize("align-loops=64", "vect-cost-model=dynamic")]] double SumOfValuesPortable(
    const double* values, size_t count) {
  return SumOfValues(values, count);
}
[[gnu::optimize("align-loops=64", "vect-cost-model=dynamic")]] int64_t SumOfPositionsPortable(
    const int32_t* xs, const int32_t* ys, size_t count) {
  return SumOfPositions(xs, ys, count);
}
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2"),
  gnu::optimize("align-loops=64", "vect-cost-model=dynamic", "no-tree-loop-distribute-patterns")]] void
CopyWordsAvx2(const uint32_t* from, uint32_t* to, size_t count) {
  CopyWords(from, to, count);
}
[[gnu::target("avx2"), gnu::optimize("align-loops=64", "vect-cost-model=dynamic")]] double SumOfValuesAvx2(
    const double* values, size_t count) {
  return SumOfValues(values, count);
}
[[gnu::target("avx2"), gnu::optimize("align-loops=64", "vect-cost-model=dynamic")]] int64_t
SumOfPositionsAvx2(const int32_t* xs, const int32_t* ys, size_t count) {
  return SumOfPositions(xs, ys, count);
}
#else
void CopyWordsAvx2(const uint32_t* from, uint32_t* to, size_t count) { CopyWords(from, to, count); }
double SumOfValuesAvx2(const double* values, size_t count) { return SumOfValues(values, count); }
int64_t SumOfPositionsAvx2(const int32_t* xs, const int32_t* ys, size_t count) {
  return SumOfPositions(xs, ys, count);
}
#endif

bool Avx2() { return TMask_Obj::KernelSupported(TMask_Obj::TKernel::Avx2); }

// The stored values of both channels, one after the other.
std::vector<double> StoredValues(int points) {
  std::vector<double> values;
  for (const int channel : kChannels)
    for (int i = 0; i < points; ++i) values.push_back(SignalObjs().At(channel).GetStoredY(i));
  return values;
}

// The screen positions of both channels' points as the mask test takes them.
void ScreenPositions(int points, std::vector<int32_t>& xs, std::vector<int32_t>& ys) {
  for (const int channel : kChannels) {
    for (int i = 0; i < points; ++i) {
      int32_t x = 0, y = 0;
      MaskScreenPoint(SignalObjs().At(channel), i, x, y);
      xs.push_back(x);
      ys.push_back(y);
    }
  }
}

void MaskTestPath(benchmark::State& state, const std::string& path, int margin, int points) {
  FreshProgramState();
  LoadShippedMask(path, margin);
  StoreEyeRecords(points);
  const std::vector<double> values = StoredValues(points);
  const auto sum = Avx2() ? SumOfValuesAvx2 : SumOfValuesPortable;
  ClearMaskTestCounters();
  const auto job = [&] {
    TestBlocks(points);
    benchmark::DoNotOptimize(MaskSettings().Counters.data());
  };
  const auto baseline = [&] { benchmark::DoNotOptimize(sum(values.data(), values.size())); };
  const int jobRuns = bench::BatchRunsFor(job), baselineRuns = bench::BatchRunsFor(baseline);
  bench::TRatio::Run(
      state, 10, [&] { return bench::SecondsPerRun(jobRuns, job); },
      [&] { return bench::SecondsPerRun(baselineRuns, baseline); });
  if (MaskSettings().Counters[mcFailSmpl] == 0) state.SkipWithError("no hits: the eye misses the mask");
  MaskObj.reset();
  FreshProgramState();
}

void MaskTestRebuild(benchmark::State& state, const std::string& path, int margin, int points) {
  FreshProgramState();
  // The same mask twice: each load is a mask of its own, whose words must be gathered anew.
  LoadShippedMask(path, margin);
  std::unique_ptr<TMask_Obj> other = std::move(MaskObj);
  LoadShippedMask(path, margin);
  StoreEyeRecords(points);
  const int block = BlockStart(1, points);
  const auto job = [&] {
    std::swap(MaskObj, other);
    for (const int channel : kChannels) CountMaskHitsInRun(channel, 0, block);
    benchmark::DoNotOptimize(MaskSettings().Counters.data());
  };
  // A column's words and the point's column, for each point of both channels.
  const size_t words = std::size(kChannels) * static_cast<size_t>(points) * (MaskObj->ColumnWordRows() + 1);
  std::vector<uint32_t> from(words, 1), to(words);
  const auto copy = Avx2() ? CopyWordsAvx2 : CopyWordsPortable;
  const auto baseline = [&] {
    copy(from.data(), to.data(), words);
    benchmark::DoNotOptimize(to.data());
  };
  const int jobRuns = bench::BatchRunsFor(job), baselineRuns = bench::BatchRunsFor(baseline);
  bench::TRatio::Run(
      state, 30, [&] { return bench::SecondsPerRun(jobRuns, job); },
      [&] { return bench::SecondsPerRun(baselineRuns, baseline); });
  MaskObj.reset();
  FreshProgramState();
}

void MaskTestKernel(benchmark::State& state, const std::string& path, int margin, int points) {
  FreshProgramState();
  LoadShippedMask(path, margin);
  const std::unique_ptr<TMask_Obj> mask = std::move(MaskObj);
  StoreEyeRecords(points);
  std::vector<int32_t> xs, ys;
  ScreenPositions(points, xs, ys);
  std::vector<uint8_t> bits(xs.size());
  std::vector<uint64_t> hitWords((xs.size() + 63) / 64);
  std::vector<uint32_t> words(mask->ColumnWordRows() * xs.size());
  mask->GatherColumnWords(xs.data(), xs.size(), words.data(), xs.size());
  const auto sum = Avx2() ? SumOfPositionsAvx2 : SumOfPositionsPortable;
  const auto job = [&] {
    mask->MaskHitBits(words.data(), xs.size(), xs.data(), ys.data(), xs.size(), bits.data(), hitWords.data());
    benchmark::DoNotOptimize(bits.data());
  };
  const auto baseline = [&] { benchmark::DoNotOptimize(sum(xs.data(), ys.data(), xs.size())); };
  const int jobRuns = bench::BatchRunsFor(job), baselineRuns = bench::BatchRunsFor(baseline);
  bench::TRatio::Run(
      state, 5, [&] { return bench::SecondsPerRun(jobRuns, job); },
      [&] { return bench::SecondsPerRun(baselineRuns, baseline); });
  int hits = 0;
  for (uint8_t b : bits) hits += b != 0;
  state.counters["hits"] = hits;
  FreshProgramState();
}

// One benchmark per shipped mask file, record length and margins off or on.
const bool kRegistered = [] {
  for (const TShippedFile& file : ShippedStandardMasks()) {
    const std::string path(file.Path);
    if (fs::path(path).extension() != ".msk") continue;
    const std::string stem = fs::path(path).stem().string();
    for (const int margin : {0, kMarginPercent}) {
      const std::string suffix = margin != 0 ? "/margins" : "";
      for (const int points : {512, 4096}) {
        const std::string tail = "/" + stem + "/" + std::to_string(points) + suffix;
        benchmark::RegisterBenchmark(("BM_MaskTestPath" + tail).c_str(), MaskTestPath, path, margin, points)
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_MaskTestRebuild" + tail).c_str(), MaskTestRebuild, path, margin,
                                     points)
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
      }
      for (const int points : {512, 1024, 2048, 4096}) {
        const std::string name = "BM_MaskTestKernel/" + stem + "/" + std::to_string(points) + suffix;
        benchmark::RegisterBenchmark(name.c_str(), MaskTestKernel, path, margin, points)
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
  return true;
}();

}  // namespace
}  // namespace norv
