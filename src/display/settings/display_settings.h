#pragma once
// The display settings under "Displ:": the style of every trace with its persistence and
// refresh times, the trace mode that locks all traces to one style, the screen format and
// the screen of every trace, the axes of the XY display, the graticule, the 22 display
// colours with their opacity, the five colour-grade colours and the layer brought to the
// front. Each change turns into calls on the screen control (ScopeCRT, when it exists) and
// keeps the dependent nodes enabled or disabled. Also the record of the colour-grade
// database shown on the screen.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "display/scope_crt.h"
#include "framework/settings/handler.h"
#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

class TRadioSwHandler;
class TSignalSourceSwHandler;
class TRightCommandHandler;
class TIntEditHandler;
class TDoubleEditHandler;

// Traces Ch1..S2, XY and DB have a style with its times.
inline constexpr int kStyledTraceCount = 16;

// The name of a trace in the display paths ("Displ:XY:Style"): its short name, and "XY"
// for the XY trace, whose short name "???" a command line would read as a query.
std::string DisplayNodeName(TTraceId id);

struct TDisplayTraceNodes {
  TRadioSwHandler* Style = nullptr;
  TDoubleEditHandler* PersistTime = nullptr;
  TDoubleEditHandler* RefreshTime = nullptr;
};

// The colour-grade database shown on the screen.
struct TDataBaseExist {
  bool Exists = false;
  std::string Name;
  // The name, or "NONEDATABASEATTHESCREEN".
  std::string GetNameText() const;
};

// What the display settings need from the units above them and from the display page.
// Every hook does nothing (or gives the neutral answer) until its owner fills it in.
struct TDisplaySettingsHooks {
  // The program is still starting up: a locked trace mode does not spread changes yet.
  THook<bool()> StartingUp{"DisplaySettingsHooks.StartingUp"};
  // The histogram trace takes its source's style again; the source of the histogram.
  THook<void()> RestyleHistogram{"DisplaySettingsHooks.RestyleHistogram"};
  THook<TTraceId()> HistogramSource{"DisplaySettingsHooks.HistogramSource", [] { return TTraceId::None; }};
  THook<void()> RecolorHisticons{"DisplaySettingsHooks.RecolorHisticons"};
  // The mask editor is editing (the screen is then a single YT screen).
  THook<bool()> MaskEditing{"DisplaySettingsHooks.MaskEditing"};
  // The marker-type options follow whether a database is shown.
  THook<void()> RefreshMarkerTypes{"DisplaySettingsHooks.RefreshMarkerTypes"};
  // The database node records its state for undo before a database is shown.
  THook<void()> SaveDatabaseUndo{"DisplaySettingsHooks.SaveDatabaseUndo"};
  // The readouts of the bottom strip are written again.
  THook<void()> RedrawBottomStrip{"DisplaySettingsHooks.RedrawBottomStrip"};
  // Open display pages: the panels and bindings for the selected trace's style, the
  // grade-colour panels, the style binding for a shown database.
  THook<void()> PageStyleChanged{"DisplaySettingsHooks.PageStyleChanged"};
  THook<void()> PageGradeColorsChanged{"DisplaySettingsHooks.PageGradeColorsChanged"};
  THook<void()> PageDatabaseChanged{"DisplaySettingsHooks.PageDatabaseChanged"};
};
extern TDisplaySettingsHooks DisplaySettingsHooks;

struct TDisplaySettingsState {
  TRadioSwHandler* TraceMode = nullptr;
  TSignalSourceSwHandler* TraceSel = nullptr;
  std::array<TDisplayTraceNodes, kStyledTraceCount> Traces{};
  TRadioSwHandler* DBStyle = nullptr;
  TRightCommandHandler* ResetAll = nullptr;
  TRadioSwHandler* Format = nullptr;
  TSignalSourceSwHandler* Wfm = nullptr;
  std::array<TRadioSwHandler*, kDisplaySignalCount> Screen4{};
  std::array<TRadioSwHandler*, kDisplaySignalCount> Screen2{};
  TSignalSourceSwHandler* XAxis = nullptr;
  TSignalSourceSwHandler* YAxis = nullptr;
  TRadioSwHandler* Gratic = nullptr;
  TRadioSwHandler* ColorItem = nullptr;
  TRightCommandHandler* SetOnTop = nullptr;
  TIntEditHandler* Transpar = nullptr;
  TRightCommandHandler* DefaultClrCurrent = nullptr;
  TRightCommandHandler* DefaultClrAll = nullptr;
  // "Displ:GradeClr1" .. "Displ:GradeClr5".
  std::array<TIntEditHandler*, 5> GradeClr{};
  TRightCommandHandler* GradeDefCol = nullptr;
  // "Displ:Color:" + identifier, in display-source order.
  std::array<TIntEditHandler*, kDisplaySourceCount> ColorNodes{};

  TDataBaseExist DataBaseExist;
  // Runs UpdateScreenNodeEnables whenever a trace is switched on or off.
  std::unique_ptr<TSwitcherLink> EnablityLink;
};
TDisplaySettingsState& DisplaySettings();
void ResetDisplaySettingsState();

// The colour nodes (registered early, so that the controls of later units find them).
void RegisterDisplayColorCommands();
void RegisterDisplayCommands();
// Brings the screen control in line with every display node (ForceNotify on).
void ApplyDisplaySettings();
// Fills the acquisition cycle's display hooks: the trace styles, the format and the XY
// redraw.
void InstallDisplaySettings();

// --- queries ---
TDisplayStyle GetTraceStyle(TTraceId id);
// The style name as its option reads ("VarPersist").
const char* DisplayStyleName(TDisplayStyle style);
TScreenFormat GetDisplayFormat();
bool DisplayFormatHasXY();
int GetScreenOfTraceIn2YT(TTraceId id);
int GetScreenOfTraceIn4YT(TTraceId id);
// 1, 2 or 4 YT screens by the format (0 for XY); 1 while the mask editor edits.
int GetNumberOfYTScreens();
bool AllTracesLocked();
TTraceId SelectedDisplayTrace();
// What the display page binds: its panel's group ("Displ:Ch1"), the style control (the
// database style by its absolute path while a database is shown) and the time editor.
std::string DisplayPanelGroup();
std::string StyleControlMnemonics();
std::string TimeControlMnemonics();

// --- actions ---
void SetDatabase(bool exists, const std::string& name);
// The layer of the trace's style on its screen (created when missing), or nullptr.
TParentSignalLayer* GetStyledTraceLayer(TTraceId id);
// Draws the XY screen from the records chosen by "Displ:XAxis" and "Displ:YAxis". Does
// nothing without an XY screen, with a source that is no waveform record, or when either
// record shows no point.
void RedrawXYScreen();

}  // namespace norv
