#include "measure/ui/meas_page.h"

#include <algorithm>

#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_access.h"
#include "framework/settings/settings_tree.h"
#include "instrument/record/signal_obj.h"
#include "measure/meas_settings.h"

namespace norv {

namespace {

// Pages of the menu.
enum : int {
  pgMain = 1,
  pgDefine,
  pgThresholds,
  pgMargins,
  pgX,
  pgY,
  pgFFTDefine,
  pgStatistic,
  pgDual,
  pgFFT
};
// The panels whose group follows the source shown.
constexpr const char* kSourcePanels[] = {"rmpDefineParameter",    "rmpDefineThresholds", "rmpMargins",
                                         "rmpXparameters",        "rmpYparameters",      "rmpFFTDefineParams",
                                         "rmpDualSignParameters", "rmpFFTparameters"};

// A list of parameters, one row of text per item below the caption strip.
TSwitcherDecl Checks(const char* name, const char* mnemonics, const char* caption, QStringList items) {
  return RowList<TRC_CheckSwitcher>(name, mnemonics, caption, std::move(items), 65);
}

TPanelDecl Panel(const char* name, const char* caption, std::vector<TSwitcherDecl> switchers,
                 const std::string& group = "Meas") {
  return {.Name = name,
          .Group = group,
          .Caption = caption,
          .Switchers = std::move(switchers),
          .HelpContext = 1100};
}

TMenuDecl MeasureMenu() {
  const std::string src = "Meas:Ch1";
  TMenuDecl m{.Name = "Meas_Form", .Caption = "Measure", .Pages = {}};
  m.Pages = {
      {.Number = pgMain,
       .Panels = {Panel(
           "rmpnMeasureMain", "Measure",
           {NodeRadio("rswDisplay", "Display", "Display", {"Off", "Parameters", "Statistics"}),
            Sw<TRC_SignalSourceSwitcher>(
                {.Mnemonics = "DisplSrc", .Caption = "Source", .Name = "RC_SignalSourceSwitcher1"}),
            WideButton("pcswXParameters", "X Parameters..."),
            WideButton("pcswYParameters", "Y Parameters..."),
            WideButton("pcswDualChanParam", "Dual-Chan Param..."),
            WideButton("pcswDefineParam", "Define Parameters..."),
            Sw<TRC_OnOffSwitch>(
                {.Mnemonics = "View", .Caption = "View Define Param", .Name = "ooswViewDefineParam"}),
            NodeRadio("rswMode", "Mode", "Mode", {"Repetitive", "Single-shot"}),
            Sw<TRC_RightCommandSwitcher>({.Mnemonics = "SingleMeas",
                                          .Caption = "Single",
                                          .Items = {"Single"},
                                          .Name = "cswSingleMeas"})})}},
      {.Number = pgDefine,
       .Panels = {Panel(
           "rmpDefineParameter", "Define Parameters",
           {WideButton("pcswStatistic", "Statistics..."),
            NodeRadio("rswTopBaseMethod", "Method", "Method", {"Histogram", "Min / Max", "User Defined"}),
            NodeEdit("edswTop", "Top", "TOP"), NodeEdit("edswBase", "Base", "BASE"),
            NodeRadio("rswThreshold", "Thresh", "Thresholds", {"10%-50%-90%", "20%-50%-80%", "User Defined"}),
            WideButton("pcswDefinedThresholds", "Defined Thresholds..."),
            WideButton("pcswMargins", "Margins..."), WideButton("Meas2Back", "Back")},
           src)}},
      {.Number = pgThresholds,
       .Panels = {Panel(
           "rmpDefineThresholds", "Define Thresholds",
           {NodeRadio("rswUnits", "Unit", "Units", {"Percent", "Vertical Unit", "Division"}),
            NodeEdit("edswUpperThresh", "UpThPerc", "UPPER THRESHOLD"),
            NodeEdit("edswMiddleThresh", "MidThPerc", "MIDDLE THRESHOLD"),
            NodeEdit("edswLowerThresh", "LowThPerc", "LOWER THRESHOLD"), WideButton("Meas3Back", "Back")},
           src)}},
      {.Number = pgMargins,
       .Panels = {Panel(
           "rmpMargins", "Margins",
           {NodeRadio("rswMargMode", "MargMode", "Mode", {"Waveform", "Marker"}),
            NodeEdit("edswLeftMargins", "LeftMarker", "LEFT MARGIN"),
            NodeEdit("edswRightMargins", "RightMarker", "RIGHT MARGIN"),
            NodeRadio("rswLeftTreshold", "LeftTresh", "Left Threshold", {"Upper", "Middle", "Lower"}),
            NodeRadio("rswRightTreshold", "RightTresh", "Right Threshold", {"Upper", "Middle", "Lower"}),
            WideButton("Meas4Back", "Back")},
           src)}},
      {.Number = pgX,
       .Panels = {Panel(
           "rmpXparameters", "X Parameters",
           {Checks("chswXParameters", "XParam", "Timing Parameters",
                   {"Period", "Frequency", "Pos Width", "Neg Width", "Rise Time", "Fall Time", "Pos Duty",
                    "Neg Duty", "Pos Crossing", "Neg Crossing", "Burst Width", "Cycles", "Time of Max",
                    "Time of Min", "Pos Jitter p-p", "Pos Jitter RMS", "Neg Jitter p-p", "Neg Jitter RMS"}),
            WideButton("Button2", "Back")},
           src)}},
      {.Number = pgY,
       .Panels = {Panel("rmpYparameters", "Y Parameters",
                        {Checks("chswYParameters", "YParam", "Amplitude Parameters",
                                {"Maximum", "Minimum", "Peak-Peak", "Top", "Base", "Amplitude", "Middle",
                                 "Mean", "dc RMS", "ac RMS", "Area", "Cycle Mean", "Cycle dc RMS",
                                 "Cycle ac RMS", "Cycle Area", "Pos Overshoot", "Neg Overshoot"}),
                         WideButton("Button3", "Back")},
                        src)}},
      {.Number = pgFFTDefine,
       .Panels = {Panel("rmpFFTDefineParams", "FFT Define Parameters",
                        {NodeRadio("rswFFTMethod", "FFTMethod", "Method", {"Harmonic", "Peak"}),
                         NodeEdit("edswFFTLeftMarg", "FFTLeft", "LEFT MARGIN"),
                         NodeEdit("edswFFTRightMarg", "FFTRight", "RIGHT MARGIN"),
                         NodeEdit("edswPeakLevel", "PeakLevel", "PEAK LEVEL"),
                         NodeEdit("edswPeakL", "PeakLeft", "LEFT PEAK"),
                         NodeEdit("edswPeakR", "PeakRight", "RIGHT PEAK"), WideButton("Button1", "Back")},
                        "Meas:F1")}},
      {.Number = pgStatistic,
       .Panels = {Panel(
           "rmpStatistic", "Statistics",
           {NodeRadio("rswStatisticMode", "StatMode", "Mode", {"Normal", "Window", "Exponential"}),
            NodeEdit("edswStatParameter", "Window", "WAVEFORMS"), WideButton("Button4", "Back")})}},
      {.Number = pgDual,
       .Panels = {Panel(
           "rmpDualSignParameters", "Dual-Chan Parameters",
           {Sw<TRC_SignalSourceSwitcher>(
                {.Mnemonics = "Source2", .Caption = "Source 2", .Name = "ssswSource2"}),
            Checks("chswXDualSignalParameters", "XDualPar", "Timing Parameters",
                   {"Delay 1R-1R", "Delay 1R-1F", "Delay 1F-1R", "Delay 1F-1F", "Delay 1R-nR", "Delay 1R-nF",
                    "Delay 1F-nR", "Delay 1F-nF", "Phase Deg", "Phase Rad", "Phase %"}),
            Checks("chswYDualSignalParameters", "YDualPar", "Amplitude Parameters", {"Gain", "Gain dB"}),
            WideButton("Button5", "Back")},
           src)}},
      {.Number = pgFFT,
       .Panels = {Panel("rmpFFTparameters", "FFT Parameters",
                        {Checks("chswXFFTParameters", "XFFTPar", "FFT Freq Parameters",
                                {"FFT Frequency", "FFT dFrequency"}),
                         NodeEdit("edswPeakL2", "PeakLeft", "LEFT PEAK"),
                         NodeEdit("edswPeakR2", "PeakRight", "RIGHT PEAK"),
                         Checks("chswYFFTParameters", "YFFTPar", "FFT Magnitude Parameters",
                                {"FFT Magnitude", "FFT dMagnitude", "THD"}),
                         WideButton("Button6", "Back")},
                        "Meas:F1")}},
  };
  return m;
}

TTraceId Shown() {
  auto* h = dynamic_cast<TSignalSourceSwHandler*>(NodeAt("Meas:DisplSrc"));
  return h ? h->GetSource() : TTraceId::Ch1;
}
bool ShownIsSpectrum() { return SignalObjs()[Shown()].IsSpectrum(); }
std::string SourceGroup() { return "Meas:" + MeasSourceName(Shown()); }

// The source's panel node path ("Meas:Ch1:Thresh").
std::string SourcePath(const char* key) { return SourceGroup() + ":" + key; }

class TMeasPage {
 public:
  explicit TMeasPage(TDeclaredSideMenu& menu) : menu_(menu) {}

