#include "display/ui/display_page.h"

#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <array>
#include <functional>

#include "controls/look.h"
#include "controls/menu_pages.h"
#include "display/settings/display_settings.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/undo_ring.h"
#include "framework/traces/display_sources.h"
#include "framework/util/dialog_service.h"

namespace norv {

namespace {

constexpr int kPersistHelp = 306;
constexpr int kRefreshHelp = 310;

// Heights: a choice of n rows of 14 pixels below its caption strip; a plain button.
constexpr int RadioHeight(int rows) { return 20 + 14 * rows; }
constexpr int kButtonHeight = 22;
constexpr int kGap = TRC_RightMenuPanel::kSwitcherGap;
// The colour page stacks from the panel's top: the item list, Set Color, the transparency
// edit and Set On Top; then the "Default Colors" label over its two buttons side by side.
constexpr int kListHeight = 45;
constexpr int kEditHeight = 49;
constexpr int kLabelHeight = 14;
constexpr int kDefaultsLabelTop =
    TRC_RightMenuPanel::kFirstTop + kListHeight + kGap + 2 * (kButtonHeight + kGap) + kEditHeight + kGap;
constexpr int kDefaultsTop = kDefaultsLabelTop + kLabelHeight;

// A command drawn as one plain button over the whole control, its caption on the button.
template <class Base>
class TPlainButton final : public Base {
 public:
  TPlainButton(QWidget* parent, const TSwitcherFields& fields) : Base(parent, fields) {
    this->SetNoFrame(true);
    if (fields.Height <= 0) this->resize(this->width(), kButtonHeight);
  }
};
using TPageButton = TPlainButton<TRC_RightPassiveCommandSwitcher>;
using TCommandButton = TPlainButton<TRC_RightCommandSwitcher>;

// A colour setting shown as a swatch with the caption written on it.
class TColorSwatch final : public TRC_Switcher {
 public:
  TColorSwatch(QWidget* parent, const TSwitcherFields& fields) : TRC_Switcher(parent) {
    SetWithHot(false);
    resize(width(), 20);
    Apply(fields);
  }
  void UpdateFromHandler() override {
    if (!GetHandler()) return;
    swatch_ = ColorFromBgr(static_cast<uint32_t>(HandlerAs<TIntEditHandler>(kWrongHandler).Value()));
    update();
    TRC_Switcher::UpdateFromHandler();
  }

 protected:
  void HandlerBound() override { HandlerAs<TIntEditHandler>(kWrongHandler); }
  void PaintContent(QPainter& painter, const QRect& content) override {
    painter.fillRect(content, swatch_);
    // Black on light colours, white on dark ones (ITU-R BT.601 luma).
    const int luma = (299 * swatch_.red() + 587 * swatch_.green() + 114 * swatch_.blue()) / 1000;
    painter.setPen(luma >= 128 ? Qt::black : Qt::white);
    painter.drawText(content, Qt::AlignCenter | Qt::TextSingleLine, Caption());
  }

