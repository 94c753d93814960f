// The generator and utility nodes: what a change does to the simulated record, and the
// rules between the nodes.

#include "instrument/simulator/simulator_nodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "framework/settings/numeric_handlers.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator.h"
#include "support/every_unit.h"
#include "support/fake_settings_link.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class SimulatorNodesTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    RegisterEveryUnit();
    ApplyEveryUnit();
    link.Clear();
  }
  void TearDown() override {
    Acquiring = false;
    SettingsTreeTest::TearDown();
  }

  static TEditHandler* Edit(const char* path) {
    return dynamic_cast<TEditHandler*>(RootSpider->FindHandler(path));
  }
  static TRadioSwHandler* Choice(const char* path) {
    return dynamic_cast<TRadioSwHandler*>(RootSpider->FindHandler(path));
  }

  // Channel 1's record of 1000 points over 100 ns, in volts.
  static std::vector<double> Record() {
    TSimulator& sim = ProgramSimulator();
    sim.SimSetChannels(2);
    sim.SimSetRecLen(1000);
    sim.SimSetNAvg(1);
    sim.SimSetDelay(0);
    sim.SimSetTimeDiv(1e-10 * 50 * 1000 / 512);  // 0.1 ns a point
    TSimulatorRecordSource source(sim);
    source.SimStartRecord();
    std::vector<double> volts;
    std::array<uint16_t, 64> block{};
    for (bool ended = false; !ended;) {
      const size_t n = source.SimReadBlock(block);
      for (size_t i = 0; i < n && !ended; ++i) {
        ended = block[i] == EndOfRecordWord;
        if (!ended) volts.push_back(static_cast<int16_t>(block[i]) / 16000.0);
      }
    }
    Acquiring = false;
    return volts;
  }

  FakeSettingsLink link;
};

struct TShape {
  double Swing;         // peak to peak, V
  int Crossings;        // of the middle level
  double HighFraction;  // of the points above the middle level
};

TShape ShapeOf(const std::vector<double>& v) {
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  const double middle = (*lo + *hi) / 2;
  TShape s{*hi - *lo, 0, 0};
  for (size_t i = 0; i < v.size(); ++i) {
    s.HighFraction += v[i] > middle ? 1.0 / static_cast<double>(v.size()) : 0;
    if (i > 0 && (v[i - 1] > middle) != (v[i] > middle)) ++s.Crossings;
  }
  return s;
}

TEST_F(SimulatorNodesTest, GeneratorChangesShowInTheRecord) {
  // Generator A feeds channel 1: a 0.5 V sine of 100 MHz, ten periods in the record.
  struct TStep {
    const char* Command;
    TShape Expected;
  };
  const TStep steps[] = {
      {"GSS:A:NOISE MIN", {0.5, 20, 0.5}},
      {"GSS:A:AMPLITUDE 1.2", {1.2, 20, 0.5}},
      {"GSS:A:FREQUENCY 250MEG", {1.2, 50, 0.5}},
      // 1 ns pulses every 4 ns, with 0.1 ns edges.
      {"GSS:A:WAWEFORM PULSE", {1.2, 50, 0.25}},
      // Channel 1 from generator B: a 0.5 V pulse of 1 ns every 10 ns.
      {"GSS:CH1 B", {0.5, 20, 0.1}},
  };
  for (const TStep& step : steps) {
    Exec(step.Command);
    const TShape s = ShapeOf(Record());
    // The noise of B (2 mV) widens the swing a little and may add a crossing at an edge.
    EXPECT_NEAR(s.Swing, step.Expected.Swing, 0.02) << step.Command;
    EXPECT_NEAR(s.Crossings, step.Expected.Crossings, 2) << step.Command;
    EXPECT_NEAR(s.HighFraction, step.Expected.HighFraction, 0.03) << step.Command;
  }
  EXPECT_EQ(GetIndex(Choice("SHADOW:GSSSELECT")), 1) << "the page shows the generator just chosen";
}

TEST_F(SimulatorNodesTest, RulesBetweenTheNodes) {
  // No real instrument: the channels are fed by A and B, and cannot be switched off.
  EXPECT_EQ(Choice("GSS:CH1")->GetIndex(), 1);
  EXPECT_EQ(Choice("GSS:CH2")->GetIndex(), 2);
  EXPECT_EQ(Choice("GSS:CH1")->GetDisabledMask(), 1u);

  // Without the generators option TDR cannot be chosen, TDT can; a TDR/TDT mode swaps them.
  for (const char* g : {"GSS:A:WAWEFORM", "GSS:D:WAWEFORM"}) EXPECT_EQ(Choice(g)->GetDisabledMask(), 8u) << g;
  Exec("GSS:B:WAWEFORM TDT");
  EXPECT_TRUE(Edit("GSS:B:AMPLITUDE")->IsDisabled());
  SyncSimulatorWithTdrMode(1);
  EXPECT_EQ(Choice("GSS:B:WAWEFORM")->GetIndex(), gwTdr);
  EXPECT_EQ(ProgramSimulator().SimGenerator(2).Waveform, TSimWaveform::Tdr);

  // The calibrator clock steps onto its allowed periods.
  TEditHandler& clock = *Edit("UTIL:CLCPERIOD");
  struct TClockStep {
    double From;
    uint8_t Code;
    double To;
  };
  // clang-format off
  for (const TClockStep& s : {TClockStep{8e-8, scCoarseUp, 2e-7}, {2e-7, scCoarseUp, 4e-7}, {2e-7, scCoarseDown, 8e-8},
                              {5e-6, scCoarseDown, 2e-6}, {2e-6, scCoarseUp, 5e-6}, {1e-5, scCoarseUp, 2e-5}}) {
    // clang-format on
    clock.SetValue(s.From);
    clock.StepCommand(s.Code);
    clock.StepCommand(scRelease);
    EXPECT_NEAR(clock.GetValue(), s.To, 1e-12) << s.From;
  }
  // Changed by a command while the trigger is not the internal clock, it goes to the
  // instrument as the internal rate.
  link.Clear();
  Exec("UTIL:CLCPERIOD 1E-6");
  EXPECT_EQ(link.TextsStartingWith("Trig:IntRate"), std::vector<std::string>{"Trig:IntRate 1E-6"});

  // A bipolar calibrator square wave has a positive amplitude, shown with "±".
  Exec("UTIL:VCALVOLT -0.3");
  Exec("UTIL:VCALMODE BIMEANDER");
  TEditHandler& volt = *Edit("UTIL:VCALVOLT");
  EXPECT_DOUBLE_EQ(volt.GetValue(), 0.3);
  EXPECT_EQ(volt.GetValueText(false), std::string("\xC2\xB1") + "300 mV");

  // A standard rate sets the frequency; "Custom" leaves it; a typed frequency is custom.
  Exec("GSS:C:STDFREQ " + BitRateValue().Mnemonic(2));
  EXPECT_DOUBLE_EQ(Edit("GSS:C:FREQUENCY")->GetValue(), BitRateValue().GetRate(2));
  Exec("GSS:C:STDFREQ CUSTOM");
  EXPECT_DOUBLE_EQ(Edit("GSS:C:FREQUENCY")->GetValue(), BitRateValue().GetRate(2));
  Exec("GSS:C:STDFREQ " + BitRateValue().Mnemonic(5));
  Exec("GSS:C:FREQUENCY 2G");
  EXPECT_EQ(Choice("GSS:C:STDFREQ")->GetIndex(), 0);
  EXPECT_DOUBLE_EQ(ProgramSimulator().SimGenerator(3).Frequency, 2e9);
}

}  // namespace
}  // namespace norv::test
