// The access code guards the adjustment page only: text commands from a remote client set
// the adjustment constants, store them and load the initial values without it (the
// attempts are driven through the dialog in tests/service/ui).

#include "service/adjust_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/util/dialog_service.h"
#include "service/calibration_fixture.h"
#include "shell/remote/remote_control.h"

namespace norv::test {
namespace {

TEST_F(CalibrationOnInstrumentTest, WithoutAccessRemoteCommandsSetStoreAndRecallTheAdjustmentConstants) {
  ResetAdjustAccess();
  ASSERT_FALSE(AdjustAccessGranted());
  const TDialogsSuppressed quiet;  // as a remote client's line runs
  ExecCommand("Header Off");
  struct Case {
    const char* line;
    const char* query;
    const char* answer;
    const char* sent;  // the constant's code as the instrument receives it
  };
  const Case cases[] = {
      // 10 mV x 13.1072 = 131.07 -> 131 above 32768.
      {"FLASH:Calibr:LevelZero 10", "FLASH:Calibr:LevelZero?", "10 mV", "Calibr:Trig:LvlZero? 32899"},
      {"FLASH:Calibr:CoarseDelay 7", "FLASH:Calibr:CoarseDelay?", "7 ", "Calibr:TB:Digit0? 7"},
      {"FLASH:Calibr:FineDelay 101", "FLASH:Calibr:FineDelay?", "101 ", "Calibr:TB:MinDAC? 101"},
      // 0 A is the code 8192; 0.02 A is 0.02 / 0.03 x 57344 = 38229.3 codes above it.
      {"Flash:Calibr:Strobe:MinSRD1 MIN", "Flash:Calibr:Strobe:MinSRD1?", " 0 \xD0\x90",
       "Calibr:Sampler:MINSRD1? 8192"},
      {"Flash:Calibr:Strobe:MaxSRD2 0.02", "Flash:Calibr:Strobe:MaxSRD2?", "20 m\xD0\x90",
       "Calibr:Sampler:MAXSRD2? 46421"},
      {"Flash:Calibr:Strobe:ChFindSRD Ch2", "Flash:Calibr:Strobe:ChFindSRD?", "CH2",
       "Calibr:Sampler:ChFndSRD? 1"},
      {"FLASH:Calibr:Ch2Narrow:GainFix Low", "FLASH:Calibr:Ch2Narrow:GainFix?", "LOW",
       "Calibr:Sampler:Ch2:NarrowBW:GainFix? LOW"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line);
    FlashChange().SetAdjustmentChanged(false);
    instrument.ClearCommands();
    EXPECT_EQ(ExecCommand(k.line), "");
    EXPECT_EQ(ExecCommand(k.query), k.answer);
    EXPECT_TRUE(FlashChange().AdjustmentChanged);
    Sync();
    EXPECT_EQ(Sends(), std::vector<std::string>{k.sent});
  }

  // A line goes on past an adjustment constant, and the set is stored as factory values.
  instrument.SetReply("Calibr:AdjStore?", "3");
  instrument.ClearCommands();
  EXPECT_EQ(ExecCommand("FLASH:Calibr:CoarseDelay 9;:FLASH:Calibr:FineTB 20000;:FLASH:Adjust:StoreAll;"
                        ":FLASH:Calibr:CoarseDelay?;FineTB?"),
            "9 ;20000 ");
  Sync();
  const std::vector<std::string> commands = instrument.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "Calibr:AdjStore?"), commands.end());
  EXPECT_FALSE(FlashChange().AdjustmentChanged);
  EXPECT_FALSE(FlashChange().CalibrationChanged);

  instrument.ClearCommands();
  ExecCommand("FLASH:Adjust:SetInitial");
  Sync();
  EXPECT_EQ(instrument.Commands().front(), "Calibr:SetInitialVal?");
  EXPECT_FALSE(AdjustAccessGranted()) << "the commands grant nothing";
}

}  // namespace
}  // namespace norv::test
