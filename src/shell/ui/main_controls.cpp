#include "shell/ui/main_controls.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <algorithm>

#include "controls/choice_switchers.h"
#include "controls/edit_switchers.h"
#include "controls/look.h"
#include "framework/language/language.h"
#include "instrument/settings/settings_hooks.h"

namespace norv {

namespace {

struct TMainCommandEntry {
  const char* Name;
  const char* Mnemonics;  // in the group "*", or absolute after ':'
  const char* Caption;
  const char* Hint;
  QStringList Items;
};

const TMainCommandEntry kCommands[] = {
    {"mcsClearDisplay", "ClrDispl", "Clear", "Clear display (F5)", {}},
    {"mcsRun", "Run", "Run", "Run (F6)", {}},
    {"mcsStopSingle", "StopSingle", "Stop/Single", "Stop/Single (F7)", {}},
    {"mcsAutoscale", "Autoscale", "Autoscale", "Autoscale (F8)", {"Auto", "Single Valued", "NRZ", "RZ"}},
    {"mcsDefaultSetup",
     "DefSetup",
     "Default",
     "Default Setup (F9). Click and Wait to change.",
     {"Default Setup", "Factory Setup", "Power-Off Setup", "Save as Default"}},
    {"mcsUndo", "Undo", "Undo", "Undo (F10)", {"Undo", "Redo"}},
    {"mcsCopy",
     "Copy",
     "Copy",
     "Copy screen to Clipboard (F11)",
     {"Full Screen", "Full Window", "Client Part", "Inverted Client Part", "Scope Screen",
      "Inverted Scope Screen"}},
    {"mcsPrint", "Print", "Print", "Print (F12). Click and Wait to change.", {"Print", "Printer Setup"}},
    {"mcsHelp", ":SHADOW:Help", "Help", "What's This?", {"Contents", "About"}},
};
constexpr int kCommandWidth = 76;
constexpr int kCommandGap = 2;

// The hint of a command that names its current choice.
void FollowChoiceInHint(TRC_MainCommandSwitcher& switcher, const char* key, const char* tail) {
  switcher.OnUpdateMe = [key, tail](TRC_Switcher& s) {
    auto& command = static_cast<TRC_MainCommandSwitcher&>(s);
    const int item = command.CurrentItem();
    if (item < 0 || item >= command.MenuItems().size()) return;
    command.setToolTip(QString::fromStdString(FormatLangStr(key, command.MenuItems()[item].toStdString())) +
                       tail);
  };
}

}  // namespace

TRC_RightMenuPanel* CreateCommandRow(QWidget* parent) {
  auto* row = new TRC_RightMenuPanel(parent, "*");
  row->setObjectName("rmpSystemSontrols");
  row->SetWithoutFrame(true);
  int x = 0;
  for (const TMainCommandEntry& entry : kCommands) {
    auto& command = row->Add<TRC_MainCommandSwitcher>({.Mnemonics = entry.Mnemonics,
                                                       .Caption = entry.Caption,
                                                       .Left = x,
                                                       .Top = 0,
                                                       .Width = kCommandWidth,
                                                       .Height = 20,
                                                       .Items = entry.Items});
    command.setObjectName(entry.Name);
    command.setToolTip(entry.Hint);
    x += kCommandWidth + kCommandGap;
  }
  if (auto* autoscale = CommandSwitcher(*row, "*Autoscale"))
    FollowChoiceInHint(*autoscale, "AutoscaleAs____signal", "");
  if (auto* copy = CommandSwitcher(*row, "*Copy")) FollowChoiceInHint(*copy, "Copy____ToClipboard", "");
  row->show();
  return row;
}

TRC_MainCommandSwitcher* CommandSwitcher(const TRC_RightMenuPanel& row, const std::string& path) {
  for (TRC_Switcher* s : row.Switchers())
    if (s->GetFullMnemonic() == path) return dynamic_cast<TRC_MainCommandSwitcher*>(s);
  return nullptr;
}

void ClickCommandSwitcher(TRC_MainCommandSwitcher& switcher) {
  const QPointF at = switcher.ButtonRect(0).center();
  const QPointF global = switcher.mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&switcher, &press);
  switcher.repaint();
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&switcher, &release);
}

