#include "service/ui/utility_pages.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/look.h"
#include "controls/menu_pages.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/text/dot_number.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "service/adjust_access.h"
#include "service/calibration_settings.h"
#include "service/ui/adjust_access_form.h"

namespace norv {

namespace {

// Heights that keep every panel within the page.
constexpr int kLink = 24;
constexpr int kEdit = 49;
constexpr int kLabelHeight = 16;
constexpr int Rows(int rows) { return 20 + 13 * rows; }

TSwitcherDecl Link(const char* name, const char* caption) {
  return Sw<TRC_RightPassiveCommandSwitcher>(
      {.Height = kLink, .Items = {caption}, .WithHot = false, .Name = name});
}
TSwitcherDecl Command(const char* name, const char* mnemonics, const char* caption) {
  return Sw<TRC_RightCommandSwitcher>({.Mnemonics = mnemonics,
                                       .Caption = caption,
                                       .Height = kLink,
                                       .Items = {caption},
                                       .WithHot = false,
                                       .Name = name});
}
TSwitcherDecl Edit(const char* name, const char* mnemonics, const char* caption) {
  return Sw<TRC_EditSwitcher>({.Mnemonics = mnemonics, .Caption = caption, .Height = kEdit, .Name = name});
}
TSwitcherDecl Choice(const char* name, const char* mnemonics, const char* caption, QStringList items,
                     int columns = 1) {
  const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
  return Sw<TRC_RadioSwitcher>({.Mnemonics = mnemonics,
                                .Caption = caption,
                                .Height = Rows(rows),
                                .Items = std::move(items),
                                .Columns = columns,
                                .Name = name});
}
TSwitcherDecl ChannelChoice(const char* name) {
  return Choice(name, ":Shadow:Calibr:ChnlsBW", "Channel & BW",
                {"Ch1 Full BW", "Ch2 Full BW", "Ch1 Narrow BW", "Ch2 Narrow BW"});
}

// The nodes of the channel and band chosen by "Shadow:Calibr:ChnlsBW": Ch1 Full, Ch2 Full,
// Ch1 Narrow, Ch2 Narrow.
constexpr const char* kChannelGroups[] = {"Ch1Full", "Ch2Full", "Ch1Narrow", "Ch2Narrow"};

int ChosenChannelBand() { return std::min<int>(GetIndex(CalibrationState().ChannelsBW), 3); }
bool NarrowBandChosen() { return ChosenChannelBand() >= 2; }

QString ChannelBandText() {
  const int i = ChosenChannelBand();
  return QString::fromStdString(FormatOr_Dot(GetLangStr("Ch__Bw"), "Ch%d %s %s", 1 + i % 2,
                                             GetLangStr(i < 2 ? "Full" : "Narrow"), GetLangStr("BW")));
}

QString FineTimeBaseCaption() {
  return QString::fromStdString(GetLangStr(IsKxxModel() ? "FineDAC_Amplitude" : "FineDACby4"));
}

// A page of the family: its links turn its own pages or move the panel to another page of
// the family.
class TUtilityFamilyMenu : public TDeclaredSideMenu {
 public:
  TUtilityFamilyMenu(QWidget* owner, const TMenuDecl& decl) : TDeclaredSideMenu(owner, decl) {
    // A command without a caption strip is one button over the whole control.
    for (TRC_Switcher* s : findChildren<TRC_Switcher*>())
      if (auto* command = qobject_cast<TRC_CustomCmmandSwitcher*>(s); command && !command->WithHot())
        command->SetNoFrame(true);
  }

  void ShowPage(int page) override {
    TDeclaredSideMenu::ShowPage(page >= 1 && page <= PageCount() ? page : 1);
    PageShown();
  }

 protected:
  // Runs after a page was shown (and so after a translation put the design texts back).
  virtual void PageShown() {}

