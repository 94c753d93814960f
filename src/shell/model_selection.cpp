#include "shell/model_selection.h"

#include <algorithm>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/util/dialog_service.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/startup/instrument_list.h"
#include "shell/setup_files.h"

namespace norv {

TModelSelectionState ModelSelection;

namespace {
const TProgramUnit ModelSelectionUnit("model selection", [] { ModelSelection = {}; });

// The identity is lent to the chosen model while its record is written.
class TIdentityLoan {
 public:
  TIdentityLoan() : saved_(InstrumentIdentity) {}
  ~TIdentityLoan() {
    InstrumentIdentity.ModelCode = saved_.ModelCode;
    InstrumentIdentity.Options = saved_.Options;
    InstrumentIdentity.Year = saved_.Year;
  }
  TIdentityLoan(const TIdentityLoan&) = delete;
  TIdentityLoan& operator=(const TIdentityLoan&) = delete;

 private:
  TInstrumentIdentity saved_;
};
}  // namespace

uint8_t ModelOptionBits(uint8_t model) {
  switch (model) {
    case 2:
    case 5:
      return 135;
    case 3:
    case 6:
      return 11;
    case 7:
      return 143;
    case 8:
      return 128;
    default:
      return 0;
  }
}

std::vector<std::string> ModelChoiceEntries() {
  std::vector<std::string> entries;
  for (uint8_t model = kFirstChoosableModel; model <= kLastChoosableModel; ++model) {
    std::string entry = ModelName(model, InstrumentIdentity.SerialNo, false);
    if (model == InstrumentIdentity.ModelCode) entry += GetLangStr("_Current");
    if (model == ModelSelection.NextRunModel) entry += GetLangStr("_Next Run");
    entries.push_back(entry);
  }
  return entries;
}

bool ModelChoiceChangesSomething(uint8_t chosen) {
  const uint8_t current = InstrumentIdentity.ModelCode;
  const bool otherPending = ModelSelection.NextRunModel != 0 && ModelSelection.NextRunModel != current;
  return chosen != current || otherPending;
}

bool ApplyModelChoice(uint8_t chosen) {
  bool written = false;
  {
    const TIdentityLoan loan;
    InstrumentIdentity.ModelCode = chosen;
    InstrumentIdentity.Options = ModelOptionBits(chosen);
    InstrumentIdentity.Year = std::max<uint16_t>(InstrumentIdentity.Year, 2009);
    if (LinkKind == TLinkKind::Demo) {
      WriteDemoUnit(CurrentInstrumentName, 1, ModelToFlashCode(chosen), 255 - InstrumentIdentity.Options,
                    InstrumentIdentity.Year - 2000, InstrumentIdentity.SerialNo, false);
      // Only a model that was written is waiting for the next run.
      ModelSelection.NextRunModel = chosen;
      written = true;
    }
  }
  // The default setup is the user's: it is replaced only when the user agrees.
  if (Dialogs().Ask(TMessageKind::Confirmation,
                    "Start the next run from the factory setup?\nYour default setup will be replaced by it.",
                    {TAnswer::Yes, TAnswer::No}, TAnswer::No) == TAnswer::Yes &&
      RecallSetup(TSetupKind::Factory, false))
    SaveSetup(TSetupKind::Default, false);
  return written;
}

}  // namespace norv
