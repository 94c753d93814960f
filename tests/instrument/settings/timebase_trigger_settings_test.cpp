// Coupled rules of the time-base and trigger settings, through their nodes and commands.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "framework/language/language.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/settings/pattern_length_list.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings_fixture.h"
#include "support/assertion_text.h"

namespace norv::test {
namespace {

using Lines = std::vector<std::string>;

using TimeBaseSettingsTest = AppliedSettingsTest;

TEST_F(TimeBaseSettingsTest, DelayLimitsFollowScalesAAndB) {
  for (const char* line : {"TB:MODE AB", "TB:SCALEA 10N", "TB:SCALEB 2N"}) Exec(line);
  EXPECT_DOUBLE_EQ(Edit("TB:Delay")->GetMax(), 8.0);
  EXPECT_DOUBLE_EQ(Edit("TB:Delay")->GetMid(), 5.0);
  Exec("TB:DELAY 20N");  // typed in the horizontal unit: two divisions of 10 ns
  EXPECT_NEAR(Value("TB:Delay"), 2.0, 1e-9);
  EXPECT_NEAR(Edit("TB:DeltaDel")->GetMax(), 6.0, 1e-9);
  EXPECT_EQ(Exec("TB:DELAY?"), "TB:DELAY 20 ns");
  // B can not pass A: its maximum is A; equal scales leave no room for a delay.
  Exec("TB:SCALEB 50N");
  EXPECT_DOUBLE_EQ(Value("TB:ScaleB"), 1e-8);
  EXPECT_DOUBLE_EQ(Edit("TB:Delay")->GetMax(), 0.0);
  EXPECT_DOUBLE_EQ(Value("TB:Delay"), 0.0);
  // B's minimum is a ten-thousandth of A.
  Exec("TB:SCALEA 1U");
  EXPECT_DOUBLE_EQ(Edit("TB:ScaleB")->GetMin(), 1e-10);
}

TEST_F(TimeBaseSettingsTest, ScalesAreSentOnceAndTheDelayOnlyInModeB) {
  for (const char* line : {"TB:SCALEA 1U", "TB:SCALEA 1U"}) Exec(line);
  EXPECT_EQ(link.TextsStartingWith("TB:TIMEDIV"), (Lines{"TB:TIMEDIV 1E-6"}));
  link.Clear();
  for (const char* line : {"TB:SCALEB 100N", "TB:MODE B", "TB:DELAY 2U"}) Exec(line);
  // In mode B the active scale is B and the delay is A x divisions.
  EXPECT_EQ(link.TextsStartingWith("TB:"), (Lines{"TB:TIMEDIV 1E-7", "TB:DELAY 2E-6"}));
  EXPECT_DOUBLE_EQ(GetActiveTimeScale(), 1e-7);
  EXPECT_NEAR(GetRecordStartTime(2, false), 2e-6, 1e-18);
}

TEST_F(TimeBaseSettingsTest, MainControlFollowsTheModeAndTheUnit) {
  using Bound = std::pair<std::string, std::string>;  // path and caption
  Bound bound;
  SettingsHooks.BindMainHorizontalScale.Set([&](const std::string& path, const std::string& text) {
    bound = {path, text};
  });
  ApplyAll();
  EXPECT_EQ(bound, (Bound{"TB:ScaleA", "SCALE A"}));
  Exec("TB:MODE AB");
  EXPECT_EQ(bound, (Bound{"TB:ScaleB", "SCALE B"}));
  EXPECT_FALSE(Disabled("TB:ScaleB"));
  Exec("TB:UNITS BIT");
  EXPECT_EQ(bound.first, "TB:BitScaleB");
  EXPECT_TRUE(Disabled("TB:ScaleB"));
  EXPECT_FALSE(Disabled("TB:BitScaleB"));
  EXPECT_FALSE(Disabled("TB:BitRate"));
  Exec("TB:MODE A");
  for (const char* path : {"TB:Delay", "TB:DualDel", "TB:DeltaDel"}) EXPECT_TRUE(Disabled(path)) << path;
}

TEST_F(TimeBaseSettingsTest, BitUnitsConvertWithTheChosenRate) {
  // Entry 7 is 51.84 Mb/s: 10 ns per division hold 0.5184 bits.
  EXPECT_EQ(BitRateValue().GetRate(7), 51.84e6);
  EXPECT_NEAR(Value("TB:BitScaleA"), 1e-8 * 51.84e6, 1e-9);
  // Editing in bits moves the time scale.
  Exec("TB:UNITS BIT");
  Exec("TB:BITSCALEA 5.184");
  EXPECT_NEAR(Value("TB:ScaleA"), 1e-7, 1e-15);
  // 20 ns for B; the delay typed in bits: three divisions of A.
  for (const char* line : {"TB:BITSCALEB 1.0368", "TB:MODE B", "TB:DELAY 15.552"}) Exec(line);
  link.Clear();
  // Another rate keeps the bit scales and the delay and recomputes time. At 2.5 Gb/s the
  // new A (2.0736 ns) lies below the old B (20 ns): B must not be clamped to it on the way.
  Exec("TB:BITRATE 2G5000");
  EXPECT_NEAR(Value("TB:BitScaleA"), 5.184, 1e-6);
  EXPECT_NEAR(Value("TB:BitScaleB"), 1.0368, 1e-6);
  EXPECT_NEAR(Value("TB:ScaleA"), 5.184 / 2.5e9, 1e-15);
  EXPECT_NEAR(Value("TB:ScaleB"), 1.0368 / 2.5e9, 1e-15);
  EXPECT_NEAR(Value("TB:Delay"), 3.0, 1e-9);
  // Only the new time base goes out: B per division, and 3 divisions of the new A.
  EXPECT_EQ(link.TextsStartingWith("TB:"), (Lines{"TB:TIMEDIV 4.1472E-10", "TB:DELAY 6.2208E-9"}));
  // Applied again (the link recovered), a bit scale keeps its digits though the time scale
  // holds fewer: 160 m bits at 2.48832 Gb/s are 64.300411... ps, held as 64.3 ps.
  Exec("TB:BITRATE 2G48832;:TB:BITSCALEB 160M");
  ApplyAll();
  EXPECT_EQ(Exec("TB:BITSCALEB?"), "TB:BITSCALEB 160 mBit/div");
}

TEST_F(TimeBaseSettingsTest, BitRateTableTexts) {
  const TBitRateValue& rates = BitRateValue();
  EXPECT_EQ(rates.Mnemonic(7), "51M84");
  EXPECT_EQ(rates.DisplayText(7), "51.84 Mb/s");
  EXPECT_EQ(rates.Mnemonic(8), "125M000");  // no point: the prefix goes last, then "000"
  EXPECT_EQ(rates.DisplayText(48), "43.0184 Gb/s");
  // Mnemonics are unique, or the radio node could not tell them apart.
  for (int i = 0; i < rates.Count(); ++i) {
    for (int j = i + 1; j < rates.Count(); ++j)
      EXPECT_NE(rates.Mnemonic(i), rates.Mnemonic(j)) << i << " " << j;
  }
}

TEST_F(TimeBaseSettingsTest, ModelAndFirmwareLimitTheTimeBase) {
  // Without a real instrument the long time bases are there.
  AdaptTimeBaseToModel();
  EXPECT_EQ(Edit("TB:ScaleA")->GetMax(), 0.05);
  Exec("TB:SCALEA 20M");
  EXPECT_DOUBLE_EQ(Value("TB:ScaleA"), 0.02);
  // An old instrument stops at 2 ms per division and the scale comes down with it.
  LinkKind = TLinkKind::USB;
  AdaptTimeBaseToModel();
  EXPECT_EQ(Edit("TB:ScaleA")->GetMax(), 0.002);
  EXPECT_DOUBLE_EQ(Value("TB:ScaleA"), 0.002);
  InstrumentIdentity.SWVer.Num = {3, 7, 4, 0};
  InstrumentIdentity.FPGAVer.Num = {0, 3, 0, 0};
  AdaptTimeBaseToModel();
  EXPECT_EQ(Edit("TB:ScaleA")->GetMax(), 0.05);
  UpdateHoldoffMax();
  EXPECT_EQ(Edit("Trig:Holdoff")->GetMax(), 1.0);
}

TEST_F(TimeBaseSettingsTest, StopBitStartsAtTheStartBit) {
  Exec("TB:STARTBIT 10");
  EXPECT_EQ(Edit("TB:StopBit")->GetMin(), 10);
  EXPECT_EQ(Edit("TB:StopBit")->GetIntValue(), 10);
  // The bit scale shows the stop bit plus 20, in tenths, and the time scale goes with it:
  // 3 bits at 51.84 Mb/s, then 5 bits.
  EXPECT_NEAR(Value("TB:BitScaleA"), 3.0, 1e-9);
  EXPECT_NEAR(Value("TB:ScaleA"), 3.0 / 51.84e6, 1e-15);
  Exec("TB:STOPBIT 30");
  EXPECT_NEAR(Value("TB:BitScaleA"), 5.0, 1e-9);
  EXPECT_NEAR(Value("TB:ScaleA"), 5.0 / 51.84e6, 1e-15);
}

TEST_F(TimeBaseSettingsTest, WindowMarksInModeABWhileStopped) {
  struct TMarks {
    int Start1, Start2, Width;
    bool Dual;
    bool operator==(const TMarks&) const = default;
  };
  std::vector<TMarks> shown;
  SettingsHooks.ShowTimeBaseWindows.Set([&](int s1, int s2, int w, bool dual) {
    shown.push_back({s1, s2, w, dual});
  });
  bool running = false;
  SettingsHooks.AcquisitionRunning.Set([&] { return running; });
  ApplyAll();
  // A 10 ns, B 2 ns: the window is a fifth of the 4000 units; delay 2 and delta 3 divisions
  // of 400 units each put the windows at 800 and 2000.
  Exec("TB:MODE AB");
  EXPECT_EQ(shown.back(), (TMarks{800, 2000, 800, false}));
  Exec("TB:DUALDEL ON");
  EXPECT_EQ(shown.back(), (TMarks{800, 2000, 800, true}));
  // While the acquisition runs (even between two records) the marks stay as they are.
  running = true;
  shown.clear();
  Exec("TB:DELAY 25N");
  Exec("TB:MODE A");
  EXPECT_TRUE(shown.empty());
  running = false;
  Exec("TB:MODE AB");
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), (TMarks{1000, 2200, 800, true}));
  Exec("TB:MODE B");
  EXPECT_EQ(shown.back(), (TMarks{0, 0, 0, false}));
}

