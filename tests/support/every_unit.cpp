#include "support/every_unit.h"

#include "framework/settings/handler.h"
#include "instrument/startup/dispatchers.h"
#include "shell/upper_units.h"

namespace norv::test {

void RegisterEveryUnit() {
  FillUpperUnitSlots();
  RegisterAllCommandsAtStart();
}

void ApplyEveryUnit() {
  ForceNotify = true;
  ApplyAllSettings();
  ForceNotify = false;
}

}  // namespace norv::test