  void OnClick(const char* control, std::function<void()> action) {
    Control<TRC_RightPassiveCommandSwitcher>(control).OnUpdateMe =
        [action = std::move(action)](TRC_Switcher&) { action(); };
  }
  void TurnTo(const char* control, int page) {
    OnClick(control, [this, page] { ShowPage(page); });
  }
  void FamilyTo(const char* control, TUtilityAlt alt) {
    OnClick(control, [this, alt] { SwitchUtilityFamily(Panel(), alt); });
  }
  // A line of text at `top` of a panel; the switchers from there on move down for it.
  QLabel* InsertLabel(const char* panel, const char* name, int top) {
    auto& p = Control<TRC_RightMenuPanel>(panel);
    for (QWidget* w : p.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w->y() >= top) w->move(w->x(), w->y() + kLabelHeight);
    p.resize(p.width(), p.height() + kLabelHeight);
    auto* label = new QLabel(&p);
    label->setObjectName(name);
    label->setGeometry(TRC_RightMenuPanel::kCaptionLeft, top, kPagePanelWidth - 12, kLabelHeight - 2);
    label->show();
    return label;
  }
  // The channel panel follows the channel and band chosen. The bridge share belongs to
  // the narrow band alone: it shows the chosen channel's, and hides for the full band.
  void FollowChannelChoice(const char* panel, QLabel* label, const char* bandPercent = nullptr) {
    const int chosen = ChosenChannelBand();
    Control<TRC_RightMenuPanel>(panel).SetGroupMnemonics(std::string("FLASH:Calibr:") +
                                                         kChannelGroups[chosen]);
    label->setText(ChannelBandText());
    if (!bandPercent) return;
    auto& percent = Control<TRC_Switcher>(bandPercent);
    const std::string node = Format_Dot(":FLASH:Calibr:Ch%dNarrow:PromBrNBW", 1 + chosen % 2);
    if (percent.Mnemonics() != node) percent.SetMnemonics(node);
    percent.setVisible(NarrowBandChosen());
  }
};

// ---------------------------------------------------------------------------------------
// The utility page

TMenuDecl UtilMenu() {
  return {.Name = "Util_Form",
          .Caption = "Utility",
          .Pages = {{.Number = 1,
                     .Panels = {{.Name = "rmpUtilMain",
                                 .Group = "Util",
                                 .Caption = "Utility",
                                 .Switchers = {Link("pcswCalibrating", "Calibrate..."),
                                               Link("pcswAdjusting", "Adjustment..."),
                                               Sw<TRC_ListBoxSwitcher>({.Mnemonics = ":Shadow:Lang",
                                                                        .Caption = "Language",
                                                                        .Items = {"English"},
                                                                        .Name = "lbswLanguage",
                                                                        .RunTimeItems = true}),
                                               Link("rpcsGSS", "Demo Signal")}}}}}};
}

class TUtil_Form final : public TUtilityFamilyMenu {
 public:
  explicit TUtil_Form(QWidget* owner) : TUtilityFamilyMenu(owner, UtilMenu()) {
    FamilyTo("pcswCalibrating", uaCalibration);
    OnClick("pcswAdjusting", [this] { OpenAdjustmentPage(Panel()); });
    FamilyTo("rpcsGSS", uaDemoSignal);
    // One entry per language found, as the language node lists them.
    QStringList names;
    if (Languages)
      for (int i = 0; i < Languages->Count; ++i)
        names << QString::fromStdString(Languages->GetLanguageName(i));
    if (names.isEmpty()) names << "English";
    Control<TRC_ListBoxSwitcher>("lbswLanguage").SetItems(names);
  }
};

// ---------------------------------------------------------------------------------------
// The calibration page

TMenuDecl CalibrMenu() {
  return {
      .Name = "Calibr_Form",
      .Caption = "Calibrate",
      .Pages =
          {{.Number = cpMain,
            .Panels = {{.Name = "rmpCalibrMain",
                        .Group = "Flash:Calibr",
                        .Caption = "Calibrate",
                        .Switchers =
                            {Link("pcswChannels", "Channels..."), Link("pcswTimeBase", "Time Base..."),
                             Link("pcswCalibrationStatus", "Calibration Status..."), Link("pcswBack", "Back"),
                             Command("rcswStoreAll", ":Flash:Calibr:StoreAll", "Store all Constants"),
                             Command("rcswRecallAll", ":Flash:Calibr:RecallAll", "Recall all Constants"),
                             Command("rcswRecallFactory", ":Flash:Adjust:RecallAll", "Recall Factory")}}}},
           {.Number = cpChannels,
            .Panels = {{.Name = "rmpCalibrChannels",
                        .Group = "Flash:Calibr:Ch1Full",
                        .Caption = "Calibrate (Channels)",
                        .Switchers = {Command("rcswProceedCh", ":Flash:Calibr:AutocalCh", "Proceed"),
                                      ChannelChoice("rswChnlsBW"),
                                      Edit("eswBridgeVolt", "BridgeVolt", "BRIDGE VOLTAGE"),
                                      Edit("eswBalance", "Balance", "BALANCE"),
                                      Edit("eswLfDist", "LfDist", "LF DISTORTION"),
                                      Link("pcswBackFromChannels", "Back")}}}},
           {.Number = cpTimeBase,
            .Panels = {{.Name = "rmpCalibrTB",
                        .Group = "Flash:Calibr",
                        .Caption = "Calibrate ( TB )",
                        .Switchers = {Command("rcswProceedTB", "AutocalTB", "Proceed"),
                                      Edit("eswCoarseTB", "CoarseTB", "COARSE TIME BASE"),
                                      Edit("eswFineTB", "FineTB", "FINE TBASE / 4 ns"),
                                      Link("pcswBackFromTB", "Back")}}}}},
      .OwnPageTurns = true};
}

class TCalibr_Form final : public TUtilityFamilyMenu {
 public:
  explicit TCalibr_Form(QWidget* owner) : TUtilityFamilyMenu(owner, CalibrMenu()) {
    channel_ = InsertLabel("rmpCalibrChannels", "lblChannel", TRC_RightMenuPanel::kFirstTop);
    TurnTo("pcswChannels", cpChannels);
    TurnTo("pcswTimeBase", cpTimeBase);
    OnClick("pcswCalibrationStatus", [this] { ShowCalibrationStatus(window()); });
    FamilyTo("pcswBack", uaUtility);
    TurnTo("pcswBackFromChannels", cpMain);
    TurnTo("pcswBackFromTB", cpMain);
    Control<TRC_RadioSwitcher>("rswChnlsBW").OnUpdateMe = [this](TRC_Switcher&) {
      FollowChannelChoice("rmpCalibrChannels", channel_);
    };
  }

