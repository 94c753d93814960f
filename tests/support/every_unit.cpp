#include "support/every_unit.h"

#include "framework/settings/handler.h"
#include "instrument/startup/dispatchers.h"

namespace norv::test {

void RegisterEveryUnit() { RegisterAllCommandsAtStart(); }

void ApplyEveryUnit() {
  ForceNotify = true;
  ApplyAllSettings();
  ForceNotify = false;
}

}  // namespace norv::test
