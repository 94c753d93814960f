#include "analysis/ui/zoom_page.h"

#include <QLabel>
#include <algorithm>

#include "analysis/zoom.h"
#include "controls/menu_pages.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "instrument/record/signal_obj.h"

namespace norv {

namespace {

enum TZoomPage { zpMain = 1, zpScaling = 2 };
constexpr int kLabelHeight = 14;

TMenuDecl ZoomMenu() {
  const auto edit = [](const char* name, const char* mnemonics, const char* caption) {
    return Sw<TRC_EditSwitcher>({.Mnemonics = mnemonics, .Caption = caption, .Name = name});
  };
  return {
      .Name = "Zoom_Form",
      .Caption = "Zoom",
      .Pages = {{.Number = zpMain,
                 .Panels = {{.Name = "rmpZoomMain",
                             .Group = "Zoom:F1",
                             .Caption = "Zoom",
                             .Switchers = {Sw<TRC_SignalSourceSwitcher>({.Mnemonics = ":Shadow:ZoomSource",
                                                                         .Caption = "Source",
                                                                         .Name = "ssswSource"}),
                                           Sw<TRC_RightPassiveCommandSwitcher>({.Caption = "Scaling",
                                                                                .Items = {"Scaling..."},
                                                                                .Name = "pcswScaling"}),
                                           Sw<TRC_RadioSwitcher>({.Mnemonics = "ComplexScale",
                                                                  .Caption = "View",
                                                                  .Height = 77,  // a text row per item
                                                                  .Items = {"Magnitude",
                                                                            "Phase", "Real", "Imaginary"},
                                                                  .Name = "rswComplexScale"}),
                                           Sw<TRC_CheckSwitcher>({.Mnemonics = "Suppress",
                                                                  .Caption = "Suppression",
                                                                  .Items = {"DC", "Phase"},
                                                                  .Name = "chswSuppression"}),
                                           edit("edswSuppressLevel", "SupprLevel", "SUPPRESS LEVEL")}}}},
                {.Number = zpScaling,
                 .Panels = {{.Name = "rmpZoomScaling",
                             .Group = "Zoom:F1",
                             .Caption = "Scaling",
                             .Switchers = {Sw<TRC_RightPassiveCommandSwitcher>(
                                               {.Caption = "Back", .Items = {"Back"}, .Name = "btnBack"}),
                                           Sw<TRC_RadioSwitcher>({.Mnemonics = "VScaleType",
                                                                  .Caption = "Vertical Scale",
                                                                  .Items = {"Linear", "Logarithmic"},
                                                                  .Name = "rswVerticalScaleType"}),
                                           edit("edswVertScale", "VertScale", "VERTICAL SCALE"),
                                           edit("edswVertPosit1", "Offset", "VERT POSITION"),
                                           edit("edswHorScale", "HorScale", "HOR SCALE"),
                                           edit("edsqHorPosition", "HorPosition", "HOR POSITION")}}}}},
      // Its own buttons turn the pages.
      .OwnPageTurns = true};
}

class TZoomMenu final : public TDeclaredSideMenu {
 public:
  explicit TZoomMenu(QWidget* owner) : TDeclaredSideMenu(owner, ZoomMenu()) {
    main_ = findChild<TRC_RightMenuPanel*>("rmpZoomMain");
    scaling_ = findChild<TRC_RightMenuPanel*>("rmpZoomScaling");
    AddComplexLabel();
    Control<TRC_RightPassiveCommandSwitcher>("pcswScaling").OnUpdateMe = [this](TRC_Switcher&) {
      ShowPage(zpScaling);
    };
    Control<TRC_RightPassiveCommandSwitcher>("btnBack").OnUpdateMe = [this](TRC_Switcher&) {
      ShowPage(zpMain);
    };
    Control<TRC_SignalSourceSwitcher>("ssswSource").OnUpdateMe = [this](TRC_Switcher&) { FollowSource(); };
    Control<TRC_RadioSwitcher>("rswComplexScale").OnUpdateMe = [this](TRC_Switcher&) { BindVertical(); };
    Control<TRC_RadioSwitcher>("rswVerticalScaleType").OnUpdateMe = [this](TRC_Switcher&) { BindVertical(); };
  }

