// Setups in the whole program: every setting moved at random, in several orders, comes back
// whole through a recall after "Default" or a restart, a restart with it as the default and
// an undo of another recall; so does each line that once was lost; values whose range is
// known only once the start has applied everything come back at a restart; and "Default"
// recalls what the first start showed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/setting_rules.h"
#include "shell/ui/program_fixture.h"
#include "support/assertion_text.h"
#include "support/fake_clock.h"
#include "support/setting_moves.h"

namespace norv {
namespace {

using Lines = std::vector<std::string>;

class SetupProgramTest : public test::ProgramFixture {
 protected:
  // The waits for the instrument are counted, not slept: with a walk's hold-off near a
  // second every record would wait that long.
  SetupProgramTest() { clock_ = &waits_; }
  test::CountedWaitClock waits_{0};

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
  // The moved lines the settings no longer hold, leaving out what the program measures
  // anew from the signal or the screen once it runs again.
  static std::string Lost(Lines moved) {
    Lines now = Dump();
    const auto line = [&](std::string_view path) {
      return *std::ranges::find_if(now, [&](const std::string& l) { return test::PathOf(l) == path; });
    };
    const auto edit = [](const std::string& path) -> TEditHandler& {
      return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path));
    };
    // The rate and the divider of the pattern clock: the start bits' range follows the
    // divider, and a lock is dropped with a clock below its minimum rate.
    const bool newDivider = std::ranges::find(moved, line("TRIG:INTDIVIDER")) == moved.end();
    const bool slowClock =
        edit("Trig:DataRate").GetValue() < MinimumPatternRate * edit("Trig:ExtDivider").GetValue();
    // A mask test run for a count of waveforms or hits ends once the signal has given them.
    const bool countedMaskRun = line("MASK:RUNUNTIL") != "MASK:RUNUNTIL STOPBTN";
    const auto measured = [&](const std::string& l) {
      const std::string path = test::PathOf(l);
      if (path == "TRIG:DATARATE" || path == "TRIG:INTDIVIDER") return true;
      if (path == "TRIG:PATTDELAY" || path == "TRIG:PATTSCANBITS") return newDivider;
      if (path == "TRIG:PATTERNLOCKMODE") return slowClock;
      if (path == "MASK:TEST") return countedMaskRun;
      // The TDR source moves off a trace with nothing drawn, as none is after a recall.
      if (path == "TDR:SOURCE") return true;
      // A function's zoom position above what its computed record allows.
      if (!path.ends_with(":HORPOSITION") || !(path.starts_with("ZOOM:F") || path.starts_with("ZOOM:S")))
        return false;
      const TEditHandler& position = edit(path);
      return position.GetValue() == position.GetMax();
    };
    std::erase_if(moved, measured);
    std::erase_if(now, measured);
    return test::Changes(moved, now);
  }
  // A command as a remote client gives it: no box waits for an answer.
  static std::string Command(const std::string& line) {
    const TDialogsSuppressed quiet;
    return RootSpider->ExecCommandLine(line, false);
  }
  // Idle passes for `cycles` more acquisitions of a channel, or until `done`, or until no
  // more can come: a stopped acquisition computes what it can at once.
  void Acquisitions(int cycles, const std::function<bool()>& done = {}) {
    const TAcquisitionCycle& cycle = AcquisitionCycle();
    const int target2 = cycle.AcqCycleCount(2) + cycles, target3 = cycle.AcqCycleCount(3) + cycles;
    for (int i = 0; i < 700 * cycles; ++i) {
      if ((done && done()) || cycle.AcqCycleCount(2) >= target2 || cycle.AcqCycleCount(3) >= target3) return;
      if (i > 0 && !RunFlag && !SingleFlag) return;
      window().IdleStep();
    }
  }
  // Until every function and spectrum shown has its record, or a few acquisitions later a
  // refused one (an operator a spectrum does not take) still has none.
  void ComputeShownFunctions() {
    constexpr TTraceId kComputed[] = {TTraceId::F1, TTraceId::F2, TTraceId::F3,
                                      TTraceId::F4, TTraceId::S1, TTraceId::S2};
    Acquisitions(3, [&] {
      return std::ranges::all_of(
          kComputed, [](TTraceId t) { return !SignalsOn.IsOn(t) || SignalObjs()[t].HasLength(); });
    });
  }
  // The settings are kept in the setup file "roundtrip".
  static void SaveFile() {
    ASSERT_EQ(Command("Save:Setup:FileName roundtrip"), "");
    ASSERT_EQ(Command("Save:Setup:Save"), "");
  }
  // One round trip: (a) "Default" and the setup file recalled, (b) a restart and the file
  // recalled, (c) the setup saved as the default and a restart, (u) "Factory" and "*Undo".
  void RoundTrip(char trip) {
    const auto recallFile = [] {
      ASSERT_EQ(Command("Save:Setup:FileName roundtrip"), "");
      Command("Save:Setup:Recall");
    };
    switch (trip) {
      case 'a':
        Command("*DefSetup Default");
        recallFile();
        break;
      case 'b':
        Restart();
        recallFile();
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
  }
};

// The walks' seeds of shuffled orders: VEXILOR_NORV_WALK_SEEDS="7,8,9" runs those instead of
// the few CI runs, e.g. `VEXILOR_NORV_WALK_SEEDS=$(seq -s, 10 40) ctest -R SetupProgram`.
std::vector<unsigned> WalkSeeds() {
  const char* text = std::getenv("VEXILOR_NORV_WALK_SEEDS");
  if (!text || !*text) return {3, 4};
  std::vector<unsigned> seeds;
  std::stringstream list(text);
  for (std::string seed; std::getline(list, seed, ',');)
    if (!seed.empty()) seeds.push_back(static_cast<unsigned>(std::stoul(seed)));
  return seeds;
}

// Every setting moved to a random value as a user would, typed or on its knob's grid, in
// tree order, reverse order and shuffled orders; the limits moved once their measurements
// have statistics, the functions' records computed before their zoom positions move, a
// standard mask loaded and its margins moved. Each round trip and a few acquisitions after
// it give every line back.
TEST_F(SetupProgramTest, EveryMovedSettingComesBackThroughEachRoundTrip) {
  struct TWalk {
    std::string order;
    unsigned seed;
  };
  std::vector<TWalk> walks = {{"tree", 1}, {"reverse", 2}};
  for (unsigned seed : WalkSeeds()) walks.push_back({"shuffled", seed});
  // A procedure's switch moved on while another procedure runs is refused, and stays off.
  // Only two go on after their command while the settings move: the low-jitter reference
  // and the jitter analysis (the pattern search finds an empty length list and does not
  // start; a change of the lock ends the analysis first). Any other refusal names a
  // procedure wrongly counted as running. The analysis moved on while the lock is off is
  // refused too, for want of the lock, and the lock for want of a length list or a clock.
  const std::string search = "the pattern search", reference = "the low-jitter reference",
                    analysis = "the jitter analysis";
  std::set<std::string> allowed = {"no assertion", GetLangStr("ToMkJitterMeas"),
                                   GetLangStr("PatLengthListEmpty"), GetLangStr("PatternClockNotMeasured")};
  for (const auto& [starting, running] :
       {std::pair{search, reference}, std::pair{analysis, reference}, std::pair{reference, analysis}})
    allowed.insert("Cannot start " + starting + ": " + running + " is running");
  // A time typed for the view of a trace without a record, nor one its definition gives (a
  // memory not stored, a function of itself), is refused.
  for (int t = TraceIndex(TTraceId::F1); t <= TraceIndex(TTraceId::S2); ++t)
    allowed.insert(FormatLangStr("ZoomNoRecord", TraceDisplayName(static_cast<TTraceId>(t))));
  for (const TWalk& walk : walks) {
    SCOPED_TRACE(walk.order + " order, seed " + std::to_string(walk.seed));
    // A program folder of its own: a walk starts from the factory setup, not the default
    // setup the walk before saved.
    home_ = test::MakeTempDir("walk");
    setenv("VEXILOR_NORV_HOME", home_.c_str(), 1);
    WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);  // every option
    Start();
    const Lines factory = Dump();
    std::mt19937 rng(walk.seed);
    Lines paths;
    for (const std::string& line : factory) paths.push_back(test::PathOf(line));
    if (walk.order == "reverse") std::reverse(paths.begin(), paths.end());
    if (walk.order == "shuffled") std::shuffle(paths.begin(), paths.end(), rng);
    // As a user sets limits: the measurements chosen first, with the statistics' four, the
    // channels' last, so that the tested four are theirs; the limits once the factory
    // signal has given them statistics, and so their ranges. A zoom position's range
    // follows its record: moved once that is computed.
    const auto choice = [](const std::string& path) {
      return path.starts_with("MEAS:") && (path.ends_with("PARAM") || path.ends_with("PAR"));
    };
    const auto ofChannel = [](const std::string& path) {
      return path.starts_with("MEAS:CH1:") || path.starts_with("MEAS:CH2:");
    };
    const auto limit = [](const std::string& path) { return path.starts_with("LIMIT") && path[5] != ':'; };
    const auto zoom = [](const std::string& path) { return path.starts_with("ZOOM:"); };
    // Switched on, a TDR correction runs its calibration, whose measured filter no setup
    // holds: a recall switches it off on purpose, and starts no run.
    std::erase_if(paths, [](const std::string& path) {
      return path == "TDR:CH1:NORMALIZE" || path == "TDR:CH2:NORMALIZE";
    });
    const auto exec = [&allowed](const std::string& line) {
      const std::string refusal = test::AssertionText([&] { Command(line); });
      EXPECT_TRUE(allowed.contains(refusal)) << line << ": " << refusal;
    };
    const auto move = [&](const std::function<bool(const std::string&)>& which) {
      for (const std::string& path : paths)
        if (which(path)) test::MoveAtRandom(path, rng, exec);
    };
    {
      const TDialogsSuppressed quiet;  // also for the knobs' steps
      Command("Meas:Display Statistic");
      move([&](const std::string& path) { return choice(path) && !ofChannel(path); });
      move([&](const std::string& path) { return choice(path) && ofChannel(path); });
      Acquisitions(12);
      move(limit);
      move([&](const std::string& path) { return !choice(path) && !limit(path) && !zoom(path); });
      Command("StdMask:MarginsOn ON;:StdMask:MaskIndex 1");
      test::MoveAtRandom("StdMask:MarginsVal", rng, exec);
      ComputeShownFunctions();
      move(zoom);
    }
    // The switches of procedures still running go off: a setup saved while one runs holds
    // what it gives back, and what the rules make of that shows only once it has ended.
    Command("Trig:LowJitter Off;:Jitter:JitterOn Off");
    const Lines moved = Dump();
    ASSERT_NE(moved, factory);
    SaveFile();
    // The undo first, while the settings are the user's own moves, not a recall's.
    for (char trip : std::string("uabc")) {
      SCOPED_TRACE(std::string("round trip ") + trip);
      RoundTrip(trip);
      Acquisitions(3);
      EXPECT_EQ(Lost(moved), "");
    }
    Stop();
  }
}

