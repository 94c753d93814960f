#include "measure/ui/limit_page.h"

#include "controls/menu_pages.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/text/dot_number.h"
#include "measure/limits/limit_testing.h"
#include "measure/meas_state.h"

namespace norv {

namespace {

enum TLimitPage { lpMain = 1, lpConditions = 2 };
constexpr int kCaptionHeight = 20;
constexpr int kRowHeight = 14;

// Choices a little tighter than the default, so that the conditions fit one page.
TSwitcherDecl Radio(const char* mnemonics, const char* caption, QStringList items, const char* name,
                    int columns = 1) {
  const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
  return Sw<TRC_RadioSwitcher>({.Mnemonics = mnemonics,
                                .Caption = caption,
                                .Height = kCaptionHeight + rows * kRowHeight,
                                .Items = std::move(items),
                                .Columns = columns,
                                .Name = name});
}

TMenuDecl LimitMenu() {
  return {
      .Name = "Limt_Form",
      .Caption = "Limit Test",
      .Pages =
          {{.Number = lpMain,
            .Panels =
                {{.Name = "rmpLimitTestMain",
                  .Group = "Limit",
                  .Caption = "Limit Test",
                  .Switchers =
                      {Radio(":Shadow:NPar", "Parameter", {"1", "2", "3", "4"}, "rswNumberOfParameter", 2),
                       Sw<TRC_OnOffSwitch>({.Caption = "Activity", .Name = "ooswActivity"}),
                       Sw<TRC_RightPassiveCommandSwitcher>(
                           {.Caption = "Conditions", .Items = {"Conditions..."}, .Name = "pcswConditions"}),
                       Sw<TRC_OnOffSwitch>({.Mnemonics = "TestOn", .Caption = "Test", .Name = "ooswTestOn"}),
                       Radio("RunUntil", "Run Until", {"Stop / Single", "Failures", "Waveforms"},
                             "rswRunUntil"),
                       Sw<TRC_EditSwitcher>(
                           {.Mnemonics = "Failures", .Caption = "# OF FAILURES", .Name = "edswNumberOff"}),
                       Sw<TRC_CheckSwitcher>({.Mnemonics = "Action",
                                              .Caption = "Action",
                                              .Items = {"Beep", "Save", "Stop"},
                                              .Name = "chswAction"}),
                       Radio("If", "If", {"Any Fail", "All Pass", "All Fail", "Any Pass"}, "rswIf")},
                  .HelpContext = 700}}},
           {.Number = lpConditions,
            .Panels = {{.Name = "rmpLimitsCondition",
                        .Group = "Limit1",
                        .Caption = "Conditions",
                        .Switchers =
                            {Sw<TRC_RightPassiveCommandSwitcher>(
                                 {.Caption = "Back", .Items = {"Back"}, .Name = "LimitBack"}),
                             Radio("Mode", "Mode", {"Center", "Limit"}, "rswMode"),
                             Radio("CenterMode", "Center", {"Current Mean", "User Defined"}, "rswCenter"),
                             Radio("FailWhen", "Fail When", {"Outside", "Inside", "Allways"}, "rswFailWhen"),
                             Radio("NotFound", "Measure Not Found", {"Ignore", "Fail", "Pass"},
                                   "rswMeasureNotFound"),
                             Radio("Delta", "Delta", {"Std Deviation", "User Defined", "User Defined %"},
                                   "rswDelta"),
                             Sw<TRC_EditSwitcher>({.Caption = "CENTER", .Name = "edswUpLimitOrCentre"}),
                             Sw<TRC_EditSwitcher>({.Caption = "DELTA", .Name = "edswLowLimitOrDelta"})},
                        .HelpContext = 700}}}},
      // "Conditions..." and "Back" turn the pages.
      .OwnPageTurns = true};
}

int ChosenTest() { return GetIndex(LimitSettings().NPar); }

// The chosen test's band editors: the two limits, or the centre and the delta chosen.
void BindBandEdits(TDeclaredSideMenu& menu) {
  const TLimitTestNodes& t = LimitSettings().Tests.at(static_cast<size_t>(ChosenTest()));
  auto& upper = menu.Control<TRC_EditSwitcher>("edswUpLimitOrCentre");
  auto& lower = menu.Control<TRC_EditSwitcher>("edswLowLimitOrDelta");
  if (GetIndex(t.Mode) == lmLimit) {
    upper.SetMnemonics("UpLimit");
    upper.SetCaption(QString::fromStdString(GetLangStr("UPPER_LIMIT")));
    upper.SetHelpContext(708);
    lower.SetMnemonics("LowLimit");
    lower.SetCaption(QString::fromStdString(GetLangStr("LOWER_LIMIT")));
    lower.SetHelpContext(708);
  } else {
    upper.SetMnemonics("CenterVal");
    upper.SetCaption(QString::fromStdString(GetLangStr("CENTER")));
    upper.SetHelpContext(722);
    static constexpr const char* kDelta[] = {"StdDev", "UserDef", "UserPerc"};
    lower.SetMnemonics(kDelta[std::min<int>(GetIndex(t.Delta), 2)]);
    lower.SetCaption(QString::fromStdString(GetLangStr("DELTA")));
    lower.SetHelpContext(724);
  }
}

void ChosenTestChanged(TDeclaredSideMenu& menu) {
  const int used = LimitSlotCount();
  const int n = ChosenTest();
  const TParameterOfMeas* measured = n < used ? MeasSlot(n) : nullptr;
  const std::string caption = measured ? MeasCaption(*measured) : GetLangStr("NoneParams");
  auto& activity = menu.Control<TRC_OnOffSwitch>("ooswActivity");
  activity.SetCaption(QString::fromStdString(caption));
  activity.SetMnemonics(Format_Dot(":Limit%d:Activ", n + 1));
  auto* conditions = menu.Page(lpConditions)->findChild<TRC_RightMenuPanel*>("rmpLimitsCondition");
  conditions->setTitle(QString::fromStdString(" " + caption + " "));
  conditions->SetGroupMnemonics(Format_Dot("Limit%d", n + 1));
  BindBandEdits(menu);
}

void WireLimitMenu(TDeclaredSideMenu& menu, int) {
  UpdateLimitTestSlots();
  // Its text needs the whole width.
  menu.Control<TRC_RightPassiveCommandSwitcher>("pcswConditions").SetNoFrame(true);
  menu.Control<TRC_RightPassiveCommandSwitcher>("pcswConditions").OnUpdateMe = [&menu](TRC_Switcher&) {
    menu.ShowPage(lpConditions);
  };
  menu.Control<TRC_RightPassiveCommandSwitcher>("LimitBack").OnUpdateMe = [&menu](TRC_Switcher&) {
    menu.ShowPage(lpMain);
  };
  menu.Control<TRC_RadioSwitcher>("rswNumberOfParameter").OnUpdateMe = [&menu](TRC_Switcher&) {
    ChosenTestChanged(menu);
  };
  // The conditions are for an active test only.
  menu.Control<TRC_OnOffSwitch>("ooswActivity").OnUpdateMe = [&menu](TRC_Switcher&) {
    menu.Control<TRC_RightPassiveCommandSwitcher>("pcswConditions").setEnabled(LimitTestActive(ChosenTest()));
  };
  menu.Control<TRC_RadioSwitcher>("rswRunUntil").OnUpdateMe = [&menu](TRC_Switcher&) {
    const bool waveforms = GetIndex(LimitSettings().RunUntil) == lruWfm;
    auto& count = menu.Control<TRC_EditSwitcher>("edswNumberOff");
    count.SetMnemonics(waveforms ? "NWfms" : "Failures");
    count.SetCaption(QString::fromStdString(GetLangStr(waveforms ? "NOFWAVEFORMS" : "NOFFAILURES")));
  };
  const auto band = [&menu](TRC_Switcher&) { BindBandEdits(menu); };
  menu.Control<TRC_RadioSwitcher>("rswMode").OnUpdateMe = band;
  menu.Control<TRC_RadioSwitcher>("rswDelta").OnUpdateMe = band;
}

}  // namespace

void RegisterLimitPage() { RegisterSideMenu(kLimitMenuId, LimitMenu(), WireLimitMenu); }

}  // namespace norv
