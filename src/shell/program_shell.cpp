#include "shell/program_shell.h"

#include <filesystem>
#include <system_error>

#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/node_path.h"
#include "framework/settings/procedure_setup.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/clock.h"
#include "framework/util/close_signal.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/pattern_length_list.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/program_folders.h"
#include "instrument/startup/startup_connection.h"
#include "shell/main_commands.h"
#include "shell/remote/remote_control.h"
#include "shell/save/save_recall.h"
#include "shell/screen_wiring.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"
#include "shell/upper_units.h"

namespace norv {

namespace {

bool WithInstrumentName() { return CurrentInstrumentName != AbsentName; }

void StopForClose() {
  if (MainCommands.StopSingle) MainCommands.StopSingle->ExecCmd("STOP", false, false);
  BreakAcquisition(true);
}

}  // namespace

void PrepareProgramUnits(IClock& clock, ITimerFactory& timers) {
  InstallInstrumentSettings();
  CreateAcquisitionCycle(clock, timers);
  FillUpperUnitSlots();
  InstallScreenHooks();
  LinkHooks.ShowMessage.Set(
      [](const std::string& text) { Dialogs().Inform(TMessageKind::Information, text); });
  LinkHooks.UpdateOptionButtons.Set([] { ShellHooks.UpdateOptionButtons(); });
  LanguageMessageHook.Set([](const std::string& text) {
    LinkHooks.SystemBeep();
    Dialogs().Inform(TMessageKind::Error, text);
  });
  ShellHooks.AfterSetupRecall.Set(CheckHoldoffFollowsTimeBase);
  // A locked trace mode spreads a change only once the start-up has finished.
  DisplaySettingsHooks.StartingUp.Set([] { return !GuiReady; });
  StartupState.Hooks.EnableAutoCalTimer.Set(
      [](bool enabled) { AcquisitionCycle().AutoCalTimer().SetEnabled(enabled); });
  StartupState.Hooks.StopInstrumentWork.Set(StopWithInstrument);
  StartupState.Hooks.StartInstrumentWork.Set(
      [](bool withInstrument) { StartWithInstrument(withInstrument); });
}

void RunDeferredStartup() {
  if (ShellState.DeferredStartDone) return;
  ShellState.DeferredStartDone = true;
  ++ShellState.DeferredStartRuns;

  PushHint(kProgramVersionText, 5000, THintKeep::Keep, THintStyle::Normal);
  ShellHooks.RescanMaskStandards();
  ShellState.IdleHandlerInstalled = true;
  AcquisitionCycle().FlagRegisterReadingTimer().SetEnabled(true);
  const bool started = StartWithInstrument(WithInstrumentName());
  ShellHooks.LoadMemoriesAtStart();
  LoadPatternLengthList(DataFolders().SetupFilesDir);
  if (!WithInstrumentName()) ShellHooks.HideSideMenus();
  ApplyGuiRemoteMode();
  // A start whose identity read failed stays not ready, rather than half started.
  if (started) SetGuiReady(true);
}

namespace {

// Until the user saves a default setup, the factory setup is the default, so that
// "Default" recalls something from the first start.
void SaveFactorySetupAsFirstDefault() {
  const std::filesystem::path file = SetupFilePath(TSetupKind::Default);
  std::error_code error;
  if (ShellState.FactoryDefaultSetup.empty() ||
      std::filesystem::symlink_status(file, error).type() != std::filesystem::file_type::not_found ||
      !WhyFileRefused(file).empty())
    return;
  WriteFileAtomically(file, SetupFileTextFromLines(ShellState.FactoryDefaultSetup), false);
}

}  // namespace

bool StartWithInstrument(bool withInstrument) {
  ShellState.InstrumentWorkStarted = false;
  if (withInstrument) ShellHooks.OpenStartPages();
  ShellHooks.SetMainControlsVisible(withInstrument);
  if (withInstrument) {
    const bool read = ShellHooks.ReadIndivData.IsSet() ? ShellHooks.ReadIndivData() : ReadIndivData();
    if (!read) {
      GuiReady = false;
      ShellHooks.SetMainControlsVisible(false);
      Dialogs().Ask(TMessageKind::Error, "Error Reading the Individual Information from the Instruments.",
                    {TAnswer::Yes}, TAnswer::Yes);
      return false;
    }
  }
  ShellHooks.SetCaption(BuildMainCaption(withInstrument));
  LinkHooks.UpdateHelpMenuCaption();
  ApplyModelLimits();

  if (!UndoBuffer) UndoBuffer = std::make_unique<TUndoBuffer>();
  DerivedSignalStates.fill(dssOff);
  ForceNotify = true;
  if (withInstrument) ShellHooks.UpdateOptionButtons();
  // Applied before the default setup is recalled: the ranges its values must fit follow the
  // model, the records and the settings' own rules only once everything has been applied.
  ApplyAllSettings();
  // The factory setup is what the first start shows: registered values settled by the rules.
  if (ShellState.FactoryDefaultSetup.empty()) TakeFactoryDefaultSetup();
  if (withInstrument) SaveFactorySetupAsFirstDefault();
  if (withInstrument && !ShiftHeldAtStart()) {
    // Recalled as the "Default" button recalls it: forced, the unchanged scales of the other
    // horizontal units would each be converted back into the time scale.
    ForceNotify = false;
    // Nobody at the screen asked for this recall, and a box would keep every client waiting.
    const TRecallToldInStatusLine toldInStatusLine;
    RecallSetup(TSetupKind::Default, false);
    ForceNotify = true;
  }
  CheckHoldoffFollowsTimeBase();
  SendStateAfterConnect();
  if (ScopeCRT) ScopeCRT->TopText().RefreshTopText();
  ForceNotify = false;
  GuiReady = true;
  if (withInstrument) RootSpider->ExecCommandLine("*Run"_node, false);
  UndoBuffer->Enabled = true;
  ShellState.InstrumentWorkStarted = true;
  return true;
}

void StopWithInstrument() {
  UndoBuffer.reset();
  ++ShellState.UndoRingGeneration;
  BreakRequest = true;
  if (MainCommands.StopSingle) MainCommands.StopSingle->ExecCmd("STOP", false, false);
  BreakRequest = false;
  GuiReady = false;
  ForceNotify = true;
  ShellState.InstrumentWorkStarted = false;
}

bool ShellIdleStep() {
  // Also when a procedure waits on a box: its own steps set their scopes themselves.
  const TOutsideProcedures idle;
  TellWaitingProcedureMessages();
  const bool busy = (RunFlag || SingleFlag) && !CommFailure;
  if (ShellState.IdleHandlerInstalled && !AcqSuspended) {
    // Stopped, the acquisition's idle step measures such a change; running, it would wait
    // for the end of the cycle, which under a long average takes seconds. A procedure's
    // records are measured by none.
    if (busy && GuiReady && !Acquiring && !ProcedureRunning()) ShellHooks.MeasureChangesNow();
    AcquisitionIdleStep();
  }
  return !busy;
}

bool IdleStepsUntil(const std::function<bool()>& ended) {
  IClock& clock = ProgramClock();
  const int64_t start = clock.NowMs();
  while (!ended()) {
    if (CommFailure || AcqSuspended || !ShellState.IdleHandlerInstalled || CloseSignalled) return false;
    if (clock.NowMs() - start >= kProcedureTimeLimitMs) {
      Dialogs().Inform(TMessageKind::Error, "The procedure did not end within " +
                                                std::to_string(kProcedureTimeLimitMs / 60000) +
                                                " minutes and was stopped.");
      return false;
    }
    ShellIdleStep();
  }
  return true;
}

void ThrowIfClosing() {
  if (CloseSignalled) throw EAssertion(kLineStoppedByClose);
}

bool CloseQuery(TCloseKind kind) {
  // Nobody need be at the screen when the system closes the program.
  const TDialogsSuppressed quiet(kind == TCloseKind::BySystem);
  if (kind == TCloseKind::BySystem) {
    DisconnectRemoteClient();
  } else {
    CheckNoRemoteClient();
  }
  ClosingFlag = true;
  StopForClose();
  // The stopped idle step would end a recording, but none runs after a close.
  SaveDatabaseAtClose();

  // "No" to the adjustments still asks about changed calibration constants; without
  // dialogs both are stored, so nothing is lost.
  const auto ask = [](const char* key) {
    return Dialogs().Ask(TMessageKind::Confirmation, GetLangStr(key),
                         {TAnswer::Yes, TAnswer::No, TAnswer::Cancel}, TAnswer::Yes);
  };
  TAnswer adjustment = TAnswer::No;
  TAnswer calibration = TAnswer::No;
  if (ShellHooks.AdjustmentChanged() && ShellHooks.AdjustAccessGranted()) {
    adjustment = ask("QueSaveAdjusting");
    if (adjustment == TAnswer::Cancel) {
      ClosingFlag = false;
      return false;
    }
    StopForClose();
  }
  if (adjustment != TAnswer::Yes && ShellHooks.CalibrationChanged()) {
    calibration = ask("QueSaveCalibration");
    if (calibration == TAnswer::Cancel) {
      ClosingFlag = false;
      return false;
    }
  }
  // Yes to the adjustments keeps the calibration constants changed with them.
  if (adjustment == TAnswer::Yes && ShellHooks.CalibrationChanged()) calibration = TAnswer::Yes;
  bool stored = true;
  if (adjustment == TAnswer::Yes) stored = ShellHooks.StoreFlashConstants(true);
  if (stored && calibration == TAnswer::Yes) stored = ShellHooks.StoreFlashConstants(false);
  if (!stored) {
    const std::string failure = "The constants could not be stored in the instrument.";
    // With dialogs suppressed (SIGTERM, the last client of a copy started for one gone)
    // nobody could end the program another way: the failure goes to the log and it closes.
    if (DialogsSuppressed()) {
      Dialogs().Inform(TMessageKind::Error, failure + " The program closes without them.");
    } else {
      Dialogs().Inform(TMessageKind::Error, failure + " The program stays open, so that they are not lost.");
      ClosingFlag = false;
      return false;
    }
  }
  // A procedure still running (a search a client started, the low-jitter reference, the
  // jitter analysis) ends as its Cancel ends it, before the power-off setup takes the
  // settings.
  CancelAllProcedures({});
  // Before the start has recalled a setup (a box of the start is open, or the identity
  // could not be read) the settings are the factory ones: the user's setup stays.
  if (ShellState.InstrumentWorkStarted) SaveSetup(TSetupKind::PowerOff, true);
  SuspendAcquisition();
  ShellHooks.ApplyExitSamplerSettings();
  return true;
}

std::string ExceptionReportText(const std::string& message) { return FormatLangStr("OnException", message); }

}  // namespace norv
