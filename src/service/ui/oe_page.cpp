#include "service/ui/oe_page.h"

#include <QPointer>
#include <algorithm>
#include <string>

#include "controls/menu_pages.h"
#include "framework/settings/choice_handlers.h"
#include "service/oe_converter.h"
#include "service/ui/oe_calibration_dialog.h"

namespace norv {

namespace {

enum TOEPanel { opMain = 1, opDarkLevel = 2, opWavelengthGain = 3, opFreqCorrection = 4 };

TSwitcherDecl Command(const char* name, const char* mnemonics, const char* caption) {
  return Sw<TRC_RightCommandSwitcher>(
      {.Mnemonics = mnemonics, .Caption = caption, .Items = {caption}, .Name = name});
}
TSwitcherDecl Radio(const char* name, const char* mnemonics, const char* caption, QStringList items,
                    int height = 0, bool runTimeItems = false) {
  return Sw<TRC_RadioSwitcher>({.Mnemonics = mnemonics,
                                .Caption = caption,
                                .Height = height,
                                .Items = std::move(items),
                                .Name = name,
                                .RunTimeItems = runTimeItems});
}

// A text row per item.
constexpr int kFourRows = 72, kEightRows = 143;

TMenuDecl OEMenu() {
  return {
      .Name = "TOEConv_Form",
      .Caption = "O/E Converter",
      .Pages =
          {{.Number = opMain,
            .Panels = {{.Name = "rmpOEConvMain",
                        .Group = "OEConv",
                        .Caption = " O/E Converter ",
                        .Switchers = {Radio("rswDest", "Dest", "Destination",
                                            {"O/E Converter", "Ch1", "Ch2"}),
                                      Radio("rswWaveLen", "WaveLen", "WaveLength",
                                            {"WaveLength 1", "WaveLength 2", "WaveLength 3", "User Defined"},
                                            kFourRows),
                                      // A drop-down of the valid points, by wavelength.
                                      Sw<TRC_ListBoxSwitcher>(
                                          {.Mnemonics = "UserWaveLen",
                                           .Caption = "User Wavelength",
                                           .Items = {"WL1", "WL2", "WL3", "WL4", "WL5", "WL6", "WL7", "WL8"},
                                           .Name = "lbswUserWaveLen",
                                           .RunTimeItems = true}),
                                      CaptionedButton("pcswDarkLevel", "Dark Level..."),
                                      CaptionedButton("pcswWavelengthGain", "Gain..."),
                                      CaptionedButton("pcswFreqCorrection", "Freq. Correction..."),
                                      Sw<TRC_LabelSwitcher>({.Mnemonics = ":Flash:OE:ConversionGain",
                                                             .Caption = "Conversion Gain",
                                                             .Name = "lswConversionGain"})}}}},
           {.Number = opDarkLevel,
            .Panels = {{.Name = "rmpDarkLevel",
                        .Group = "Flash:OECalibr",
                        .Caption = " Dark Level ",
                        .Switchers = {NodeEdit("edswDarkLvl", "DarkLvl", "COMPENSATION"),
                                      Command("rcswAutoDarkLvl", "AutoDarkLvl", "Proceed"),
                                      Command("rcswStore", ":Flash:Calibr:StoreAll", "Store Constant"),
                                      Command("rcswRecallLast", ":Flash:Calibr:RecallAll", "Recall Last"),
                                      Command("rcswRecallFactory", ":Flash:Adjust:RecallAll",
                                              "Recall Factory"),
                                      CaptionedButton("btnBackFromDark", "Back")}}}},
           // The point's own nodes follow the point chosen: the group is "Shadow:OECalibr"
           // and its number.
           {.Number = opWavelengthGain,
            .Panels = {{.Name = "rmpWavelengthGain",
                        .Group = "Shadow:OECalibr1",
                        .Caption = " Wavelength Gain ",
                        .Switchers = {Radio(
                                          "rswPointNum", ":Flash:OECalibr:PointNum", "User Point",
                                          {"1", "2", "3", "4", "5", "6", "7", "8"}, kEightRows, true),
                                      NodeEdit("edswWavelength", "Wavelength", "WAVELENGTH"),
                                      NodeEdit("edswGain", "Gain", "GAIN"),
                                      NodeEdit("edswPower", ":Flash:OECalibr:Power", "POWER"),
                                      Command("rcswAutoCalGain", ":Flash:OECalibr:AutoCalGain", "Proceed"),
                                      CaptionedButton("btnBackFromGain", "Back")}}}},
           {.Number = opFreqCorrection,
            .Panels = {{.Name = "rmpFreqCorrection",
                        .Group = "Flash:OECalibr",
                        .Caption = "Frequency Correction",
                        .Switchers = {Radio("rswBitRatePoint", "BitRatePoint", "Bit Rate Points",
                                            {"Point 1", "Point 2", "Point 3", "Point 4", "Point 5"}, 92),
                                      Radio("rswPatternLen", "PatternLen",
                                            "Pattern Length", {"7 Bits", "15 Bits", "23 Bits", "31 Bits"},
                                            77),
                                      NodeEdit("edswERCorrFact", "ERCorrFact", "CORR. FACTOR"),
                                      Command("rcswStoreFCorr", "StoreFCorr", "Store"),
                                      Command("rcswRecallFCorr", "RecallFCorr", "Recall"),
                                      Command("rcswRclFactFCorr", "RclFactFCorr", "Recall Factory"),
                                      CaptionedButton("btnBackFromFreq", "Back")}}}}},
      .OwnPageTurns = true};
}

QStringList Texts(const auto& texts) {
  QStringList list;
  for (const std::string& text : texts) list << QString::fromStdString(text);
  return list;
}

class TOEMenu final : public TDeclaredSideMenu {
 public:
  explicit TOEMenu(QWidget* owner) : TDeclaredSideMenu(owner, OEMenu()) {
    const auto turn = [this](const char* name, int page) {
      Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [this, page](TRC_Switcher&) {
        ShowPage(page);
      };
    };
    turn("pcswDarkLevel", opDarkLevel);
    turn("pcswWavelengthGain", opWavelengthGain);
    turn("pcswFreqCorrection", opFreqCorrection);
    turn("btnBackFromDark", opMain);
    turn("btnBackFromGain", opMain);
    turn("btnBackFromFreq", opMain);
    gain_ = findChild<TRC_RightMenuPanel*>("rmpWavelengthGain");
    Control<TRC_RadioSwitcher>("rswPointNum").OnUpdateMe = [this](TRC_Switcher&) { FollowPoint(); };
    Shown = this;
  }

