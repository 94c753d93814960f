// The constant nodes: what an edit sends and takes back, the changed flags and their
// store commands, the model limits, and the hooks the shell and the simulator use.

#include "service/calibration_settings.h"

#include <gtest/gtest.h>

#include "framework/settings/choice_handlers.h"
#include "instrument/simulator/simulator_hooks.h"
#include "service/calibration_fixture.h"
#include "shell/shell_state.h"
#include "support/every_unit.h"

namespace norv::test {
namespace {

TEST_F(CalibrationOnInstrumentTest, AnEditSendsItsCodeAndShowsWhatTheInstrumentTook) {
  instrument.SetConstant("Calibr:TB:TGUN", 30667, 20000, 30000);  // takes at most 4.5e-9 s
  Run({"FLASH:Calibr:CoarseTB 4.9n"});
  Sync();
  // 4.9e-9 / 1.5e-13 = 32667, answered 30000; that answer is sent once more and confirmed.
  EXPECT_EQ(Sends(), (std::vector<std::string>{"Calibr:TB:TGUN? 32667", "Calibr:TB:TGUN? 30000"}));
  EXPECT_NEAR(Value("FLASH:Calibr:CoarseTB"), 4.5e-9, 1e-15);
  EXPECT_TRUE(FlashChange().CalibrationChanged);
  EXPECT_FALSE(FlashChange().AdjustmentChanged);

  // The bridge pair: BridgeVolt 2.5 with Balance 0 is PlusD 40000, MinusD 40000; an
  // instrument that caps PlusD at 36000 gives P 2.25 V, M -2.5 V.
  instrument.SetConstant("Calibr:Sampler:Ch1:FullBW:PlusD", 32768, 0, 36000);
  instrument.ClearCommands();
  Run({"FLASH:Calibr:Ch1Full:BridgeVolt 2.5"});
  Sync();
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:BridgeVolt"), 2.375);
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:Balance"), -0.125);
  const std::vector<std::string> sends = Sends();
  ASSERT_GE(sends.size(), 2u);
  EXPECT_EQ(sends[0], "Calibr:Sampler:Ch1:FullBW:PlusD? 40000");
  EXPECT_EQ(sends[1], "Calibr:Sampler:Ch1:FullBW:MinusD? 40000");

  // An adjustment constant marks its own set; SRD3 of a family-L instrument sends nothing.
  instrument.ClearCommands();
  Run({"FLASH:Calibr:LevelZero 100", "Flash:Calibr:Strobe:SRD3 0.02"});
  Sync();
  EXPECT_EQ(Sends(), (std::vector<std::string>{"Calibr:Trig:LvlZero? 34079"}));  // 100 x 13.1072 -> 1311
  EXPECT_TRUE(FlashChange().AdjustmentChanged);
  EXPECT_DOUBLE_EQ(Value("Flash:Calibr:Strobe:SRD3"), 0.02);
}

TEST_F(CalibrationOnInstrumentTest, AnEditWithoutUsableAnswerKeepsTheValueAndSendsNothingBack) {
  struct Case {
    const char* name;
    std::function<void(FakeInstrument&)> fault;
  };
  const Case cases[] = {
      {"unparsable", [](FakeInstrument& i) { i.SetReply("Calibr:TB:GainDAC? 20000", "ERR"); }},
      {"failure value", [](FakeInstrument& i) { i.SetReply("Calibr:TB:GainDAC? 20000", "-2147483647"); }},
      {"time-out", [](FakeInstrument& i) { i.RemoveConstant("Calibr:TB:GainDAC"); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    LoadRegisters();
    instrument.RemoveReply("Calibr:TB:GainDAC? 20000");
    Run({"FLASH:Calibr:FineTB 18333"});
    Sync();
    k.fault(instrument);
    instrument.ClearCommands();
    dialogs.shown.clear();
    Run({"FLASH:Calibr:FineTB 20000"});
    EXPECT_EQ(Value("FLASH:Calibr:FineTB"), 20000);
    EXPECT_EQ(Sends(), (std::vector<std::string>{"Calibr:TB:GainDAC? 20000"}));
    EXPECT_TRUE(FlashChange().CalibrationChanged);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].find("Calibr:TB:GainDAC"), std::string::npos);
  }
}

TEST_F(CalibrationTest, WithoutInstrumentAnEditOnlyMarksItsSet) {
  EXPECT_TRUE(Disabled("FLASH:Calibr:StoreAll"));
  EXPECT_TRUE(Disabled("FLASH:Adjust:StoreAll"));
  Run({"FLASH:Calibr:FineTB 20000"});
  EXPECT_FALSE(Disabled("FLASH:Calibr:StoreAll"));
  EXPECT_TRUE(Disabled("FLASH:Adjust:StoreAll"));
  // With the adjustment page open a calibration change marks both sets.
  CalibrationState().AdjustmentPageOpen = true;
  Run({"FLASH:Calibr:FineTB 20001"});
  EXPECT_FALSE(Disabled("FLASH:Adjust:StoreAll"));
  // PromBrNBW is shown in per cent and typed in per cent.
  Run({"FLASH:Calibr:Ch1Narrow:PromBrNBW 65"});
  EXPECT_EQ(Value("FLASH:Calibr:Ch1Narrow:PromBrNBW"), 650);
  EXPECT_EQ(RootSpider->ExecCommandLine("FLASH:Calibr:Ch1Narrow:PromBrNBW?", false),
            "FLASH:CALIBR:CH1NARROW:PROMBRNBW 65 %");
}

TEST_F(CalibrationTest, ModelLimits) {
  struct Case {
    uint8_t model;
    double fineTBMin, fineTBMax, fineDelayMax;
    bool srd3, strobe;
  };
  const Case cases[] = {
      {kLxxModel, 2048, 49152, 4.9e4, false, true},
      {kKxxModel, 4096, 65535, 65535, true, false},
      {0, 2048, 49152, 4.9e4, true, true},  // as registered
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(int(k.model));
    Restart(k.model);
    AdaptCalibrationNodesToModel();
    auto& fineTB = dynamic_cast<TEditHandler&>(*RootSpider->FindHandler("FLASH:Calibr:FineTB"));
    auto& fineDelay = dynamic_cast<TEditHandler&>(*RootSpider->FindHandler("FLASH:Calibr:FineDelay"));
    EXPECT_EQ(fineTB.GetMin(), k.fineTBMin);
    EXPECT_EQ(fineTB.GetMax(), k.fineTBMax);
    EXPECT_EQ(fineDelay.GetMax(), k.fineDelayMax);
    EXPECT_EQ(Disabled("Flash:Calibr:Strobe:SRD3"), !k.srd3);
    EXPECT_EQ(Disabled("Flash:Calibr:Strobe:Amplitude"), !k.strobe);
    EXPECT_EQ(Disabled("Flash:Calibr:Strobe:Delay"), !k.strobe);
  }
}

TEST_F(CalibrationTest, TheHooksFollowTheNodesAndTheFlags) {
  InstallCalibration();
  // Before the constants are read the simulator keeps its factory timing.
  const TSimCalibrationNodes factory = DefaultSimCalibrationNodes(SimulatorHooks.SimModelFamilyHook());
  EXPECT_EQ(SimulatorHooks.SimCalibrationNodesHook().FineTB, factory.FineTB);
  EXPECT_EQ(SimulatorHooks.SimCalibrationNodesHook().CoarseTB, factory.CoarseTB);
  ASSERT_TRUE(RecallFlashConstants(0));
  Run({"FLASH:Calibr:CoarseTB 4.5n", "FLASH:Calibr:FineTB 20000", "FLASH:Calibr:CoarseDelay 12"});
  const TSimCalibrationNodes nodes = SimulatorHooks.SimCalibrationNodesHook();
  EXPECT_NEAR(nodes.CoarseTB, 4.5e-9, 1e-15);
  EXPECT_EQ(nodes.FineTB, 20000);
  EXPECT_EQ(nodes.CoarseDelay, 12);
  EXPECT_TRUE(ShellHooks.CalibrationChanged());
  EXPECT_TRUE(ShellHooks.AdjustmentChanged());
  EXPECT_TRUE(ShellHooks.StoreFlashConstants(true));
  EXPECT_FALSE(ShellHooks.CalibrationChanged());
  EXPECT_FALSE(ShellHooks.AdjustmentChanged());

  const TFlashConstantsSnapshot snapshot = FlashConstantsSnapshot();
  const auto find = [](const std::vector<TFlashConstantEntry>& list, const std::string& node) {
    for (const TFlashConstantEntry& e : list)
      if (e.Node == node) return e;
    return TFlashConstantEntry{};
  };
  EXPECT_EQ(find(snapshot.Calibration, "FLASH:Calibr:CoarseTB").Raw, "30000");
  EXPECT_EQ(find(snapshot.Adjustment, "FLASH:Calibr:CoarseDelay").Raw, "12");
  EXPECT_EQ(find(snapshot.Calibration, "FLASH:Calibr:Ch1Full:BridgeVolt").Raw, "PlusD 32768, MinusD 32768");
}

// Replies of the nodes of these subsystems: a query shows the node's digits (not those its
// resolution could hold) and its unit after a blank, and a node starts inside its range.
class NodeRepliesTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    InstrumentIdentity.ModelCode = kLxxModel;
    InstrumentIdentity.Options = OptOptics | OptGenerators;
    SetDialogs(&dialogs);
    RegisterEveryUnit();
  }
  void TearDown() override {
    InstrumentIdentity = {};
    SettingsTreeTest::TearDown();
  }
  FakeDialogs dialogs;
};

TEST_F(NodeRepliesTest, AQueryShowsTheNodesDigitsAndUnit) {
  struct Case {
    const char* line;  // nullptr: the registered value
    const char* query;
    const char* answer;
  };
  const Case cases[] = {
      {nullptr, "FLASH:Calibr:Ch1Narrow:PromBrNBW?", "80 %"},
      {"Flash:OE:ConversionGain 123.45678", "Flash:OE:ConversionGain?", "123.5 V/ W"},  // 4 digits
      {"Automask:DeltaX 1.234", "Automask:DeltaX?", "1.23 div"},                        // 3 digits
      {"TDR:Velos 0.6543219", "TDR:Velos?", "654.3 m"},                                 // 4 digits
      {"FLASH:Calibr:LevelZero -250", "FLASH:Calibr:LevelZero?", "-250 mV"},
      {nullptr, "FLASH:Calibr:CoarseTB?", "3 ns"},  // the range is 3 .. 4.91 ns
  };
  Exec("Header Off");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.query);
    if (k.line) Exec(k.line);
    EXPECT_EQ(Exec(k.query), k.answer);
  }
}

}  // namespace
}  // namespace norv::test
