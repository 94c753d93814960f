// Every command that acts, sent in a state where it cannot act, is refused with its reason
// and changes nothing: the settings, the records and the program folder's files stay. The
// commands come from the tree (its buttons, main commands and the switch values that start
// a procedure), so a new one fails here until it has its states or is named with why it has
// none. A query of a main command answers and acts on nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/program_units.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_recall.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/setup_files.h"
#include "shell/shell_fixture.h"
#include "shell/shell_state.h"

namespace norv {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct TRow {
  const char* Command;
  const char* State;
  Lines Prepare;          // puts the program in the state
  uint8_t NotFitted = 0;  // option bits the unit lacks
};

// Holds the pattern search running: it ends only in later idle steps.
const Lines kSearching = {"Trig:PatternLockMode AutoDetect"};

const TRow kRows[] = {
    {"*Autoscale Auto", "no channel shown", {"Ch1:Display Off", "Ch2:Display Off"}},
    {"*Autoscale Auto", "another procedure running", kSearching},
    {"*Run Off", "a parameter it does not know", {}},
    {"*Undo", "another procedure running", kSearching},
    {"*DefSetup PowerOff", "no power-off setup", {}},
    {"Save:Disk:Save", "no file name", {"Save:Disk:FileType Wfm"}},
    {"Save:Disk:Save",
     "its source off",
     {"Save:Disk:FileType Wfm", "Save:Disk:FileName w", "Save:Disk:Source F3"}},
    {"Save:Disk:Save",
     "its source an empty memory",
     {"Save:Disk:FileType Wfm", "Save:Disk:FileName w", "Save:Disk:Source M2"}},
    {"Save:Disk:Save",
     "a recording's source off",
     {"Save:Disk:FileType Db", "Save:Disk:FileName d", "Save:Disk:DbSource F3"}},
    {"Save:Disk:Save",
     "a recording's source an empty memory",
     {"Save:Disk:FileType Db", "Save:Disk:FileName d", "Save:Disk:DbSource M2"}},
    {"Save:Disk:Save",
     "a recording's source a spectrum off",
     {"Save:Disk:FileType Db", "Save:Disk:FileName d", "Save:Disk:DbSource S1"}},
    {"Save:Disk:Load", "no file name", {"Save:Disk:FileType Wfm"}},
    {"Save:Disk:Load", "no such waveform file", {"Save:Disk:FileType Wfm", "Save:Disk:FileName gone"}},
    {"Save:Disk:Load", "no such database file", {"Save:Disk:FileType Db", "Save:Disk:FileName gone"}},
    {"Save:Memo:Save", "its source off", {"Save:Memo:Source F3", "Save:Memo:ToMemo M1"}},
    {"Save:Memo:Save", "its source an empty memory", {"Save:Memo:Source M2", "Save:Memo:ToMemo M1"}},
    {"Save:Memo:Save", "its source a spectrum off", {"Save:Memo:Source S1", "Save:Memo:ToMemo M3"}},
    {"Save:Setup:Save", "no file name", {}},
    {"Save:Setup:Recall", "no file name", {}},
    {"Save:Setup:Recall", "no such file", {"Save:Setup:FileName gone"}},
    {"Save:Setup:RecLast", "no power-off setup", {}},
    {"Mask:SaveUser", "no mask", {"Mask:MaskFile m"}},
    {"Mask:LoadUser", "no such file", {"Mask:MaskFile gone"}},
    {"Mask:Test On", "no mask", {}},
    {"Automask:BuildAMask", "its source off", {"Automask:Source F3"}},
    {"Automask:BuildAMask", "its source an empty memory", {"Automask:Source M2"}},
    {"Trig:ResetPattLock", "another procedure running", kSearching},
    {"Trig:ResetPattLock", "its option not fitted", {}, OptPatSyncTrig},
    {"Trig:PatternLockMode AutoDetect", "its option not fitted", {}, OptPatSyncTrig},
    {"Trig:PatternLockMode Manual", "its option not fitted", {}, OptPatSyncTrig},
    // The jitter analysis is no option of its own: it needs the pattern lock, and its option.
    {"Jitter:JitterOn On", "no pattern lock", {}},
    {"Jitter:JitterOn On", "another procedure running", kSearching},
    {"Trig:LowJitter On", "another procedure running", kSearching},
    {"FLASH:Calibr:AutocalCh", "another procedure running", kSearching},
    {"FLASH:Calibr:AutocalTB", "another procedure running", kSearching},
    {"FLASH:OE:AutoDarkLvl", "its option not fitted", {}, OptOptics},
    {"FLASH:OE:AutoDarkLvl", "another procedure running", kSearching},
    {"FLASH:OE:AutoCalGain", "its option not fitted", {}, OptOptics},
    {"FLASH:OE:StoreFCorr", "its option not fitted", {}, OptOptics},
    {"FLASH:OE:RecallFCorr", "its option not fitted", {}, OptOptics},
    {"FLASH:OE:RclFactFCorr", "its option not fitted", {}, OptOptics},
    {"OEConv:Dest Ch1", "its option not fitted", {}, OptOptics},
    {"OEConv:Dest Ch2", "its option not fitted", {}, OptOptics},
    {"TDR:Ch1:DoVertCalibr", "its option not fitted", {}, OptGenerators},
    {"TDR:Ch2:DoVertCalibr", "its option not fitted", {}, OptGenerators},
    {"TDR:Ch1:DoVertCalibr", "no generator destination", {}},
    {"TDR:Ch1:DoVertCalibr", "another procedure running", kSearching},
    {"TDR:Ch1:Normalize On", "its option not fitted", {}, OptGenerators},
    {"TDR:Ch2:Normalize On", "its option not fitted", {}, OptGenerators},
    {"TDR:Ch1:Normalize On", "no generator destination", {"TDR:Mode TDR"}},
    {"TDR:Ch1:Normalize On",
     "another procedure running",
     {"TDR:Mode TDR", "TDR:Ch1:Destination G1", "Trig:PatternLockMode AutoDetect"}},
};

// What a recall's warning puts before the switch values it set without their procedures.
const std::string kHeldBack = "recalled without starting their procedures:\n";

// Acting commands no state refuses, with why.
const std::map<std::string, std::string, std::less<>> kAlwaysAct = {
    {"*CLRDISPL", "clearing what is shown is possible in every state"},
    {"*COPY", "a picture of the screen can be taken in every state"},
    {"*PRINT", "the window can be printed in every state"},
    {"*STOPSINGLE", "a stop, or one acquisition, is possible in every state"},
    {"DISPL:DEFAULTCLR:ALL", "colours can be reset in every state"},
    {"DISPL:DEFAULTCLR:CURRENT", "colours can be reset in every state"},
    {"DISPL:GRADEDEFCOL", "colours can be reset in every state"},
    {"DISPL:RESETALL", "the display can be reset in every state"},
    {"FLASH:ADJUST:RECALLALL", "the adjustment constants are always there"},
    {"FLASH:ADJUST:SETINITIAL", "the adjustment constants are always there"},
    {"FLASH:ADJUST:STOREALL", "the adjustment constants are always there"},
    {"FLASH:CALIBR:RECALLALL", "the calibration constants are always there"},
    {"FLASH:CALIBR:STOREALL", "the calibration constants are always there"},
    {"MARK:SETREF", "the reference is taken where the markers stand, shown or not"},
    {"MASK:ERASEMASK", "after it no mask is in force, whatever was"},
    {"MEAS:CLEARALL", "removing every measurement is possible in every state"},
    {"MEAS:SINGLEMEAS", "it asks every measurement in force to measure again; none is none"},
    {"SAVE:SETUP:RECFACT", "the factory setup is always there"},
    {"SAVE:SETUP:SVASDEFAULT", "the default setup can be written in every state"},
    {"SHADOW:HELP", "no command line reaches a SHADOW node"},
    {"SHADOW:SETONTOP", "no command line reaches a SHADOW node"},
};

std::string PathOfCommand(std::string_view line) {
  return UpperAscii(line.substr(0, line.find_first_of(" ?")));
}

class RefusalSweepTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  // The program afresh on a unit lacking `notFitted`, stopped or running, with records.
  void Start(uint8_t notFitted, bool running) {
    Restart();
    WriteDemoUnit(std::string(DefaultDemoName), 1, 2, notFitted, 12, 77, true);
    TakeFactoryDefaultSetup();
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
    ShellState.IdleHandlerInstalled = true;
    for (TTraceId channel : {TTraceId::Ch1, TTraceId::Ch2}) SignalObjs()[channel].SetRecLen(kDefaultRecLen);
    TriggerSettings().PatternLengthList = {31, 63};  // the search has lengths to try
    ExecCommand(running ? "*Run" : "*StopSingle Stop");
  }

