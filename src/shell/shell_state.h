#pragma once
// The program shell's values: where the start-up stands and what the main window and the
// not-yet-built units are asked through hooks. The main window fills the window hooks when it is made; the
// hooks of later units (autoscale, measurements, calibration, help, About) do nothing until those units fill
// them.

#include <cstdint>
#include <string>
#include <vector>

#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

// The version of the program as the window and the status line show it.
inline constexpr const char* kProgramVersionText = "Version 2_4_8 (2013-03-07)";
// The application's title.
inline constexpr const char* kApplicationTitle = "Vexilor Norv";

struct TShellState {
  // Set after the message loop has returned: objects freed at the end update no window.
  bool ProgramTerminating = false;
  // The deferred start-up has been asked for (once), and has run (once).
  bool DeferredStartPosted = false;
  bool DeferredStartDone = false;
  int DeferredStartRuns = 0;
  // Work with the instrument has started fully (the identity could be read, the setup
  // recalled); until then a close keeps the power-off setup there is.
  bool InstrumentWorkStarted = false;
  // Counts the frees of the undo ring (work with the instrument stopped): what refers to a
  // step of an earlier ring sees that it has gone.
  uint64_t UndoRingGeneration = 0;
  // The acquisition step is left out while an exception is being reported.
  bool IdleHandlerInstalled = false;
  // All settings as registered and applied, taken by the first start before it recalls a
  // setup (setup kind 1).
  std::vector<std::string> FactoryDefaultSetup;
};

extern TShellState ShellState;
inline constinit bool& ProgramTerminating = ShellState.ProgramTerminating;

struct TShellHooks {
  // --- main window ---
  THook<void(bool visible)> SetMainControlsVisible{"ShellHooks.SetMainControlsVisible"};
  THook<void()> OpenStartPages{"ShellHooks.OpenStartPages"};  // Channels on the left, Time Base on the right
  THook<void()> HideSideMenus{"ShellHooks.HideSideMenus"};
  THook<void()> UpdateOptionButtons{"ShellHooks.UpdateOptionButtons"};
  THook<void(const std::string& caption)> SetCaption{"ShellHooks.SetCaption"};
  THook<void()> RebuildScreens{"ShellHooks.RebuildScreens"};
  THook<void()> RedrawBottomStrip{"ShellHooks.RedrawBottomStrip"};
  THook<void(int item)> CopyPicture{"ShellHooks.CopyPicture"};  // by the items of "*Copy"
  THook<void()> PrintWindow{"ShellHooks.PrintWindow"};
  THook<void()> PrinterSetup{"ShellHooks.PrinterSetup"};
  THook<void()> EnterHelpMode{"ShellHooks.EnterHelpMode"};

  // --- units built later: each does nothing until its unit fills it ---
  THook<void(int item)> StartAutoscale{"ShellHooks.StartAutoscale"};  // "Auto", "SingleVal", "NRZ", "RZ"
  // "*ClrDispl": histogram, trends of F1-F4, histogram icons, measurement results and
  // statistics, eye measurement, reflection labels, mask counters, database restart, markers.
  THook<void()> ClearAnalyses{"ShellHooks.ClearAnalyses"};
  // After a language switch: the measurement and eye labels take the new language.
  THook<void()> RelabelAnalyses{"ShellHooks.RelabelAnalyses"};
  // "*Run" and "*StopSingle": limit-test lines and a shown database give way.
  THook<void()> ResetLimitAndDatabaseDisplay{"ShellHooks.ResetLimitAndDatabaseDisplay"};
  // Between two records of a running acquisition: a change of what is measured is
  // measured on the records shown.
  THook<void()> MeasureChangesNow{"ShellHooks.MeasureChangesNow"};
  // Around a client's line: the refusals of the shown spectra before it, then those it
  // brought, told once (see TellNewSpectrumRefusals); "" when none.
  THook<std::vector<std::string>()> SpectrumRefusals{"ShellHooks.SpectrumRefusals"};
  THook<std::string(const std::vector<std::string>& before)> TellNewSpectrumRefusals{
      "ShellHooks.TellNewSpectrumRefusals"};
  THook<void()> AfterUndoReplay{"ShellHooks.AfterUndoReplay"};
  THook<void()> AfterSetupRecall{"ShellHooks.AfterSetupRecall"};  // hold-off check after the generators
  THook<void()> LoadMemoriesAtStart{"ShellHooks.LoadMemoriesAtStart"};
  // The view of a memory ("Zoom:M1:" ..): a loaded record is shown whole again, a copied
  // one takes its source's view, and a memory takes its view before it is drawn.
  THook<void(int memory)> ResetMemoryZoom{"ShellHooks.ResetMemoryZoom"};
  THook<void(int memory, TTraceId source)> CopyZoomToMemory{"ShellHooks.CopyZoomToMemory"};
  THook<void(TTraceId trace)> ApplyZoomToRecord{"ShellHooks.ApplyZoomToRecord"};
  THook<void()> RescanMaskStandards{"ShellHooks.RescanMaskStandards"};
  THook<void(int context)> OpenHelp{"ShellHooks.OpenHelp"};
  THook<void()> ShowAbout{"ShellHooks.ShowAbout"};
  // The "System" button: the instrument list and the choice of instrument.
  THook<void()> ShowInstrumentSelection{"ShellHooks.ShowInstrumentSelection"};
  // Calibration and adjustment constants (the close query asks to store changed ones).
  THook<bool()> AdjustmentChanged{"ShellHooks.AdjustmentChanged"};
  THook<bool()> AdjustAccessGranted{"ShellHooks.AdjustAccessGranted"};
  THook<bool()> CalibrationChanged{"ShellHooks.CalibrationChanged"};
  // True only when the constants were stored (never assumed while the hook is empty).
  THook<bool(bool adjustment)> StoreFlashConstants{"ShellHooks.StoreFlashConstants"};
  // The adjustment and calibration parts of the information report, from a snapshot of the
  // constants (never recalled into the nodes for it).
  THook<std::string()> InfoReportConstants{"ShellHooks.InfoReportConstants"};
  // The last step of an accepted close: the instrument's sampler left in its stand-alone state.
  THook<void()> ApplyExitSamplerSettings{"ShellHooks.ApplyExitSamplerSettings"};
  // The identity of the instrument (a seam for tests of a failed read).
  THook<bool()> ReadIndivData{Fallback("ShellHooks.ReadIndivData")};
};

extern TShellHooks ShellHooks;

}  // namespace norv
