// The persistence ageing ticks of a running scope: persistence 2 s, a 4096-point record of
// scattered points every second tick of 12 ms, warmed up for 4.8 s, so that about 300,000
// cells are kept and some 1,600 of them are old enough to go at each tick (erased from the
// cells and the screen). The cells of a record all go at the tick that passes their time,
// so a run is a whole cycle of the clock: ten ticks (12 hundredths, five records), timed
// one by one while the records are drawn and the clock moved between them.
// Baseline: the same life of the same cells in plain arrays: each tick one pass over the
// kept cells' times, packed in a row and compared four at a time (as the layer compares
// them), and every cell found too old erased from a plain 32-bit picture of the plot and
// its slot freed for the next record's cells. Goal: at most 5 times the baseline. The
// baseline loop's machine code (objdump -d of the release build) holds no library call.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "display/accum_layers.h"
#include "display/display_math.h"
#include "display_scene.h"
#include "framework/util/numeric_utils.h"
#include "ratio.h"

namespace norv::bench {
namespace {

constexpr int kTickMs = 12;
constexpr int kTicksPerRecord = 2;
constexpr int kWarmUpTicks = 400;  // 4.8 s
constexpr int kCycleTicks = 10;    // the hundredths and the records come round again
constexpr uint32_t kPersistHundredths = 200;
constexpr uint32_t kSeed = 5;

// The rows of one record: scattered over the whole height, as the layer maps them.
class TScatter {
 public:
  explicit TScatter(double rowsPerUnit) : rowsPerUnit_(rowsPerUnit) {}
  double NextValue() { return random_.Uniform() * 8 - 4; }
  int Row(double value) const {
    constexpr int kMaxY = kHeight - 1;
    return RoundClampedNonNegative(kMaxY / 2 - value * rowsPerUnit_, 1, kMaxY - 1, kMaxY - 1);
  }

 private:
  TRandomSource random_{kSeed};
  double rowsPerUnit_;
};

// The baseline's cells: the time and the picture index of each kept cell in slots of a
// packed row; a free slot holds a time that never expires. Room for every cell of the
// plot is taken at once, so that a tick allocates nothing.
class TPlainPersistence {
 public:
  static constexpr uint32_t kFree = UINT32_MAX;
  static constexpr size_t kCells = static_cast<size_t>(kPlotWidth) * kHeight;

  explicit TPlainPersistence(double rowsPerUnit)
      : scatter_(rowsPerUnit),
        times_(kCells + 4, kFree),
        cells_(kCells + 4, 0),
        free_(kCells + 4),
        picture_(kCells, 0),
        slotOfCell_(kCells, 0) {}

  // The clock's step; every second one draws a record: its cells get the time of now.
  void Advance(const std::vector<int>& columns) {
    ++ticks_;
    now_ = static_cast<uint32_t>(ticks_ * kTickMs / 10 + 1);
    if (ticks_ % kTicksPerRecord != 0) return;
    for (int i = 0; i < kPoints; ++i) {
      const int row = scatter_.Row(scatter_.NextValue());
      const uint32_t cell =
          static_cast<uint32_t>(row) * kPlotWidth + static_cast<uint32_t>(columns[static_cast<size_t>(i)]);
      uint32_t slot = slotOfCell_[cell];
      if (slot >= used_ || cells_[slot] != cell || times_[slot] == kFree) {
        if (freeCount_ == 0) {
          for (int lane = 0; lane < 4; ++lane) free_[freeCount_++] = used_ + 3 - lane;  // whole lanes
          used_ += 4;
        }
        slot = free_[--freeCount_];
        slotOfCell_[cell] = slot;
        cells_[slot] = cell;
        picture_[cell] = 0xFF80FFFF;
      }
      times_[slot] = now_;
    }
  }

  void Tick() {
    using TLanes = uint32_t __attribute__((vector_size(16)));
    const uint32_t expiry = now_ > kPersistHundredths ? now_ - kPersistHundredths : 0;
    const TLanes limit = TLanes{} + expiry;
    uint32_t* const times = times_.data();
    for (uint32_t i = 0; i < used_; i += 4) {
      TLanes lanes;
      std::memcpy(&lanes, times + i, sizeof lanes);
      const TLanes old = lanes < limit;
      uint64_t halves[2];
      std::memcpy(halves, &old, sizeof halves);
      if ((halves[0] | halves[1]) == 0) continue;
      for (uint32_t lane = 0; lane < 4; ++lane) {
        if (old[lane] == 0) continue;
        picture_[cells_[i + lane]] = 0;
        times[i + lane] = kFree;
        free_[freeCount_++] = i + lane;
        ++erased_;
      }
    }
    benchmark::DoNotOptimize(picture_.data());
  }

  size_t Kept() const { return used_ - freeCount_; }
  int64_t Erased() const { return erased_; }

 private:
  TScatter scatter_;
  int64_t ticks_ = 0;
  int64_t erased_ = 0;
  uint32_t now_ = 1;
  uint32_t used_ = 0;
  uint32_t freeCount_ = 0;
  std::vector<uint32_t> times_, cells_, free_;
  std::vector<uint32_t> picture_;
  std::vector<uint32_t> slotOfCell_;
};

void AgeingTick(benchmark::State& state) {
  TBenchScene scene;
  TBenchClock clock;
  TPersistenceClock persistence(clock);
  auto layer = scene.AddTrace<TPersistSignalLayer>(8, TTraceId::Ch1, 0xFF80FFFF);
  layer->SetClock(&persistence);
  layer->SetPersistTime(kPersistHundredths / 100.0);
  layer->SetSignalScale(kPoints, 0, 1);
  TScatter scatter(layer->Scale());
  std::vector<double> record(kPoints);
  int64_t ticks = 0;
  const auto advance = [&] {
    clock.now += kTickMs;
    if (++ticks % kTicksPerRecord != 0) return;
    for (double& value : record) value = scatter.NextValue();
    layer->PutSamples(0, record);
  };
  const auto tick = [&] {
    persistence.Refresh();
    layer->AgePoints();
  };
  TPlainPersistence plain(layer->Scale());
  std::vector<int> columns(kPoints);
  for (int i = 0; i < kPoints; ++i) columns[static_cast<size_t>(i)] = layer->PointColumn(i);
  int64_t erasedBefore = 0;
  for (int i = 0; i < kWarmUpTicks; ++i) {
    if (i == kWarmUpTicks / 2) erasedBefore = plain.Erased();
    advance();
    tick();
    plain.Advance(columns);
    plain.Tick();
  }
  size_t kept = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kPlotWidth; ++x) kept += layer->IsActive(x, y);
  state.counters["kept"] = static_cast<double>(kept);
  state.counters["kept_plain"] = static_cast<double>(plain.Kept());
  state.counters["erased_per_tick"] =
      static_cast<double>(plain.Erased() - erasedBefore) / (kWarmUpTicks - kWarmUpTicks / 2);
  TRatio::Run(
      state, 5,
      [&] {
        double seconds = 0;
        for (int i = 0; i < kCycleTicks; ++i) {
          advance();
          seconds += TRatio::Seconds(tick);
        }
        return seconds;
      },
      [&] {
        double seconds = 0;
        for (int i = 0; i < kCycleTicks; ++i) {
          plain.Advance(columns);
          seconds += TRatio::Seconds([&] { plain.Tick(); });
        }
        return seconds;
      });
}

BENCHMARK(AgeingTick)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv::bench
