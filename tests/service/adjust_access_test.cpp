// The text commands the access lock refuses until a code was accepted (the attempts are
// driven through the dialog in tests/service/ui).

#include "service/adjust_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/util/errors.h"
#include "service/calibration_fixture.h"

namespace norv::test {
namespace {

TEST_F(CalibrationOnInstrumentTest, WithoutAccessTextCommandsLeaveTheAdjustmentConstantsAlone) {
  struct Case {
    const char* line;
    const char* query;  // what must not move; nullptr for the store and initial-values commands
  };
  const Case refused[] = {
      {"FLASH:Calibr:FineDelay 101", "FLASH:Calibr:FineDelay?"},
      {"FLASH:Calibr:CoarseDelay 12", "FLASH:Calibr:CoarseDelay?"},
      {"FLASH:Calibr:LevelZero 100", "FLASH:Calibr:LevelZero?"},
      {"Flash:Calibr:Strobe:ChFindSRD Ch2", "Flash:Calibr:Strobe:ChFindSRD?"},
      {"Flash:Calibr:Strobe:MaxSRD2 0.02", "Flash:Calibr:Strobe:MaxSRD2?"},
      {"FLASH:Calibr:Ch2Narrow:GainFix Low", "FLASH:Calibr:Ch2Narrow:GainFix?"},
      {"FLASH:Adjust:StoreAll", nullptr},
      {"FLASH:Adjust:SetInitial", nullptr},
  };
  RootSpider->ExecCommandLine("Header Off", false);
  ResetAdjustAccess();
  instrument.SetReply("Calibr:AdjStore?", "3");
  for (const Case& k : refused) {
    SCOPED_TRACE(k.line);
    const std::string before = k.query ? RootSpider->ExecCommandLine(k.query, false) : "";
    instrument.ClearCommands();
    for (bool replay : {false, true}) {
      try {
        RootSpider->ExecCommandLine(k.line, replay);
        ADD_FAILURE() << "not refused";
      } catch (const ERefusedCommand& e) {
        EXPECT_EQ(std::string(e.what()), kAdjustAccessRefusal);
      }
    }
    if (k.query) {
      EXPECT_EQ(RootSpider->ExecCommandLine(k.query, false), before);
    }
    Sync();
    EXPECT_EQ(instrument.Commands(), std::vector<std::string>{"Sync?"}) << "nothing reached the instrument";
    EXPECT_FALSE(FlashChange().AdjustmentChanged);
  }
  // Calibration constants stay free, and so do program changes of adjustment constants.
  RootSpider->ExecCommandLine("FLASH:Calibr:FineTB 20000", false);
  EXPECT_EQ(Value("FLASH:Calibr:FineTB"), 20000);
  FindConstant("FLASH:Calibr:FineDelay")->SetByProgram(200);
  EXPECT_EQ(Value("FLASH:Calibr:FineDelay"), 200);

  // Once a code was accepted the same commands act.
  ASSERT_TRUE(SubmitAdjustAccessCode("Zolbrink"));
  instrument.ClearCommands();
  for (const char* line : {"FLASH:Calibr:FineDelay 101", "FLASH:Calibr:Ch2Narrow:GainFix Low"})
    RootSpider->ExecCommandLine(line, false);
  EXPECT_EQ(Value("FLASH:Calibr:FineDelay"), 101);
  EXPECT_TRUE(FlashChange().AdjustmentChanged);
  RootSpider->ExecCommandLine("FLASH:Adjust:StoreAll", false);
  Sync();
  const std::vector<std::string> commands = instrument.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "Calibr:AdjStore?"), commands.end());
  EXPECT_FALSE(FlashChange().AdjustmentChanged);
}

}  // namespace
}  // namespace norv::test