  // What a refusal must leave: the settings, the run, the records and the files.
  static std::string Snapshot() {
    std::ostringstream out(std::ios::binary);
    Lines dump;
    RootSpider->DumpSettings(dump);
    for (const std::string& line : dump) out << line << '\n';
    out << "run " << RunFlag << SingleFlag << '\n';
    const auto sum = [](const std::string& bytes) { return std::hash<std::string>{}(bytes); };
    for (int i = 0; i < kSignalObjCount; ++i) {
      std::ostringstream record(std::ios::binary);
      SignalObjs().At(i).SaveToBinaryFile(record);
      out << "record " << GetTraceShortName(static_cast<TTraceId>(i)) << ' ' << sum(record.str()) << '\n';
    }
    const fs::path home = std::getenv("VEXILOR_NORV_HOME");
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(home))
      if (entry.is_regular_file()) files.insert(entry.path().string());
    for (const std::string& file : files) {
      std::ifstream in(file, std::ios::binary);
      out << file << ' ' << sum({std::istreambuf_iterator<char>(in), {}}) << '\n';
    }
    return std::move(out).str();
  }
  // A client's line: refused with a reason.
  static ::testing::AssertionResult Refused(const std::string& line) {
    const TDialogsSuppressed client;
    try {
      ExecCommand(line);
    } catch (const EAssertion& e) {
      if (std::string_view(e.what()).empty()) return ::testing::AssertionFailure() << "ERR without a reason";
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "answered OK";
  }
  static std::string Changes(const std::string& before, const std::string& after) {
    std::istringstream a(before), b(after);
    std::string la, lb, text;
    while (std::getline(a, la) && std::getline(b, lb))
      if (la != lb && text.size() < 400) text += "\n  " + la.substr(0, 90) + "  ->  " + lb.substr(0, 90);
    return text.empty() ? " (lengths differ)" : text;
  }
};

