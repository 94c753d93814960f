// The "TDR:" settings through the whole program: one generator output per channel and the
// generator following it, the propagation pair, the margins, the units the channels and
// the time base take, the vertical calibration's refusal and restore, and the "Excess"
// readout between the markers (areas worked out by hand for ideal L and C reflections).

#include "tdr_mask/tdr_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "display/display_test_support.h"
#include "display/layers_of_signals.h"
#include "display/scope_crt.h"
#include "display/screen_layer.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/timebase_settings.h"
#include "measure/markers/markers.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/program_units_fixture.h"
#include "support/settings_tree_fixture.h"
#include "tdr_mask/tdr_readout.h"

namespace norv::test {
namespace {

class TdrTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    StartProgramUnits(1, OptGenerators);
    Exec("Header Off");
    SignalsOn.SetOn(TTraceId::Ch1, true);
    SignalsOn.SetOn(TTraceId::Ch2, true);
    UpdateTDRChannelSelect();
  }
  void TearDown() override {
    InstrumentIdentity = {};
    SettingsTreeTest::TearDown();
  }
  static THandler& Node(const std::string& path) { return *RootSpider->FindHandler(path); }
  static int Index(const std::string& path) { return dynamic_cast<TRadioSwHandler&>(Node(path)).GetIndex(); }
  static uint32_t DisabledMask(const std::string& path) {
    return dynamic_cast<TRadioSwHandler&>(Node(path)).GetDisabledMask();
  }
  static double Value(const std::string& path) { return dynamic_cast<TEditHandler&>(Node(path)).GetValue(); }
  // A marker's screen position (its command takes a time).
  static void XPos(int n, int position) {
    dynamic_cast<TIntEditHandler&>(Node("Mark:M" + std::to_string(n) + ":XPos")).SetValueByProgram(position);
  }
};

TEST_F(TdrTest, OneGeneratorOutputServesOneChannelAndIsDrivenAsANegativeStep) {
  Exec("TDR:Mode TDR");
  Exec("TDR:Ch2:Destination G1");
  Exec("Gen:Out2:Polarity Pos");
  Exec("TDR:Ch1:Destination G1");
  EXPECT_EQ(Index("TDR:Ch2:Destination"), tdOff);  // Ch2 lost G1 to Ch1
  EXPECT_EQ(DisabledMask("TDR:Ch2:Destination"), 1u << tdG1);
  EXPECT_EQ(Index("Gen:Mode"), 1);  // Step
  EXPECT_TRUE(Node("Gen:Mode").IsDisabled());
  EXPECT_EQ(Index("Gen:Out1:Polarity"), 1);
  EXPECT_TRUE(Node("Gen:Out1:Polarity").IsDisabled());
  EXPECT_FALSE(Node("Gen:Out2:Polarity").IsDisabled());
  EXPECT_EQ(Index("TDR:Ch1:Polar"), 1);  // Neg, and not the user's
  EXPECT_TRUE(Node("TDR:Ch1:Polar").IsDisabled());
  // External: the polarity is the user's; TDR controls on, TDT ones off.
  Exec("TDR:Ch2:Destination External");
  EXPECT_FALSE(Node("TDR:Ch2:Polar").IsDisabled());
  EXPECT_FALSE(Node("TDR:Ch2:RefAmpl").IsDisabled());
  EXPECT_TRUE(Node("TDR:Ch2:RefTDTAmpl").IsDisabled());
  Exec("TDR:Ch1:Destination G2");
  EXPECT_FALSE(Node("Gen:Out1:Polarity").IsDisabled());
  EXPECT_TRUE(Node("Gen:Out2:Polarity").IsDisabled());
  EXPECT_EQ(DisabledMask("TDR:Ch2:Destination"), 1u << tdG2);
  // TDR off: the generator is free again.
  Exec("TDR:Mode Off");
  EXPECT_FALSE(Node("Gen:Mode").IsDisabled());
  EXPECT_TRUE(Node("TDR:Ch1:Destination").IsDisabled());
  // A channel whose trace is off is not offered, and the choice moves to the other.
  Exec("TDR:Mode TDT");
  Exec("Shadow:TDRChSelect Ch2");
  SignalsOn.SetOn(TTraceId::Ch2, false);
  UpdateTDRChannelSelect();
  EXPECT_EQ(Index("Shadow:TDRChSelect"), 0);
  EXPECT_TRUE(Node("TDR:Ch2:Destination").IsDisabled());
  EXPECT_FALSE(Node("TDR:Ch1:RefTDTAmpl").IsDisabled() && Index("TDR:Ch1:Destination") != tdOff);
}

