#include "framework/util/clock.h"

#include <chrono>
#include <thread>

#include "framework/settings/program_objects.h"

namespace norv {

namespace {

class TSystemClock final : public IClock {
 public:
  int64_t NowMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void SleepMs(int64_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

}  // namespace

IClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

namespace {
// None: the system clock.
IClock* CurrentProgramClock = nullptr;
const TProgramUnit ProgramClockUnit("program clock", [] { CurrentProgramClock = nullptr; });
}  // namespace

IClock& ProgramClock() { return CurrentProgramClock ? *CurrentProgramClock : SystemClock(); }
void SetProgramClock(IClock& clock) { CurrentProgramClock = &clock; }

}  // namespace norv
