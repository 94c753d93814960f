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
  THook<void(bool refresh)> PreCommandHook{BreakAcquisition};
  // Receives the USB transport's failure texts (the splash status during start-up).
  THook<void(const std::string&)> UsbMessageSink;

  // Platform and shell.
  THook<void()> SystemBeep;
  THook<void(const std::string&)> SplashStatus;  // status line of the start-up splash
  THook<void(const std::string&)> ShowMessage;   // a message the user must see
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

  // Refresh after a stop.
  THook<void()> ResetPointStore{Wired("LinkHooks.ResetPointStore")};
  THook<bool()> MeasDisplayOn;  // "Meas:Display" is not Off
  THook<void()> ResetHisticons;
  THook<void()> ResetMeasStatistics;
  THook<bool()> HistAxisOn;    // "Hist:Axis" is not off
  THook<bool()> EyeMeasureOn;  // "Eye:Measure" is not Off
  THook<void()> ClearEyeMeasurement;

  // Resynchronisation after the link has come back.
  THook<void()> ResyncTrigger{Wired("LinkHooks.ResyncTrigger")};
  THook<void()> RefreshAcqSettings{Wired("LinkHooks.RefreshAcqSettings")};
  THook<void()> RefreshSysInfo;  // the instrument information window
  // Re-registration keeping existing nodes.
  THook<void()> RegisterAllCommandsSkip{Wired("LinkHooks.RegisterAllCommandsSkip")};
  THook<void()> UpdateHelpMenuCaption;
  THook<void()> ApplyAllSettings{Wired("LinkHooks.ApplyAllSettings")};
  THook<void()> UpdateOptionButtons;
};

extern TLinkHooks LinkHooks;
inline constinit THook<void(bool refresh)>& PreCommandHook = LinkHooks.PreCommandHook;
inline constinit THook<void(const std::string&)>& UsbMessageSink = LinkHooks.UsbMessageSink;

}  // namespace norv