TEST_F(TdrTest, VerticalUnitsFollowModeDestinationAndScale) {
  struct Case {
    const char* mode;
    const char* destination;
    const char* scale;
    TTdrVertUnit unit;
  };
  for (const Case& c :
       {Case{"TDR", "External", "VertScale Ohm", tvuOhm}, Case{"TDR", "External", "VertScale Rho", tvuRho},
        Case{"TDR", "Off", "VertScale Ohm", tvuVolt}, Case{"TDT", "G1", "VertTDTScale Gain", tvuGain},
        Case{"TDT", "G1", "VertTDTScale Volt", tvuVolt}, Case{"Off", "External", "VertScale Ohm", tvuVolt}}) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.destination + " " + c.scale);
    Exec("TDR:Mode TDR");
    Exec(std::string("TDR:Ch2:Destination ") + c.destination);
    Exec(std::string("TDR:Mode ") + c.mode);
    Exec(std::string("TDR:Ch2:") + c.scale);
    EXPECT_EQ(GetTDRVertUnit(3, false), c.unit);
    EXPECT_EQ(GetTDRVertUnit(2, false), tvuVolt);
  }
  InstrumentIdentity.Options = 0;  // without the option nothing is TDR
  EXPECT_FALSE(IsTDRActive());
}

TEST_F(TdrTest, PropagationPairAndDistanceAxis) {
  Exec("TDR:Mode TDR");
  Exec("TDR:HorScale Meter");
  Exec("TDR:Unit DielConst");
  EXPECT_TRUE(Node("TDR:Velos").IsDisabled());
  EXPECT_FALSE(Node("TDR:DielConst").IsDisabled());
  Exec("TDR:DielConst 4");
  EXPECT_DOUBLE_EQ(Value("TDR:Velos"), 0.5);
  EXPECT_DOUBLE_EQ(GetPropagationFactor(), 0.5);
  Exec("TDR:Unit Velocity");
  Exec("TDR:Velos 0.8");
  EXPECT_NEAR(Value("TDR:DielConst"), 1.5625, 1e-12);
  // The time base measures in metres: a reflection after 10 ns lies 0.8 c x 10 ns / 2 away.
  EXPECT_EQ(GetHorizontalUnitKind(), huMetre);
  EXPECT_NEAR(TimeToUnit(huMetre, 1e-8), 0.8 * 299792500 * 1e-8 / 2, 1e-9);
  Exec("TDR:Mode TDT");  // one way through the line
  EXPECT_NEAR(TimeToUnit(huMetre, 1e-8), 0.8 * 299792500 * 1e-8, 1e-9);
  Exec("TDR:HorScale Time");
  EXPECT_TRUE(Node("TDR:Unit").IsDisabled());
  EXPECT_TRUE(Node("TDR:Velos").IsDisabled());
}

// A measurement source without a layer on the screen is not offered; once its trace is
// hidden the choice falls back to Ch2, or to Ch1 when Ch2 is gone too. A shown trace's
// layer comes back at its next draw: the choice stays meanwhile.
TEST_F(TdrTest, MeasurementSourcesFollowTheLayersOnTheScreen) {
  FakeClock clock;
  TBlockFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, nullptr, clock);
  ApplyTDRSettings();
  TLayersOfSignals& layers = ScopeCRT->LayersOfSignals();
  struct Plain final : TScreenLayer {
    Plain() : TScreenLayer("plain", 100, 100, 0, false) {}
    uint32_t PixelColor(int, int) const override { return 0; }
  };
  for (TTraceId id : {TTraceId::Ch2, TTraceId::F1}) layers.SetLayer(id, std::make_unique<Plain>());
  Exec("TDR:Source NormCh1");
  layers.ClearLayer(TTraceId::Ch1);
  EXPECT_EQ(DisabledMask("TDR:Source"), 0b1001u);  // Ch1 and F2 have no layer
  layers.ClearLayer(TTraceId::F1);
  EXPECT_EQ(Index("TDR:Source"), 1);  // Ch2
  layers.ClearLayer(TTraceId::Ch2);
  EXPECT_EQ(Index("TDR:Source"), 1);
  layers.SetLayer(TTraceId::Ch2, std::make_unique<Plain>());
  SignalsOn.SetOn(TTraceId::Ch2, false);
  layers.ClearLayer(TTraceId::Ch2);
  EXPECT_EQ(Index("TDR:Source"), 0);
  ScopeCRT.reset();
}

TEST_F(TdrTest, MarginsKeepTheirOrderAndStartInsideTheirRange) {
  for (const char* source : {"Ch1", "Ch2", "NormCh1", "NormCh2"}) {
    SCOPED_TRACE(source);
    const std::string base = std::string("TDR:") + source + ":";
    auto& left = dynamic_cast<TIntEditHandler&>(Node(base + "LeftMargins"));
    auto& right = dynamic_cast<TIntEditHandler&>(Node(base + "RightMargins"));
    EXPECT_GE(left.GetValue(), left.GetMin());
    EXPECT_EQ(right.GetValue(), 4000);
    left.SetValueByProgram(3000);
    right.SetValueByProgram(2500);
    EXPECT_EQ(left.GetValue(), 2499);
    left.SetValueByProgram(2600);
    EXPECT_EQ(right.GetValue(), 2601);
  }
}

