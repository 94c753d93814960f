#pragma once
// Accumulating trace layers keep cells after the trace's points have left them:
// persistence fades them and erases them when they are older than the persistence time;
// colour grade counts hits per cell and shows left cells in one of five grades against
// the busiest cell. An index of "active" cells (8 x 8 blocks, two mask levels) lets the
// periodic passes visit only the cells that can change. The histogram layer draws bars.

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "display/signal_layers.h"
#include "framework/util/clock.h"

namespace norv {

// Hundredths of a second since the clock was made: the time base of persistence ageing
// and colour-grade refresh. It never reads 0, so a stored time of 0 can mean "none".
class TPersistenceClock {
 public:
  explicit TPersistenceClock(const IClock& clock);
  // Reads the clock.
  void Refresh();
  uint32_t Hundredths() const { return hundredths_; }

 private:
  const IClock& clock_;
  int64_t startMs_;
  uint32_t hundredths_ = 1;
};

// Refreshes the clock and ages the persistence layers on a coarse timer while the
// instrument runs (the clock counts hundredths, so a finer timer gains nothing).
class TPersistenceTicker {
 public:
  static constexpr int kIntervalMs = 12;
  TPersistenceTicker(TPersistenceClock& clock, ITimerFactory& timers, std::function<void()> ageLayers);
  void SetRunning(bool running);
  bool Running() const;

 private:
  TPersistenceClock& clock_;
  std::unique_ptr<ITimer> timer_;
  std::function<void()> ageLayers_;
};

class TComplicatedSignalLayer : public TParentSignalLayer {
 public:
  TComplicatedSignalLayer(std::string name, int width, int height, int index, bool isXY);

  // The clock the layer reads; without one it reads 1.
  void SetClock(const TPersistenceClock* clock) { clock_ = clock; }

  void Show() override;
  void Hide() override;
  void PaintToBitmap(TMonoBitmap& bitmap, bool withMarker) const override;
  bool CellPresent(int x, int y) const override;
  bool IsActive(int x, int y) const;
  uint32_t Accum(int x, int y) const { return accum_[CellIndex(x, y)]; }
  // TScreenLayer::PrefetchCell, with the cell's time or hit count.
  [[gnu::always_inline]] void PrefetchCell(int x, int y) const {
    TParentSignalLayer::PrefetchCell(x, y);
    if (InPlot(x, y)) __builtin_prefetch(&accum_[CellIndex(x, y)], 1);
  }

