#pragma once
// A clock that moves only when the test says so, and the timers it drives.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/util/clock.h"

namespace norv::test {

class FakeTimer;

class FakeClock final : public IClock, public ITimerFactory {
 public:
  explicit FakeClock(int64_t startMs = 1'000'000) : now_(startMs) {}
  ~FakeClock() override;

  int64_t NowMs() const override { return now_; }
  // Sleeping moves the clock but fires no timer, as a blocking sleep on the GUI thread.
  void SleepMs(int64_t ms) override;
  int64_t SleptMs() const { return slept_; }

  // Moves the clock, firing every due timer tick in time order.
  void Advance(int64_t ms);

  std::unique_ptr<ITimer> CreateTimer() override;

 private:
  friend class FakeTimer;
  void Forget(FakeTimer* timer);

  int64_t now_;
  int64_t slept_ = 0;
  std::vector<FakeTimer*> timers_;
};

// Real time for the link's short reply polls, while long waits (100 ms and more, or from
// `countedFromMs` on) are counted instead of slept. Other threads (the fake instrument) may
// read the count.
class CountedWaitClock final : public IClock {
 public:
  explicit CountedWaitClock(int64_t countedFromMs = 100) : counted_from_(countedFromMs) {}
  int64_t NowMs() const override;
  void SleepMs(int64_t ms) override;
  int64_t CountedMs() const { return counted_.load(); }

 private:
  int64_t counted_from_;
  std::atomic<int64_t> counted_{0};
};

class FakeTimer final : public ITimer {
 public:
  explicit FakeTimer(FakeClock& clock) : clock_(&clock) {}
  ~FakeTimer() override;

  void SetInterval(int ms) override;
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }

 private:
  friend class FakeClock;
  FakeClock* clock_;
  int interval_ = 1000;
  bool enabled_ = false;
  int64_t due_ = 0;
};

}  // namespace norv::test