// The zoom positions' range follows the length of their records, the hold-off's the model.
TEST_F(SetupProgramTest, ARestartKeepsValuesWhoseRangeIsKnownOnceEverythingIsApplied) {
  Start();
  constexpr std::string_view kQuery = "Header Off;:Zoom:M1:HorPosition?;:Zoom:S2:HorPosition?;:Trig:Holdoff?";
  // Without records the positions count points of the longest record: 4096 - (4000 + 1),
  // of a spectrum's half 2048 - (2000 + 1).
  Command("Zoom:M1:HorPosition MAX;:Zoom:S2:HorPosition MAX;:Trig:Holdoff 1");
  const std::string set = Command(std::string(kQuery));
  ASSERT_EQ(set, "95 ;47 ;1 s");
  Command("*DefSetup SaveAsDef");
  Restart();
  EXPECT_EQ(Command(std::string(kQuery)), set);
}

// A function's horizontal scale may take no more than its record shows: half of a spectrum.
// A recall made while the record is still that of the definition before keeps the scale.
TEST_F(SetupProgramTest, AFunctionsHorizontalScaleFollowsItsRecordAndARecallKeepsIt) {
  Start();
  auto* scale = dynamic_cast<TEditHandler*>(RootSpider->FindHandler("Zoom:F1:HorScale"));
  ASSERT_NE(scale, nullptr);
  Command("F1:Display On");
  Acquire(2);
  Command("Zoom:F1:HorScale MAX");
  ASSERT_EQ(scale->GetValue(), 1.0);
  SaveFile();
  Command("Spectr2:Display On;:F1:Operat SinInt;:F1:Source1 S2");
  Acquire(2);
  Command("Zoom:F1:HorScale MAX");
  EXPECT_EQ(scale->GetValue(), 0.5);
  ASSERT_EQ(Command("Save:Setup:FileName roundtrip"), "");
  Command("Save:Setup:Recall");
  EXPECT_EQ(scale->GetValue(), 1.0);
  Acquire(2);
  EXPECT_EQ(scale->GetValue(), 1.0);
}