  void Wire() {
    // The page buttons are plain buttons, without a caption strip above them.
    for (auto* button : menu_.findChildren<TRC_RightPassiveCommandSwitcher*>()) button->SetNoFrame(true);
    const auto turn = [this](const char* name, int page) {
      Control<TRC_Switcher>(name).OnUpdateMe = [this, page](TRC_Switcher&) { menu_.ShowPage(page); };
    };
    turn("Meas2Back", pgMain);
    turn("Meas3Back", pgDefine);
    turn("Meas4Back", pgDefine);
    for (const char* back : {"Button1", "Button2", "Button3", "Button5", "Button6"}) turn(back, pgMain);
    turn("Button4", pgDefine);
    turn("pcswStatistic", pgStatistic);
    turn("pcswDualChanParam", pgDual);
    turn("pcswDefinedThresholds", pgThresholds);
    turn("pcswMargins", pgMargins);
    const auto bySpectrum = [this](const char* name, int wave, int spectrum) {
      Control<TRC_Switcher>(name).OnUpdateMe = [this, wave, spectrum](TRC_Switcher&) {
        menu_.ShowPage(ShownIsSpectrum() ? spectrum : wave);
      };
    };
    bySpectrum("pcswXParameters", pgX, pgFFT);
    bySpectrum("pcswYParameters", pgY, pgFFT);
    bySpectrum("pcswDefineParam", pgDefine, pgFFTDefine);
    Control<TRC_Switcher>("rswDisplay").OnUpdateMe = [this](TRC_Switcher&) { DisplayChanged(); };
    Control<TRC_Switcher>("RC_SignalSourceSwitcher1").OnUpdateMe = [this](TRC_Switcher&) { SourceChanged(); };
    Control<TRC_Switcher>("rswThreshold").OnUpdateMe = [this](TRC_Switcher&) {
      Enable("pcswDefinedThresholds", IndexAt(SourcePath("Thresh")) == 2);
    };
    Control<TRC_Switcher>("rswUnits").OnUpdateMe = [this](TRC_Switcher&) { UnitsChanged(); };
    Control<TRC_Switcher>("rswMargMode").OnUpdateMe = [this](TRC_Switcher&) { MarginModeChanged(); };
    Control<TRC_Switcher>("rswStatisticMode").OnUpdateMe = [this](TRC_Switcher&) { StatModeChanged(); };
  }