 private:
  static constexpr const char* kWrongHandler = "Handler not TIntEditHandler";
  QColor swatch_ = Qt::black;
};

TSwitcherDecl PageTurn(const char* caption, const char* name) {
  return Sw<TPageButton>({.Caption = caption, .Name = name});
}

// The captions of the grade scale, grade 5 (the densest) first.
constexpr std::array<const char*, 5> kGradeCaptions = {"50% - 100%", "25% - 50%", "12.5% - 25%",
                                                       "6.25% - 12.5%", "0 - 6.25%"};

std::string GradeName(const char* prefix, int grade) { return prefix + std::to_string(grade); }

TMenuDecl DisplayMenu() {
  std::vector<TSwitcherDecl> grades;
  for (int grade = 5; grade >= 1; --grade) {
    const char* caption = kGradeCaptions[static_cast<size_t>(5 - grade)];
    // Node N holds grade 6 - N.
    grades.push_back(Sw<TColorSwatch>({.Mnemonics = "GradeClr" + std::to_string(6 - grade),
                                       .Caption = caption,
                                       .Name = GradeName("DisplColGrade", grade)}));
    grades.push_back(Sw<TPageButton>({.Caption = "Set Color", .Name = GradeName("DisplSetColGrade", grade)}));
  }
  grades.push_back(
      Sw<TCommandButton>({.Mnemonics = "GradeDefCol", .Caption = "Default Colors", .Name = "kjgjkh"}));
  grades.push_back(PageTurn("Back", "DisplBack2"));

  // clang-format off
  return {
      .Name = "Disp_Form",
      .Pages = {
          {.Number = 1,
           .Panels = {{.Name = "rmpDisplayMain", .Group = "Displ", .Caption = "Display", .Switchers = {
               Sw<TRC_RadioSwitcher>({.Mnemonics = ":Displ:TraceMode", .Caption = "Trace Mode",
                                      .Height = RadioHeight(2), .Items = {"All Locked", "Per Trace"},
                                      .Name = "rswTraceMode"}),
               Sw<TRC_SignalSourceSwitcher>({.Mnemonics = ":Displ:TraceSel", .Caption = "Trace",
                                             .Name = "ssswTrace"}),
               Sw<TRC_RadioSwitcher>({.Mnemonics = "Style", .Caption = "Style", .Height = RadioHeight(8),
                                      .Items = {"Dots", "Vectors", "Var Persist", "Inf Persist", "Var Gray",
                                                "Inf Gray", "Var Color", "Inf Color"},
                                      .Name = "rswStyle"}),
               Sw<TRC_EditSwitcher>({.Mnemonics = "PersistTime", .Caption = "PERSIST TIME",
                                     .HelpContext = kPersistHelp, .Name = "edswTime"}),
               Sw<TCommandButton>({.Mnemonics = ":Displ:ResetAll", .Caption = "Reset All",
                                   .Name = "RC_RightCommandSwitcher1"}),
               PageTurn("Screen...", "pcswGotoScreenPanel"),
               PageTurn("Color...", "pcswGotoColorPanel")}}}},
          {.Number = 2,
           .Panels = {{.Name = "rmpScreens", .Group = "Displ", .Caption = "Screen", .Switchers = {
               Sw<TRC_RadioSwitcher>({.Mnemonics = "Format", .Caption = "Format", .Height = RadioHeight(6),
                                      .Items = {"YT", "Dual YT", "Quad YT", "XY", "YT + XY", "Dual YT + XY"},
                                      .Name = "rswFormat"}),
               Sw<TRC_SignalSourceSwitcher>({.Mnemonics = ":Shadow:Displ:Wfm", .Caption = "Waveform... ",
                                             .Name = "ssswWaveform"}),
               Sw<TRC_RadioSwitcher>({.Mnemonics = "Screen4:Ch1", .Caption = "Place on Graticule",
                                      .Height = RadioHeight(2), .Items = {"1", "2", "3", "4"}, .Columns = 2,
                                      .Name = "rswPlaceOnGratic"}),
               Sw<TRC_RadioSwitcher>({.Mnemonics = "Gratic", .Caption = "Graticule", .Height = RadioHeight(4),
                                      .Items = {"Grid", "Frame", "Axes", "Off"}, .Name = "RC_RadioSwitcher1"}),
               Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "XAxis", .Caption = "X =", .Name = "ssswX_AxisForXY"}),
               Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "YAxis", .Caption = "Y =", .Name = "ssswY_AxisForXY"}),
               PageTurn("Back", "Button1")}}}},
          {.Number = 3,
           .Panels = {{.Name = "rmpColor", .Group = "Displ", .Caption = "Color", .Switchers = {
               Sw<TRC_ListBoxSwitcher>({.Mnemonics = ":Shadow:ColorItem", .Caption = "Item", .Name = "lbswItem2",
                                        .RunTimeItems = true}),
               Sw<TPageButton>({.Caption = "Set Color", .Name = "RC_RightPassiveCommandSwitcher3"}),
               Sw<TRC_EditSwitcher>({.Mnemonics = ":Shadow:Transpar", .Caption = "TRANSPARENCY",
                                     .Name = "edsvTransparence"}),
               Sw<TCommandButton>({.Mnemonics = ":Shadow:SetOnTop", .Caption = "Set On Top",
                                   .Name = "RC_RightCommandSwitcher2"}),
               Sw<TCommandButton>({.Mnemonics = "DefaultClr:Current", .Caption = "Current", .Left = 4,
                                   .Top = kDefaultsTop, .Width = 51, .Name = "rcswSefaultCurrentColor"}),
               Sw<TCommandButton>({.Mnemonics = "DefaultClr:All", .Caption = "All", .Left = 56,
                                   .Top = kDefaultsTop, .Width = 51, .Name = "rcswSefaultAllColors"}),
               // The panel's whole inside: the longest caption of the menu.
               Sw<TPageButton>({.Caption = "Color Grade Scale...", .Left = 2, .Width = kPagePanelWidth - 4,
                                .Name = "pcswGotoColorLegend"}),
               PageTurn("Back", "Button2")}}}},
          {.Number = 4,
           .Panels = {{.Name = "rmpColorGradeScale", .Group = "Displ", .Caption = "Color Grade Scale",
                       .Switchers = std::move(grades)}}},
      },
      // Each page's buttons turn to the page they name, not round.
      .OwnPageTurns = true};
  // clang-format on
}

