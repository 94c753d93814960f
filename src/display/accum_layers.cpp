#include "display/accum_layers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "display/display_math.h"
#include "display/signal_screen.h"
#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"

namespace norv {

// Times at or beyond this many seconds (or NaN) never expire.
static constexpr double kInfiniteSeconds = 160000.0;
static constexpr uint32_t kInfiniteHundredths = 16'000'000;

static uint32_t HundredthsOf(double seconds) {
  if (std::isnan(seconds) || seconds >= kInfiniteSeconds) seconds = kInfiniteSeconds;
  if (seconds < 0) seconds = 0;
  return static_cast<uint32_t>(std::nearbyint(seconds * 100));
}

// --- clock and ticker ---

TPersistenceClock::TPersistenceClock(const IClock& clock) : clock_(clock), startMs_(clock.NowMs()) {}

void TPersistenceClock::Refresh() {
  const int64_t elapsed = std::max<int64_t>(0, clock_.NowMs() - startMs_);
  hundredths_ = static_cast<uint32_t>(elapsed / 10) + 1;
}

TPersistenceTicker::TPersistenceTicker(TPersistenceClock& clock, ITimerFactory& timers,
                                       std::function<void()> ageLayers)
    : clock_(clock), timer_(timers.CreateTimer()), ageLayers_(std::move(ageLayers)) {
  timer_->SetInterval(kIntervalMs);
  timer_->OnTimer = [this] {
    clock_.Refresh();
    if (ageLayers_) ageLayers_();
  };
}

void TPersistenceTicker::SetRunning(bool running) { timer_->SetEnabled(running); }
bool TPersistenceTicker::Running() const { return timer_->Enabled(); }

// --- TComplicatedSignalLayer ---

TComplicatedSignalLayer::TComplicatedSignalLayer(std::string name, int width, int height, int index,
                                                 bool isXY)
    : TParentSignalLayer(std::move(name), width, height, index, isXY),
      // Padded, so that the last column's last band can be read whole.
      accum_(static_cast<size_t>(Width()) * (MaxY() + 1) + 8, 0),
      blocksX_((MaxX() - 1) / 8 + 1),
      blocksY_((MaxY() - 1) / 8 + 1),
      bandMask_(static_cast<size_t>(blocksY_) * Width(), 0),
      blockMask_(static_cast<size_t>(blocksY_) * blocksX_, 0) {}

void TComplicatedSignalLayer::ThrowMaskIndex(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y / 8 >= blocksY_) throw EAssertion("Vot ono BAND");
  throw EAssertion("Vot ono Kv");
}

bool TComplicatedSignalLayer::IsActive(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y / 8 >= blocksY_) return false;
  return (bandMask_[static_cast<size_t>(x) * blocksY_ + y / 8] >> (y % 8)) & 1u;
}

void TComplicatedSignalLayer::ClearMarks() {
  std::fill(bandMask_.begin(), bandMask_.end(), 0);
  std::fill(blockMask_.begin(), blockMask_.end(), 0);
}

void TComplicatedSignalLayer::RefreshActive() {
  WalkActive([this](int x, int y, size_t) {
    RefreshPixel(x, y);
    return true;
  });
}

void TComplicatedSignalLayer::Show() {
  BeginScreenUpdate();
  TParentSignalLayer::Show();
  RefreshActive();
  EndScreenUpdate();
}

void TComplicatedSignalLayer::Hide() {
  BeginScreenUpdate();
  EraseMarked(accum_);
  TParentSignalLayer::Hide();
  ClearMarks();
  EndScreenUpdate();
}

void TComplicatedSignalLayer::PaintToBitmap(TMonoBitmap& bitmap, bool withMarker) const {
  TParentSignalLayer::PaintToBitmap(bitmap, withMarker);
  PaintInner(bitmap, [this](int x, int y) { return Accum(x, y) != 0; });
}

bool TComplicatedSignalLayer::CellPresent(int x, int y) const {
  if (TParentSignalLayer::CellPresent(x, y)) return true;
  return InPlot(x, y) && accum_[CellIndex(x, y)] != 0;
}

// --- TPersistSignalLayer ---