using TriggerSettingsTest = AppliedSettingsTest;

TEST_F(TriggerSettingsTest, HoldoffFollowsTheTimeBase) {
  Exec("TB:SCALEA 1U");
  // 15 divisions of 1 us: the 10 us hold-off is raised and follows from then on.
  EXPECT_NEAR(Value("Trig:Holdoff"), 1.5e-5, 1e-12);
  EXPECT_TRUE(TriggerSettings().HoldoffFollowsTimeBase);
  Exec("TB:SCALEA 2U");
  EXPECT_NEAR(Value("Trig:Holdoff"), 3e-5, 1e-12);
  Exec("TB:SCALEA 1U");
  EXPECT_NEAR(Value("Trig:Holdoff"), 1.5e-5, 1e-12);
  // A hold-off of the user's own stays while the time base moves below it.
  Exec("TRIG:HOLDOFF 1M");
  EXPECT_FALSE(TriggerSettings().HoldoffFollowsTimeBase);
  Exec("TB:SCALEA 2U");
  EXPECT_NEAR(Value("Trig:Holdoff"), 1e-3, 1e-12);
  // Set within 1 % of a division of 15 divisions, it follows again.
  Exec("TRIG:HOLDOFF 30.01U");
  EXPECT_TRUE(TriggerSettings().HoldoffFollowsTimeBase);
  EXPECT_EQ(link.TextsStartingWith("Trig:HoldOff").back(), "Trig:HoldOff 3.001E-5");
}