  void InitMenu() override { FollowSource(); }

  void ShowPage(int page) override {
    TDeclaredSideMenu::ShowPage(page);
    // After the translation, which puts the design captions back.
    BindVertical();
  }

 private:
  // "Complex Signal" above the controls of a spectrum's view.
  void AddComplexLabel() {
    auto& view = Control<TRC_RadioSwitcher>("rswComplexScale");
    auto* label = new QLabel("Complex Signal", main_);
    label->setObjectName("Label1");
    label->setGeometry(TRC_RightMenuPanel::kCaptionLeft, view.y(), kPagePanelWidth - 12, kLabelHeight);
    for (const char* name : {"rswComplexScale", "chswSuppression", "edswSuppressLevel"}) {
      auto& s = Control<TRC_Switcher>(name);
      s.move(s.x(), s.y() + kLabelHeight);
    }
    main_->resize(main_->width(), main_->height() + kLabelHeight);
  }

  void FollowSource() {
    const TTraceId source = ZoomSourceTrace();
    const std::string group = "Zoom:" + GetTraceShortName(source);
    for (TRC_RightMenuPanel* panel : {main_, scaling_})
      if (panel->GroupMnemonics() != group) panel->SetGroupMnemonics(group);
    const bool on = SignalsOn.IsOn(source);
    for (TRC_RightMenuPanel* panel : {main_, scaling_})
      for (TRC_Switcher* s : panel->Switchers())
        if (s->objectName() != "ssswSource") s->setVisible(on);
    if (auto* label = main_->findChild<QLabel*>("Label1")) label->setVisible(on);
    // Scaling of a trace that is off shows nothing, not even Back: the page goes back to the
    // source list, also when the menu opens on Scaling.
    if (!on) ShowPage(zpMain);
    // The trace may have been switched on or off since its controls were enabled.
    if (IsZoomTrace(source) && ZoomSettings().Traces[0].HorScale) UpdateZoomControls(source);
    BindVertical();
  }

  // The vertical edits follow the view of the source: phase, dB or linear.
  void BindVertical() {
    const TTraceId source = ZoomSourceTrace();
    if (!IsZoomTrace(source) || !ZoomSettings().Traces[0].HorScale) return;
    const TZoomNodes& n = ZoomNodes(source);
    const bool complex = SignalObjs()[source].IsSpectrum();
    const bool phase = complex && GetIndex(n.ComplexScale) == cvPhase;
    const bool db = complex && GetIndex(n.ComplexScale) == cvMagnitude && GetIndex(n.VScaleType) == 1;
    auto& scale = Control<TRC_EditSwitcher>("edswVertScale");
    auto& position = Control<TRC_EditSwitcher>("edswVertPosit1");
    const char* scaleNode = phase ? "PhaseScale" : db ? "VertDBScale" : "VertScale";
    const char* positionNode = phase ? "OffsPhase" : db ? "OffsInDB" : "Offset";
    if (scale.Mnemonics() != scaleNode) scale.SetMnemonics(scaleNode);
    if (position.Mnemonics() != positionNode) position.SetMnemonics(positionNode);
    scale.SetCaption(QString::fromStdString(GetLangStr(phase ? "PHASE_SCALE" : "VERTICAL_SCALE")));
    position.SetCaption(QString::fromStdString(GetLangStr(phase ? "PHASE_POSITION" : "VERT_POSITION")));
  }

  TRC_RightMenuPanel* main_ = nullptr;
  TRC_RightMenuPanel* scaling_ = nullptr;
};

}  // namespace

void RegisterZoomPage() {
  RegisterSideMenuFactory(kZoomMenuId, [](QWidget* owner, int) { return new TZoomMenu(owner); });
}

}  // namespace norv
