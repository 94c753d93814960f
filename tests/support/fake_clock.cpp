#include "support/fake_clock.h"

#include <algorithm>
#include <limits>

namespace norv::test {

FakeClock::~FakeClock() {
  for (FakeTimer* timer : timers_) timer->clock_ = nullptr;
}

int64_t CountedWaitClock::NowMs() const { return SystemClock().NowMs() + counted_.load(); }

void CountedWaitClock::SleepMs(int64_t ms) {
  if (ms >= counted_from_)
    counted_ += ms;
  else
    SystemClock().SleepMs(ms);
}

void FakeClock::SleepMs(int64_t ms) {
  if (ms <= 0) return;
  now_ += ms;
  slept_ += ms;
}

void FakeClock::Advance(int64_t ms) {
  const int64_t target = now_ + std::max<int64_t>(ms, 0);
  for (;;) {
    // The earliest due timer; a tick may enable, disable or destroy timers.
    FakeTimer* next = nullptr;
    for (FakeTimer* timer : timers_) {
      if (timer->enabled_ && timer->due_ <= target && (!next || timer->due_ < next->due_)) next = timer;
    }
    if (!next) break;
    now_ = std::max(now_, next->due_);
    next->due_ = now_ + std::max(next->interval_, 1);
    if (next->OnTimer) next->OnTimer();
  }
  now_ = std::max(now_, target);
}

std::unique_ptr<ITimer> FakeClock::CreateTimer() {
  auto timer = std::make_unique<FakeTimer>(*this);
  timers_.push_back(timer.get());
  return timer;
}

void FakeClock::Forget(FakeTimer* timer) {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

FakeTimer::~FakeTimer() {
  if (clock_) clock_->Forget(this);
}

void FakeTimer::SetInterval(int ms) {
  interval_ = ms;
  if (enabled_ && clock_) due_ = clock_->NowMs() + std::max(interval_, 1);
}

void FakeTimer::SetEnabled(bool enabled) {
  if (enabled && clock_) due_ = clock_->NowMs() + std::max(interval_, 1);
  enabled_ = enabled;
}

}  // namespace norv::test