TEST_F(TriggerSettingsTest, SourceDecidesWhatIsOfferedAndWhereTheMainControlPoints) {
  std::string levelControl;
  SettingsHooks.BindMainTriggerLevel.Set([&](const std::string& path) { levelControl = path; });
  ApplyAll();
  Exec("TRIG:SOURCE INTCLOCK");
  EXPECT_EQ(levelControl, "Trig:IntRate");
  for (const char* path : {"Trig:ExtLevel", "Trig:Slope", "Trig:Hister", "Trig:Mode", "Trig:Atten:Unit"})
    EXPECT_TRUE(Disabled(path)) << path;
  EXPECT_FALSE(Disabled("Trig:IntRate"));
  Exec("TRIG:SOURCE DIRECT");
  EXPECT_EQ(levelControl, "Trig:ExtLevel");
  EXPECT_FALSE(Disabled("Trig:ExtLevel"));
  EXPECT_TRUE(Disabled("Trig:IntRate"));
  EXPECT_EQ(link.TextsStartingWith("Trig:Source"), (Lines{"Trig:Source INT", "Trig:Source DIRECT"}));
}

TEST_F(TriggerSettingsTest, LevelShowsTheAttenuatedVoltage) {
  // The level typed in the probed volts.
  for (const char* line : {"TRIG:ATTEN:UNIT RATIO", "TRIG:ATTEN:RATIO 10", "TRIG:EXTLEVEL 2"}) Exec(line);
  EXPECT_NEAR(Value("Trig:ExtLevel"), 0.2, 1e-9);
  EXPECT_EQ(link.TextsStartingWith("Trig:Level").back(), "Trig:Level 0.2");
  EXPECT_EQ(Exec("TRIG:EXTLEVEL?"), "TRIG:EXTLEVEL 2 V");
}

