// Binding switchers to handlers by path, the panel's group prefix, unbinding whenever a
// switcher goes, and the frames and caption strip every switcher paints.

#include <gtest/gtest.h>

#include <QPainter>

#include "controls/choice_switchers.h"
#include "controls/edit_switchers.h"
#include "controls/switcher.h"
#include "controls_fixture.h"

namespace norv::test {
namespace {

class BindingTest : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    for (const char* path : {"Acq:FitTo", "Meas:FitTo", "Acq:RecLen", "RecLen", "*Run", "Acq:Run", "Run"})
      RootSpider->AddOnOff(false, path);
  }
  THandler* At(const char* path) { return RootSpider->FindHandler(path); }
};

TEST_F(BindingTest, FullPathsAndRebinding) {
  struct Case {
    const char* group;  // nullptr: directly on the window; "plain": in a plain panel in the panel
    const char* mnemonics;
    const char* path;
  };
  for (const Case& c : {
           Case{"Meas", ":Acq:FitTo", "Acq:FitTo"},  // absolute paths ignore the group
           {"Acq", "RecLen", "Acq:RecLen"},
           {"*", "Run", "*Run"},  // the common commands' prefix takes no colon
           {"Acq", "Run", "Acq:Run"},
           {"", "Run", "Run"},
           {nullptr, "Run", "Run"},
           {"plain", "RecLen", "RecLen"},  // only the direct parent counts
       }) {
    SCOPED_TRACE(std::string(c.group ? c.group : "window") + " " + c.mnemonics);
    auto* panel =
        new TRC_RightMenuPanel(&window, c.group && std::string(c.group) != "plain" ? c.group : "Acq");
    QWidget* parent = !c.group ? static_cast<QWidget*>(&window) : panel;
    if (c.group && std::string(c.group) == "plain") parent = new QWidget(panel);
    auto* switcher = new TRC_OnOffSwitch(parent, {.Mnemonics = c.mnemonics});
    EXPECT_EQ(switcher->GetFullMnemonic(), c.path);
    panel->RegisterSwitchers();
    switcher->RegisterInHandler(false);
    EXPECT_EQ(switcher->GetHandler(), At(c.path));
    delete switcher;
    delete panel;
  }

  auto* panel = new TRC_RightMenuPanel(&window, "Acq");
  auto& fit = panel->Add<TRC_OnOffSwitch>({.Mnemonics = "FitTo"});
  auto& run = panel->Add<TRC_OnOffSwitch>({.Mnemonics = "Run"});
  auto& none = panel->Add<TRC_OnOffSwitch>({.Mnemonics = kNoneHandler});
  auto& unknown = panel->Add<TRC_OnOffSwitch>({.Mnemonics = "Nowhere"});
  panel->RegisterSwitchers();
  EXPECT_EQ(none.GetHandler(), nullptr);     // never binds, no error
  EXPECT_EQ(unknown.GetHandler(), nullptr);  // no such path: unbound, no error
  EXPECT_EQ(AssertionText([&] { fit.RegisterInHandler(true); }), kRegistrationRepeated);
  fit.RegisterInHandler(false);  // the same handler again: nothing
  EXPECT_EQ(At("Acq:FitTo")->SwitcherCount(), 1u);
  fit.SetMnemonics("RecLen");  // a bound switcher moves at once
  EXPECT_EQ(fit.GetHandler(), At("Acq:RecLen"));
  EXPECT_EQ(At("Acq:FitTo")->SwitcherCount(), 0u);

  // The same group again changes nothing; another one re-binds every switcher at once.
  int updates = 0;
  run.OnUpdateMe = [&updates](TRC_Switcher&) { ++updates; };
  panel->SetGroupMnemonics("Acq");
  EXPECT_EQ(updates, 0);
  panel->SetGroupMnemonics("Meas");
  EXPECT_EQ(fit.GetHandler(), nullptr);  // there is no Meas:RecLen
  EXPECT_EQ(unknown.GetHandler(), nullptr);
  panel->SetGroupMnemonics("*");
  EXPECT_EQ(run.GetHandler(), At("*Run"));
  EXPECT_EQ(At("Acq:Run")->SwitcherCount(), 0u);

  auto* nameless = new TRC_OnOffSwitch(&window, {.Caption = "Mode"});
  EXPECT_EQ(AssertionText([&] { nameless->RegisterInHandler(true); }), "RS Switcher Mode No mnemonic");
}