 protected:
  void PageShown() override {
    FollowChannelChoice("rmpCalibrChannels", channel_);
    Control<TRC_EditSwitcher>("eswFineTB").SetCaption(FineTimeBaseCaption());
  }

 private:
  QLabel* channel_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// The adjustment page

TPanelDecl AdjustPanel(const char* name, const char* group, const char* caption,
                       std::vector<TSwitcherDecl> switchers) {
  return {.Name = name, .Group = group, .Caption = caption, .Switchers = std::move(switchers)};
}

TMenuDecl AdjustMenu() {
  return {
      .Name = "Adjust_Form",
      .Caption = "Adjustment",
      .Pages =
          {{.Number = apMain,
            .Panels = {AdjustPanel(
                "rmpAdjustMain", "Flash", "Adjustment",
                {Link("pcswOEConverter", "O/E Converter..."), Link("pcswAdjChannels", "Channels..."),
                 Link("pcswStrobeGenerator", "Strobe Generator..."), Link("pcswAdjTimeBase", "Time Base..."),
                 Link("pcswTrigger", "Trigger..."),
                 Command("rcswStoreFactory", ":Flash:Adjust:StoreAll", "Store as Factory"),
                 Command("rcswRecallFactory", ":Flash:Adjust:RecallAll", "Recall Factory"),
                 Link("pcswBack", "Back")})}},
           {.Number = apChannels,
            .Panels = {AdjustPanel(
                "rmpAdjChannels", "Flash:Calibr:Ch1Full", "Calibrate (Channels)",
                {ChannelChoice("rswAdjChnlsBW"), Edit("eswAdjBridgeVolt", "BridgeVolt", "BRIDGE VOLTAGE"),
                 Edit("eswAdjBalance", "Balance", "BALANCE"), Edit("eswAdjLfDist", "LfDist", "LF DISTORTION"),
                 Edit("eswADC200mV", "ADC200mV", "Swing ADC/200 mV"),
                 Edit("eswPromBrNBW", ":FLASH:Calibr:Ch1Narrow:PromBrNBW", "% OF BRIDGE"),
                 Link("pcswBackFromChannels", "Back")})}},
           {.Number = apStrobe,
            .Panels = {AdjustPanel(
                "rmpAdjStrobeGener", "Flash:Calibr:Strobe", " Strobe Generator ",
                {Edit("eswSRD1", "SRD1", "SRD 1"), Edit("eswSRD2", "SRD2", "SRD 2"),
                 Edit("eswSRD3", "SRD3", "SRD 3"), Edit("eswAmplitude", "Amplitude", "AMPLITUDE"),
                 Edit("eswDelay", "Delay", "DELAY"), Link("pcswFindSRD", "Find SRDs..."),
                 Link("pcswBackFromStrobe", "Back")})}},
           {.Number = apFindSrd,
            .Panels = {AdjustPanel(
                "rmpAdjFindSRD", "Flash:Calibr:Strobe", "Find SRDs...",
                {Edit("eswMinSRD1", "MinSRD1", "Min SRD1"), Edit("eswMaxSRD1", "MaxSRD1", "Max SRD1"),
                 Edit("eswMinSRD2", "MinSRD2", "Min SRD2"), Edit("eswMaxSRD2", "MaxSRD2", "Max SRD2"),
                 Choice("rswChFindSRD", "ChFindSRD", "Channel", {"Ch1", "Ch2"}, 2),
                 Link("pcswBackFromFindSRD", "Back")})}},
           {.Number = apTimeBase,
            .Panels = {AdjustPanel("rmpAdjTimeBase", "Shadow:Adjust", "Time Base",
                                   {Edit("eswAdjCoarseTB", ":Flash:Calibr:CoarseTB", "COARSE TIME BASE"),
                                    Edit("eswCoarseDelay", ":Flash:Calibr:CoarseDelay", "COARSE DELAY"),
                                    Edit("eswAdjFineTB", ":Flash:Calibr:FineTB", "FINE TBASE / 4 ns"),
                                    Edit("eswFineDelay", ":Flash:Calibr:FineDelay", "FINE DELAY"),
                                    Link("pcswBackFromTimeBase", "Back")})}},
           {.Number = apTrigger,
            .Panels = {AdjustPanel(
                "rmpAdjTrigger", "Flash:Calibr", " Trigger ",
                {Edit("eswLevelZero", "LevelZero", "EXT LVL ZERO"), Link("pcswBackFromTrigger", "Back")})}},
           {.Number = apOEConverter,
            .Panels = {AdjustPanel("rmpOE_Converter", "Flash", " O/E Converter ",
                                   {Link("pcswWavelengthGain", "Wavelength Gain..."),
                                    Link("pcswFreqCorrection", "Freq. Correction..."),
                                    Link("pcswBackFromOE", "Back")})}},
           {.Number = apWavelengthGain,
            .Panels = {AdjustPanel(
                "rmpFilterAndGain", "Shadow:Adjust", " Wavelength Gain ",
                {Edit("eswOEWaveLen1", "OEWaveLen1", "WAVELENGTH"), Edit("eswOEGain1", "OEGain1", "GAIN"),
                 Edit("eswOEWaveLen2", "OEWaveLen2", "WAVELENGTH"), Edit("eswOEGain2", "OEGain2", "GAIN"),
                 Edit("eswOEWaveLen3", "OEWaveLen3", "WAVELENGTH"), Edit("eswOEGain3", "OEGain3", "GAIN"),
                 Link("pcswBackFromGain", "Back")})}},
           {.Number = apFreqCorrection,
            .Panels = {AdjustPanel(
                "rmpFreqCorrection", "Shadow:Adjust", "Frequency Correction",
                {Choice("rswFreqCorPoint", "FreqCorPoint", "Bit Rate Points", {"1", "2", "3", "4", "5"}, 3),
                 Edit("eswERBitRate", "ERBitRate", "BIT RATE"),
                 Choice("rswPattLenght", "PattLenght", "Pattern Length",
                        {"7 Bits", "15 Bits", "23 Bits", "31 Bits"}),
                 Edit("eswERCorrFact", "ERCorrFact", "CORR. FACTOR"),
                 Command("rcswFreqRecallFactory", ":Flash:Adjust:RecallAll", "Recall Factory"),
                 Command("rcswFreqStoreFactory", ":Flash:Adjust:StoreAll", "Store as Factory"),
                 Link("pcswBackFromFreq", "Back")})}}},
      .OwnPageTurns = true};
}

class TAdjust_Form final : public TUtilityFamilyMenu {
 public:
  explicit TAdjust_Form(QWidget* owner) : TUtilityFamilyMenu(owner, AdjustMenu()) {
    channel_ = InsertLabel("rmpAdjChannels", "lblAdjChannel", TRC_RightMenuPanel::kFirstTop);
    for (int point = 1; point <= 3; ++point) {
      const std::string n = std::to_string(point);
      InsertLabel("rmpFilterAndGain", ("lblPoint" + n).c_str(),
                  Control<TRC_Switcher>(("eswOEWaveLen" + n).c_str()).y())
          ->setText(QString("Point %1").arg(point));
    }
    TurnTo("pcswOEConverter", apOEConverter);
    TurnTo("pcswAdjChannels", apChannels);
    TurnTo("pcswStrobeGenerator", apStrobe);
    TurnTo("pcswAdjTimeBase", apTimeBase);
    TurnTo("pcswTrigger", apTrigger);
    FamilyTo("pcswBack", uaUtility);
    for (const char* back : {"pcswBackFromChannels", "pcswBackFromStrobe", "pcswBackFromTimeBase",
                             "pcswBackFromTrigger", "pcswBackFromOE"})
      TurnTo(back, apMain);
    TurnTo("pcswFindSRD", apFindSrd);
    TurnTo("pcswBackFromFindSRD", apStrobe);
    TurnTo("pcswWavelengthGain", apWavelengthGain);
    TurnTo("pcswFreqCorrection", apFreqCorrection);
    TurnTo("pcswBackFromGain", apOEConverter);
    TurnTo("pcswBackFromFreq", apOEConverter);
    Control<TRC_RadioSwitcher>("rswAdjChnlsBW").OnUpdateMe = [this](TRC_Switcher&) {
      FollowChannelChoice("rmpAdjChannels", channel_, "eswPromBrNBW");
    };
    // While this page is open a change of a calibration constant marks the adjustment set
    // changed as well.
    CalibrationState().AdjustmentPageOpen = true;
  }
  ~TAdjust_Form() override {
    CalibrationState().AdjustmentPageOpen = std::ranges::any_of(SideMenuForms, [this](const auto& form) {
      return form != this && dynamic_cast<const TAdjust_Form*>(form.data()) != nullptr;
    });
  }