class TDisp_Form final : public TDeclaredSideMenu {
 public:
  explicit TDisp_Form(QWidget* owner) : TDeclaredSideMenu(owner, DisplayMenu()) {
    main_ = Page(1)->findChild<TRC_RightMenuPanel*>("rmpDisplayMain");
    style_ = &Control<TRC_RadioSwitcher>("rswStyle");
    time_ = &Control<TRC_EditSwitcher>("edswTime");
    place_ = &Control<TRC_RadioSwitcher>("rswPlaceOnGratic");

    Turn("pcswGotoScreenPanel", 2);
    Turn("pcswGotoColorPanel", 3);
    Turn("Button1", 1);
    Turn("pcswGotoColorLegend", 4);
    Turn("Button2", 1);
    Turn("DisplBack2", 3);
    Control<TRC_Switcher>("ssswTrace").OnUpdateMe = [this](TRC_Switcher&) {
      main_->SetGroupMnemonics(DisplayPanelGroup());
    };
    Control<TRC_Switcher>("rswTraceMode").OnUpdateMe = [this](TRC_Switcher&) { UpdateStyleBinding(); };
    for (const char* name : {"rswFormat", "ssswWaveform"})
      Control<TRC_Switcher>(name).OnUpdateMe = [this](TRC_Switcher&) {
        ChangeMnemonicOfPlaceOnGraticuleSw();
      };
    Control<TRC_Switcher>("RC_RightPassiveCommandSwitcher3").OnUpdateMe = [](TRC_Switcher&) {
      SetItemColor();
    };
    for (int grade = 1; grade <= 5; ++grade) {
      TRC_Switcher& button = Control<TRC_Switcher>(GradeName("DisplSetColGrade", grade).c_str());
      button.OnUpdateMe = [grade](TRC_Switcher&) { SetGradeColor(grade); };
      grade_buttons_[static_cast<size_t>(grade - 1)] = &button;
    }

    QStringList items;
    for (const TDisplaySource& source : DisplaySources) items << QString::fromStdString(source.Name);
    Control<TRC_ListBoxSwitcher>("lbswItem2").SetItems(items);
    auto* label = new QLabel("Default Colors", Page(3)->findChild<TRC_RightMenuPanel*>("rmpColor"));
    label->setObjectName("lblDefaultColors");
    label->setGeometry(TRC_RightMenuPanel::kCaptionLeft, kDefaultsLabelTop, kPagePanelWidth - 12,
                       kLabelHeight);
    ShowGradeButtons();
  }

  void InitMenu() override {
    main_->SetGroupMnemonics(DisplayPanelGroup());
    UpdateStyleBinding();
    UpdateTimeBinding();
    ChangeMnemonicOfPlaceOnGraticuleSw();
  }

  void ShowPage(int page) override {
    if (page < 1 || page > PageCount()) page = 1;
    TDeclaredSideMenu::ShowPage(page);
    // The time editor's caption is the language text of what it edits, not the form's.
    UpdateTimeBinding();
  }

  // The style of the selected trace, or the database style while a database is shown.
  void UpdateStyleBinding() { style_->SetMnemonics(StyleControlMnemonics()); }

  void UpdateTimeBinding() {
    const std::string mnemonics = TimeControlMnemonics();
    const bool persist = mnemonics == "PersistTime";
    time_->SetMnemonics(mnemonics);
    time_->SetHelpContext(persist ? kPersistHelp : kRefreshHelp);
    time_->SetCaption(QString::fromStdString(GetLangStr(persist ? "PERSISTENCETIME" : "REFRESHTIME")));
  }

