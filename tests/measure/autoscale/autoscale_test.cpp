// Autoscale on the simulated instrument: the program's units on a fake clock, "*Autoscale"
// run as a remote client runs it (no window: the command returns when the phase machine
// ends), and Cancel of a stand-in window at each phase.

#include "measure/autoscale/autoscale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/program_units.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/link_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/instrument_list.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/screen_wiring.h"
#include "shell/shell_fixture.h"
#include "shell/shell_state.h"
#include "support/assertion_text.h"

namespace norv {
namespace {

class AutoscaleTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
  }
  void TearDown() override {
    ScopeCRT.reset();
    ShellTest::TearDown();
  }

  static double Num(const std::string& path) {
    auto* h = dynamic_cast<TEditHandler*>(RootSpider->FindHandler(path));
    return h ? h->GetFloatValue() : NAN;
  }
  static std::vector<std::string> Dump() {
    std::vector<std::string> lines;
    RootSpider->DumpSettings(lines);
    return lines;
  }
  // Acquisitions until `cycles` have finished.
  static void Acquire(int cycles) {
    for (int c = 0; c < cycles; ++c) {
      for (int i = 0; i < 100000 && !AcqCycleRunning; ++i) ShellIdleStep();
      for (int i = 0; i < 100000 && AcqCycleRunning; ++i) ShellIdleStep();
    }
  }

  test::TReadableFont font;
};

// Generator `g` ("GSS:A:" and so on) as the set of commands that makes it.
struct TSignal {
  const char* Waveform;  // "Sinewave", "Pulse", "PRBS"
  double Amplitude, Offset, Frequency;
  double Width = 0;  // pulse width, s
  bool Rz = false;
};

std::string Text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

void FeedGenerator(char generator, const TSignal& s) {
  const std::string g = std::string("GSS:") + generator + ":";
  ExecCommand(g + "Waweform " + s.Waveform);
  ExecCommand(g + "Amplitude " + Text(s.Amplitude));
  ExecCommand(g + "Offset " + Text(s.Offset));
  ExecCommand(g + "StdFreq Custom");
  ExecCommand(g + "Frequency " + Text(s.Frequency));
  if (s.Width > 0) ExecCommand(g + "PulseWidth " + Text(s.Width));
  ExecCommand(g + "PrbsMode " + std::string(s.Rz ? "RZ" : "NRZ"));
}