 protected:
  void PageShown() override {
    Control<TRC_Switcher>("pcswOEConverter").setVisible(HasOpticsOption());
    FollowChannelChoice("rmpAdjChannels", channel_, "eswPromBrNBW");
    Control<TRC_EditSwitcher>("eswAdjFineTB").SetCaption(FineTimeBaseCaption());
    for (int point = 1; point <= 3; ++point)
      Control<QLabel>(("lblPoint" + std::to_string(point)).c_str()).setText(QString("Point %1").arg(point));
  }

 private:
  QLabel* channel_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// The calibration status dialog

// The status panel is wider than a page: its texts are longer.
constexpr int kStatusSwitcherWidth = 143;
constexpr int kStatusWidth = kStatusSwitcherWidth + 20, kStatusHeight = 238;

}  // namespace

void OpenAdjustmentPage(int panel) {
  if (ShowAdjustAccess()) SwitchUtilityFamily(panel, uaAdjustment);
}

TCalibrateStatus::TCalibrateStatus(QWidget* owner) : QDialog(owner) {
  setObjectName("CalibrateStatus");
  setWindowTitle("Calibration Status");
  setModal(true);
  auto* panel = new TRC_RightMenuPanel(this, "Util");
  panel->setObjectName("rmpCalibrStatus");
  panel->Add<TRC_EditSwitcher>({.Mnemonics = "CalPeriod",
                                .Caption = "Calibration Period",
                                .Width = kStatusSwitcherWidth,
                                .Height = kEdit,
                                .Name = "eswCalPeriod"});
  panel->Add<TRC_EditSwitcher>({.Mnemonics = "TempChange",
                                .Caption = "Temperature Change",
                                .Width = kStatusSwitcherWidth,
                                .Height = kEdit,
                                .Name = "eswTempChange"});
  panel->Add<TRC_CheckSwitcher>({.Mnemonics = "CalibrWhen",
                                 .Caption = "Calibrate When...",
                                 .Width = kStatusSwitcherWidth,
                                 .Height = Rows(3),
                                 .Items = {"Power On", "Periodically...", "Temperature Change..."},
                                 .Name = "cswCalibrWhen"});
  panel->setFixedSize(kStatusSwitcherWidth + 8, panel->NextTop() + 2);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OkButton");
  ok->setDefault(true);
  ok->setFixedSize(75, 25);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  // The panel and the button in the middle of a window as wide as its title needs.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(8);
  layout->addWidget(panel, 0, Qt::AlignHCenter);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  layout->addStretch();
  TranslatorOf(this).Translate();
  setFixedSize(std::max(kStatusWidth, TitleBarWidth(windowTitle())), kStatusHeight);
  panel->RegisterSwitchers();
  panel->show();
}

void ShowCalibrationStatus(QWidget* owner) {
  ITimer& timer = AcquisitionCycle().AutoCalTimer();
  // A timer that was off (before the start-up ended) stays off.
  const bool wasEnabled = timer.Enabled();
  timer.SetEnabled(false);
  {
    TCalibrateStatus status(owner);
    status.exec();
  }
  timer.SetEnabled(wasEnabled);
}

void RegisterUtilityPages() {
  RegisterSideMenuFactory(kUtilityMenu, [](QWidget* owner, int) { return new TUtil_Form(owner); });
  RegisterSideMenuFactory(kCalibrMenuId, [](QWidget* owner, int) { return new TCalibr_Form(owner); });
  RegisterSideMenuFactory(kAdjustMenuId, [](QWidget* owner, int) { return new TAdjust_Form(owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TCalibrateStatus(owner); });
}

}  // namespace norv