 private:
  template <class T>
  T& Control(const char* name) {
    return menu_.Control<T>(name);
  }
  void Enable(const char* name, bool on) { Control<TRC_Switcher>(name).setEnabled(on); }
  void Rebind(const char* name, const std::string& mnemonics) {
    auto& s = Control<TRC_Switcher>(name);
    if (s.Mnemonics() != mnemonics) s.SetMnemonics(mnemonics);
  }

  void DisplayChanged() {
    const int display = IndexAt("Meas:Display");
    for (const char* b : {"pcswXParameters", "pcswYParameters", "pcswDefineParam"}) Enable(b, display != 0);
    Enable("pcswStatistic", display == 2);
    Enable("pcswDualChanParam", display != 0 && !ShownIsSpectrum());
  }

  void SourceChanged() {
    Enable("pcswDualChanParam", IndexAt("Meas:Display") != 0 && !ShownIsSpectrum());
    const std::string group = SourceGroup();
    for (const char* name : kSourcePanels) {
      auto* panel = menu_.findChild<TRC_RightMenuPanel*>(name);
      // A source without the panel's settings (no spectrum settings for a channel, no
      // second source for a spectrum) leaves the panel on the source it had.
      if (panel && panel->GroupMnemonics() != group && HasNodesOf(*panel, group))
        panel->SetGroupMnemonics(group);
    }
  }

  static bool HasNodesOf(const TRC_RightMenuPanel& panel, const std::string& group) {
    for (const TRC_Switcher* sw : panel.Switchers()) {
      const std::string& m = sw->Mnemonics();
      if (m.empty() || m == kNoneHandler || m.front() == ':') continue;
      if (!NodeAt(group + ":" + m)) return false;
    }
    return true;
  }

  void UnitsChanged() {
    const bool percent = IndexAt(SourcePath("Unit")) == 0;
    Rebind("edswUpperThresh", percent ? "UpThPerc" : "UpThresh");
    Rebind("edswMiddleThresh", percent ? "MidThPerc" : "MidThresh");
    Rebind("edswLowerThresh", percent ? "LowThPerc" : "LowThresh");
  }

  void MarginModeChanged() {
    const bool marker = IndexAt(SourcePath("MargMode")) == 1;
    Rebind("edswLeftMargins", marker ? "LeftMarker" : "LeftSlope");
    Rebind("edswRightMargins", marker ? "RightMarker" : "RightSlope");
  }

  void StatModeChanged() {
    auto& edit = Control<TRC_Switcher>("edswStatParameter");
    const bool weight = IndexAt("Meas:StatMode") == 2;
    Rebind("edswStatParameter", weight ? "Weight" : "Window");
    edit.SetHelpContext(weight ? 1127 : 1126);
    edit.SetCaption(QString::fromStdString(GetLangStr(weight ? "UpWEIGHT" : "UpWAVEFORMS")));
  }

  TDeclaredSideMenu& menu_;
};

}  // namespace

void RegisterMeasurePages() {
  RegisterSideMenu(kMeasureMenuId, MeasureMenu(), [](TDeclaredSideMenu& menu, int) {
    // The page object lives as long as the menu.
    auto* page = new TMeasPage(menu);
    QObject::connect(&menu, &QObject::destroyed, [page] { delete page; });
    page->Wire();
  });
  MeasSettingsHooks.PageToFirst.Set([] { ResetSideMenuPage(kMeasureMenuId); });
}

}  // namespace norv
