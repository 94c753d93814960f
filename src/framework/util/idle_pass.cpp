#include "framework/util/idle_pass.h"

#include <deque>
#include <exception>
#include <utility>

#include "framework/settings/program_objects.h"

namespace norv {

namespace {

bool PassRuns = false;
std::deque<std::function<void()>> Waiting;
const TProgramUnit IdlePassUnit("idle pass", [] {
  PassRuns = false;
  Waiting.clear();
});

struct TPassScope {
  TPassScope() { PassRuns = true; }
  ~TPassScope() { PassRuns = false; }
  TPassScope(const TPassScope&) = delete;
  TPassScope& operator=(const TPassScope&) = delete;
};

}  // namespace

bool IdlePassRuns() { return PassRuns; }

bool RunIdlePass(const std::function<bool()>& step, bool thenWaitingWork) {
  if (PassRuns) return true;
  bool done = true;
  std::exception_ptr thrown;
  {
    const TPassScope pass;
    try {
      done = step();
    } catch (...) {
      thrown = std::current_exception();
    }
  }
  if (thenWaitingWork) RunWorkAfterIdlePass();
  if (thrown) std::rethrow_exception(thrown);
  return done;
}

bool WorkWaitsForIdlePassEnd() { return !Waiting.empty(); }

void RunWorkAfterIdlePass() {
  // One at a time: a box the work opens gives passes that take the next ones.
  while (!Waiting.empty() && !PassRuns) {
    std::function<void()> work = std::move(Waiting.front());
    Waiting.pop_front();
    work();
  }
}

void OutsideIdlePass(std::function<void()> work) {
  if (!work) return;
  if (PassRuns) {
    Waiting.push_back(std::move(work));
    return;
  }
  work();
}

}  // namespace norv
