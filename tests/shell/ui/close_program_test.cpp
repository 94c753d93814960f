// The system's close while a procedure started from the window runs: the procedure ends
// first as its Cancel ends it, and the power-off setup holds the settings from before it,
// with what a client changed meanwhile.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/low_jitter.h"
#include "framework/text/text_case.h"
#include "framework/util/close_signal.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/startup/program_folders.h"
#include "shell/remote/remote_control.h"
#include "shell/setup_files.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

class CloseProgramTest : public test::ProgramFixture {};

// The lines of one setup file that the other lacks, "-" before those of the first; lines
// that begin with one of `kept` are left out.
std::vector<std::string> ChangedLines(const std::filesystem::path& was, const std::filesystem::path& is,
                                      const std::vector<std::string>& kept) {
  const auto lines = [&kept](const std::filesystem::path& file) {
    std::vector<std::string> all;
    std::istringstream text(ReadRegularFile(file).Bytes);
    for (std::string line; std::getline(text, line);)
      if (std::none_of(kept.begin(), kept.end(),
                       [&line](const std::string& k) { return line.starts_with(k); }))
        all.push_back(line);
    std::sort(all.begin(), all.end());
    return all;
  };
  const std::vector<std::string> a = lines(was), b = lines(is);
  std::vector<std::string> changed;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(changed));
  for (std::string& line : changed) line = "-" + line;
  std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(changed));
  return changed;
}