  void ShowPage(int page) override {
    TDeclaredSideMenu::ShowPage(page >= opMain && page <= opFreqCorrection ? page : opMain);
    // After the translation, which puts the design texts back.
    RefreshPointTexts();
  }

  // The wavelength choice names the factory wavelengths; the user list the ranked valid
  // points (the rest "Empty"); the point list every user point in its own order.
  void RefreshPointTexts() {
    QStringList waveLen = Texts(OEFactoryWavelengthTexts());
    waveLen << Control<TRC_RadioSwitcher>("rswWaveLen").Items().value(3);
    Control<TRC_RadioSwitcher>("rswWaveLen").SetItems(waveLen);
    QStringList ranked = Texts(OERankedUserPointTexts());
    const int rows = static_cast<int>(ranked.size());
    const QString empty = QString::fromStdString(OEPointText({}));
    while (ranked.size() < kOEUserPoints) ranked << empty;
    auto& userWaveLen = Control<TRC_ListBoxSwitcher>("lbswUserWaveLen");
    userWaveLen.SetItems(ranked);
    userWaveLen.SetDropDownCount(std::max(rows, 1));
    Control<TRC_RadioSwitcher>("rswPointNum").SetItems(Texts(OEUserPointTexts()));
  }

  static inline QPointer<TOEMenu> Shown;

 private:
  void FollowPoint() {
    const std::string group = "Shadow:OECalibr" + std::to_string(GetIndex(OEConvState().PointNum) + 1);
    if (gain_->GroupMnemonics() != group) gain_->SetGroupMnemonics(group);
  }

  TRC_RightMenuPanel* gain_ = nullptr;
};

}  // namespace

void RegisterOEPage() {
  RegisterSideMenuFactory(kOEMenuId, [](QWidget* owner, int) { return new TOEMenu(owner); });
  InstallOECalibrationWindow();
  OEConvHooks.UserPointsChanged.Set([] {
    if (TOEMenu::Shown) TOEMenu::Shown->RefreshPointTexts();
  });
}

}  // namespace norv
