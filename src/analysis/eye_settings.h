#pragma once
// The eye measurement's settings under "Eye:": the mode and source, the cycle and its
// statistics, the eye boundaries and thresholds, the four parameter lists, the result
// lines of the bottom strip with their pop-up menu, and the "Eye:Res" query.

#include <cstdint>
#include <string>

#include "display/popup_menu.h"
#include "framework/util/hook.h"

namespace norv {

class TRadioSwHandler;
class TOnOffHandler;
class TSignalSourceSwHandler;
class TIntEditHandler;
class TDoubleEditHandler;
class TCheckSwHandler;
class TGpibStringHandler;
struct TEyeParam;

inline constexpr uint8_t kEyeMenuCode = 14;

struct TEyeSettingsState {
  TRadioSwHandler* Measure = nullptr;
  TSignalSourceSwHandler* Source = nullptr;
  TIntEditHandler* WfmsInCycle = nullptr;
  TOnOffHandler* DisplayWindow = nullptr;
  TOnOffHandler* Statistic = nullptr;
  TRadioSwHandler* Mode = nullptr;
  TIntEditHandler* Window = nullptr;
  TIntEditHandler* Weight = nullptr;
  TDoubleEditHandler* LeftBound = nullptr;
  TDoubleEditHandler* RightBound = nullptr;
  TRadioSwHandler* TreshMode = nullptr;
  TDoubleEditHandler* UpTresh = nullptr;
  TDoubleEditHandler* LowTresh = nullptr;
  // [group - 1][axis]: X and Y lists of NRZ and RZ.
  TCheckSwHandler* Sets[2][2] = {};
  TGpibStringHandler* Res = nullptr;
  bool LinesBuilt = false;
  // The measure was on at its last change: the strip, overlays and labels are the eye's.
  bool WasOn = false;
};
TEyeSettingsState& EyeSettings();
void ResetEyeSettingsState();

struct TEyePageHooks {
  // The eye page goes back to its first page.
  THook<void()> PageToFirst{"EyePageHooks.PageToFirst"};
};
extern TEyePageHooks EyePageHooks;

void RegisterEyeHandlers();
void ApplyEyeSettings();
// The acquisition cycle's pass, the link's and the strip's questions, the switch-off among
// the exclusive analyses.
void InstallEyeSettings();

// The mnemonic, display key and English text of item `index` of a list.
struct TEyeParamText {
  const char* Mnemonic;
  const char* Key;
  const char* English;
};
const TEyeParamText& EyeParamText(uint8_t group, uint8_t axis, uint8_t index);
// The line's label: the parameter's text and " (source)" but for average power.
std::string EyeParamLabel(int line);

// What the engine asks of the settings side.
void ReadEyeConfig();
bool EyeDatabaseShown();
bool EyeSourceOn();
void UpdateEyeParamMasks();
bool EyeLinesBuilt();
void RebuildEyeParamLines();
void ShowEyeLine(int line);
void ShowEyeCounter(int line, const std::string& text);
void RedrawEyeDisplayWindow();
void RemoveEyeHint();
void UncheckEyeParam(uint8_t group, uint8_t axis, uint8_t index);
void DefineEyeLabels(TEyeParam& param);
// An eye line holds the screen's labels.
bool EyeAnnotationsOwned();
void RelabelEyeParams();

std::string EyeResQuery(const std::string& parameter, bool isQuery);
TPopupMenu BuildEyeParamPopupMenu(int line);
void EyeParamPopupCommand(const std::string& command, int line);

}  // namespace norv