// The shortest lines that once lost a value, each taken through the round trips named in
// its row (the letters of RoundTrip).
struct TRoundTripRow {
  const char* name;
  Lines commands;
  int cycles;         // acquisitions before the last line, for values whose range follows computed records
  const char* trips;  // letters of the round trips above
};

const TRoundTripRow kRoundTripRows[] = {
    {"zoom positions and hold-off",
     {"Zoom:M1:HorPosition MAX", "Zoom:S2:HorPosition MAX", "Trig:Holdoff 1"},
     0,
     "abcu"},
    {"hold-off after the fit to the record",
     {"TDR:Mode TDR", "Acq:FitTo Multi", "Trig:Holdoff 1"},
     0,
     "abcu"},
    {"standard mask", {"StdMask:MaskIndex 1"}, 0, "u"},
    {"measurement parameters and limits",
     {"Meas:S2:YParam PosOver", "Meas:S2:XFFTPar Freq,DFreq", "Meas:S2:YFFTPar TDH", "Limit4:UpLimit 0",
      "Limit4:LowLimit -100m"},
     0,
     "au"},
    {"a converter's channel scale set after its attenuation unit",
     {"OEConv:Dest Ch1", "Ch1:Atten:Unit Off", "Ch1:Scale 400u", "OEConv:WaveLen WL2"},
     0,
     "abcu"},
    {"a function's zoom position",
     {"Acq:Ch1:RecLen 4096", "Acq:Ch2:RecLen 4096", "F1:Display On", "Zoom:F1:HorPosition MAX"},
     2,
     "abcu"},
    {"the length scales in TDR mode", {"TDR:Mode TDR", "TDR:HorScale Meter"}, 0, "abcu"},
    {"a length scale not shown", {"TB:ScaleFootA 2"}, 0, "abcu"},
    {"delays clamped to nought by scale A", {"TB:ScaleA 1n", "TB:ScaleB 100p"}, 0, "abcu"},
    {"the low-jitter switch", {"Trig:LowJitter ON"}, 0, "cu"},
    {"a histogram window's edge set while the other axis is shown",
     {"Hist:WHor:Right MIN", "Hist:Axis Horiz"},
     0,
     "abcu"},
    {"the calibration clock while the trigger runs on the internal clock",
     {"Trig:Source IntClock", "Util:HCalMode Clock", "Util:ClcPeriod 200u", "Trig:IntRate 50u"},
     0,
     "abcu"},
    {"a correction switched on and no longer in effect",
     {"TDR:Mode TDR", "TDR:Ch2:Destination External", "TDR:Ch2:Polar Neg", "GSS:B:Waweform TDR",
      "TB:ScaleA 2n", "TDR:Ch2:Normalize On", "TDR:Ch2:Destination Off", "Zoom:F2:HorScale MIN"},
     0,
     "abcu"},
    {"a limit test's nanosecond bounds, recalled before any statistics",
     {"Meas:Ch1:XParam Period", "Limit1:Activ On",
      "Limit1:Mode Limit;:Limit1:UpLimit 12n;:Limit1:LowLimit 8n"},
     10,
     "abcu"},
    {"a bit scale finer than its time scale's grid",
     {"TB:Units Bit", "TB:BitRate 2G48832", "TB:BitScaleB 160m"},
     0,
     "abcu"},
    {"a length scale its time scale carries back within its tolerance", {"TB:ScaleMetreA 44k"}, 0, "abcu"},
    {"a length scale in feet likewise", {"TB:ScaleFootA 320k"}, 0, "abcu"},
    {"a length scale converted at a dielectric constant",
     {"TB:ScaleA 10u", "TDR:VelOS 615m", "TDR:Mode TDR", "Trig:PatternLockMode Manual", "TDR:Unit DielConst"},
     0,
     "abcu"},
};

TEST_F(SetupProgramTest, EachReducedLineComesBackThroughItsRoundTrips) {
  for (const TRoundTripRow& row : kRoundTripRows) {
    SCOPED_TRACE(row.name);
    // A program folder of its own: no row starts from the default setup another one saved.
    home_ = test::MakeTempDir("roundtrip");
    setenv("VEXILOR_NORV_HOME", home_.c_str(), 1);
    WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);  // every option
    Start();
    for (const std::string& command : row.commands) {
      if (&command == &row.commands.back() && row.cycles > 0) Acquire(row.cycles);
      ASSERT_EQ(Command(command), "") << command;
    }
    const Lines set = Dump();
    SaveFile();
    for (const char* trip = row.trips; *trip; ++trip) {
      SCOPED_TRACE(std::string("round trip ") + *trip);
      RoundTrip(*trip);
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