 protected:
  uint32_t Now() const { return clock_ != nullptr ? clock_->Hundredths() : 1; }
  uint32_t& AccumRef(size_t cellIndex) { return accum_[cellIndex]; }
  uint32_t* AccumData() { return accum_.data(); }
  // Returns the cell's band and block (as BandIndex and BlockIndex number them).
  std::pair<size_t, size_t> MarkActive(int x, int y) {
    CheckMaskIndex(x, y);
    const size_t bandIndex = static_cast<size_t>(x) * blocksY_ + (y >> 3);
    const size_t blockIndex = static_cast<size_t>(x >> 3) * blocksY_ + (y >> 3);
    uint8_t& band = bandMask_[bandIndex];
    if (band == 0) blockMask_[blockIndex] |= static_cast<uint8_t>(1u << (x & 7));
    band |= static_cast<uint8_t>(1u << (y & 7));
    return {bandIndex, blockIndex};
  }
  // True when the cell was in the index.
  bool UnmarkActive(int x, int y) {
    uint8_t& band = bandMask_[BandIndex(x, y)];
    const auto bit = static_cast<uint8_t>(1u << (y & 7));
    if ((band & bit) == 0) return false;
    band &= static_cast<uint8_t>(~bit);
    if (band == 0) blockMask_[BlockIndex(x, y)] &= static_cast<uint8_t>(~(1u << (x & 7)));
    return true;
  }
  // The mask entries of cell (X, Y), which must lie in a band and a block.
  size_t BandIndex(int x, int y) const {
    CheckMaskIndex(x, y);
    return static_cast<size_t>(x) * blocksY_ + (y >> 3);
  }
  size_t BlockIndex(int x, int y) const {
    CheckMaskIndex(x, y);
    return static_cast<size_t>(x >> 3) * blocksY_ + (y >> 3);
  }
  void CheckMaskIndex(int x, int y) const {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(Width()) || y < 0 || (x >> 3) >= blocksX_ ||
        (y >> 3) >= blocksY_) {
      ThrowMaskIndex(x, y);
    }
  }
  [[noreturn]] void ThrowMaskIndex(int x, int y) const;
  size_t BandCount() const { return bandMask_.size(); }
  size_t BlockCount() const { return blockMask_.size(); }
  void ClearMarks();
  // Repaints every active cell (inside the caller's update bracket).
  void RefreshActive();
  // Visits every band of active cells (eight cells of a column, stored together) through
  // the two mask levels as Visit(x, firstRow, firstCell, rowBits); it returns the rows that
  // stay in the index. The eight cells of a band can always be read, active or not.
  template <typename Visit>
  void WalkActiveBands(Visit&& visit) {
    WalkActiveBands([](size_t) { return true; },
                    [&](int x, int firstRow, size_t first, unsigned rows, size_t) {
                      return visit(x, firstRow, first, rows);
                    },
                    [](size_t) {});
  }
  // The same over the blocks for which WantBlock(block) holds, Visit also given the
  // band's index, and DoneBlock(block) after each block walked (blocks and bands are
  // numbered as BlockIndex and BandIndex number them).
  template <typename WantBlock, typename Visit, typename DoneBlock>
  void WalkActiveBands(WantBlock&& wantBlock, Visit&& visit, DoneBlock&& doneBlock) {
    // Block column after block column, so that the bands come in the order they are
    // stored. The masks are worked on in locals: stores through byte pointers would make
    // the compiler reload every member in the inner loop.
    uint8_t* const blocks = blockMask_.data();
    uint8_t* const bands = bandMask_.data();
    const int blocksX = blocksX_;
    const int blocksY = blocksY_;
    const size_t columnCells = static_cast<size_t>(MaxY()) + 1;
    for (int bx = 0; bx < blocksX; ++bx) {
      for (int by = 0; by < blocksY; ++by) {
        const size_t blockIndex = static_cast<size_t>(bx) * blocksY + by;
        uint8_t& block = blocks[blockIndex];
        if (block == 0 || !wantBlock(blockIndex)) continue;
        unsigned keptColumns = block;
        for (unsigned columns = keptColumns; columns != 0; columns &= columns - 1) {
          const int bit = std::countr_zero(columns);
          const int x = bx * 8 + bit;
          const size_t bandIndex = static_cast<size_t>(x) * blocksY + by;
          uint8_t& band = bands[bandIndex];
          const size_t first = static_cast<size_t>(x) * columnCells + static_cast<size_t>(by) * 8;
          const unsigned kept = visit(x, by * 8, first, static_cast<unsigned>(band), bandIndex);
          band = static_cast<uint8_t>(kept);
          if (kept == 0) keptColumns &= ~(1u << bit);
        }
        block = static_cast<uint8_t>(keptColumns);
        doneBlock(blockIndex);
      }
    }
  }
  // Visits every active cell as Visit(x, y, cell); a cell for which Visit returns false
  // leaves the index.
  template <typename Visit>
  void WalkActive(Visit&& visit) {
    WalkActiveBands([&](int x, int firstRow, size_t first, unsigned rows) {
      unsigned kept = rows;
      for (; rows != 0; rows &= rows - 1) {
        const int r = std::countr_zero(rows);
        if (!visit(x, firstRow + r, first + r)) kept &= ~(1u << r);
      }
      return kept;
    });
  }

 private:
  const TPersistenceClock* clock_ = nullptr;
  TLargeBuffer<uint32_t> accum_;
  int blocksX_;
  int blocksY_;
  std::vector<uint8_t> bandMask_;   // [x][y / 8], bit y % 8
  std::vector<uint8_t> blockMask_;  // [x / 8][y / 8], bit x % 8
};

class TPersistSignalLayer final : public TComplicatedSignalLayer {
 public:
  TPersistSignalLayer(std::string name, int width, int height, int index, bool isXY);
  void PutSample(int index, double value) override;
  void PutSamples(int first, std::span<const double> values) override;

  // 160000 s or more, or NaN, is infinite; negative times count as 0.
  void SetPersistTime(double seconds);
  uint32_t PersistTime() const { return persistTime_; }
  bool Infinite() const;
  // Erases the left cells older than the persistence time.
  void AgePoints();

  void Hide() override;
  void SetLayerColorAndOpacity(uint32_t colour) override;
  uint32_t PixelColor(int x, int y) const override;
  uint32_t FadedColour() const { return fadedColour_; }

 protected:
  friend class TParentSignalLayer;
  bool CellVacated(int x, int y, size_t cellIndex, uint32_t& colour) override;
  void CellOccupied(int x, int y) override;

 private:
  // A cell as it was left. The entry is stale once the cell has been left again (its time
  // differs) or taken again (it left the index).
  struct TLeftCell {
    uint16_t X;
    uint16_t Y;
    uint32_t Time;
  };
  const TLeftCell& RingAt(size_t k) const { return ring_[(ringHead_ + k) & (ring_.size() - 1)]; }
  bool Live(const TLeftCell& left) {
    return AccumRef(CellIndex(left.X, left.Y)) == left.Time && IsActive(left.X, left.Y);
  }
  void Append(int x, int y, uint32_t now);
  void Compact();
  void Reserve(size_t entries);
  void EraseExpired(uint32_t expiry);
  void WalkExpired(uint32_t expiry, uint32_t now);
  void RebuildRing();