TPersistSignalLayer::TPersistSignalLayer(std::string name, int width, int height, int index, bool isXY)
    : TComplicatedSignalLayer(std::move(name), width, height, index, isXY) {}

void TPersistSignalLayer::SetPersistTime(double seconds) { persistTime_ = HundredthsOf(seconds); }

bool TPersistSignalLayer::Infinite() const { return persistTime_ >= kInfiniteHundredths; }

void TPersistSignalLayer::SetLayerColorAndOpacity(uint32_t colour) {
  if (colour == Colour()) return;
  fadedColour_ = DimmedLayerColour(colour, kPersistFadeDivisor);
  TComplicatedSignalLayer::SetLayerColorAndOpacity(colour);
}

uint32_t TPersistSignalLayer::PixelColor(int x, int y) const {
  if (x < 0 || Cell(x, y) > 0) return Colour();
  return fadedColour_;
}

void TPersistSignalLayer::PutSample(int index, double value) { PutDot(*this, index, value); }
void TPersistSignalLayer::PutSamples(int first, std::span<const double> values) {
  PutDots(*this, first, values);
}

bool TPersistSignalLayer::CellVacated(int x, int y, size_t cellIndex, uint32_t& colour) {
  const uint32_t now = Now();
  AccumRef(cellIndex) = now;
  // A cell left twice without being taken in between counts once.
  if (!IsActive(x, y)) ++activeCount_;
  MarkActive(x, y);
  if (!walking_) Append(x, y, now);
  colour = fadedColour_;
  return true;
}

void TPersistSignalLayer::CellOccupied(int x, int y) {
  if (UnmarkActive(x, y)) --activeCount_;
}

void TPersistSignalLayer::Hide() {
  TComplicatedSignalLayer::Hide();
  ringHead_ = ringSize_ = activeCount_ = 0;
  lastLeft_ = 0;
  walking_ = false;
}

// Stale entries are dropped once they are as many as the live ones and this many more.
static constexpr size_t kStaleSlack = 4096;
static constexpr size_t kMinRing = 4096;

void TPersistSignalLayer::Append(int x, int y, uint32_t now) {
  if (now < lastLeft_) {
    walking_ = true;
    ringHead_ = ringSize_ = 0;
    return;
  }
  lastLeft_ = now;
  if (ringSize_ >= 2 * activeCount_ + kStaleSlack) Compact();
  Reserve(ringSize_ + 1);
  ring_[(ringHead_ + ringSize_) & (ring_.size() - 1)] =
      TLeftCell{static_cast<uint16_t>(x), static_cast<uint16_t>(y), now};
  ++ringSize_;
}

void TPersistSignalLayer::Reserve(size_t entries) {
  if (entries <= ring_.size()) return;
  std::vector<TLeftCell> ring(std::bit_ceil(std::max(entries, kMinRing)));
  for (size_t k = 0; k < ringSize_; ++k) ring[k] = RingAt(k);
  ring_ = std::move(ring);
  ringHead_ = 0;
}

// Keeps one entry per active cell, in order: a kept cell leaves the index until the end,
// so that a second entry of the same cell and time is dropped.
void TPersistSignalLayer::Compact() {
  const size_t mask = ring_.size() - 1;
  size_t kept = 0;
  for (size_t k = 0; k < ringSize_; ++k) {
    const TLeftCell left = RingAt(k);
    if (!Live(left)) continue;
    UnmarkActive(left.X, left.Y);
    ring_[(ringHead_ + kept++) & mask] = left;
  }
  ringSize_ = kept;
  for (size_t k = 0; k < ringSize_; ++k) MarkActive(RingAt(k).X, RingAt(k).Y);
}

void TPersistSignalLayer::RebuildRing() {
  ringHead_ = ringSize_ = 0;
  Reserve(activeCount_);
  WalkActive([this](int x, int y, size_t cell) {
    Reserve(ringSize_ + 1);
    ring_[ringSize_++] = TLeftCell{static_cast<uint16_t>(x), static_cast<uint16_t>(y), AccumRef(cell)};
    return true;
  });
  std::sort(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(ringSize_),
            [](const TLeftCell& a, const TLeftCell& b) { return a.Time < b.Time; });
  lastLeft_ = ringSize_ != 0 ? RingAt(ringSize_ - 1).Time : 0;
  walking_ = false;
}

