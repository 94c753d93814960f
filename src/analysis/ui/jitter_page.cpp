#include "analysis/ui/jitter_page.h"

#include "analysis/ui/jitter_graph.h"
#include "controls/menu_pages.h"
#include "framework/language/language.h"
#include "framework/settings/node_access.h"
#include "framework/settings/node_path.h"

namespace norv {

namespace {

enum TJitterPage { jpgMain = 1, jpgJitter = 2, jpgGraph = 3, jpgSetup = 4 };

TSwitcherDecl Back(const char* name) { return CaptionedButton(name, "Back"); }

// The result and plot names that the panel cannot hold even in its narrowest face are
// shortened; the others are the names as they are.
TMenuDecl JitterMenu() {
  return {
      .Name = "Jitter_Form",
      .Caption = "Jitter",
      .Pages =
          {{.Number = jpgMain,
            .Panels = {{.Name = "rmpJitter_Main",
                        .Group = "Jitter",
                        .Caption = " Jitter ",
                        .Switchers =
                            {Sw<TRC_OnOffSwitch>(
                                 {.Mnemonics = "JitterOn", .Caption = "On / Off", .Name = "ooswOnOff"}),
                             CaptionedButton("pcswXParameters", "Jitter..."),
                             CaptionedButton("pcswNoise", "Noise..."),
                             CaptionedButton("pcswJitterSetup", "Jitter Setup..."),
                             CaptionedButton("pcswGraph", "Graph..."),
                             CaptionedButton("pcswNoiseSetup", "Noise Setup..."),
                             RowList<TRC_RadioSwitcher>("rswSource", "Source", "Source", {"Ch1", "Ch2"})}}}},
           {.Number = jpgJitter,
            .Panels = {{.Name = "rmpJitter_Jitter",
                        .Group = "Jitter",
                        .Caption = " Jitter ",
                        .Switchers = {RowList<TRC_CheckSwitcher>(
                                          "chswXParameters", "JParam", "Jitter",
                                          {"Total (TJ)", "Periodic (PJ δ-δ)", "Periodic (PJ rms)",
                                           "Deterministic (DJ δ-δ)", "Data Dep. (DDJ pp)", "Random (RJ rms)",
                                           "Duty Cycle (DCD)", "Inter-Symbol (ISI pp)"}),
                                      Back("btnJitterBack")}}}},
           {.Number = jpgGraph,
            .Panels = {{.Name = "rmpJitter_Graph",
                        .Group = "Jitter",
                        .Caption = " Graph ",
                        .Switchers = {RowList<TRC_RadioSwitcher>("rswFormat", "Format", "Format",
                                                                 {"Off", "Single", "Dual", "Quad"}),
                                      RowList<TRC_CheckSwitcher>(
                                          "chswPlots", "JPlots",
                                          "Plot",
                                          {"RJ, PJ Histogram", "DDJ Histogram", "TJ Histogram", "Composite",
                                           "Composite DDJ", "DDJ vs Bit", "BER Bathtub"}),
                                      Back("btnGraphBack")}}}},
           {.Number = jpgSetup,
            .Panels = {{.Name = "rmpJitter_JitterSetup",
                        .Group = "Jitter",
                        .Caption = " Jitter Setup ",
                        .Switchers = {RowList<TRC_RadioSwitcher>(
                                          "rswTopBaseMethod", "SmplLvl", "Jitter Sampling Level",
                                          {"% of Amplitude", "Custom Level", "Avg Data Level"}),
                                      Sw<TRC_EditSwitcher>({.Mnemonics = ":Jitter:PercAmpl",
                                                            .Caption = "AMPLITUDE",
                                                            .Name = "edswSamplingLevel"}),
                                      RowList<TRC_RadioSwitcher>("rswUnit", "Unit", "Jitter Unit",
                                                                 {"Second", "Unit Interval"}),
                                      Back("btnSetupBack")}}}}},
      .OwnPageTurns = true};
}

class TJitterMenu final : public TDeclaredSideMenu {
 public:
  explicit TJitterMenu(QWidget* owner) : TDeclaredSideMenu(owner, JitterMenu()) {
    const auto turn = [this](const char* name, int page) {
      Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [this, page](TRC_Switcher&) {
        ShowPage(page);
      };
    };
    turn("pcswXParameters", jpgJitter);
    turn("pcswJitterSetup", jpgSetup);
    turn("pcswGraph", jpgGraph);
    for (const char* back : {"btnJitterBack", "btnGraphBack", "btnSetupBack"}) turn(back, jpgMain);
    Control<TRC_RadioSwitcher>("rswTopBaseMethod").OnUpdateMe = [this](TRC_Switcher&) {
      BindSamplingLevel();
    };
  }

  void ShowPage(int page) override {
    // Any other page number shows the main page.
    TDeclaredSideMenu::ShowPage(page >= jpgMain && page <= jpgSetup ? page : jpgMain);
    BindSamplingLevel();
  }

 private:
  // The level edit shows the custom level while it is chosen, else the percentage.
  void BindSamplingLevel() {
    const bool custom = IndexAt("Jitter:SmplLvl"_node) == 1;
    auto& edit = Control<TRC_EditSwitcher>("edswSamplingLevel");
    const char* node = custom ? ":Jitter:CustLevel" : ":Jitter:PercAmpl";
    if (edit.Mnemonics() != node) edit.SetMnemonics(node);
    edit.SetCaption(QString::fromStdString(GetLangStr(custom ? "LEVEL" : "AMPLITUDE")));
  }
};

}  // namespace

void RegisterJitterPage(TSurfaceWidgetFactory surfaces) {
  SetJitterSurfaceFactory(std::move(surfaces));
  RegisterSideMenuFactory(kJitterMenuId, [](QWidget* owner, int) { return new TJitterMenu(owner); });
  InstallJitterWindows();
}

}  // namespace norv