TPermanentControls::TPermanentControls(QWidget* parent) : TRC_RightMenuPanel(parent) {
  setObjectName("rmpPermanentControls");
  SetWithoutFrame(true);
  const auto add = [this](TRC_Switcher& s, const char* name, int weight, int rank, const char* sample = "",
                          QWidget* label = nullptr) {
    s.setObjectName(name);
    places_.push_back({&s, label, weight, rank, QString::fromUtf8(sample)});
  };
  for (const int channel : {1, 2}) {
    const bool first = channel == 1;
    const QString ch = QString("Ch%1").arg(channel);
    const auto path = [&ch](const char* node) { return ":" + ch.toStdString() + ":" + node; };
    auto* label = new QLabel(QString("Ch %1").arg(channel), this);
    label->setObjectName("Text_" + ch);
    label->setFont(ProgramFont());
    label->setAlignment(Qt::AlignCenter);
    // The mark alone: the label above names the channel.
    add(Add<TRC_OnOffCheckSwitcher>({.Mnemonics = path("Display"), .Items = {""}, .Hint = ch + " Display"}),
        first ? "ooswScopMenuOnOffCh1" : "ooswScopMenuOnOffCh2", 5, 0, "", label);
    add(Add<TRC_EditSwitcher>({.Mnemonics = path("Scale"), .Caption = ch + " SCALE"}),
        first ? "eswScopeVDivCh1" : "eswScopeVDivCh2", 12, 0, "112.5 mV/div");
    add(Add<TRC_EditSwitcher>({.Mnemonics = path("Offset"), .Caption = ch + " OFFSET"}),
        first ? "eswScopeCompensCh1" : "eswScopeCompensCh2", 11, 2, "-112.5 mV");
  }
  // The choices have no caption strip, so that their buttons show their names.
  add(Add<TRC_RadioSwitcher>({.Mnemonics = ":TB:Mode", .Items = {"A", "AB", "B"}, .WithHot = false}),
      "rswTBMode", 7, 4);
  add(Add<TRC_EditSwitcher>({.Mnemonics = ":TB:ScaleA", .Caption = "TB"}), "edswScopeHor_Div", 12, 0,
      "112.5 ps/div");
  add(Add<TRC_EditSwitcher>({.Mnemonics = ":TB:Delay", .Caption = "DELAY"}), "edswScopeDelay", 11, 3,
      "24.000 ns");
  add(Add<TRC_RadioSwitcher>({.Mnemonics = ":Trig:Source",
                              .Items = {"Direct", "Ext HF", "Int Clk", "Clk Rec"},
                              .Columns = 2,
                              .WithHot = false}),
      "rswTrigSource", 14, 6);
  add(Add<TRC_RadioSwitcher>({.Mnemonics = ":Trig:Slope", .Items = {"Pos", "Neg"}, .WithHot = false}),
      "rswTrigSlop", 7, 5);
  add(Add<TRC_EditSwitcher>({.Mnemonics = ":Trig:ExtLevel", .Caption = "LEVEL"}), "edswTrigLevel", 10, 3,
      "-100.0 mV");

  // Channel slots: 2 is channel 1, 3 channel 2.
  SettingsHooks.BindMainChannelControls.Set(
      [this](int channel, const std::string& scalePath, const std::string& offsetPath) {
        Rebind(channel == 2 ? "eswScopeVDivCh1" : "eswScopeVDivCh2", scalePath);
        Rebind(channel == 2 ? "eswScopeCompensCh1" : "eswScopeCompensCh2", offsetPath);
      });
  SettingsHooks.BindMainHorizontalScale.Set([this](const std::string& path, const std::string& caption) {
    Rebind("edswScopeHor_Div", path);
    if (auto* s = findChild<TRC_Switcher*>("edswScopeHor_Div"))
      s->SetCaption(QString::fromStdString(caption));
    LayOut();  // another caption may need another width
  });
  SettingsHooks.BindMainDelay.Set([this](const std::string& path) { Rebind("edswScopeDelay", path); });
  SettingsHooks.BindMainTriggerLevel.Set([this](const std::string& path) { Rebind("edswTrigLevel", path); });
}

