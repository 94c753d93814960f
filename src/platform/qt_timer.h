#pragma once
// The program's timers: Qt timers on the GUI thread behind the plain timer interface.

#include <memory>

#include "framework/util/clock.h"

namespace norv {

class TQtTimerFactory final : public ITimerFactory {
 public:
  std::unique_ptr<ITimer> CreateTimer() override;
};

}  // namespace norv
