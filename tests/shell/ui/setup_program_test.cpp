// Setups in the whole program: every setting moved, saved as the default setup, comes back
// whole after a restart, after "Default" and after an undo of another recall; values whose
// range is known only once the start has applied everything come back at a restart; and
// "Default" recalls what the first start showed.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "framework/language/hint_stack.h"
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
  int cycles;         // acquisitions before the setup is kept, for values of computed records
  const char* trips;  // letters of the round trips above
};

const TRoundTripRow kRoundTripRows[] = {
    {"zoom positions and hold-off",
     {"Zoom:M1:HorPosition 5", "Zoom:S2:HorPosition 3", "Trig:Holdoff 1"},
     0,
     "abcu"},
    {"hold-off after the fit to the record", {"TDR:Mode TDR", "Acq:FitTo Multi", "Trig:Holdoff 1"}, 0, "ab"},
    {"standard mask", {"StdMask:MaskIndex 1"}, 0, "u"},
    {"measurement parameters and limits",
     {"Meas:S2:YParam PosOver", "Meas:S2:XFFTPar Freq,DFreq", "Meas:S2:YFFTPar TDH", "Limit4:UpLimit 0",
      "Limit4:LowLimit -100m"},
     0,
     "au"},
};

TEST_F(SetupProgramTest, EachReducedLineComesBackThroughItsRoundTrips) {
  for (const TRoundTripRow& row : kRoundTripRows) {
    SCOPED_TRACE(row.name);
    // A program folder of its own: no row starts from the default setup another one saved.
    home_ = test::MakeTempDir("roundtrip");
    setenv("VEXILOR_NORV_HOME", home_.c_str(), 1);
    WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);  // every option
    Start();
    for (const std::string& command : row.commands) ASSERT_EQ(Command(command), "") << command;
    if (row.cycles > 0) Acquire(row.cycles);
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

// A default setup holding a setting whose procedure the recall holds back: the start names
// it in the status line and the log and opens no box, which would keep a client waiting; the
// user's own "Default" still shows the box.
TEST_F(SetupProgramTest, TheStartNamesAHeldBackSettingWithoutABox) {
  WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);  // with the optics
  Start();
  Command("OEConv:Dest Ch1");
  Command("*DefSetup SaveAsDef");
  const std::string heading = "These settings were recalled without starting their procedures:";
  Restart();
  EXPECT_EQ(dialogs_.shown, Lines{});
  ASSERT_NE(HintStack(), nullptr);
  const auto hints = HintStack()->Entries();
  EXPECT_TRUE(std::any_of(hints.begin(), hints.end(),
                          [&](const auto& hint) { return hint.text == heading + " OECONV:DEST CH1"; }));
  const Lines& log = DialogState.SuppressedLog;
  EXPECT_NE(std::find(log.begin(), log.end(), "[warning] " + heading + "\nOECONV:DEST CH1"), log.end());

  Command("*DefSetup Factory");
  dialogs_.shown.clear();
  RootSpider->ExecCommandLine("*DefSetup Default", false);
  EXPECT_EQ(dialogs_.shown, Lines{"[warning] " + heading + "\nOECONV:DEST CH1"});
}

TEST_F(SetupProgramTest, DefaultRecallsWhatTheFirstStartShowed) {
  Start();
  const Lines first = Dump();
  Command("*DefSetup Default");
  EXPECT_EQ(test::Changes(first, Dump()), "");
}

}  // namespace
}  // namespace norv