  // The five grade swatches show "Displ:GradeClr1" .. "Displ:GradeClr5" as they are now.
  void UpdateGradePanels() {
    for (int grade = 1; grade <= 5; ++grade)
      Control<TRC_Switcher>(GradeName("DisplColGrade", grade).c_str()).UpdateFromHandler();
  }

  // The grade colours are set only where they are used.
  void ShowGradeButtons() {
    const TDisplayStyle s = GetTraceStyle(SelectedDisplayTrace());
    const bool grades = s == TDisplayStyle::VColorGrad || s == TDisplayStyle::IColorGrad;
    for (TRC_Switcher* button : grade_buttons_) button->setVisible(grades);
  }

  // The chosen waveform's screen in the layout of two screens, or of four otherwise.
  void ChangeMnemonicOfPlaceOnGraticuleSw() {
    const TScreenFormat f = GetDisplayFormat();
    const bool two = f == TScreenFormat::YT2 || f == TScreenFormat::Comb2YTXY;
    const TSignalSourceSwHandler* wfm = DisplaySettings().Wfm;
    const std::string name = DisplayNodeName(wfm ? wfm->GetSource() : TTraceId::Ch1);
    place_->SetMnemonics((two ? "Screen2:" : "Screen4:") + name);
  }

 private:
  void Turn(const char* name, int page) {
    Control<TRC_Switcher>(name).OnUpdateMe = [this, page](TRC_Switcher&) { ShowPage(page); };
  }

  // The colour of the chosen item from the colour dialog; its opacity stays.
  static void SetItemColor() {
    TDisplaySettingsState& s = DisplaySettings();
    const int item = std::min<int>(GetIndex(s.ColorItem), kDisplaySourceCount - 1);
    TIntEditHandler* node = s.ColorNodes[static_cast<size_t>(item)];
    if (!node) return;
    const auto c = static_cast<uint32_t>(node->Value());
    const uint32_t opacity = std::min<uint32_t>(c >> 24, 100);
    const std::optional<uint32_t> chosen = Dialogs().ChooseColour(c & 0xFFFFFF);
    if (!chosen) return;
    if (UndoBuffer) UndoBuffer->BeginStep();
    node->SetValueByProgram(static_cast<int32_t>(opacity << 24 | (*chosen & 0xFFFFFF)));
  }

  // Grade N's colour (node "Displ:GradeClr" 6 - N) from the full colour dialog.
  static void SetGradeColor(int grade) {
    TIntEditHandler* node = DisplaySettings().GradeClr[static_cast<size_t>(5 - grade)];
    if (!node) return;
    const std::optional<uint32_t> chosen = Dialogs().ChooseColour(static_cast<uint32_t>(node->Value()), true);
    if (!chosen) return;
    if (UndoBuffer) UndoBuffer->BeginStep();
    node->SetValueBySwitcher(static_cast<double>(*chosen & 0xFFFFFF));
  }

  TRC_RightMenuPanel* main_ = nullptr;
  TRC_RadioSwitcher* style_ = nullptr;
  TRC_EditSwitcher* time_ = nullptr;
  TRC_RadioSwitcher* place_ = nullptr;
  std::array<TRC_Switcher*, 5> grade_buttons_{};
};

void ForEachOpenPage(const std::function<void(TDisp_Form&)>& action) {
  for (const QPointer<TSideMenuForm>& form : SideMenuForms)
    if (auto* page = dynamic_cast<TDisp_Form*>(form.data())) action(*page);
}

}  // namespace

void RegisterDisplayPages() {
  RegisterSideMenuFactory(kDisplayMenuId, [](QWidget* owner, int) { return new TDisp_Form(owner); });
  DisplaySettingsHooks.PageStyleChanged.Set([] {
    ForEachOpenPage([](TDisp_Form& page) {
      page.ShowGradeButtons();
      page.UpdateTimeBinding();
    });
  });
  DisplaySettingsHooks.PageDatabaseChanged.Set([] { ForEachOpenPage(&TDisp_Form::UpdateStyleBinding); });
  DisplaySettingsHooks.PageGradeColorsChanged.Set([] { ForEachOpenPage(&TDisp_Form::UpdateGradePanels); });
}

}  // namespace norv