// A signal on Ch1 alone, from settings far from it: the scale is its swing over the
// divisions its kind is given (6, or 4 for patterns), the offset its middle, and the screen
// holds 3 periods (6 bits of a pattern) in B, A being the 1-2-5 value next to four times B.
// A square wave is no pattern: the middle of its highs is one clean level. An RZ pattern is
// found as one under "Auto" too: the first half of each bit slot mixes ones and zeros.
// Afterwards the trace lies inside the graticule, and what autoscale borrowed is back, on
// the status line too.
TEST_F(AutoscaleTest, SimulatedSignalsGetTheirScaleOffsetAndTimeBase) {
  struct TCase {
    const char* Name;
    const char* Item;
    TSignal Signal;
    double Low, High;  // the generator's levels
    bool Pattern;      // an NRZ or RZ pattern: 4 divisions, 6 bits
  };
  const TCase cases[] = {
      {"sine", "Auto", {"Sinewave", 0.5, 0.0, 1e8}, -0.25, 0.25, false},
      {"sine slow", "Auto", {"Sinewave", 0.9, 0.0, 5e7}, -0.45, 0.45, false},
      {"sine 25 MHz", "Auto", {"Sinewave", 0.6, 0.0, 2.5e7}, -0.3, 0.3, false},
      {"sine offset", "Auto", {"Sinewave", 1.2, 0.3, 1e8}, -0.3, 0.9, false},
      {"square", "Auto", {"Pulse", 0.8, 0.0, 5e7, 1e-8}, 0.0, 0.8, false},
      {"square offset", "Auto", {"Pulse", 0.3, -0.2, 2e8, 2.5e-9}, -0.2, 0.1, false},
      {"pulse", "SingleVal", {"Pulse", 1.0, 0.0, 1e8, 1.5e-9}, 0.0, 1.0, false},
      {"pulse offset", "SingleVal", {"Pulse", 0.4, 0.2, 2.5e7, 4e-9}, 0.2, 0.6, false},
      {"nrz", "NRZ", {"PRBS", 0.5, -0.25, 1e8}, -0.25, 0.25, true},
      {"nrz offset", "NRZ", {"PRBS", 1.0, 0.1, 5e8}, 0.1, 1.1, true},
      {"rz", "RZ", {"PRBS", 0.5, -0.25, 1e8, 0, true}, -0.25, 0.25, true},
      {"rz offset", "RZ", {"PRBS", 1.0, 0.1, 5e8, 0, true}, 0.1, 1.1, true},
      {"rz as auto", "Auto", {"PRBS", 0.8, 0.0, 1.25e8, 0, true}, 0.0, 0.8, true},
  };
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ConnectTopText();
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
  const auto styleCell = [] {
    return test::ReadCell(ScopeCRT->TopText(), TVerhText::GetTopTextCellRect(2, 1)).Text;
  };
  ExecCommand("Displ:Ch1:Style Vectors");
  ExecCommand("Ch1:Atten:Unit Ratio");
  ExecCommand("Acq:Ch1:Mode EnvMinMax");
  ExecCommand("Meas:Display Param");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FeedGenerator('A', c.Signal);
    ExecCommand("GSS:Ch1 A");
    ExecCommand("GSS:Ch2 Off");
    ExecCommand("Ch2:Display Off");
    ExecCommand("Ch1:Display On");
    ExecCommand("TB:ScaleA 100u");
    ExecCommand("Ch1:Scale 0.005");
    ExecCommand("Ch1:Offset 0.4");
    const char* kept[] = {"Displ:Ch1:Style?", "Ch1:Atten:Unit?", "Trig:Source?", "Acq:Ch1:Mode?",
                          "Meas:Display?"};
    std::vector<std::string> before;
    for (const char* query : kept) before.push_back(ExecCommand(query));
    ASSERT_NO_THROW(ExecCommand(std::string("*Autoscale ") + c.Item));
    for (size_t k = 0; k < before.size(); ++k) EXPECT_EQ(ExecCommand(kept[k]), before[k]) << kept[k];
    EXPECT_EQ(styleCell(), "Vectors");

    const double swing = c.High - c.Low;
    const double divisions = c.Pattern ? 4 : 6;
    const double perScreen = c.Pattern ? 6 : 3;
    const double period = 1 / c.Signal.Frequency;
    EXPECT_NEAR(Num("Ch1:Scale"), swing / divisions, 0.1 * swing / divisions + 0.002);
    EXPECT_NEAR(Num("Ch1:Offset"), -(c.High + c.Low) / 2, 0.1 * swing + 0.002);
    EXPECT_NEAR(10 * Num("TB:ScaleB") / period, 10 / perScreen, 0.05 * 10 / perScreen);
    EXPECT_EQ(ExecCommand("TB:Mode?"), "B");
    const double scaleA = Num("TB:ScaleA");
    const double mantissa = scaleA / std::pow(10.0, std::floor(std::log10(scaleA) + 1e-9));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 ||
                std::fabs(mantissa - 5) < 1e-6)
        << scaleA;
    EXPECT_GE(scaleA, 4 * Num("TB:ScaleB") / 1.6);
    EXPECT_LE(scaleA, 4 * Num("TB:ScaleB") * 1.6);
    EXPECT_TRUE(RunFlag);

    Acquire(2);
    const TSignalObj& r = SignalObjs()[TTraceId::Ch1];
    double top = -1e9, bottom = 1e9;
    for (int i = 0; i < r.GetRecLen(); ++i) {
      top = std::max(top, r.ValueToScreenY(r.GetY(i)));
      bottom = std::min(bottom, r.ValueToScreenY(r.GetY(i)));
    }
    EXPECT_GT(bottom, 0);
    EXPECT_LT(top, 1024);
  }
}

