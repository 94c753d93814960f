// The generator and TDR / TDT menus of the program as main() builds it: closed to the
// demo instrument without options, opened from the main menu once "DemoUnits.ini" gives
// it the generators option, and driven there by clicks; and the TDR readouts on the
// simulator's circuits.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/edit_switchers.h"
#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "display/display_test_support.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "measure/markers/markers.h"
#include "platform/qt_text_rasteriser.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"
#include "shell/ui/program_fixture.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"
#include "tdr_mask/generator_settings.h"
#include "tdr_mask/tdr_readout.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {
namespace {

class TdrProgramTest : public test::ProgramFixture {
 protected:
  TMorda_fr& Start() {
    ProgramFixture::Start();
    return window();
  }

  // Ch1 acquired afresh on the circuit.
  const TSignalObj& Circuit(const char* circuit) {
    ExecCommand(std::string("GSS:A:TDRCircuit ") + circuit);
    Acquire(2);
    return SignalObjs()[TTraceId::Ch1];
  }
  // The mean shown value of Ch1 over [t0, t1) seconds after the record's start.
  static double Mean(const TSignalObj& r, double t0, double t1) {
    const int a = static_cast<int>(t0 / r.GetDX()), b = static_cast<int>(t1 / r.GetDX());
    double sum = 0;
    for (int i = a; i < b; ++i) sum += r.GetY(i);
    return sum / (b - a);
  }
  // What the choices keep between a text and the mark of the column beside it.
  static constexpr int kGapBesideText = 4;
  // The fewest blank pixel columns between a button's text and the button beside it, over
  // the choices shown on a menu page (1000 where no buttons stand side by side).
  static int NarrowestGapBesideTexts(const QWidget& page) {
    int narrowest = 1000;
    for (TRC_PolyButtonSwitcher* s : page.findChildren<TRC_PolyButtonSwitcher*>()) {
      if (!s->isVisible()) continue;
      const QImage image = test::Grab(s);
      for (int i = 0; i < s->ButtonCount(); ++i) {
        for (int j = 0; j < s->ButtonCount(); ++j) {
          const QRect a = s->Button(i)->geometry(), b = s->Button(j)->geometry();
          if (a.top() != b.top() || b.left() != a.right() + 1) continue;
          // The commonest colour of the row is its background; anything else is ink.
          std::map<QRgb, int> colours;
          for (int y = a.top(); y <= a.bottom(); ++y)
            for (int x = a.left(); x <= b.right(); ++x) ++colours[image.pixel(x, y)];
          const QRgb background =
              std::ranges::max_element(colours, {}, [](const auto& c) { return c.second; })->first;
          const auto inked = [&](int x) {
            for (int y = a.top(); y <= a.bottom(); ++y)
              if (image.pixel(x, y) != background) return true;
            return false;
          };
          int lastInk = a.left(), firstInk = b.right();
          for (int x = a.left(); x <= a.right(); ++x)
            if (inked(x)) lastInk = x;
          for (int x = b.right(); x >= b.left(); --x)
            if (inked(x)) firstInk = x;
          narrowest = std::min(narrowest, firstInk - lastInk - 1);
        }
      }
    }
    return narrowest;
  }
};

// Set NORV_PNG_DIR to get generator_page.png, generator_output.png, tdr_page.png and
// tdr_channels.png.
TEST_F(TdrProgramTest, TheOptionOfTheDemoUnitOpensTheGeneratorAndTdrMenus) {
  Start();
  EXPECT_FALSE(window().MainMenuButton(kMenuGenerators)->isEnabled());
  EXPECT_FALSE(window().MainMenuButton(kMenuTDR)->isEnabled());
  Stop();

  // The file holds the option bits inverted.
  WriteDemoUnit("Default Demo", 1, 2, 255 - OptGenerators, 12, 77, true);
  Start();
  ExecCommand("Header Off");
  ASSERT_TRUE(window().MainMenuButton(kMenuGenerators)->isEnabled());
  test::Click(window().MainMenuButton(kMenuGenerators), {5, 5});
  ASSERT_EQ(CurrentSideMenu[kLeftPanel], kMenuGenerators);
  TDeclaredSideMenu& gen = LeftMenu();
  auto& period = gen.Control<TRC_EditSwitcher>("edswPeriod");
  // The clock, delay, width and length controls follow the mode.
  for (const auto& [mode, clock, caption, delay, pattern] :
       {std::tuple{gmNRZ, "Gen:NrzClock", "CLOCK", "Gen:Delay", true},
        std::tuple{gmStep, "Gen:PulsePeriod", "PERIOD", "Gen:StepsDelay", false},
        std::tuple{gmPulse, "Gen:PulsePeriod", "PERIOD", "Gen:Delay", false}}) {
    SCOPED_TRACE(clock);
    Choose("rswGeneratorsMode", mode);
    EXPECT_EQ(GeneratorSettings().Mode->GetIndex(), mode);
    EXPECT_EQ(period.GetHandler(), RootSpider->FindHandler(clock));
    EXPECT_EQ(period.Caption(), caption);
    EXPECT_EQ(gen.Control<TRC_Switcher>("edswDelay").GetHandler(), RootSpider->FindHandler(delay));
    EXPECT_EQ(gen.Control<TRC_Switcher>("rswLength").isVisible(), pattern);
    EXPECT_EQ(gen.Control<TRC_Switcher>("edswWidth").isVisible(), !pattern);
  }
  EXPECT_TRUE(TriggerSettings().Source->IsDisabled());  // the generator clocks the scope
  test::MaybeWritePng(test::Grab(&gen), "generator_page");
  Press(gen, "pcswOutput2");
  EXPECT_EQ(gen.CurrentPage(), 2);
  EXPECT_EQ(gen.Control<TRC_Switcher>("edswDeskew").GetHandler(), RootSpider->FindHandler("Gen:Out2:Deskew"));
  EXPECT_EQ(gen.findChild<TRC_RightMenuPanel*>("rmpGenOuput")->title(), " Output 2 ");
  test::MaybeWritePng(test::Grab(&gen), "generator_output");
  Press(gen, "pcswOffsetZeroCalibr");
  EXPECT_EQ(gen.Control<TRC_Switcher>("edswPositiveZero").GetHandler(),
            RootSpider->FindHandler("FLASH:Gen:Out2:PositiveZero"));
  EXPECT_EQ(gen.findChild<QLabel*>("lblOutputNo")->text(), " Output 2");

  test::Click(window().MainMenuButton(kMenuTDR), {5, 5});
  ASSERT_EQ(CurrentSideMenu[kLeftPanel], kTdrMenuId);
  TDeclaredSideMenu& tdr = LeftMenu();
  EXPECT_FALSE(tdr.Control<TRC_Switcher>("pcswChannels").isEnabled());  // TDR off
  Choose("rswTDR_Mode", tmTDT);
  test::MaybeWritePng(test::Grab(&tdr), "tdr_page");
  Press(tdr, "pcswChannels");
  EXPECT_EQ(tdr.findChild<TRC_RightMenuPanel*>("rmpChannels")->title(), " TDT Channels ");
  EXPECT_GE(NarrowestGapBesideTexts(tdr), kGapBesideText);
  EXPECT_TRUE(tdr.Control<TRC_Switcher>("edswRefTDTAmpl").isVisible());
  EXPECT_FALSE(tdr.Control<TRC_Switcher>("edswRefAmpl").isVisible());
  Choose("rswMenuChannels", 1);
  Choose("rswDestination", tdG1);
  EXPECT_EQ(TdrChannel(3).Destination->GetIndex(), tdG1);
  EXPECT_EQ(GeneratorSettings().Mode->GetIndex(), gmStep);  // TDR drives the step
  EXPECT_FALSE(TriggerSettings().Source->IsDisabled());
  ExecCommand("TDR:Mode TDR");
  EXPECT_EQ(tdr.CurrentPage(), 1);  // a mode change starts the menu over
  Press(tdr, "pcswChannels");
  EXPECT_EQ(tdr.Control<TRC_Switcher>("edswRefAmpl").GetHandler(),
            RootSpider->FindHandler("TDR:Ch2:RefAmpl"));
  test::MaybeWritePng(test::Grab(&tdr), "tdr_channels");
  EXPECT_GE(NarrowestGapBesideTexts(tdr), kGapBesideText);
  Press(tdr, "btnBackChannels");
  Press(tdr, "pcswHorizontal");
  Choose("rswHorScale", thMeter);  // the unit is offered only for a distance
  Choose("rswPresetUnit", 1);
  EXPECT_EQ(tdr.Control<TRC_EditSwitcher>("edswPropagation").Caption(), "DIELECTRIC CONST");
  Press(tdr, "btnBackHorizontal");
  Press(tdr, "pcswMeasure");
  Choose("rswMeasSource", 2);  // the source waits for the measurements
  EXPECT_EQ(TdrSettings().Source->GetIndex(), 0);
  {
    auto& measure = tdr.Control<TRC_CustomRadioSwitcher>("ooswMeasure");
    test::Click(measure.Button(0), QPoint(8, measure.Button(0)->height() / 2));  // "On"
  }
  ASSERT_TRUE(TdrSettings().Measure->IsOn());
  Choose("rswMeasSource", 2);
  EXPECT_EQ(tdr.findChild<TRC_RightMenuPanel*>("rmpMeasure")->title(), " TDR/TDT Ch1 Normalized");
  EXPECT_EQ(tdr.Control<TRC_Switcher>("edswLeftMargins").GetHandler(),
            RootSpider->FindHandler("TDR:NormCh1:LeftMargins"));
  tdr.ShowPage(9);
  EXPECT_EQ(tdr.CurrentPage(), 1);
}

// The simulator's TDR head: a step at about 7.3 ns, the circuit's reflection 3 ns later
// (5 ns for the sections). Ch1 is calibrated as the channel calibration would: the base
// line on the 50 Ohm load, the reference amplitude from there to the open line.
TEST_F(TdrProgramTest, ReadoutsOnTheSimulatorsCircuits) {
  WriteDemoUnit("Default Demo", 1, 2, 255 - OptGenerators, 12, 77, true);
  Start();
  ExecCommand("Header Off");
  ExecCommand("TDR:Mode TDR;:TDR:Ch1:Destination External;:TDR:Ch1:Polar Neg");
  ExecCommand("GSS:A:Waweform TDR;:GSS:A:TDROvershot 0;:GSS:A:TDRSkol 0");
  ExecCommand("Acq:Ch1:Mode AvgMult;:Acq:Ch1:NAvg 64");
  ExecCommand("TB:ScaleA 2n");
  const double base = Mean(Circuit("R50"), 13e-9, 20e-9);
  const double open = Mean(Circuit("Open"), 13e-9, 20e-9);
  const double amplitude = base - open;  // the reflection goes down, as the step does
  ASSERT_GT(amplitude, 0.05);
  ExecCommand("TDR:Ch1:BaseLine " + std::to_string(base) + ";:TDR:Ch1:RefAmpl " + std::to_string(amplitude));

  struct Case {
    const char* circuit;
    double from, to;  // the plateau, s from the record's start
    double rho, ohms, ohmTolerance;
  };
  for (const Case& c :
       {Case{"Short", 13e-9, 20e-9, -1, 0, 1.5}, Case{"R50", 13e-9, 20e-9, 0, 50, 1.5},
        Case{"Rx", 13e-9, 20e-9, 35.0 / 135, 85, 3}, Case{"RR5015050", 12.8e-9, 13.9e-9, 0.5, 150, 6}}) {
    SCOPED_TRACE(c.circuit);
    ExecCommand("TDR:Ch1:VertScale Volt");
    EXPECT_NEAR(Mean(Circuit(c.circuit), c.from, c.to), base - c.rho * amplitude, 0.003);
    ExecCommand("TDR:Ch1:VertScale Rho");
    EXPECT_NEAR(Mean(Circuit(c.circuit), c.from, c.to), c.rho, 0.02);
    ExecCommand("TDR:Ch1:VertScale Ohm");
    EXPECT_NEAR(Mean(Circuit(c.circuit), c.from, c.to), c.ohms, c.ohmTolerance);
  }
  // The open line in Ohm: far above any line impedance at every point of the plateau.
  const TSignalObj& open1 = Circuit("Open");
  for (int i = static_cast<int>(13e-9 / open1.GetDX()); i < static_cast<int>(20e-9 / open1.GetDX()); ++i)
    ASSERT_GT(open1.GetY(i), 1000) << i;

  // Excess L and C between markers 1 ns before the reflection and at the record's end;
  // 50 nH and 250 pF in the simulator, each within 10 %.
  ExecCommand("TDR:Ch1:VertScale Rho;:TB:ScaleA 5n;:Mark:Type MX");
  for (const auto& [circuit, label, expected] :
       {std::tuple{"Lx", "Excess L", 50e-9}, std::tuple{"Cx", "Excess C", 250e-12}}) {
    SCOPED_TRACE(circuit);
    const TSignalObj& r = Circuit(circuit);
    const auto xpos = [&](double t) { return static_cast<int>(t / r.GetDX() * 4096 / r.GetShownCount()); };
    dynamic_cast<TIntEditHandler&>(*RootSpider->FindHandler("Mark:M1:XPos")).SetValueByProgram(xpos(11.3e-9));
    dynamic_cast<TIntEditHandler&>(*RootSpider->FindHandler("Mark:M2:XPos")).SetValueByProgram(xpos(50e-9));
    Acquire();
    const TExcessLC lc = ComputeExcessLC(r, MarkerPointIndex(1), MarkerPointIndex(2), false);
    EXPECT_EQ(Heterogeneity().LabelText, label);
    EXPECT_NEAR(lc.Value, expected, expected * 0.1);
    // The label stands whole on the fifth row of the strip, its kind letter included.
    EXPECT_TRUE(test::ShowsWhole(ScopeCRT->BottomText(), TQtTextRasteriser(), label, 3, 4 * 16,
                                 GetDisplaySourceRGB(TTraceId::Ch1)));
  }

  // In metres on a line of dielectric constant 4: a marker reads its time times
  // 0.5 c / 2 (half the speed of light, there and back).
  ExecCommand("TDR:HorScale Meter;:TDR:Unit DielConst;:TDR:DielConst 4");
  Acquire(2);
  const TSignalObj& r = SignalObjs()[TTraceId::Ch1];
  EXPECT_EQ(r.GetHorUnit(), "m");
  const double seconds = MarkerPointIndex(1) * GetActiveTimeScale() * 10.24 / r.GetRecLen();
  EXPECT_NEAR(MarkerXValue(1), seconds * 0.5 * 299792500 / 2, 1e-9);
  EXPECT_DOUBLE_EQ(r.GetPropagation(), 4);
}

}  // namespace
}  // namespace norv
