#pragma once
// Time and timers are injected everywhere, so that time-outs, ageing and throttles are
// tested without waiting. The program uses the system clock and Qt timers; tests use
// FakeClock (tests/support), which also drives its fake timers.

#include <cstdint>
#include <functional>
#include <memory>

namespace norv {

class IClock {
 public:
  virtual ~IClock() = default;
  // Milliseconds on a monotonic scale (only differences mean anything).
  virtual int64_t NowMs() const = 0;
  // Blocks the caller; single-threaded, so no timer fires meanwhile.
  virtual void SleepMs(int64_t ms) = 0;
};

// The real monotonic clock.
IClock& SystemClock();

// The clock of the program's module-level waits and time-outs (instrument link, trigger
// search); the system clock unless a test sets another.
IClock& ProgramClock();
void SetProgramClock(IClock& clock);

// A repeating timer on the GUI thread, like a window timer: enabling it (re)starts the
// interval; OnTimer runs once per elapsed interval while enabled.
class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void SetInterval(int ms) = 0;
  virtual int Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;

  std::function<void()> OnTimer;
};

// Makes timers; the program installs the Qt one, tests the fake one.
class ITimerFactory {
 public:
  virtual ~ITimerFactory() = default;
  virtual std::unique_ptr<ITimer> CreateTimer() = 0;
};

}  // namespace norv