class PatternLockTest : public InstrumentSettingsTest {
 protected:
  void SetUp() override {
    InstrumentSettingsTest::SetUp();
    InstrumentIdentity.ModelCode = 1;
    InstrumentIdentity.Options = OptPatSyncTrig;
    LinkKind = TLinkKind::LAN;
    link.Reply = [this](const std::string& query) { return query == "Pattern:TrigFreq?" ? rate : "Timeout"; };
    ApplyAll();
  }
  std::string rate = "1.25E9";
  static std::string ClientLine(const char* line) {  // what a client hears ("no assertion": OK)
    const TDialogsSuppressed remote;
    return AssertionText([line] { Exec(line); });
  }
};

TEST_F(PatternLockTest, LengthSetsTheDelayLimitsAndIsSentDoubledForPrbs) {
  Exec("TRIG:PATTLEN 255");
  EXPECT_EQ(Edit("Trig:PattDelay")->GetMax(), 254);
  Exec("TRIG:PATTLEN 100");
  Exec("TRIG:EXTDIVIDER 4");
  EXPECT_EQ(Edit("Trig:PattDelay")->GetMax(), 24);
  Exec("TRIG:PATTLEN 65535");
  EXPECT_EQ(link.TextsStartingWith("Pattern:Length"),
            (Lines{"Pattern:Length 510", "Pattern:Length 200", "Pattern:Length 65535"}));
}

TEST_F(PatternLockTest, PrbsStartBitIsConvertedForTheInstrument) {
  Exec("TRIG:PATTLEN 127");
  Exec("TRIG:EXTDIVIDER 4");
  link.Clear();
  // PRBS 2^7-1 behind a divider of 4: bit 3 lies 32 x 3 = 96 bits on in the divided count.
  Exec("TRIG:PATTDELAY 3");
  EXPECT_EQ(link.TextsStartingWith("Pattern:Delay"), (Lines{"Pattern:Delay 96"}));
  // The scan width is what is left behind the start bit.
  EXPECT_EQ(Edit("Trig:PattScanBits")->GetMax(), 126 - 3 + 1);
}