namespace {

// Four cells side by side (plain lanes where the target has no vector unit).
using TLanes = uint32_t __attribute__((vector_size(16)));

// The lanes of each four-row pattern of a band's mask.
constexpr TLanes RowLanes(unsigned bits) {
  return TLanes{bits & 1u ? ~0u : 0u, bits & 2u ? ~0u : 0u, bits & 4u ? ~0u : 0u, bits & 8u ? ~0u : 0u};
}
constexpr TLanes kRowLanes[16] = {RowLanes(0),  RowLanes(1),  RowLanes(2),  RowLanes(3),
                                  RowLanes(4),  RowLanes(5),  RowLanes(6),  RowLanes(7),
                                  RowLanes(8),  RowLanes(9),  RowLanes(10), RowLanes(11),
                                  RowLanes(12), RowLanes(13), RowLanes(14), RowLanes(15)};

// The rows among Rows (of a band of eight from Left) whose time is before Expiry. The
// eight times are compared at once, as most bands hold nothing that old.
unsigned OldRows(const uint32_t* left, unsigned rows, uint32_t expiry) {
  TLanes low;
  TLanes high;
  std::memcpy(&low, left, sizeof low);
  std::memcpy(&high, left + 4, sizeof high);
  const TLanes limit = TLanes{} + expiry;
  // A comparison gives signed lanes, all ones where it holds.
  const TLanes old =
      (TLanes(low < limit) & kRowLanes[rows & 15u]) | (TLanes(high < limit) & kRowLanes[rows >> 4]);
  uint64_t halves[2];
  std::memcpy(halves, &old, sizeof halves);
  if ((halves[0] | halves[1]) == 0) return 0;
  unsigned bits = 0;
  for (int r = 0; r < 8; ++r) bits |= static_cast<unsigned>(left[r] < expiry) << r;
  return bits & rows;
}

}  // namespace

void TPersistSignalLayer::AgePoints() {
  if (Infinite()) return;
  const uint32_t now = Now();
  const uint32_t expiry = persistTime_ < now ? now - persistTime_ : 0;
  BeginScreenUpdate();
  if (walking_) {
    WalkExpired(expiry, now);
  } else {
    EraseExpired(expiry);
  }
  EndScreenUpdate();
}

void TPersistSignalLayer::EraseExpired(uint32_t expiry) {
  // The expired cells lie all over buffers larger than the caches: the times of those a
  // few entries ahead are asked for from memory, and nearer on the screen's word and pixel
  // of those that will go, so that the misses overlap. (Written out here: a call whose
  // only effect is a prefetch is taken for one without effect.)
  constexpr size_t kAhead = 16;
  constexpr size_t kScreenAhead = 8;
  const size_t mask = ring_.size() - 1;
  uint32_t* const accum = AccumData();
  const TSignalScreen* const screen = GetScreen();
  for (; ringSize_ != 0 && ring_[ringHead_].Time < expiry; ringHead_ = (ringHead_ + 1) & mask, --ringSize_) {
    if (ringSize_ > kAhead) {
      const TLeftCell& ahead = ring_[(ringHead_ + kAhead) & mask];
      __builtin_prefetch(accum + CellIndex(ahead.X, ahead.Y));
    }
    if (screen != nullptr && ringSize_ > kScreenAhead) {
      const TLeftCell& near = ring_[(ringHead_ + kScreenAhead) & mask];
      if (accum[CellIndex(near.X, near.Y)] == near.Time) screen->PrefetchCell(near.X, near.Y);
    }
    const TLeftCell left = ring_[ringHead_];
    uint32_t& time = accum[CellIndex(left.X, left.Y)];
    if (time != left.Time || !UnmarkActive(left.X, left.Y)) continue;
    time = 0;
    --activeCount_;
    ErasePixel(left.X, left.Y);
  }
}