TEST_F(CloseProgramTest, ACloseDuringAProcedureKeepsTheSettingsFromBeforeIt) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> setup;  // the user's settings before the procedure
    std::function<void()> start;     // returns once its window's loop has (if it has one)
    // What it keeps by design, even when cancelled: the simulated cable the user was asked
    // to connect, what a reference run sets up for the reference to follow.
    std::vector<std::string> kept = {};
    // A client's command on a setting the procedure sets for itself; none: no client acts.
    const char* temporary = nullptr;
    // Clients' commands on the ground it works on (its destination, its mode, its record, the
    // references it stores).
    std::vector<std::string> ground = {};
    // Undo waits for its end (the jitter analysis is a mode the user leaves on).
    bool undoWaits = true;
  };
  const auto command = [](const char* line) { return [line] { ExecCommand(line); }; };
  const std::string kLockOff = "Trig:PatternLockMode Off";
  const Case cases[] = {
      {"autoscale", {"Default_Demo"}, {"TB:ScaleA 50N", "Ch1:Scale 50m"}, command("*Autoscale Auto")},
      {"channel calibration", {"Default_Demo"}, {"TB:ScaleA 50N"}, command("FLASH:Calibr:AutocalCh")},
      {"O/E gain",
       {"Default_Demo"},
       {"OEConv:Dest Ch1", "Ch2:Scale 20m"},
       command("FLASH:OECalibr:AutoCalGain")},
      {"O/E dark level",
       {"Default_Demo"},
       {"OEConv:Dest Ch1", "TB:ScaleA 50N", "Trig:Holdoff 20U"},
       command("FLASH:OECalibr:AutoDarkLvl"),
       {},
       "Trig:Holdoff 50U",
       {"OEConv:Dest Ch2"}},
      {"TDR channel calibration",
       {"Default_Demo"},
       {"TDR:Mode TDR", "TDR:Ch1:Destination External", "TB:ScaleA 50N"},
       command("TDR:Ch1:DoVertCalibr"),
       {"GSS:A:TDRCIRCUIT"},
       "TB:ScaleA 20N",
       {"TDR:Mode Off", "TDR:Ch1:RefPlane 3n;:TDR:Ch1:RefAmpl 0.2"}},
      {"TDR correction",
       {"Default_Demo"},
       {"TDR:Mode TDR", "TDR:Ch1:Destination External", "TB:ScaleA 50N"},
       command("TDR:Ch1:Normalize On"),
       {"GSS:A:TDRCIRCUIT"},
       "TB:ScaleA 20N",
       {"TDR:Mode Off"}},
      {"pattern search",
       {"Default_Demo"},
       {"TB:ScaleA 50N", "Acq:Ch1:RecLen 4096"},
       [] {
         TriggerSettings().PatternLengthList = {100, 200, 300};
         SettingsHooks.StartPatternSearch(2.5e9);
       }},
      {"pattern lock's search",
       {"Default_Demo"},
       {"TB:ScaleA 10N", "Trig:Holdoff 20U"},
       [] {
         TriggerSettings().PatternLengthList = {100, 200, 300};
         ExecCommand("Trig:PatternLockMode AutoDetect");
       },
       {},
       "Acq:Ch1:RecLen 2048",
       {"Displ:Ch1:Style VarPersist"}},
      {"low-jitter reference",
       {"Default_Demo", "Div4"},
       {"GSS:CH1 B", "GSS:CH2 A", "TB:ScaleA 100P"},
       command("Trig:LowJitter On"),
       {"CH2:BAND", "TRIG:REFFREQ", "ZOOM:F4:OFFSET"},
       "TB:ScaleA 50N",
       {"Acq:Ch2:RecLen 2048", "Trig:LowJitter Off"}},
      {"jitter analysis",
       {"Default_Demo"},
       {"GSS:A:Waweform PRBS", "GSS:A:PrbsLength 7", "GSS:Ch1 A", "TB:ScaleA 20N", "Trig:PattLen 127",
        "Trig:PatternLockMode Manual"},
       command("Jitter:JitterOn On"),
       {},
       "TB:ScaleA 50N",
       {"Acq:Ch1:RecLen 2048"},
       false},
      // The analysis it ends as it starts is not started again by a close.
      {"autoscale over the jitter analysis",
       {"Default_Demo"},
       {"GSS:A:Waweform PRBS", "GSS:A:PrbsLength 7", "GSS:Ch1 A", "TB:ScaleA 20N", "Trig:PattLen 127",
        "Trig:PatternLockMode Manual"},
       [] {
         ExecCommand("Jitter:JitterOn On");
         ExecCommand("*Autoscale Auto");
       }},
  };
  const auto startWith = [this, &kLockOff](const Case& c, const std::string& change) {
    WriteDemoUnit("Default Demo", 1, 2, 255 - OptGenerators - OptOptics - OptPatSyncTrig, 12, 77, true);
    Start(c.args);
    dialogs_.answers = {TAnswer::OK};  // where the setup asks for a cable
    ExecCommand("Header Off");
    for (const std::string& line : c.setup) ExecCommand(line);
    if (change == kLockOff) ExecCommand("Trig:PatternLockMode Manual");  // a lock to drop
    Acquire(2);
  };
  const auto client = [](const std::string& line) {
    const TDialogsSuppressed quiet;  // as the remote server runs it
    ExecCommand(line);
  };
  const std::string kSave = "Save:Setup:FileName during;:Save:Setup:Save";
  const std::string kSwitch = "INSTR:Current:Set ABSENT";
  for (const Case& c : cases) {
    // A client's change while it runs: a setting it leaves alone, one it sets for itself, all
    // of them, the pattern lock dropped; a setup saved meanwhile, a change whose rules move
    // what it set (the time scale moves the hold-off's limit), a Stop, its ground moved, and
    // a switch to no instrument.
    std::vector<std::string> changes = {""};
    if (c.temporary) {
      changes.insert(changes.end(), {"Ch2:Scale 50M", c.temporary, "*DefSetup Default", kLockOff, kSave,
                                     "TB:ScaleA 500N", "*StopSingle Stop", kSwitch});
      changes.insert(changes.end(), c.ground.begin(), c.ground.end());
    }
    for (const std::string& change : changes) {
      SCOPED_TRACE(std::string(c.name) + " / " + change);
      // What the user's settings become by the change alone.
      const std::filesystem::path expected = home_ / "expected.set";
      startWith(c, change);
      if (!change.empty()) client(change);
      ASSERT_TRUE(SaveSetupFile(expected, false));
      Stop();
      startWith(c, change);
      // Where it asks for a cable first, or to try again.
      dialogs_.answers = std::deque<TAnswer>(20, TAnswer::OK);
      dialogs_.shown.clear();
      // SIGTERM comes while the procedure's window is open (or its run goes on), after the
      // client's change and the acquisitions that follow it.
      bool running = false;
      QTimer::singleShot(0, [&] {
        QPointer<QWidget> front = QApplication::activeModalWidget();
        running = front != nullptr || RunningProcedure() != TProcedure::None;
        if (!change.empty()) client(change);
        // An undo would pull the set-up from under it: refused until it ends.
        if (c.temporary && change.empty() && c.undoWaits) {
          EXPECT_THROW(client("*Undo Undo"), EAssertion);
        }
        for (int i = 0; i < 20; ++i) window().IdleStep();
        // Its ground moved has ended it; so has a Stop, which the run then keeps (the jitter
        // analysis is a mode of the user's run: it stays on).
        if (std::find(c.ground.begin(), c.ground.end(), change) != c.ground.end() || change == kSwitch) {
          EXPECT_EQ(RunningProcedure(), TProcedure::None);
        }
        if (change == kSwitch) {
          EXPECT_EQ(TrimBlanks(ExecCommand("INSTR:GUIReady?")), "ON");
          // Ended first, as its Cancel ends it, and the user is told why.
          EXPECT_NE(std::find_if(dialogs_.shown.begin(), dialogs_.shown.end(),
                                 [](const std::string& text) {
                                   return text.find(": another instrument was chosen") != std::string::npos;
                                 }),
                    dialogs_.shown.end());
        }
        if (change == "*StopSingle Stop") {
          EXPECT_FALSE(TakesTheRun(RunningProcedure()));
          EXPECT_FALSE(RunFlag);
        }
        CloseSignalled = 1;
        window().CloseQuietly();
        // A window the close left open would hold the test.
        QTimer::singleShot(3000, [front] {
          if (front) front->close();
        });
      });
      c.start();
      for (int i = 0; i < 500 && !window().CloseAccepted(); ++i) QTest::qWait(10);
      EXPECT_TRUE(running);
      ASSERT_TRUE(window().CloseAccepted());
      EXPECT_EQ(ChangedLines(expected, SetupFilePath(TSetupKind::PowerOff), c.kept),
                std::vector<std::string>{});
      // Saved meanwhile, it holds what the procedure gives back.
      if (change == kSave) {
        EXPECT_EQ(ChangedLines(expected, DataFolders().SetupFilesDir / "during.set", c.kept),
                  std::vector<std::string>{});
      }
      for (const std::string& shown : dialogs_.shown) {
        EXPECT_EQ(shown.find("recalled"), std::string::npos) << shown;
        // The lock switched away ends its search, or the analysis on it, as its own switch.
        if (change == kLockOff) {
          EXPECT_EQ(shown.find("Cancelled"), std::string::npos) << shown;
        }
      }
      Stop();
    }
  }
}

}  // namespace
}  // namespace norv