TEST_F(PatternLockTest, LockDropsBelowItsRate) {
  Exec("TRIG:PATTERNLOCKMODE MANUAL");
  EXPECT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmManual);
  // Above 1 GHz the instrument's prescaler of 8 divides the trigger path.
  EXPECT_DOUBLE_EQ(TriggerSettings().PatternClockRate, 1.25e9);
  EXPECT_EQ(Edit("Trig:IntDivider")->GetIntValue(), 8);
  EXPECT_EQ(Edit("TB:ScaleA")->GetMax(), 1e-5);
  EXPECT_FALSE(Disabled("Trig:DataRate"));
  // The clock goes away: the periodic check drops the lock and the limits come back.
  rate = "9.9E6";
  DialogState.SuppressedLog.clear();
  CheckPatternLockRate();
  EXPECT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmOff);
  EXPECT_EQ(DialogState.SuppressedLog, Lines{});
  EXPECT_EQ(Edit("TB:ScaleA")->GetMax(), TimeBaseSettings().TimeBaseMaximum);
  EXPECT_TRUE(Disabled("Trig:DataRate"));
  // An unreadable answer is no clock either: the line that asked for the lock fails, and a
  // lock dropped at once leaves the trigger as it was.
  rate = "garbage";
  Exec("TB:SCALEA 20U;:TRIG:HOLDOFF 1M");
  EXPECT_EQ(ClientLine("TRIG:PATTERNLOCKMODE MANUAL"), GetLangStr("PatternClockNotMeasured"));
  EXPECT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmOff);
  EXPECT_EQ(Edit("TB:ScaleA")->GetValue(), 2e-5);
  EXPECT_EQ(Edit("Trig:Holdoff")->GetValue(), 1e-3);
  EXPECT_EQ(link.TextsStartingWith("Pattern:On"),
            (Lines{"Pattern:On On", "Pattern:On Off", "Pattern:On On", "Pattern:On Off"}));
}

TEST_F(PatternLockTest, AutoDetectNeedsAListOfLengths) {
  double searchRate = 0;
  SettingsHooks.StartPatternSearch.Set([&](double r) { searchRate = r; });
  TriggerSettings().PatternLengthList.clear();
  Exec("TRIG:HOLDOFF 20U");
  EXPECT_EQ(ClientLine("TRIG:PATTERNLOCKMODE AUTODETECT"), GetLangStr("PatLengthListEmpty"));
  EXPECT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmOff);
  EXPECT_EQ(Edit("Trig:Holdoff")->GetValue(), 2e-5);
  // The user at the screen has it in a box.
  DialogState.SuppressedLog.clear();
  Exec("TRIG:PATTERNLOCKMODE AUTODETECT");
  EXPECT_EQ(DialogState.SuppressedLog, Lines{"[error] Pattern Length List is empty"});
  TriggerSettings().PatternLengthList = {127};
  Exec("TRIG:PATTERNLOCKMODE AUTODETECT");
  EXPECT_DOUBLE_EQ(searchRate, 1.25e9);
  rate = "9.9E6";  // a search started again with the clock gone
  EXPECT_EQ(ClientLine("TRIG:RESETPATTLOCK"), GetLangStr("PatternClockNotMeasured"));
  EXPECT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmOff);
  // Beside another procedure the search is refused, and the lock in force runs on.
  rate = "1.25E9";
  Exec("TRIG:PATTERNLOCKMODE MANUAL");
  TProcedureLife other(TProcedure::Autoscale);
  ASSERT_TRUE(other.Start());
  EXPECT_EQ(ClientLine("TRIG:PATTERNLOCKMODE AUTODETECT"),
            "Cannot start the pattern search: the autoscale is running");
  EXPECT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmManual);
  other.End();
  TriggerSettings().PatternLengthList.clear();
}

TEST_F(PatternLockTest, EyeLineScanSweepsTheStartBits) {
  for (const char* line : {"TRIG:PATTLEN 1000", "TRIG:PATTDELAY 10", "TRIG:PATTSCANBITS 3"}) Exec(line);
  link.Clear();
  for (int i = 0; i < 4; ++i) PatternScanStep();
  EXPECT_EQ(link.Texts(),
            (Lines{"Pattern:Delay 11", "Pattern:Delay 12", "Pattern:Delay 10", "Pattern:Delay 11"}));
}