// A channel that is off is left alone; a flat one keeps its scale; the other channel is
// scaled and triggers.
TEST_F(AutoscaleTest, FlatAndSwitchedOffChannels) {
  struct TCase {
    const char* Name;
    bool Ch1On, Ch2On;
    bool Ch2Flat;
    const char* Format;
  };
  const TCase cases[] = {
      {"Ch2 flat", true, true, true, "2YT"},
      {"Ch2 off", true, false, false, "YT"},
      {"Ch1 off", false, true, false, "YT"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FeedGenerator('A', {"Sinewave", 0.6, 0.0, 1e8});
    FeedGenerator('B', {"Sinewave", 0.6, 0.0, 1e8});
    ExecCommand("GSS:Ch1 A");
    ExecCommand(c.Ch2Flat ? "GSS:Ch2 Off" : "GSS:Ch2 B");
    ExecCommand(std::string("Ch1:Display ") + (c.Ch1On ? "On" : "Off"));
    ExecCommand(std::string("Ch2:Display ") + (c.Ch2On ? "On" : "Off"));
    ExecCommand("Ch1:Scale 0.2");
    ExecCommand("Ch2:Scale 0.1");
    ExecCommand("TB:ScaleA 1u");
    ASSERT_NO_THROW(ExecCommand("*Autoscale Auto"));
    EXPECT_EQ(ExecCommand("Displ:Format?"), c.Format);
    const bool ch1Scaled = c.Ch1On;
    const bool ch2Scaled = c.Ch2On && !c.Ch2Flat;
    EXPECT_NEAR(Num("Ch1:Scale"), ch1Scaled ? 0.1 : 0.2, 0.012);
    EXPECT_NEAR(Num("Ch2:Scale"), 0.1, ch2Scaled ? 0.012 : 1e-9);
    EXPECT_EQ(AutoscaleRun().TriggerChannel, c.Ch1On ? 2 : 3);
    EXPECT_NEAR(10 * Num("TB:ScaleB"), 10 / 3.0 * 1e-8, 0.2e-8);
  }
}

// A sine narrower than one bin of the first look (0.5 V/div over 1024 bins: 3.9 mV) is
// looked at closer before it counts as flat. One whose sixth is below 2 mV/div fails and
// leaves every setting as it was; one of 30 mV is zoomed in over several cycles and gets
// 30 / 6 = 5 mV/div.
TEST_F(AutoscaleTest, SmallSignalsAreLookedAtCloser) {
  struct TCase {
    const char* Name;
    double Amplitude;  // peak to peak, V
    double Scale;      // V/div; 0: the autoscale fails
  };
  const TCase cases[] = {{"1 mV", 0.001, 0}, {"3 mV", 0.003, 0}, {"5 mV", 0.005, 0}, {"30 mV", 0.03, 0.005}};
  ExecCommand("GSS:Ch1 A");
  ExecCommand("Ch2:Display Off");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FeedGenerator('A', {"Sinewave", c.Amplitude, 0.0, 1e8});
    ExecCommand("GSS:A:Noise 0.0001");
    ExecCommand("Ch1:Scale 0.2");
    const std::vector<std::string> before = Dump();
    std::string failure;
    try {
      ExecCommand("*Autoscale Auto");
    } catch (const EAssertion& e) {
      failure = e.what();
    }
    if (c.Scale > 0) {
      EXPECT_EQ(failure, "");
      EXPECT_NEAR(Num("Ch1:Scale"), c.Scale, 0.001);
    } else {
      EXPECT_EQ(failure, "Amplitude of Signal is very small");
      EXPECT_EQ(Dump(), before);
    }
    EXPECT_TRUE(RunFlag);
  }
}

// Cancel in each phase, and a failure (no signal on the shown channel, no channel shown),
// leave every setting as it was before and the acquisition running.
TEST_F(AutoscaleTest, CancelAndFailureRestoreEverySetting) {
  FeedGenerator('A', {"Sinewave", 0.5, 0.1, 1e8});
  ExecCommand("TB:ScaleA 20n");
  ExecCommand("Ch1:Scale 0.05");
  ExecCommand("Ch2:Atten:Unit Ratio");
  ExecCommand("Displ:Ch1:Style Vectors");
  ExecCommand("Acq:Ch1:Mode AvgStab");
  for (uint8_t phase : {kAutoscaleAmplitude, kAutoscaleTrigger, kAutoscalePeriod}) {
    SCOPED_TRACE(phase);
    const std::vector<std::string> before = Dump();
    uint8_t reached = kAutoscaleIdle;
    AutoscaleHooks.ShowProgressWindow.Set([&] {
      for (int i = 0; i < 10000000 && AutoscaleRun().AutoscaleState != phase && !AutoscaleRun().Ended; ++i)
        ShellIdleStep();
      reached = AutoscaleRun().AutoscaleState;
      return false;
    });
    ASSERT_NO_THROW(ExecCommand("*Autoscale Auto"));
    EXPECT_EQ(reached, phase);
    EXPECT_EQ(Dump(), before);
    EXPECT_TRUE(RunFlag);
    EXPECT_FALSE(AutoscaleRunning());
  }
  AutoscaleHooks.ShowProgressWindow.Reset();

  // A shown channel with no signal at all: nothing to scale, however close it is looked at.
  ExecCommand("GSS:Ch1 Off");
  ExecCommand("GSS:Ch2 Off");
  ExecCommand("Ch2:Display Off");
  const std::vector<std::string> before = Dump();
  try {
    ExecCommand("*Autoscale Auto");
    ADD_FAILURE() << "no failure";
  } catch (const EAssertion& e) {
    EXPECT_STREQ(e.what(), "Amplitude of Signal is very small");
  }
  EXPECT_EQ(Dump(), before);
  EXPECT_TRUE(RunFlag);
  Acquire(1);
  EXPECT_TRUE(SignalObjs()[TTraceId::Ch1].GetRecLen() > 0);
  // No channel shown: a client hears why.
  ExecCommand("Ch1:Display Off");
  const std::vector<std::string> none = Dump();
  const TDialogsSuppressed client;
  EXPECT_EQ(test::AssertionText([] { ExecCommand("*Autoscale Auto"); }),
            "Autoscale: neither Ch1 nor Ch2 is shown");
  EXPECT_EQ(Dump(), none);
}

}  // namespace
}  // namespace norv