TPermanentControls::~TPermanentControls() {
  SettingsHooks.BindMainChannelControls.Reset();
  SettingsHooks.BindMainHorizontalScale.Reset();
  SettingsHooks.BindMainDelay.Reset();
  SettingsHooks.BindMainTriggerLevel.Reset();
}

void TPermanentControls::Rebind(const char* name, const std::string& path) {
  if (auto* s = findChild<TRC_Switcher*>(name)) s->SetMnemonics(":" + path);
}

int TPermanentControls::MinWidth(const TPlace& place) const {
  const QFontMetrics metrics(ProgramFont());
  if (place.Label != nullptr)
    return std::max(metrics.horizontalAdvance(static_cast<QLabel*>(place.Label)->text()) + 6, 25);
  // A switcher leaves a pixel free on either side.
  if (auto* poly = qobject_cast<TRC_PolyButtonSwitcher*>(place.Switcher)) return poly->NeededWidth() + 2;
  // The caption over the value box; a long value with its arrows beside it (longer ones take
  // a narrower face).
  const auto* edit = qobject_cast<TRC_LabelSwitcher*>(place.Switcher);
  return 2 + std::max(metrics.horizontalAdvance(place.Switcher->Caption()) + 12,
                      edit != nullptr ? edit->WidthFor(place.Sample) : 0);
}

int TPermanentControls::NeededWidth() const {
  int needed = 0;
  for (const TPlace& p : places_)
    if (!p.Switcher->isHidden()) needed += MinWidth(p);
  return needed;
}

void TPermanentControls::LayOut() {
  std::vector<int> minimum;
  int needed = 0;
  for (const TPlace& p : places_) needed += minimum.emplace_back(MinWidth(p));
  std::vector<bool> shown(places_.size(), true);
  // The least needed go first (the later of two of one rank first).
  for (int rank = 6; rank > 0 && needed > width(); --rank)
    for (size_t i = places_.size(); i-- > 0 && needed > width();)
      if (places_[i].Rank == rank) {
        shown[i] = false;
        needed -= minimum[i];
      }
  int weights = 0;
  for (size_t i = 0; i < places_.size(); ++i)
    if (shown[i]) weights += places_[i].Weight;
  const int spare = std::max(0, width() - needed);
  int left = 0, weightSoFar = 0;
  for (size_t i = 0; i < places_.size(); ++i) {
    const TPlace& p = places_[i];
    p.Switcher->setVisible(shown[i]);
    if (p.Label != nullptr) p.Label->setVisible(shown[i]);
    if (!shown[i]) continue;
    const int extraBefore = weights > 0 ? spare * weightSoFar / weights : 0;
    weightSoFar += p.Weight;
    const int extraAfter = weights > 0 ? spare * weightSoFar / weights : 0;
    const int w = minimum[i] + extraAfter - extraBefore;
    if (p.Label != nullptr) {
      p.Label->setGeometry(left, 4, w, 16);
      p.Switcher->setGeometry(left + (w - 21) / 2, 24, 21, 18);
    } else {
      p.Switcher->setGeometry(left + 1, 0, w - 2, height());
    }
    left += w;
  }
}

TButtonOfMainMenu* CreateMainMenuButton(QWidget* parent, const QString& caption) {
  return new TButtonOfMainMenu(parent, caption);
}

}  // namespace norv
