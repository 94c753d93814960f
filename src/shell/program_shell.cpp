#include "shell/program_shell.h"

#include "display/scope_crt.h"
#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/pattern_length_list.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/main_commands.h"
#include "shell/program_dispatch.h"
#include "shell/remote/remote_control.h"
#include "shell/screen_wiring.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

bool WithInstrumentName() { return CurrentInstrumentName != kAbsentInstrument; }

void StopForClose() {
  if (MainCommands.StopSingle) MainCommands.StopSingle->ExecCmd("STOP", false, false);
  BreakAcquisition(true);
}

}  // namespace

void PrepareProgramUnits(IClock& clock, ITimerFactory& timers) {
  InstallInstrumentSettings();
  CreateAcquisitionCycle(clock, timers);
  InstallProgramDispatch();
  LinkHooks.ShowMessage.Set([](const std::string& text) { TellUser(text, TQuestion::Ok); });
  LinkHooks.ApplyAllSettings.Set([] { ApplyAllSettings(); });
  LinkHooks.UpdateOptionButtons.Set([] { ShellHooks.UpdateOptionButtons(); });
}

void SetGuiReady(bool ready) {
  GuiReady = ready;
  AcquisitionCycle().AutoCalTimer().SetEnabled(ready);
  ShellHooks.InstrumentGuiReady(ready);
}

void RunDeferredStartup() {
  if (ShellState.DeferredStartDone) return;
  ShellState.DeferredStartDone = true;
  ++ShellState.DeferredStartRuns;

  PushHint(kProgramVersionText, 5000, THintKeep::Keep, THintStyle::Normal);
  ShellHooks.RescanMaskStandards();
  ShellState.IdleHandlerInstalled = true;
  AcquisitionCycle().FlagRegisterReadingTimer().SetEnabled(true);
  TakeFactoryDefaultSetup();
  const bool started = StartWithInstrument(WithInstrumentName());
  ShellHooks.LoadMemoriesAtStart();
  LoadPatternLengthList(SetupFilesDir());
  if (!WithInstrumentName()) ShellHooks.HideSideMenus();
  ApplyGuiRemoteMode();
  // A start whose identity read failed stays not ready, rather than half started.
  if (started) SetGuiReady(true);
}

bool StartWithInstrument(bool withInstrument) {
  ShellState.InstrumentWorkStarted = false;
  if (withInstrument) ShellHooks.OpenStartPages();
  ShellHooks.SetMainControlsVisible(withInstrument);
  if (withInstrument) {
    const bool read = ShellHooks.ReadIndivData.IsSet() ? ShellHooks.ReadIndivData() : ReadIndivData();
    if (!read) {
      GuiReady = false;
      ShellHooks.SetMainControlsVisible(false);
      TellUser("Error Reading the Individual Information from the Instruments.", TQuestion::ErrorYes);
      return false;
    }
  }
  ShellHooks.SetCaption(BuildMainCaption(withInstrument));
  AdaptTimeBaseToModel();
  ShellHooks.ApplyModelLimits();

  if (!UndoBuffer) UndoBuffer = std::make_unique<TUndoBuffer>();
  DerivedSignalStates.fill(dssOff);
  ForceNotify = true;
  if (withInstrument) ShellHooks.UpdateOptionButtons();
  if (withInstrument && !ShiftAtStart) RecallSetup(TSetupKind::Default, false);
  ApplyAllSettings();
  CheckHoldoffFollowsTimeBase();
  SendStateAfterConnect();
  if (TScopeCRT* crt = ProgramScopeCRT()) crt->TopText().RefreshTopText();
  ForceNotify = false;
  GuiReady = true;
  if (withInstrument) RootSpider->ExecCommandLine("*Run", false);
  UndoBuffer->Enabled = true;
  ShellState.InstrumentWorkStarted = true;
  return true;
}

void StopWithInstrument() {
  UndoBuffer.reset();
  BreakRequest = true;
  if (MainCommands.StopSingle) MainCommands.StopSingle->ExecCmd("STOP", false, false);
  BreakRequest = false;
  GuiReady = false;
  ForceNotify = true;
  ShellState.InstrumentWorkStarted = false;
}

bool ShellIdleStep() {
  const bool busy = (RunFlag || SingleFlag) && !CommFailure;
  if (ShellState.IdleHandlerInstalled && !AcqSuspended) AcquisitionIdleStep();
  return !busy;
}

bool CloseQuery() {
  CheckNoRemoteClient();
  ClosingFlag = true;
  StopForClose();

  // "No" to the adjustments still asks about changed calibration constants; without
  // dialogs both are stored, so nothing is lost.
  TAnswer adjustment = TAnswer::No;
  TAnswer calibration = TAnswer::No;
  if (ShellHooks.AdjustmentChanged() && ShellHooks.AdjustAccessGranted()) {
    adjustment = AskUser(GetLangStr("QueSaveAdjusting"), TQuestion::YesNoCancel, TAnswer::Yes);
    if (adjustment == TAnswer::Cancel) {
      ClosingFlag = false;
      return false;
    }
    StopForClose();
  }
  if (adjustment != TAnswer::Yes && ShellHooks.CalibrationChanged()) {
    calibration = AskUser(GetLangStr("QueSaveCalibration"), TQuestion::YesNoCancel, TAnswer::Yes);
    if (calibration == TAnswer::Cancel) {
      ClosingFlag = false;
      return false;
    }
  }
  bool stored = true;
  if (adjustment == TAnswer::Yes) stored = ShellHooks.StoreFlashConstants(true);
  if (stored && calibration == TAnswer::Yes) stored = ShellHooks.StoreFlashConstants(false);
  if (!stored) {
    TellUser(
        "The constants could not be stored in the instrument. The program stays open, so that they are "
        "not lost.");
    ClosingFlag = false;
    return false;
  }
  SaveSetup(TSetupKind::PowerOff, true);
  SuspendAcquisition();
  return true;
}

std::string ExceptionReportText(const std::string& message) { return FormatLangStr("OnException", message); }

}  // namespace norv
