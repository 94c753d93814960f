#pragma once
// The measurement settings under "Meas:": display mode, the source shown for editing,
// statistics, the level, threshold, margin and spectrum nodes of every source, and the
// per-source check sets whose items add and remove measurements. The slot list follows
// the check sets; results go to the bottom strip after each evaluation; "Meas:Res"
// answers remote queries with the values last shown.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "display/popup_menu.h"
#include "framework/settings/handler.h"
#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"
#include "instrument/record/signal_obj.h"

namespace norv {

class TRadioSwHandler;
class TCheckSwHandler;
class TOnOffHandler;
class TRightCommandHandler;
class TSignalSourceSwHandler;
class TIntEditHandler;
class TDoubleEditHandler;
class TGpibStringHandler;
class TParameterOfMeas;

// The nodes of one source ("Meas:Ch1:Thresh"); the spectrum nodes exist for F1 .. S2, the
// dual nodes for Ch1 .. M4 (nullptr otherwise).
struct TMeasSourceNodes {
  TRadioSwHandler* Method = nullptr;
  TIntEditHandler* Top = nullptr;
  TIntEditHandler* Base = nullptr;
  TRadioSwHandler* Thresh = nullptr;
  TRadioSwHandler* Unit = nullptr;
  std::array<TIntEditHandler*, 3> Thresholds{};   // Up, Mid, Low (screen codes)
  std::array<TDoubleEditHandler*, 3> Percents{};  // Up, Mid, Low (%)
  TRadioSwHandler* MargMode = nullptr;
  TIntEditHandler* LeftSlope = nullptr;
  TIntEditHandler* RightSlope = nullptr;
  TRadioSwHandler* LeftTresh = nullptr;
  TRadioSwHandler* RightTresh = nullptr;
  TIntEditHandler* LeftMarker = nullptr;
  TIntEditHandler* RightMarker = nullptr;
  TRadioSwHandler* FFTMethod = nullptr;
  TIntEditHandler* FFTLeft = nullptr;
  TIntEditHandler* FFTRight = nullptr;
  TDoubleEditHandler* PeakLevel = nullptr;
  TIntEditHandler* PeakLeft = nullptr;
  TIntEditHandler* PeakRight = nullptr;
  TSignalSourceSwHandler* Source2 = nullptr;
  // The check sets by measurement group 0..5 (XParam, XFFTPar, XDualPar, YParam,
  // YFFTPar, YDualPar).
  std::array<TCheckSwHandler*, 6> Sets{};
};

struct TMeasSettingsState {
  TRadioSwHandler* Display = nullptr;
  TSignalSourceSwHandler* DisplSrc = nullptr;
  TOnOffHandler* View = nullptr;
  TRadioSwHandler* Mode = nullptr;
  TRightCommandHandler* SingleMeas = nullptr;
  TRadioSwHandler* StatMode = nullptr;
  TIntEditHandler* Window = nullptr;
  TIntEditHandler* Weight = nullptr;
  std::array<TMeasSourceNodes, kSignalObjCount> Sources{};
  TRightCommandHandler* ClearAll = nullptr;
  TGpibStringHandler* Res = nullptr;
  // The strip holds the captions of the present slots.
  bool LinesPrepared = false;
  // The program is closing: a missing slot is no error then.
  bool Closing = false;
  std::unique_ptr<TSwitcherLink> EnablityLink;
};
TMeasSettingsState& MeasSettings();

// What the measurement settings need from the units beside and above them; each does
// nothing (or answers "off") until its owner fills it in.
struct TMeasSettingsHooks {
  // "Limit:TestOn" is on; the limit test of slot n (0..3) is active.
  THook<bool()> LimitTestOn{"MeasSettingsHooks.LimitTestOn"};
  THook<bool(int slot)> LimitActive{"MeasSettingsHooks.LimitActive"};
  // Slot n's limit-test nodes back to their start values.
  THook<void(int slot)> ResetLimitTest{"MeasSettingsHooks.ResetLimitTest"};
  // Slot n went away and the later ones moved down.
  THook<void(int slot)> LimitSlotRemoved{"MeasSettingsHooks.LimitSlotRemoved"};
  // "Limit:TestOn" and the four "Activ" switches off.
  THook<void()> SwitchOffLimitTests{"MeasSettingsHooks.SwitchOffLimitTests"};
  // The measure page goes back to its first page.
  THook<void()> PageToFirst{"MeasSettingsHooks.PageToFirst"};
};
extern TMeasSettingsHooks MeasSettingsHooks;

void RegisterMeasHandlers();
// After a setup recall or the default setup: the level limits of every source, the
// Display and DisplSrc handling, and the per-source enables that follow the traces.
void ApplyMeasSettings();
// Fills the hooks of the acquisition cycle, the screen, the strip and the engine.
void InstallMeasurements();

void AddMeasParameter(TTraceId source, uint8_t group, uint8_t index);
void RemoveMeasParameter(TTraceId source, uint8_t group, uint8_t index);
void RemoveSlot(int slot);
// Removes a slot through its check-set item, so that the controls follow.
void UncheckSlot(int slot);

// The captions (and in Statistic display the header) of the present slots.
void ShowMeasurementLines();
// Kind 0 plain, 1 with the limit test's counts, 2 for other subsystems.
void ShowStatisticsHeader(int kind);
// A value of a statistics line with its unit: "dB" values without a prefix letter, an
// undefined value without a unit.
std::string StatValueText(double value, const std::string& unit);
// The strip written again after it was blanked: the captions and the values last found.
void RedrawMeasurementLines();
// The value cell of slot n and, in Statistic display, its statistics line.
void ShowSlotResult(int slot);
void ShowSlotStatistics(int slot);
// Statistics pictures: all marked not drawn; one redrawn; all hidden.
void ResetHisticons();
void RedrawHisticon(int slot);
void HideHisticons();
// The pictures of slots 0..3 drawn again in their source's colour.
void RecolorHisticons();

// The reply of "Meas:Res" (and of the limit test's result query) for a slot argument
// "n" or "n:parameter", without the header.
std::string SlotResultText(const std::string& argument);
// The same for one slot and the parameter after the colon (empty: the latest value).
std::string SlotResultText(const TParameterOfMeas& slot, std::string_view parameter);
// min(slot count, 4) while Display is not Off, else 0; and how many of those lines have
// their limit test active.
int StatLineCount();
int ActiveLimitCount();

// The pop-up menu of a measurement line of the strip and its command.
TPopupMenu BuildMeasPopupMenu(int slot);
void MeasPopupItemClick(const std::string& item, int slot);

// The short name of a source in the paths ("Ch1").
std::string MeasSourceName(TTraceId id);

}  // namespace norv