void TPersistSignalLayer::WalkExpired(uint32_t expiry, uint32_t now) {
  uint32_t* const accum = AccumData();
  uint32_t newest = 0;
  WalkActiveBands([&](int x, int firstRow, size_t first, unsigned rows) {
    const unsigned old = OldRows(accum + first, rows, expiry);
    for (unsigned bits = old; bits != 0; bits &= bits - 1) {
      const int r = std::countr_zero(bits);
      ErasePixel(x, firstRow + r);
      accum[first + r] = 0;
      --activeCount_;
    }
    const unsigned kept = rows & ~old;
    for (unsigned bits = kept; bits != 0; bits &= bits - 1) {
      newest = std::max(newest, accum[first + static_cast<size_t>(std::countr_zero(bits))]);
    }
    return kept;
  });
  if (newest <= now) RebuildRing();
}

// --- TColorGrSignalLayer ---

TColorGrSignalLayer::TColorGrSignalLayer(std::string name, int width, int height, int index, bool isXY)
    : TComplicatedSignalLayer(std::move(name), width, height, index, isXY),
      bandGrades_(BandCount(), 0),
      blockGrades_(BlockCount(), 0),
      pointsInColumn_(static_cast<size_t>(Width()) + 1, 1),
      gradeColour_{0, 0xFF800000u, 0xFF000080u, 0xFF008080u, 0xFF800080u, 0xFF808000u} {}

void TColorGrSignalLayer::PutSample(int index, double value) { PutDot(*this, index, value); }
void TColorGrSignalLayer::PutSamples(int first, std::span<const double> values) {
  PutDots(*this, first, values);
}

void TColorGrSignalLayer::SetRefreshTime(double seconds) { refreshTime_ = HundredthsOf(seconds); }

void TColorGrSignalLayer::SetGradeColour(int grade, uint32_t rgb) {
  if (grade < 1 || grade > kGrades) return;
  gradeColour_[grade] = (rgb & 0xFFFFFFu) | kOpaque;
  BeginScreenUpdate();
  RefreshActive();
  EndScreenUpdate();
}

void TColorGrSignalLayer::BeforeSignal() {
  if (refreshTime_ == 0) return;
  const uint32_t now = Now();
  const uint32_t due = now > refreshTime_ ? now - refreshTime_ : 0;
  if (due > lastRefresh_) {
    lastRefresh_ = now;
    Hide();
  }
}

void TColorGrSignalLayer::GeometryChanged(bool xyMapping) {
  std::fill(pointsInColumn_.begin(), pointsInColumn_.end(), 0);
  if (!xyMapping) {
    for (int i = 0; i < PointCount(); ++i) {
      const int column = PointColumn(i);
      if (column < MaxX()) ++pointsInColumn_[column];
    }
  }
  // With no column holding a point (the XY mapping) values are the plain hit counts.
  uint32_t fewest = std::numeric_limits<uint32_t>::max();
  for (int column = 0; column <= MaxX(); ++column) {
    uint16_t& points = pointsInColumn_[column];
    if (points != 0) {
      fewest = std::min<uint32_t>(fewest, points);
    } else {
      points = 1;
    }
  }
  minPointsPerColumn_ = fewest == std::numeric_limits<uint32_t>::max() ? 1 : fewest;
}

bool TColorGrSignalLayer::IsBorderCell(int x, int y) const {
  if (y <= 1 || y >= MaxY() - 1) return true;
  return IsXY() && (x <= 1 || x >= MaxX() - 1);
}