// The paths of the setup dump of a tree with one unit registered, in order.
std::vector<std::string> DumpedPaths(void (*registerUnit)()) {
  CreateRootSpider();
  registerUnit();
  std::vector<std::string> lines;
  RootSpider->DumpSettings(lines);
  for (std::string& line : lines) line = line.substr(0, line.find(' '));
  return lines;
}

class RegistrationAloneTest : public SettingsTreeTest {};

TEST_F(RegistrationAloneTest, EachUnitRegistersItsNodesInSetupOrder) {
  EXPECT_EQ(DumpedPaths(RegisterTriggerCommands),
            (std::vector<std::string>{
                "TRIG:SOURCE",       "TRIG:HEADPOWER",    "TRIG:EXTLEVEL",        "TRIG:INTRATE",
                "TRIG:MODE",         "TRIG:SLOPE",        "TRIG:HOLDOFF",         "TRIG:HISTER",
                "TRIG:LOWJITTER",    "TRIG:REFFREQ",      "TRIG:REFDIVIDER",      "TRIG:ATTEN:UNIT",
                "TRIG:ATTEN:RATIO",  "TRIG:ATTEN:DB",     "TRIG:PATTERNLOCKMODE", "TRIG:DATARATE",
                "TRIG:INTDIVIDER",   "TRIG:EXTDIVIDER",   "TRIG:PATTLEN",         "TRIG:PATTDELAY",
                "TRIG:PATTADDDELAY", "TRIG:PATTSCANBITS", "TRIG:PATTEYELINE"}));
  const auto tb = DumpedPaths(RegisterTimeBaseCommands);
  EXPECT_EQ(std::tuple(tb.size(), tb.at(0), tb.at(4), tb.at(6), tb.at(19)),
            std::tuple(20u, "TB:UNITS", "TB:SCALEA", "TB:BITSCALEA", "TB:STOPBIT"));
  // 16 per channel, Ch1 first; the two SHADOW nodes stay out.
  const auto ch = DumpedPaths(RegisterChannelCommands);
  EXPECT_EQ(std::tuple(ch.size(), ch.at(0), ch.at(15), ch.at(16)),
            std::tuple(32u, "CH1:DISPLAY", "CH1:DESKEW", "CH2:DISPLAY"));
  const auto acq = DumpedPaths(RegisterAcquisitionCommands);
  EXPECT_EQ(std::tuple(acq.at(0), acq.back()), std::tuple("ACQ:FITTO", "ACQ:CH2:RECLEN"));
  // The middle of the stop bit lies within its limits.
  DumpedPaths(RegisterTimeBaseCommands);
  Exec("TB:STOPBIT MID");
  EXPECT_EQ(TimeBaseSettings().StopBit->GetIntValue(), 1);
}

// A step that set both scales and the delta: replayed, its line for A clamps B to A and the
// delays to nought on the way; the delay it does not hold comes back all the same.
TEST_F(TimeBaseSettingsTest, DelaysKeptOverAnUndoUnlessItSetThem) {
  for (const char* line : {"TB:MODE B", "TB:SCALEA 1N", "TB:SCALEB 100P", "TB:DELAY 3N", "TB:DELTADEL 1N"})
    Exec(line);
  StartUndo();
  UndoBuffer->BeginStep();
  TimeBaseSettings().ScaleA[huTime]->SetValueByProgram(1e-8);
  TimeBaseSettings().ScaleB[huTime]->SetValueByProgram(2e-9);
  TimeBaseSettings().DeltaDel->SetValueByProgram(2);
  const auto state = [] {
    return std::tuple(Value("TB:ScaleA"), Value("TB:ScaleB"), Value("TB:Delay"), Value("TB:DeltaDel"));
  };
  ASSERT_EQ(state(), std::tuple(1e-8, 2e-9, 3.0, 2.0));
  ReplayUndoStep(false);
  EXPECT_EQ(state(), std::tuple(1e-9, 1e-10, 3.0, 1.0));
  ReplayUndoStep(true);
  EXPECT_EQ(state(), std::tuple(1e-8, 2e-9, 3.0, 2.0));
}

}  // namespace
}  // namespace norv::test
