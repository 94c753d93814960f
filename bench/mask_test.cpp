// The mask test of a dual-channel record: 2 x 4096 shown points of an eye (a bit stream
// crossing at the mask's crossing points, with noise), each tested in one batch call
// against a shipped eye mask (hit bits of every polygon), as while mask testing runs. One
// benchmark per mask the program ships, read from its file by the program's loader
// without and with margins, so that the figures follow the files.
// Baseline: one plain pass over the same points (summing their screen positions), built
// for the same instruction set as the kernel the test takes on this processor.
// Goal: at most 5 times it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/util/numeric_utils.h"
#include "ratio.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

constexpr int kPointsPerChannel = 4096;
constexpr int kMarginPercent = 10;

// The shipped mask of that file (below the standard-mask folder), loaded as a user loads
// it.
std::unique_ptr<TMask_Obj> LoadShippedMask(const std::string& path, int margin) {
  std::string pattern = (fs::temp_directory_path() / "norv-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  const fs::path folder = pattern;
  InstallShippedMasks(folder);
  TMaskEntry entry;
  const bool loaded =
      ReadStandardMaskHeader(folder / path, entry) && LoadStandardMaskFile(folder / path, entry, margin);
  fs::remove_all(folder);
  if (!loaded || !MaskObj) throw std::runtime_error("mask not loaded: " + path);
  return std::move(MaskObj);
}

// Screen points of an eye: bits of 2400 columns crossing at X 800 and 3200 between the
// levels Y 256 and 768, each edge a smooth step of about 300 columns, with noise.
void EyeRecord(int seed, std::vector<int32_t>& xs, std::vector<int32_t>& ys) {
  TRandomSource random(static_cast<uint32_t>(seed));
  const int bits[3] = {seed & 1, seed >> 1 & 1, 1 - (seed & 1)};
  for (int i = 0; i < kPointsPerChannel; ++i) {
    const double x = std::round(i * 4000.0 / (kPointsPerChannel - 1));
    const double before = x < 2000 ? bits[0] : bits[1], after = x < 2000 ? bits[1] : bits[2];
    const double edge = x < 2000 ? 800 : 3200;
    const double level = before + (after - before) * 0.5 * (1 + std::tanh((x - edge) / 100));
    xs.push_back(static_cast<int32_t>(x));
    ys.push_back(static_cast<int32_t>(std::lround(256 + 512 * level + 40 * (random.Uniform() - 0.5))));
  }
}

[[gnu::always_inline]] inline int64_t SumOfPositions(const int32_t* xs, const int32_t* ys, size_t count) {
  int64_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum += xs[i] + ys[i];
  return sum;
}
// The loop on a line of its own: where it crosses one, it runs markedly slower on some
// processors, and the figure would change with the placement of the code. Vectorised in
// every build: an -O2 build's cost model would leave it a loop of plain sums.
[[gnu::optimize("align-loops=64", "vect-cost-model=dynamic")]] int64_t SumOfPositionsPortable(
    const int32_t* xs, const int32_t* ys, size_t count) {
  return SumOfPositions(xs, ys, count);
}
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2"), gnu::optimize("align-loops=64", "vect-cost-model=dynamic")]] int64_t
SumOfPositionsAvx2(const int32_t* xs, const int32_t* ys, size_t count) {
  return SumOfPositions(xs, ys, count);
}
#else
int64_t SumOfPositionsAvx2(const int32_t* xs, const int32_t* ys, size_t count) {
  return SumOfPositions(xs, ys, count);
}
#endif

void MaskTestDualRecord(benchmark::State& state, const std::string& path, int margin) {
  const std::unique_ptr<TMask_Obj> mask = LoadShippedMask(path, margin);
  std::vector<int32_t> xs, ys;
  EyeRecord(1, xs, ys);
  EyeRecord(2, xs, ys);
  std::vector<uint8_t> bits(xs.size());
  const auto sum =
      TMask_Obj::KernelSupported(TMask_Obj::TKernel::Avx2) ? SumOfPositionsAvx2 : SumOfPositionsPortable;
  bench::TRatio::Run(
      state, 5,
      [&] {
        mask->MaskHitBits(xs.data(), ys.data(), xs.size(), bits.data());
        benchmark::DoNotOptimize(bits.data());
      },
      [&] { benchmark::DoNotOptimize(sum(xs.data(), ys.data(), xs.size())); });
}

// One benchmark per shipped mask file, without and with margins.
const bool kRegistered = [] {
  for (const TShippedFile& file : ShippedStandardMasks()) {
    const std::string path(file.Path);
    if (fs::path(path).extension() != ".msk") continue;
    for (const int margin : {0, kMarginPercent}) {
      std::string name = "BM_MaskTestDualRecord/" + fs::path(path).stem().string();
      if (margin != 0) name += "/margins";
      benchmark::RegisterBenchmark(name.c_str(), MaskTestDualRecord, path, margin)
          ->UseManualTime()
          ->Unit(benchmark::kMicrosecond);
    }
  }
  return true;
}();

}  // namespace
}  // namespace norv
