#include "support/every_unit.h"

#include "app/program_units.h"
#include "framework/settings/handler.h"
#include "instrument/startup/dispatchers.h"

namespace norv::test {

void RegisterEveryUnit() {
  FillProgramUnitSlots();
  RegisterAllCommandsAtStart();
}

void ApplyEveryUnit() {
  ForceNotify = true;
  ApplyAllSettings();
  ForceNotify = false;
}

}  // namespace norv::test