// The buttons and main commands of the tree, and the switch values that start a procedure:
// those a recall of the value alone holds back and names.
std::set<std::string> ActingCommands(std::vector<std::string>& held) {
  std::set<std::string> commands;
  const std::function<void(TSpider&)> walk = [&](TSpider& node) {
    for (int i = 0; i < node.Count(); ++i) {
      const TSpiderEntry& entry = node.Entries()[i];
      if (entry.Child) walk(*entry.Child);
      if (dynamic_cast<TRightCommandHandler*>(entry.Handler.get()) ||
          dynamic_cast<TMainCommandHandler*>(entry.Handler.get()))
        commands.insert(node.GetItemHeader(i, false, true));
    }
  };
  walk(*RootSpider);
  const auto recall = [](const std::string& line) {
    RecallSettings([&](Lines& skipped) { skipped = RootSpider->LoadSettings({line}); });
  };
  Lines dump;
  RootSpider->DumpSettings(dump);
  for (const std::string& line : dump) {
    const std::string path = line.substr(0, line.find(' '));
    const THandler* h = RootSpider->FindHandler(path);
    Lines values;
    if (dynamic_cast<const TOnOffHandler*>(h)) values = {"ON"};
    if (const auto* radio = dynamic_cast<const TRadioSwHandler*>(h)) values = radio->Items();
    for (const std::string& value : values) {
      held.clear();
      recall(path + " " + value);
      for (const std::string& text : held)
        if (const size_t at = text.find(kHeldBack); at != std::string::npos)
          commands.insert(text.substr(at + kHeldBack.size()));
      recall(line);
    }
  }
  return commands;
}

TEST_F(RefusalSweepTest, EveryActingCommandIsRefusedWhereItCannotActAndChangesNothing) {
  std::set<std::string> covered;
  for (const TRow& row : kRows) covered.insert({PathOfCommand(row.Command), UpperAscii(row.Command)});
  Start(0, false);
  for (const std::string& path : ActingCommands(dialogs.shown))
    EXPECT_TRUE(covered.contains(path) || kAlwaysAct.contains(path))
        << path << " has no row of the states where it cannot act, nor a reason why it has none";
  for (bool running : {false, true})
    for (const TRow& row : kRows) {
      SCOPED_TRACE(std::string(row.Command) + ", " + row.State + (running ? ", running" : ", stopped"));
      Start(row.NotFitted, running);
      for (const std::string& line : row.Prepare) ExecCommand(line);
      const std::string before = Snapshot();
      EXPECT_TRUE(Refused(row.Command));
      if (const std::string after = Snapshot(); after != before)
        ADD_FAILURE() << "changed:" << Changes(before, after);
    }
}

// A query of a main command answers and acts on nothing, with a change to undo behind it.
TEST_F(RefusalSweepTest, AMainCommandsQueryActsOnNothing) {
  Start(0, false);
  const std::set<std::string> commands = ActingCommands(dialogs.shown);
  for (bool running : {false, true})
    for (const std::string& path : commands) {
      if (!path.starts_with("*")) continue;
      Start(0, running);
      ExecCommand("TB:ScaleA 5N");
      const std::string before = Snapshot();
      const TDialogsSuppressed client;
      EXPECT_NO_THROW(ExecCommand(path + "?")) << path;
      if (const std::string after = Snapshot(); after != before)
        ADD_FAILURE() << path << "? " << (running ? "running" : "stopped")
                      << " changed:" << Changes(before, after);
    }
}

}  // namespace
}  // namespace norv
