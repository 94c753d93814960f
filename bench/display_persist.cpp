// The persistence ageing ticks of a running scope: persistence 2 s, a 4096-point record of
// scattered points every second tick of 12 ms, warmed up for 4.8 s, so that about 300,000
// cells are kept and some 1,600 of them are old enough to go at each tick (erased from the
// cells and the screen). The cells of a record all go at the tick that passes their time,
// so a run is a whole cycle of the clock: ten ticks (12 hundredths, five records), timed
// one by one while the records are drawn and the clock moved between them.
// Baseline: the same life of the same cells in plain arrays: the cells each record draws
// are appended with their time to a ring, in the order they expire; a tick pops the
// expired front and erases from a plain 32-bit picture of the plot each cell that has not
// been drawn again since, asking for the times of the cells 16 entries ahead from memory as
// the job does. Goal: at most 5 times the baseline.

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
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

// The baseline's cells: the time each kept cell was last drawn (0: not kept), a plain
// 32-bit picture of the plot, and a ring of (cell, time) in the order the cells were drawn,
// which is the order they expire in. A tick pops the expired front; an entry whose cell
// was drawn again later no longer holds the cell's time and is passed over. The ring is
// sized once for the cells a persistence time can draw, so that a tick allocates nothing.
class TPlainPersistence {
 public:
  static constexpr size_t kCells = static_cast<size_t>(kPlotWidth) * kHeight;
  static constexpr size_t kAhead = 16;
  static constexpr size_t kRingSize =
      std::bit_ceil((kPersistHundredths * 10 / (kTickMs * kTicksPerRecord) + 2) * size_t{kPoints});

  explicit TPlainPersistence(double rowsPerUnit)
      : scatter_(rowsPerUnit),
        times_(kCells, 0),
        picture_(kCells, 0),
        ringCells_(kRingSize),
        ringTimes_(kRingSize) {}

  // The clock's step; every second one draws a record: its cells get the time of now.
  void Advance(const std::vector<int>& columns) {
    ++ticks_;
    now_ = static_cast<uint32_t>(ticks_ * kTickMs / 10 + 1);
    if (ticks_ % kTicksPerRecord != 0) return;
    for (int i = 0; i < kPoints; ++i) {
      const int row = scatter_.Row(scatter_.NextValue());
      const uint32_t cell =
          static_cast<uint32_t>(row) * kPlotWidth + static_cast<uint32_t>(columns[static_cast<size_t>(i)]);
      uint32_t& time = times_[cell];
      if (time == now_) continue;
      if (time == 0) {
        picture_[cell] = 0xFF80FFFF;
        ++kept_;
      }
      time = now_;
      const size_t at = tail_++ & (kRingSize - 1);
      ringCells_[at] = cell;
      ringTimes_[at] = now_;
    }
  }

  void Tick() {
    const uint32_t expiry = now_ > kPersistHundredths ? now_ - kPersistHundredths : 0;
    uint32_t* const times = times_.data();
    uint32_t* const picture = picture_.data();
    const uint32_t* const ringCells = ringCells_.data();
    const uint32_t* const ringTimes = ringTimes_.data();
    size_t head = head_;
    for (; head != tail_; ++head) {
      // The job's prefetch: the time of the cell some entries ahead.
      if (tail_ - head > kAhead) __builtin_prefetch(times + ringCells[(head + kAhead) & (kRingSize - 1)]);
      const size_t at = head & (kRingSize - 1);
      const uint32_t time = ringTimes[at];
      if (time >= expiry) break;
      const uint32_t cell = ringCells[at];
      if (times[cell] != time) continue;
      times[cell] = 0;
      picture[cell] = 0;
      --kept_;
      ++erased_;
    }
    head_ = head;
    benchmark::DoNotOptimize(picture_.data());
  }

  size_t Kept() const { return kept_; }
  int64_t Erased() const { return erased_; }

 private:
  TScatter scatter_;
  int64_t ticks_ = 0;
  int64_t erased_ = 0;
  size_t kept_ = 0;
  uint32_t now_ = 1;
  size_t head_ = 0;
  size_t tail_ = 0;
  std::vector<uint32_t> times_;
  std::vector<uint32_t> picture_;
  std::vector<uint32_t> ringCells_, ringTimes_;
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
