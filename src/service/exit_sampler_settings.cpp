#include "service/exit_sampler_settings.h"

#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"

namespace norv {

void ApplyExitSamplerSettings() {
  ClosingFlag = true;
  if (!IsInstrumentConnected()) return;
  BreakAcquisition(true);
  if (!VersionAtLeast(InstrumentIdentity.SWVer, {3, 7, 4}) ||
      !VersionAtLeast(InstrumentIdentity.FPGAVer, {0, 3}))
    return;
  SendOnOffCommand("STENDSAMPL:WITHOUTSTROBE", true);
  SendOnOffCommand("STENDSAMPL:SMPLTBON", false);
  SendOnOffCommand("STENDSAMPL:WITHOUTLINEAR", true);
  SendFloatCommand("STENDSAMPL:SMPLTBJTR", false, 0.0);
}

}  // namespace norv
