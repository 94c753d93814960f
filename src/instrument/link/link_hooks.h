#pragma once
// Call-outs of the command link, the sample stream and the identity reader to parts of
// the program above them (shell, measurements, analysis) or built on them (settings
// senders, simulator, point store, trigger). Each does nothing until its owner fills it
// in at start-up, so the link works on its own and in tests. The wired ones are filled by
// the instrument layer itself (InstallInstrumentSettings and the program's cycle).

#include <cstdint>
#include <string>

#include "framework/util/hook.h"
#include "instrument/link/link_state.h"

namespace norv {

void BreakAcquisition(bool refresh);  // sample_stream.h

struct TLinkHooks {
  // Runs before every command that is not marked KeepAcquisition, with Refresh true. It
  // stops a running acquisition (BreakAcquisition) unless something else is set.
  THook<void(bool refresh)> PreCommandHook{Fallback("LinkHooks.PreCommandHook"), BreakAcquisition};
  // Receives the USB transport's failure texts (the splash status during start-up);
  // nothing is told without a USB link.
  THook<void(const std::string&)> UsbMessageSink{Fallback("LinkHooks.UsbMessageSink")};

  // Platform and shell.
  THook<void()> SystemBeep{"LinkHooks.SystemBeep"};
  // The status line of the start-up splash, while it is shown.
  THook<void(const std::string&)> SplashStatus{Fallback("LinkHooks.SplashStatus")};
  THook<void(const std::string&)> ShowMessage{"LinkHooks.ShowMessage"};  // a message the user must see
  // Nothing while there is no main window.
  THook<void()> EnableFlagRegisterTimer{Wired("LinkHooks.EnableFlagRegisterTimer")};
  // Name of the chosen instrument entry.
  THook<std::string()> CurrentInstrumentName{Wired("LinkHooks.CurrentInstrumentName")};

  // Record start.
  THook<bool()> PatternLockOn{Wired("LinkHooks.PatternLockOn")};  // "Trig:PatternLockMode" is not Off
  THook<void()> CheckPatternLockRate{Wired("LinkHooks.CheckPatternLockRate")};
  // Sends delay, channel set, record length and averages through the caching senders.
  THook<void(uint8_t readKind, uint16_t recLen, uint16_t nAvg, double tbDelay)> SendRecordSettings{
      Wired("LinkHooks.SendRecordSettings")};
  THook<void()> StartSimulatedRecord{Wired("LinkHooks.StartSimulatedRecord")};
  THook<void()> ClearAcqStarted{Wired("LinkHooks.ClearAcqStarted")};  // the acquisition cycle starts afresh
  // Run or Single is on: a stop now breaks an acquisition that goes on afresh.
  THook<bool()> AcquisitionOn{Wired("LinkHooks.AcquisitionOn")};

  // Refresh after a stop.
  THook<void()> ResetPointStore{Wired("LinkHooks.ResetPointStore")};
  THook<bool()> MeasDisplayOn{"LinkHooks.MeasDisplayOn"};  // "Meas:Display" is not Off
  THook<void()> ResetHisticons{"LinkHooks.ResetHisticons"};
  THook<void()> ResetMeasStatistics{"LinkHooks.ResetMeasStatistics"};
  THook<bool()> EyeMeasureOn{"LinkHooks.EyeMeasureOn"};  // "Eye:Measure" is not Off
  THook<void()> ClearEyeMeasurement{"LinkHooks.ClearEyeMeasurement"};

  // Resynchronisation after the link has come back.
  THook<void()> ResyncTrigger{Wired("LinkHooks.ResyncTrigger")};
  THook<void()> RefreshAcqSettings{Wired("LinkHooks.RefreshAcqSettings")};
  THook<void()> RefreshSysInfo{"LinkHooks.RefreshSysInfo"};  // the instrument information window
  // Re-registration keeping existing nodes.
  THook<void()> RegisterAllCommandsSkip{Wired("LinkHooks.RegisterAllCommandsSkip")};
  THook<void()> UpdateHelpMenuCaption{"LinkHooks.UpdateHelpMenuCaption"};
  THook<void()> ApplyAllSettings{Wired("LinkHooks.ApplyAllSettings")};
  THook<void()> UpdateOptionButtons{"LinkHooks.UpdateOptionButtons"};
};

extern TLinkHooks LinkHooks;
inline constinit THook<void(bool refresh)>& PreCommandHook = LinkHooks.PreCommandHook;
inline constinit THook<void(const std::string&)>& UsbMessageSink = LinkHooks.UsbMessageSink;

}  // namespace norv