  uint32_t fadedColour_ = 0;
  uint32_t persistTime_ = 200;
  // The left cells in the order they were left, which is the order they expire in (the
  // clock only moves on and every cell has the same persistence time): a tick takes the
  // expired front. A power of two long, used from ringHead_ for ringSize_ entries.
  std::vector<TLeftCell> ring_;
  size_t ringHead_ = 0;
  size_t ringSize_ = 0;
  size_t activeCount_ = 0;
  uint32_t lastLeft_ = 0;  // the time of the ring's last entry
  // After the clock went back the ring is out of order: ticks walk the active cells until
  // no cell is newer than the clock, and the ring is then built again from them.
  bool walking_ = false;
};

class TColorGrSignalLayer final : public TComplicatedSignalLayer {
 public:
  static constexpr int kGrades = 5;
  TColorGrSignalLayer(std::string name, int width, int height, int index, bool isXY);
  void PutSample(int index, double value) override;
  void PutSamples(int first, std::span<const double> values) override;

  // Same conversion as the persistence time; 0 never restarts.
  void SetRefreshTime(double seconds);
  // Grade 1..5; the colour is made opaque.
  void SetGradeColour(int grade, uint32_t rgb);
  uint32_t GradeColour(int grade) const { return gradeColour_[grade]; }
  uint32_t GradeThreshold(int grade) const { return threshold_[grade]; }
  // The grade of a left cell, 0 while it is not graded.
  int GradeOf(int x, int y) const { return static_cast<int>(Accum(x, y) >> 28); }
  uint32_t HitCount(int x, int y) const { return Accum(x, y) & kCountMask; }

  void Hide() override;
  uint32_t PixelColor(int x, int y) const override;

 protected:
  friend class TParentSignalLayer;
  bool CellVacated(int x, int y, size_t cellIndex, uint32_t& colour) override;
  void CellOccupied(int x, int y) override;
  void PointHit(int x, int y) override;
  void GeometryChanged(bool xyMapping) override;
  void BeforeSignal() override;

 private:
  static constexpr uint32_t kCountMask = 0x0FFFFFFFu;
  // The colour of a left cell of grade G.
  uint32_t LeftColour(int grade) const {
    return grade >= 1 && grade <= kGrades ? gradeColour_[grade] : Colour();
  }
  bool IsBorderCell(int x, int y) const;
  uint32_t ValueOf(int x, uint32_t count) const;
  // ValueOf(X, Count) <= Limit, found without a division (the grades of every left cell
  // are found again whenever the top value grows).
  bool ValueAtMost(int x, uint32_t count, uint32_t limit) const {
    if (limit == UINT32_MAX) return true;
    // floor(count * fewest / points) <= limit exactly when count * fewest < (limit + 1) * points.
    return static_cast<uint64_t>(count) * minPointsPerColumn_ <
           (static_cast<uint64_t>(limit) + 1) * pointsInColumn_[x];
  }
  // The smallest grade whose threshold is at least ValueOf(X, Count) (5 beyond all); true
  // when G changed.
  bool FindGrade(int& grade, int x, uint32_t count) const;
  // The cell at (HitX, HitY) has just been hit.
  void SetTopValue(uint32_t value, int hitX, int hitY);

  uint32_t refreshTime_ = 0;
  uint32_t lastRefresh_ = 0;
  // The grades (bit G, grades above 6 on bit 7) of the left cells of each band and
  // block, or more: a regrade passes over the bands and blocks without a grade that moves.
  static uint8_t GradeBit(uint32_t grade) { return static_cast<uint8_t>(1u << (grade < 7 ? grade : 7)); }
  void NoteGrade(std::pair<size_t, size_t> bandAndBlock, uint32_t grade) {
    const uint8_t bit = GradeBit(grade);
    bandGrades_[bandAndBlock.first] |= bit;
    blockGrades_[bandAndBlock.second] |= bit;
  }
  std::vector<uint8_t> bandGrades_;
  std::vector<uint8_t> blockGrades_;
  std::vector<uint16_t> pointsInColumn_;
  uint32_t minPointsPerColumn_ = 1;
  std::array<uint32_t, kGrades + 1> gradeColour_{};
  std::array<uint32_t, kGrades + 1> threshold_{};
};

// A histogram as bars, one per pixel position.
class THistLayer : public TScreenLayer {
 public:
  THistLayer(std::string name, int width, int height, int index, bool isXY);

  // Orientation 0: bins along the rows, bars grow rightwards; 1: bins along the columns,
  // bars grow upwards. Bars show each bin's share of Total (in dB with LogScale) from
  // Offset, UnitsPerDiv per division.
  void DrawHistogram(int orientation, int binCount, std::span<const uint32_t> bins, bool logScale,
                     double offset, double unitsPerDiv, uint32_t total);
  void Hide() override;
  uint32_t PixelColor(int x, int y) const final;
  bool SameColourEverywhere() const override { return true; }
  int BarLength(int position) const { return barLength_[position]; }
  int BinPosition(int bin) const { return binPosition_[bin]; }

 private:
  void DrawBar(int position, int length);
  int LengthLimit() const;

  int orientation_ = 0;
  int binCount_ = 0;
  double barScale_ = 0;
  std::vector<uint16_t> barLength_;  // per row (orientation 0) or column (1)
  std::vector<uint16_t> binPosition_;
};

}  // namespace norv