uint32_t TColorGrSignalLayer::ValueOf(int x, uint32_t count) const {
  const uint64_t value = static_cast<uint64_t>(count) * minPointsPerColumn_ / pointsInColumn_[x];
  return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

bool TColorGrSignalLayer::FindGrade(int& grade, int x, uint32_t count) const {
  int found = kGrades;
  for (int g = 1; g < kGrades; ++g) {
    if (ValueAtMost(x, count, threshold_[g])) {
      found = g;
      break;
    }
  }
  const bool changed = found != grade;
  grade = found;
  return changed;
}

void TColorGrSignalLayer::SetTopValue(uint32_t value, int hitX, int hitY) {
  const std::array<uint32_t, kGrades + 1> before = threshold_;
  threshold_ = GradeThresholds(value);
  const auto regrade = [this](int x, int y, size_t cell) {
    uint32_t& accum = AccumRef(cell);
    int grade = static_cast<int>(accum >> 28);
    const uint32_t count = accum & kCountMask;
    if (FindGrade(grade, x, count)) {
      accum = (static_cast<uint32_t>(grade) << 28) | count;
      ShowPixel(x, y, Cell(x, y) > 0 ? Colour() : LeftColour(grade));
    }
    return static_cast<uint32_t>(grade);
  };
  BeginScreenUpdate();
  if (std::equal(threshold_.begin() + 1, threshold_.end() - 1, before.begin() + 1)) {
    // Every left cell keeps the grade of the thresholds below the top, except the cell
    // just hit (its grade was reset with its count) when it is a left one.
    if (IsActive(hitX, hitY)) {
      NoteGrade({BandIndex(hitX, hitY), BlockIndex(hitX, hitY)}, regrade(hitX, hitY, CellIndex(hitX, hitY)));
    }
  } else {
    // The graded left cells agree with the thresholds before. When none of these fell
    // and they still rise with the grade, a cell of grade G moves only when threshold
    // G - 1 rose (it can then only fall): the others are passed over. Grade 0 (just
    // hit) is always found again.
    uint32_t moving = 0xFF;
    bool rising = true;
    for (int g = 1; g < kGrades; ++g) {
      rising = rising && threshold_[g] >= before[g] && (g == 1 || threshold_[g] >= threshold_[g - 1]);
    }
    if (rising) {
      moving = 0xFFu << (kGrades + 1) | 1u;
      for (int g = 2; g <= kGrades; ++g) {
        if (threshold_[g - 1] != before[g - 1]) moving |= 1u << g;
      }
    }
    if (IsActive(hitX, hitY)) NoteGrade({BandIndex(hitX, hitY), BlockIndex(hitX, hitY)}, 0);
    const uint32_t* const accum = AccumData();
    uint8_t* const bandGrades = bandGrades_.data();
    uint8_t* const blockGrades = blockGrades_.data();
    uint32_t blockSet = 0;
    WalkActiveBands(
        [&](size_t block) {
          blockSet = 0;
          return (blockGrades[block] & moving) != 0;
        },
        [&](int x, int firstRow, size_t first, unsigned rows, size_t band) {
          uint32_t set = bandGrades[band];
          if (set & moving) {
            // The band's grades are found again from its cells.
            set = 0;
            for (unsigned bits = rows; bits != 0; bits &= bits - 1) {
              const int r = std::countr_zero(bits);
              uint32_t grade = accum[first + r] >> 28;
              // A graded cell moves only when the threshold below its grade, which rose,
              // has reached its value.
              if (((moving >> (grade < 7 ? grade : 7)) & 1u) &&
                  (!rising || grade < 2 || grade > kGrades ||
                   ValueAtMost(x, accum[first + r] & kCountMask, threshold_[grade - 1]))) {
                grade = regrade(x, firstRow + r, first + r);
              }
              set |= GradeBit(grade);
            }
            bandGrades[band] = static_cast<uint8_t>(set);
          }
          blockSet |= set;
          return rows;
        },
        [&](size_t block) { blockGrades[block] = static_cast<uint8_t>(blockSet); });
  }
  EndScreenUpdate();
}

void TColorGrSignalLayer::PointHit(int x, int y) {
  if (IsBorderCell(x, y)) return;
  uint32_t& accum = AccumRef(CellIndex(x, y));
  const uint32_t count = std::min((accum & kCountMask) + 1, kCountMask);
  accum = count;
  if (!ValueAtMost(x, count, threshold_[kGrades])) SetTopValue(ValueOf(x, count), x, y);
}

bool TColorGrSignalLayer::CellVacated(int x, int y, size_t cellIndex, uint32_t& colour) {
  if (IsBorderCell(x, y)) return false;
  uint32_t& accum = AccumRef(cellIndex);
  int grade = static_cast<int>(accum >> 28);
  const uint32_t count = accum & kCountMask;
  if (FindGrade(grade, x, count)) {
    accum = (static_cast<uint32_t>(grade) << 28) | count;
  }
  NoteGrade(MarkActive(x, y), static_cast<uint32_t>(grade));
  colour = LeftColour(grade);
  return true;
}

void TColorGrSignalLayer::CellOccupied(int x, int y) { UnmarkActive(x, y); }

uint32_t TColorGrSignalLayer::PixelColor(int x, int y) const {
  if (x < 0 || Cell(x, y) > 0) return Colour();
  return LeftColour(static_cast<int>(Accum(x, y) >> 28));
}

void TColorGrSignalLayer::Hide() {
  TComplicatedSignalLayer::Hide();
  threshold_.fill(0);
  std::fill(bandGrades_.begin(), bandGrades_.end(), 0);
  std::fill(blockGrades_.begin(), blockGrades_.end(), 0);
}

// --- THistLayer ---

THistLayer::THistLayer(std::string name, int width, int height, int index, bool isXY)
    : TScreenLayer(std::move(name), width, height, index, isXY),
      barLength_(static_cast<size_t>(std::max(MaxX(), MaxY())) + 1, 0),
      binPosition_(kMaxRecordPoints, 0) {}

uint32_t THistLayer::PixelColor(int, int) const { return Colour(); }

int THistLayer::LengthLimit() const { return orientation_ == 0 ? MaxX() - 1 : MaxY() - 1; }

void THistLayer::DrawBar(int position, int length) {
  if (position < 1 || position >= static_cast<int>(barLength_.size())) return;
  length = std::clamp(length, 0, LengthLimit());
  const int old = barLength_[position];
  if (length == old) return;
  const auto cellOf = [&](int k) {
    return orientation_ == 0 ? std::pair{k, position} : std::pair{position, MaxY() - k};
  };
  // Cells between the old and the new end change: they go when the bar shrinks.
  const bool grows = length > old;
  for (int k = std::min(old, length) + 1; k <= std::max(old, length); ++k) {
    const auto [x, y] = cellOf(k);
    if (InPlot(x, y)) PutCell(x, y, grows);
  }
  barLength_[position] = static_cast<uint16_t>(length);
}

void THistLayer::Hide() {
  BeginScreenUpdate();
  for (size_t position = 0; position < barLength_.size(); ++position) {
    if (barLength_[position] != 0) DrawBar(static_cast<int>(position), 0);
  }
  EndScreenUpdate();
}

void THistLayer::DrawHistogram(int orientation, int binCount, std::span<const uint32_t> bins, bool logScale,
                               double offset, double unitsPerDiv, uint32_t total) {
  orientation = orientation == 0 ? 0 : 1;
  const int count =
      std::clamp<int>(std::min<size_t>(std::max(binCount, 0), bins.size()), 0, kMaxRecordPoints);
  BeginScreenUpdate();
  if (orientation != orientation_ || count != binCount_) {
    Hide();
    orientation_ = orientation;
    binCount_ = count;
    for (int i = 0; i < count; ++i) {
      int p = 0;
      if (orientation == 0) {
        const double step = static_cast<double>(MaxY()) / count;
        p = RoundClamped(i * step, 0, MaxY(), 0);
        if (p == 0) p = 1;
        if (p == MaxY()) p = MaxY() - 1;
      } else {
        const double step = MaxX() / (count * 500.0 / 512.0);
        p = RoundClamped(i * step - 0.49999, 0, MaxX(), 0) + 1;
        if (p >= MaxX()) p = 0;
      }
      binPosition_[i] = static_cast<uint16_t>(p);
    }
  }
  barScale_ = (orientation == 0 ? MaxX() / (10 * unitsPerDiv) : MaxY() / (8 * unitsPerDiv));
  int prev = 1;
  uint32_t largest = 0;
  for (int i = 0; i < count; ++i) {
    const int p = binPosition_[i];
    const bool last = p >= MaxX() || i == count - 1;
    if (p > prev || last) {
      double share = total != 0 ? static_cast<double>(largest) / total : 0.0;
      if (logScale && total != 0) share = RatioToDb(share);
      DrawBar(prev, RoundClamped((share - offset) * barScale_, 0, LengthLimit(), 0));
      if (last) break;
      prev = p;
      largest = bins[i];
    } else {
      largest = std::max(largest, bins[i]);
    }
  }
  EndScreenUpdate();
}

}  // namespace norv