TEST_F(BindingTest, ASwitcherUnbindsWhereverItSitsEvenInsideANotification) {
  auto* fit = static_cast<TOnOffHandler*>(At("Acq:FitTo"));
  auto* loose = new TRC_OnOffSwitch(&window, {.Mnemonics = "Acq:FitTo"});
  loose->RegisterInHandler(true);
  delete loose;  // not in a panel: it unbinds itself
  EXPECT_EQ(fit->SwitcherCount(), 0u);

  // A page rebuilt from inside a notification: the first switcher's reaction frees the
  // second and binds a new one; the freed one is never called.
  auto* panel = new TRC_RightMenuPanel(&window, "Acq");
  auto& first = panel->Add<TRC_OnOffSwitch>({.Mnemonics = "FitTo"});
  auto* second = &panel->Add<TRC_OnOffSwitch>({.Mnemonics = "FitTo"});
  panel->RegisterSwitchers();
  TRC_OnOffSwitch* fresh = nullptr;
  first.OnUpdateMe = [&](TRC_Switcher&) {
    if (!second) return;
    delete std::exchange(second, nullptr);
    fresh = new TRC_OnOffSwitch(panel, {.Mnemonics = "FitTo"});
    fresh->RegisterInHandler(true);
  };
  Exec("ACQ:FITTO ON");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->ItemIndex(), 0);
  EXPECT_EQ(fit->SwitcherCount(), 2u);
  delete panel;  // unbinds its switchers before they go
  EXPECT_EQ(fit->SwitcherCount(), 0u);
  Exec("ACQ:FITTO OFF");
}

TEST_F(BindingTest, FramesAndCaptionStripFollowFocusAndEnabling) {
  auto* delay = RootSpider->AddDoubleEdit({.Path = "Acq:Delay", .Max = 1});
  auto* edit = new TRC_EditSwitcher(&window, {.Mnemonics = "Acq:Delay", .Caption = "Delay", .Top = 10});
  auto* other = new TRC_EditSwitcher(&window, {.Top = 100});
  window.ShowActive();
  const int w = edit->width(), h = edit->height();
  struct Probe {
    QPoint at;
    TSysColor idle, focused;
  };
  const Probe probes[] = {
      {{0, 0}, TSysColor::BtnHighlight, TSysColor::BtnHighlight},  // outer frame raised
      {{w - 1, h - 1}, TSysColor::BtnShadow, TSysColor::BtnShadow},
      {{1, 1}, TSysColor::BtnFace, TSysColor::BtnShadow},  // inner frame sunken with the focus
      {{w - 2, h - 2}, TSysColor::BtnFace, TSysColor::BtnHighlight},
      {{w - 3, 2}, TSysColor::InactiveCaption, TSysColor::ActiveCaption},  // caption strip
      {{2, 17}, TSysColor::InactiveCaption, TSysColor::ActiveCaption},
  };
  other->setFocus();
  for (const Probe& p : probes) EXPECT_EQ(PixelOf(edit, p.at.x(), p.at.y()), Sys(p.idle)) << p.at.x();
  Click(edit, {10, 40});
  ASSERT_TRUE(edit->IsFocused());
  for (const Probe& p : probes) EXPECT_EQ(PixelOf(edit, p.at.x(), p.at.y()), Sys(p.focused)) << p.at.x();
  edit->setEnabled(false);
  EXPECT_EQ(PixelOf(edit, w - 3, 2), Sys(TSysColor::BtnFace));

  // A disabled handler greys its switchers.
  edit->setEnabled(true);
  edit->RegisterInHandler(true);
  delay->SetDisabled(true);
  EXPECT_FALSE(edit->isEnabled());
}

// The caption strip's text as the switcher should draw it, drawn independently.
QImage ExpectedStrip(const QString& text, int width) {
  QImage image(width - 4, 16, QImage::Format_RGB32);
  image.fill(SysColor(QApplication::palette(), TSysColor::InactiveCaption));
  QPainter painter(&image);
  painter.setFont(ProgramFont());
  painter.setPen(SysColor(QApplication::palette(), TSysColor::CaptionText));
  const int h = QFontMetrics(ProgramFont()).height();
  painter.drawText(QRect(4, (20 - h) / 2 - 2, width - 8, h), Qt::AlignLeft | Qt::AlignTop, text);
  return image;
}

TEST_F(BindingTest, HelpContextModeShowsTheNumbersBeforeTheCaptions) {
  for (const auto& [arguments, asks] :
       std::vector<std::pair<QStringList, bool>>{{{"Absent", "HelpContext"}, true},
                                                 {{"helpcontext"}, true},
                                                 {{"HELPCONTEXTX"}, false},
                                                 {{}, false}})
    EXPECT_EQ(AsksForHelpContext(arguments), asks) << arguments.join(' ').toStdString();

  auto* edit = new TRC_EditSwitcher(&window, {.Caption = "Delay", .HelpContext = 1234});
  const QRect strip(2, 2, edit->width() - 4, 16);
  ControlsState.HelpContextMode = 1;
  EXPECT_EQ(Grab(edit).copy(strip), ExpectedStrip("Delay", edit->width()));
  ControlsState.HelpContextMode = 2;
  EXPECT_EQ(Grab(edit).copy(strip), ExpectedStrip("1234 Delay", edit->width()));
}

}  // namespace
}  // namespace norv::test
