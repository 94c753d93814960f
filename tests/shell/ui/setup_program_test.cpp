// Setups in the whole program: every setting moved, saved as the default setup, comes back
// whole after a restart, after "Default" and after an undo of another recall; values whose
// range is known only once the start has applied everything come back at a restart; and
// "Default" recalls what the first start showed.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "instrument/link/instrument_identity.h"
#include "shell/ui/program_fixture.h"
#include "support/setting_moves.h"

namespace norv {
namespace {

using Lines = std::vector<std::string>;

class SetupProgramTest : public test::ProgramFixture {
 protected:
  // The dump without the lines a recall of "Default" or of the factory setup sets on
  // purpose with the simulator: its channels fed by A and B, no automatic calibration.
  static Lines Dump() {
    Lines lines;
    RootSpider->DumpSettings(lines);
    std::erase_if(lines, [](const std::string& line) {
      const std::string path = test::PathOf(line);
      return path == "GSS:CH1" || path == "GSS:CH2" || path == "UTIL:CALIBRWHEN";
    });
    return lines;
  }
  // A command as a remote client gives it: no box waits for an answer.
  static std::string Command(const std::string& line) {
    const TDialogsSuppressed quiet;
    return RootSpider->ExecCommandLine(line, false);
  }
};

TEST_F(SetupProgramTest, EveryMovedSettingComesBackAfterARestartDefaultAndAnUndoOfARecall) {
  WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);  // every option
  Start();
  const Lines factory = Dump();
  for (const std::string& line : factory)
    if (const std::string command = test::MoveCommand(test::PathOf(line)); !command.empty()) Command(command);
  const Lines moved = Dump();
  ASSERT_NE(moved, factory);
  Command("*DefSetup SaveAsDef");

  Restart();
  EXPECT_EQ(test::Changes(moved, Dump()), "") << "after a restart";
  Command("*DefSetup Default");
  EXPECT_EQ(test::Changes(moved, Dump()), "") << "after Default";
  Command("*DefSetup Factory");
  ASSERT_NE(Dump(), moved);
  Command("*Undo");
  EXPECT_EQ(test::Changes(moved, Dump()), "") << "after an undo of the factory setup";
}

// The zoom positions' range follows the length of their records, the hold-off's the model.
TEST_F(SetupProgramTest, ARestartKeepsValuesWhoseRangeIsKnownOnceEverythingIsApplied) {
  Start();
  constexpr std::string_view kQuery = "Header Off;:Zoom:M1:HorPosition?;:Zoom:S2:HorPosition?;:Trig:Holdoff?";
  Command("Zoom:M1:HorPosition 5;:Zoom:S2:HorPosition 3;:Trig:Holdoff 1");
  const std::string set = Command(std::string(kQuery));
  ASSERT_EQ(set, "5 ;3 ;1 s");
  Command("*DefSetup SaveAsDef");
  Restart();
  EXPECT_EQ(Command(std::string(kQuery)), set);
}

// The shortest lines that once lost a value, each taken through the round trips named in
// its row: (a) "Default" and the setup file recalled, (b) a restart and the file recalled,
// (c) the setup saved as the default and a restart, (u) "Factory" and "*Undo".
struct TRoundTripRow {
  const char* name;
  Lines commands;
  int cycles;         // acquisitions before the last line, for values whose range follows computed records
  const char* trips;  // letters of the round trips above
};

const TRoundTripRow kRoundTripRows[] = {
    {"zoom positions and hold-off",
     {"Zoom:M1:HorPosition 5", "Zoom:S2:HorPosition 3", "Trig:Holdoff 1"},
     0,
     "abcu"},
    {"a converter's channel scale set after its attenuation unit",
     {"OEConv:Dest Ch1", "Ch1:Atten:Unit Off", "Ch1:Scale 400u", "OEConv:WaveLen WL2"},
     0,
     "abcu"},
    {"a function's zoom position",
     {"Acq:Ch1:RecLen 4096", "Acq:Ch2:RecLen 4096", "F1:Display On", "Zoom:F1:HorPosition MAX"},
     2,
     "abcu"},
    {"the length scales in TDR mode", {"TDR:Mode TDR", "TDR:HorScale Meter"}, 0, "abcu"},
};

TEST_F(SetupProgramTest, EachReducedLineComesBackThroughItsRoundTrips) {
  WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);  // every option
  for (const TRoundTripRow& row : kRoundTripRows) {
    SCOPED_TRACE(row.name);
    Start();
    for (const std::string& command : row.commands) {
      if (&command == &row.commands.back() && row.cycles > 0) Acquire(row.cycles);
      ASSERT_EQ(Command(command), "") << command;
    }
    const Lines set = Dump();
    const auto named = [] { ASSERT_EQ(Command("Save:Setup:FileName roundtrip"), ""); };
    named();
    ASSERT_EQ(Command("Save:Setup:Save"), "");
    for (const char* trip = row.trips; *trip; ++trip) {
      SCOPED_TRACE(std::string("round trip ") + *trip);
      switch (*trip) {
        case 'a':
          Command("*DefSetup Default");
          named();
          Command("Save:Setup:Recall");
          break;
        case 'b':
          Restart();
          named();
          Command("Save:Setup:Recall");
          break;
        case 'c':
          Command("*DefSetup SaveAsDef");
          Restart();
          break;
        case 'u':
          Command("*DefSetup Factory");
          Command("*Undo");
          break;
      }
      EXPECT_EQ(test::Changes(set, Dump()), "");
    }
    Stop();
  }
}

TEST_F(SetupProgramTest, DefaultRecallsWhatTheFirstStartShowed) {
  Start();
  const Lines first = Dump();
  Command("*DefSetup Default");
  EXPECT_EQ(test::Changes(first, Dump()), "");
}

}  // namespace
}  // namespace norv