// A calibration stores its levels itself, only when it succeeds: a failed one leaves them as
// someone set them meanwhile.
TEST_F(TdrTest, ACalibrationThatFailsKeepsTheLevelsSetMeanwhileAndAModeChangeClearsTheFlags) {
  FakeDialogs dialogs;
  std::vector<bool> fromCommand;
  bool accept = false;
  TdrHooks.RunChannelCalibration.Set([&](int channel, TTraceId trace, bool tdr, bool command) {
    EXPECT_EQ(std::tuple(channel, trace, tdr), std::tuple(3, TTraceId::Ch2, true));
    fromCommand.push_back(command);
    Exec("TDR:Ch2:RefAmpl 0.3;:TDR:Ch2:BaseLine 0.1");
    return accept;
  });
  Exec("TDR:Mode TDR");
  Exec("TDR:Ch2:Destination External");
  Exec("TDR:Ch2:DoVertCalibr");  // a command asks nothing
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(std::tuple(Value("TDR:Ch2:RefAmpl"), Value("TDR:Ch2:BaseLine")), std::tuple(0.3, 0.1));
  EXPECT_FALSE(TdrChannel(3).Calibrated);
  accept = true;
  Exec("TDR:Ch2:DoVertCalibr");
  EXPECT_DOUBLE_EQ(Value("TDR:Ch2:RefAmpl"), 0.3);
  EXPECT_TRUE(TdrChannel(3).Calibrated);
  EXPECT_EQ(fromCommand, (std::vector<bool>{true, true}));
  Exec("TDR:Mode TDT");
  EXPECT_FALSE(TdrChannel(3).Calibrated);
}

// Ch1 in rho on a time axis of 10 ps steps: a positive bump of height h over w points is an
// inductance 2 x 50 x (h w dt); a dip a capacitance 2 (h w dt) / 50; on a 50 Ohm line k = 1.
TEST_F(TdrTest, ExcessReadoutIntegratesTheReflectionBetweenTheMarkers) {
  FakeClock clock;
  TBlockFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, nullptr, clock);
  Exec("TDR:Mode TDR");
  Exec("TDR:Ch1:Destination External");
  Exec("TDR:Ch1:VertScale Rho");
  Exec("Mark:Type MX");
  struct Case {
    double height;  // rho of the bump
    const char* unit;
    double step;  // axis step of the record
    const char* label;
    double value;
  };
  // 1 mm steps at dielectric constant 4 take 2 x 2 x 1 mm / c of reflection time.
  const double mmTime = 2 * 2 * 1e-3 / 299792500;
  for (const Case& c : {Case{-0.05, "s", 1e-11, "Excess C", 2 * 0.05 * 20 * 1e-11 / 50},
                        Case{0.1, "m", 1e-3, "Excess L", 2 * 50 * 0.1 * 20 * mmTime}}) {
    SCOPED_TRACE(c.label);
    TSignalObj& r = SignalObjs()[TTraceId::Ch1];
    r.SetRecLen(512);
    r.SetDX(c.step);
    r.SetHorUnit(c.unit);
    r.SetPropagation(4);
    r.SetTdrUnitKind(tukRho);
    r.SetTdrAmplitude(1);
    r.SetTdrBase(0);
    for (int i = 0; i < 512; ++i) r.SetY(i, i >= 200 && i < 220 ? c.height : 0);
    const TExcessLC lc = ComputeExcessLC(r, 300, 100, false);
    ASSERT_TRUE(lc.Valid);
    EXPECT_EQ(lc.Capacitive, c.height < 0);
    EXPECT_NEAR(lc.Value, c.value, std::abs(c.value) * 1e-9);
    // Between the markers, and nothing outside them.
    XPos(1, 800);  // points 100 and 300 of the 512 across 4096
    XPos(2, 2400);
    UpdateTDRMarkerUnits();
    ShowTDRExcessLC();
    EXPECT_EQ(Heterogeneity().LabelText, c.label);
    EXPECT_NE(Heterogeneity().ValueText, "");
    XPos(1, 3000);
    ShowTDRExcessLC();
    EXPECT_EQ(Heterogeneity().ValueText, " 0 H");  // a flat line: no excess
  }
  // Markers of type MY, or on two traces: no readout.
  Exec("Mark:Type MY");
  EXPECT_FALSE(Heterogeneity().Shown);
  EXPECT_EQ(Heterogeneity().LabelText, "");
  ScopeCRT.reset();
}

}  // namespace
}  // namespace norv::test
