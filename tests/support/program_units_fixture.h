#pragma once
// The program's settings as it starts them for a unit of one model and options: every unit
// registered and applied, and the hooks of the units above the shell installed. For test
// executables that link the program's units.

#include <cstdint>

#include "app/program_units.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/startup/program_folders.h"
#include "support/every_unit.h"

namespace norv::test {

inline void StartProgramUnits(int modelCode, uint8_t options) {
  InitDataFolders();
  InstrumentIdentity.ModelCode = modelCode;
  InstrumentIdentity.Options = options;
  RegisterEveryUnit();
  ApplyEveryUnit();
  InstallProgramUnits();
}

}  // namespace norv::test
