// The service test settings: the command each one sends, the DAC choice the instrument may
// overrule, the DAC list of each model family, and their place in the program's tree.

#include "service/instrument_test_modes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/link/link_state.h"
#include "service/calibration_fixture.h"
#include "support/every_unit.h"

namespace norv::test {
namespace {

class ServiceTestsTest : public CalibrationOnInstrumentTest {
 protected:
  void SetUp() override {
    CalibrationOnInstrumentTest::SetUp();
    RegisterRampDacCommands();
    RegisterRampTestCommands();
    AdaptRampDacSelectToModel();
    instrument.SetArgReply("RampTest:DAC:Select", FakeInstrument::EchoArg());
  }
  static TRadioSwHandler& Select() {
    return dynamic_cast<TRadioSwHandler&>(*RootSpider->FindHandler("RampDAC:Select"));
  }
};

TEST_F(ServiceTestsTest, EachSettingSendsItsCommand) {
  struct Case {
    const char* line;
    const char* sent;
  };
  // The values from the tables of the test modes, by hand.
  const Case cases[] = {
      {"RampDAC:RampLen 1024", "RampTest:DAC:RampLen 1024"},
      {"RampDAC:StepHigh 16", "RampTest:DAC:StepHigh 16"},
      {"RampDAC:InitData 40000", "RampTest:DAC:InitData 40000"},
      {"RampDAC:InitData 70000", "RampTest:DAC:InitData 65535"},  // clamped to the word
      {"RampDAC:Delay 7", "RampTest:DAC:DelayUs 7"},
      {"RampDAC:Mode Manual", "RampTest:DAC:Cycle Off"},
      {"RampTest:Operat Read", "RampTest:ReadOp On"},
      {"RampTest:Mode Manual", "RampTest:Cycle Off"},
      {"RampTest:Address 4660", "RampTest:Addr 4660"},
      {"RampTest:Data 255", "RampTest:Data 255"},
      {"RampTest:Delay 100", "RampTest:DelayUs 100"},
      {"RampTest:IncAddress On", "RampTest:IncAddress On"},
      {"RampTest:IncData On", "RampTest:IncData On"},
  };
  // The registered starting values: 512 points, steps of 256.
  EXPECT_EQ(RootSpider->ExecCommandLine("Header Off;RampDAC:RampLen?;StepHigh?", false), "512;256");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line);
    instrument.ClearCommands();
    Run({k.line});
    Sync();
    const std::vector<std::string> commands = instrument.Commands();
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.end() - 1),
              std::vector<std::string>{k.sent});
  }
}

TEST_F(ServiceTestsTest, TheInstrumentMayTakeAnotherDac) {
  struct Case {
    uint8_t model;
    const char* reply;  // to "RampTest:DAC:Select? 5"
    int index;          // the choice afterwards
    bool resendsGainDac;
    size_t messages;
  };
  const Case cases[] = {
      {kLxxModel, "5", 5, false, 0},
      {kLxxModel, "3", 3, false, 0},
      {kKxxModel, "3", 3, true, 0},
      {kKxxModel, "5", 5, true, 0},
      {kLxxModel, "ERR", 5, false, 1},  // no answer: the choice stays, the
                                        // user is told
      {kLxxModel, "40", 5, false, 0},   // no DAC of this model
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.reply) + (k.model == kKxxModel ? " K" : " L"));
    InstrumentIdentity.ModelCode = k.model;
    AdaptRampDacSelectToModel();
    instrument.SetReply("RampTest:DAC:Select? 5", k.reply);
    instrument.ClearCommands();
    dialogs.shown.clear();
    Run({"RampDAC:Select 5"});
    Sync();
    EXPECT_EQ(Select().GetIndex(), k.index);
    std::vector<std::string> expected{"RampTest:DAC:Select? 5"};
    // FineTB 12500 as registered is GainDAC's code.
    if (k.resendsGainDac) expected.push_back("Calibr:TB:GainDAC? 12500");
    EXPECT_EQ(Sends(), expected);
    EXPECT_EQ(dialogs.shown.size(), k.messages);
  }
}

// Without an instrument the link answers every query with 0; that is no answer of the
// instrument, so the choice stays where the user put it.
TEST_F(ServiceTestsTest, WithoutInstrumentTheDacChoiceStays) {
  DisconnectInstrument(true);
  LinkKind = TLinkKind::None;
  Run({"RampDAC:Select 9"});
  EXPECT_EQ(Select().GetIndex(), 9);
}

// The model pass gives the DAC list of the family on the node that pages and this unit
// hold: replacing it would leave them with a freed handler.
TEST_F(ServiceTestsTest, TheModelPassKeepsTheNodeAndGivesTheFamilysDacs) {
  struct Case {
    uint8_t model;
    int count;
    const char* name18;  // index 18
    const char* name0;
  };
  const Case cases[] = {
      {kKxxModel, 19, "Trigger Level         D46.5", "SRD2                  D10.1"},
      {kLxxModel, 17, "", "CH1 Pos. FB (Neg Diode)  D14.5"},
      {kKxxModel, 19, "Trigger Level         D46.5", "SRD2                  D10.1"},
  };
  TRadioSwHandler* held = ServiceTests().Select;
  ASSERT_EQ(held, &Select());
  for (const Case& k : cases) {
    SCOPED_TRACE(int(k.model));
    Run({"RampDAC:Select 12"});
    InstrumentIdentity.ModelCode = k.model;
    AdaptRampDacSelectToModel();
    // ASan would catch a use of a freed handler here.
    EXPECT_EQ(held->GetCount(), k.count);
    EXPECT_EQ(held->GetIndex(), 0);
    EXPECT_EQ(&Select(), held);
    EXPECT_EQ(RampDacChannelName(18), k.name18);
    EXPECT_EQ(RampDacChannelName(0), k.name0);
    Run({"RampDAC:Select 16"});
    EXPECT_EQ(held->GetIndex(), 16);
  }
}

// In the program's tree the register test follows the calibration nodes and the DAC ramp,
// with the sampler test's values, follows the register test; the remote "Gui" node comes
// after them.
TEST(ServiceTestsOrder, RegisteredInTheDispatchersOrder) {
  FreshProgramState();
  RegisterEveryUnit();
  std::vector<std::pair<int, std::string>> byOrdinal;
  for (const TSpiderEntry& e : RootSpider->Entries())
    if (e.Mnemonic == "RAMPTEST" || e.Mnemonic == "RAMPDAC" || e.Mnemonic == "TESTSBOR" ||
        e.Mnemonic == "GUI")
      byOrdinal.emplace_back(e.Ordinal, e.Mnemonic);
  std::ranges::sort(byOrdinal);
  std::vector<std::string> names;
  for (const auto& entry : byOrdinal) names.push_back(entry.second);
  EXPECT_EQ(names, (std::vector<std::string>{"RAMPTEST", "RAMPDAC", "TESTSBOR", "GUI"}));
  FreshProgramState();
}

}  // namespace
}  // namespace norv::test
