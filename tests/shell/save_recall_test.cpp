#include "shell/save/save_recall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "analysis/jitter_settings.h"
#include "analysis/low_jitter.h"
#include "app/program_units.h"
#include "display/database_layer.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "display/signal_layers.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/screen_wiring.h"
#include "shell/setup_files.h"
#include "shell/shell_fixture.h"
#include "tdr_mask/tdr_normalization.h"

namespace norv {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string kSkippedLines = "[warning] These lines set no setting and were skipped:\n";

Lines Dump() {
  Lines lines;
  RootSpider->DumpSettings(lines);
  return lines;
}

std::string BinaryOf(const TSignalObj& record) {
  std::ostringstream out(std::ios::binary);
  EXPECT_TRUE(record.SaveToBinaryFile(out));
  return std::move(out).str();
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SaveRecallTest : public test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    TakeFactoryDefaultSetup();
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
    ExecCommand("*StopSingle Stop");  // requests are served by the stopped idle step
    ShellState.IdleHandlerInstalled = true;
    for (TTraceId channel : {TTraceId::Ch1, TTraceId::Ch2})
      SignalObjs()[channel].SetRecLen(kDefaultRecLen);  // acquired
  }
  // The program as if it had just been started again, with the same folders.
  void Restart() {
    ShellTest::Restart();
    ShellHooks.LoadMemoriesAtStart();
  }
  // Every node moved away from its value: a choice to its next item, a switch over, a
  // number to its other limit.
  void MoveEverything() {
    for (const std::string& line : Dump()) {
      const std::string path = line.substr(0, line.find(' '));
      THandler* h = RootSpider->FindHandler(path);
      std::string param;
      if (auto* e = dynamic_cast<TEditHandler*>(h)) {
        if (e->GetMin() != e->GetMax()) param = e->GetValue() == e->LimitValue(lcMax) ? "MIN" : "MAX";
      } else if (auto* r = dynamic_cast<TRadioSwHandler*>(h)) {
        if (r->GetCount() > 1) param = r->ItemName((r->GetIndex() + 1) % r->GetCount());
      } else if (auto* o = dynamic_cast<TOnOffHandler*>(h)) {
        param = o->IsOn() ? "OFF" : "ON";
      }
      // The TDR correction finds no stimulus here, the jitter analysis no pattern lock: they
      // would be refused and stay off.
      if (!param.empty() && !path.ends_with("NORMALIZE") && path != "JITTER:JITTERON")
        RootSpider->ExecCommandLine(path + " " + param, false);
    }
  }
};

TEST_F(SaveRecallTest, NamedSetupFileBringsBackEverySetting) {
  MoveEverything();
  const Lines moved = Dump();
  ExecCommand("Save:Setup:FileName bench/moved");
  ExecCommand("Save:Setup:Save");
  EXPECT_TRUE(fs::exists(DataFolders().SetupFilesDir / "bench" / "moved.set"));
  ExecCommand("Save:Setup:RecFact");
  ASSERT_NE(Dump(), moved) << "the factory default changed nothing: the test would prove nothing";
  ExecCommand("Save:Setup:Recall");
  EXPECT_EQ(Dump(), moved);
  EXPECT_TRUE(dialogs.shown.empty());
  // Every line indented, by blanks or a tab: the same setup.
  Lines indented = moved;
  for (size_t i = 0; i < indented.size(); ++i) indented[i].insert(0, i % 2 ? "\t" : "  ");
  std::ofstream(DataFolders().SetupFilesDir / "bench" / "moved.set") << SetupFileTextFromLines(indented);
  ExecCommand("Save:Setup:RecFact");
  ExecCommand("Save:Setup:Recall");
  EXPECT_EQ(Dump(), moved);

  // A recall of a missing file and a save that cannot be written are errors for the client.
  ExecCommand("Save:Setup:FileName nothing_here");
  EXPECT_THROW(ExecCommand("Save:Setup:Recall"), EAssertion);
  fs::create_directories(DataFolders().SetupFilesDir / "blocked.set");
  ExecCommand("Save:Setup:FileName blocked");
  EXPECT_THROW(ExecCommand("Save:Setup:Save"), EAssertion);
  EXPECT_EQ(Dump(), moved) << "failed setup commands changed settings";
}

// A setup naming a database that cannot be read (outside the program's folders, or gone)
// recalls every other line of it, then fails with the reason: a client's answer, or one
// box for the user of the dialog.
TEST_F(SaveRecallTest, ASetupNamingADatabaseThatCannotBeReadRecallsTheRestAndFails) {
  MoveEverything();
  const Lines moved = Dump();
  fs::create_directories(DataFolders().SetupFilesDir);
  const fs::path file = DataFolders().SetupFilesDir / "outside.set";
  const std::string gone =
      "File \"" + (DataFolders().DatabaseDir / "gone.cgs").string() + "\" does not exist!";
  for (const auto& [name, why] :
       {std::pair<std::string, std::string>{"/etc/passwd", "Database File is Damaged"},
        {"../../outside", "Database File is Damaged"},
        {"gone.cgs", gone}}) {
    SCOPED_TRACE(name);
    Lines lines = moved;
    lines.insert(lines.begin(), "NOGPIB:DataBase " + name);
    { std::ofstream(file, std::ios::binary) << SetupFileTextFromLines(lines); }
    ExecCommand("Save:Setup:RecFact");
    ExecCommand("Save:Setup:FileName outside");
    try {
      ExecCommand("Save:Setup:Recall");
      ADD_FAILURE() << "answered OK";
    } catch (const EAssertion& e) {
      EXPECT_EQ(e.what(), why);
    }
    EXPECT_EQ(Dump(), moved);
    ExecCommand("Save:Setup:RecFact");
    dialogs.shown.clear();
    dialogs.files.push_back(TFileChoice{file.string(), file.parent_path().string(), 0});
    RecallSetupByDialog();
    EXPECT_EQ(Dump(), moved);
    EXPECT_EQ(dialogs.shown, (Lines{"[question] Recall Setup", "[error] " + why}));
  }
}

// The message of a refused name shows its start only.
std::string Refusal(const std::string& why, const std::string& name) {
  return "ERROR!  File name " + why + ": " + (name.size() > 64 ? name.substr(0, 64) + "..." : name);
}

TEST_F(SaveRecallTest, FileNamesStayInsideTheProgramFolder) {
  const fs::path setups = DataFolders().SetupFilesDir;
  const std::string away = "/etc/" + std::string(100, 'e'), longName(253, 'a'), longer(5000, 'b');
  struct Case {
    const char* node;
    std::string name;
    std::string expected;  // empty: refused
    std::string refusal = {};
  } cases[] = {
      {"Save:Setup:FileName", "a/b", (setups / "a" / "b.set").string()},
      // The folder of the name before is not the folder of the next.
      {"Save:Setup:FileName", "plain.txt", (setups / "plain.set").string()},
      {"Save:Setup:FileName", "..\\..\\evil", ""},
      {"Save:Setup:FileName", "/etc/passwd", ""},
      {"Save:Setup:FileName", (DataFolders().ProgramDir / "Masks" / "m").string(),
       (DataFolders().ProgramDir / "Masks" / "m.set").string()},
      {"Save:Disk:FileName", "../../tmp/x.wfm", ""},
      // A link inside the folders that leads out of them.
      {"Save:Setup:FileName", "away/x", ""},
      {"Save:Disk:FileName", "sub/w1.wfm", (DataFolders().WaveformFilesDir / "sub" / "w1.wfm").string()},
      // A folder given for waveforms stays the waveform folder of the run.
      {"Save:Disk:FileName", "w2", (DataFolders().WaveformFilesDir / "sub" / "w2.wfm").string()},
      // A relative folder starts in the waveform folder, not in the one named before.
      {"Save:Disk:FileName", "sub/w3", (DataFolders().WaveformFilesDir / "sub" / "w3.wfm").string()},
      // Only the extension of a kind of file the program writes is taken off, in any case:
      // "run.1" and "run.2" are two files.
      {"Save:Disk:FileName", "run.1", (DataFolders().WaveformFilesDir / "sub" / "run.1.wfm").string()},
      {"Save:Disk:FileName", "Run.WFM", (DataFolders().WaveformFilesDir / "sub" / "Run.wfm").string()},
      {"Save:Setup:FileName", "keep.v2", (setups / "keep.v2.set").string()},
      // Longer than a file name can be with its extension, or than any path.
      {"Save:Disk:FileName", longName, "", Refusal("too long", longName)},
      {"Save:Setup:FileName", longer, "", Refusal("too long", longer)},
      {"Acq:FileName", longer, "", Refusal("too long", longer)},
      {"Save:Disk:FileName", away, "", Refusal("outside the program's folders", away)},
      // The system calls would end the name at the NUL and write over "Configuration.ini".
      {"Save:Setup:FileName", (DataFolders().ProgramDir / "Configuration.ini").string() + '\0' + ".x", ""},
      {"Save:Disk:FileName", "w\x01z", ""},
      {"Acq:FileName", std::string("auto\0.x", 7), ""},
      {"Save:Disk:FileName", "esc\x1B.wfm", ""},
  };
  fs::create_directories(setups);
  fs::create_directory_symlink(test::MakeTempDir("away"), setups / "away");
  for (const Case& c : cases) {
    const std::string before = ExecCommand(std::string(c.node) + "?");
    if (c.expected.empty()) {
      try {
        ExecCommand(std::string(c.node) + " " + c.name);
        ADD_FAILURE() << "taken: " << c.name;
      } catch (const EAssertion& refused) {
        if (!c.refusal.empty()) {
          EXPECT_EQ(refused.what(), c.refusal);
        }
      }
      EXPECT_EQ(ExecCommand(std::string(c.node) + "?"), before) << c.name;
    } else {
      ExecCommand(std::string(c.node) + " " + c.name);
      EXPECT_EQ(ExecCommand(std::string(c.node) + "?"), (c.node[5] == 'S' ? " " : "") + c.expected) << c.name;
    }
  }

  // Every name taken can be written, beside the temporary file of its write: a longer one
  // is refused as too long when it is given, never failed when it is written.
  int taken = 0;
  for (size_t length = 230; length <= 256; ++length) {
    const std::string name(length, 'n');
    try {
      ExecCommand("Save:Setup:FileName " + name);
    } catch (const EAssertion& refused) {
      EXPECT_EQ(refused.what(), Refusal("too long", name));
      continue;
    }
    EXPECT_LT(length, 252u) << "taken, though the name with \".set\" is longer than the system takes";
    EXPECT_NO_THROW(ExecCommand("Save:Setup:Save")) << length;
    ++taken;
  }
  EXPECT_GT(taken, 0);
}

// Every acquisition of a counted run may write a file under the auto-save name: a name
// that leads out of the program's folders is refused and the name before it stays, so the
// run's files land inside, and nothing outside.
TEST_F(SaveRecallTest, AutoSavedAcquisitionsStayInsideTheProgramFolder) {
  const fs::path acquisitions = DataFolders().AcqLimitFilesDir;
  const fs::path outside = test::MakeTempDir("outside");
  EXPECT_EQ(ExecCommand("Acq:FileName?"), (acquisitions / "Noname").string() + "*.wfm");
  struct Case {
    std::string name;
    fs::path base;  // empty: refused
  };
  const fs::path inside = DataFolders().ProgramDir / "Waveforms" / "mine";
  const Case cases[] = {
      {(outside / "x").string(), {}},
      {"../../../x", {}},
      {"sub/../../../x", {}},
      {(outside / "sub" / "").string(), {}},
      {"run/shot.txt", acquisitions / "run" / "shot"},
      // The folder named before is the folder of a plain name.
      {"next", acquisitions / "run" / "next"},
      {"shot.2", acquisitions / "run" / "shot.2"},
      // A relative folder starts in the acquisition files' folder again.
      {"run/third", acquisitions / "run" / "third"},
      {(inside / "").string(), acquisitions / "run" / "third"},
      {"last", inside / "last"},
      {(outside / "x").string(), {}},
  };
  for (const Case& c : cases) {
    const std::string before = ExecCommand("Acq:FileName?");
    if (c.base.empty()) {
      EXPECT_THROW(ExecCommand("Acq:FileName " + c.name), EAssertion) << c.name;
      EXPECT_EQ(ExecCommand("Acq:FileName?"), before) << c.name;
    } else {
      ExecCommand("Acq:FileName " + c.name);
      EXPECT_EQ(ExecCommand("Acq:FileName?"), c.base.string() + "*.wfm") << c.name;
    }
  }
  // A setup naming a file outside passes over that line and loads the rest.
  const std::string name = ExecCommand("Acq:FileName?");
  const std::string outsideLine = "ACQ:FILENAME " + (outside / "y").string();
  EXPECT_EQ(RootSpider->LoadSettings({outsideLine, "TB:SCALEA 50N"}), std::vector<std::string>{outsideLine});
  EXPECT_EQ(ExecCommand("Acq:FileName?"), name);
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "50 ns/div");

  ExecCommand("Ch2:Display Off");
  ExecCommand("Acq:RunUntil NAcq");
  ExecCommand("Acq:NAcq 2");
  ExecCommand("Acq:React Save");
  ExecCommand("*Run");
  for (int step = 0; step < 200000 && RunFlag; ++step) ShellIdleStep();
  ASSERT_FALSE(RunFlag);
  EXPECT_TRUE(fs::is_empty(outside));
  for (const char* name : {"last_00001_Ch1.wfm", "last_00002_Ch1.wfm"})
    EXPECT_TRUE(fs::is_regular_file(inside / name)) << name;
}

// A counted run saves the records of the channels on the screen: a channel switched off
// has no file, though it is still acquired.
TEST_F(SaveRecallTest, ACountedRunSavesTheShownChannelsOnly) {
  struct Case {
    const char* folder;
    std::vector<std::string> display;
    std::set<std::string> files;
  } cases[] = {
      {"both", {"Ch1:Display On", "Ch2:Display On"}, {"a_00001_Ch1.wfm", "a_00001_Ch2.wfm"}},
      {"ch1", {"Ch1:Display On", "Ch2:Display Off"}, {"a_00001_Ch1.wfm"}},
      {"ch2", {"Ch2:Display On", "Ch1:Display Off"}, {"a_00001_Ch2.wfm"}},
  };
  ExecCommand("Acq:RunUntil NAcq");
  ExecCommand("Acq:NAcq 1");
  ExecCommand("Acq:React Save");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    for (const std::string& line : c.display) ExecCommand(line);
    ASSERT_EQ(ExecCommand("Ch1:Acquire?") + ExecCommand("Ch2:Acquire?"), "ONON");
    ExecCommand(std::string("Acq:FileName ") + c.folder + "/a");
    ExecCommand("*Run");
    for (int step = 0; step < 200000 && RunFlag; ++step) ShellIdleStep();
    ASSERT_FALSE(RunFlag);
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(DataFolders().AcqLimitFilesDir / c.folder))
      written.insert(entry.path().filename().string());
    EXPECT_EQ(written, c.files);
  }
}

// A name is checked again when its file is opened, with the extension it then has: a link
// there that leads out of the folders is refused, and nothing of its target is read.
TEST_F(SaveRecallTest, ALinkAtTheFileANameOpensIsRefused) {
  const fs::path outside = test::MakeTempDir("outside");
  ExecCommand("TB:ScaleA 50N");
  ExecCommand("Save:Setup:FileName made");
  ExecCommand("Save:Setup:Save");
  fs::rename(DataFolders().SetupFilesDir / "made.set", outside / "outside.set");
  ExecCommand("TB:ScaleA 20N");
  ASSERT_TRUE(SaveWaveformBinaryFile(TTraceId::Ch1, (outside / "outside.wfm").string()));
  struct Case {
    fs::path link;
    const char* target;
    std::vector<std::string> commands;  // the last one opens the file
    std::function<bool()> read;         // whether the target's contents came in
  } cases[] = {
      {DataFolders().SetupFilesDir / "v.set",
       "outside.set",
       {"Save:Setup:FileName v", "Save:Setup:Recall"},
       [] { return ExecCommand("TB:ScaleA?") == "50 ns/div"; }},
      {DataFolders().WaveformFilesDir / "v.wfm",
       "outside.wfm",
       {"Save:Disk:FileName v", "Save:Disk:ToMemo M1", "Save:Disk:Load"},
       [] { return SignalsOn.IsOn(TTraceId::M1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    ASSERT_FALSE(c.read());
    fs::create_directories(c.link.parent_path());
    fs::create_symlink(outside / c.target, c.link);
    dialogs.shown.clear();
    std::string refusal;
    try {
      for (const std::string& command : c.commands) ExecCommand(command);
      ShellIdleStep();  // where a waveform is loaded
    } catch (const EAssertion& refused) {
      refusal = refused.what();
    }
    if (!dialogs.shown.empty()) refusal = dialogs.shown.back();
    EXPECT_NE(refusal.find("ERROR!  File name outside the program's folders: "), std::string::npos)
        << refusal;
    EXPECT_FALSE(c.read());
  }
}

TEST_F(SaveRecallTest, ASetupRecallInsideARecallIsRefusedAndTheRestLoads) {
  const fs::path named = DataFolders().SetupFilesDir / "loop.set";
  ExecCommand("Save:Setup:FileName loop");
  struct Case {
    const char* command;
    fs::path file;
    const char* inner;
  } cases[] = {
      {"*DefSetup Default", SetupFilePath(TSetupKind::Default), "*DefSetup Default"},
      {"Save:Setup:Recall", named, "Save:Setup:Recall"},
      {"*DefSetup Default", SetupFilePath(TSetupKind::Default), "Save:Setup:RecFact"},
  };
  for (const Case& c : cases) {
    ExecCommand("Save:Setup:RecFact");
    ASSERT_EQ(GetIndex(SaveState.NameMode), 0);
    ASSERT_EQ(GetIndex(SaveState.FileFormat), 0);
    fs::create_directories(c.file.parent_path());
    std::ofstream(c.file) << "Save:Disk:NameMode Auto\n" << c.inner << "\nSave:Disk:FileFormat Verbose\n";
    dialogs.shown.clear();
    EXPECT_NO_THROW(ExecCommand(c.command)) << c.inner;
    EXPECT_EQ(GetIndex(SaveState.NameMode), 1) << c.inner;
    EXPECT_EQ(GetIndex(SaveState.FileFormat), 1) << c.inner;
    // A setup sets no button: the inner recall is skipped and named.
    EXPECT_EQ(dialogs.shown, Lines{kSkippedLines + std::string(c.inner)});
  }
}

// The whole program's settings: every unit registered, as the program starts.
class WholeProgramSetupTest : public SaveRecallTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  // The texts that name skipped lines; a setting's own messages are left out.
  static Lines SkipMessages(const Lines& shown) {
    Lines found;
    for (const std::string& text : shown)
      if (text.starts_with(kSkippedLines)) found.push_back(text);
    return found;
  }
};

// A setup sets settings and nothing else, whatever lines a shared file holds: lines that
// would store constants, write files, start procedures, press buttons or run free-text
// commands are skipped and named in one message, and every setting still comes back. A
// client's recall logs the message instead of showing it.
TEST_F(WholeProgramSetupTest, ARecallSetsEverySettingAndNothingElse) {
  {
    const TDialogsSuppressed quiet;  // the procedures some settings start ask nothing
    MoveEverything();
  }
  const Lines moved = Dump();
  const std::string acqName = ExecCommand("Acq:FileName?");
  const Lines forbidden = {"FLASH:CALIBR:CH1FULL:BRIDGEVOLT 2.9",
                           "FLASH:CALIBR:STOREALL",
                           "SAVE:SETUP:FILENAME second;SAVE",
                           "*AUTOSCALE AUTO",
                           "FLASH:CALIBR:AUTOCALCH",
                           "DISPL:RESETALL",
                           "ACQ:FILENAME stray",
                           "SHADOW:SETONTOP",
                           "INSTR:CURRENT:SET Other",
                           "HEADER ON"};
  Lines setup = moved;
  setup.insert(setup.end(), forbidden.begin(), forbidden.end());
  const fs::path setups = DataFolders().SetupFilesDir;
  fs::create_directories(setups);
  std::ofstream(setups / "shared.set", std::ios::binary) << SetupFileTextFromLines(setup);
  ExecCommand("Save:Setup:RecFact");
  ASSERT_NE(Dump(), moved);
  const fs::path constants = DataFolders().ProgramDir / "CalibrImit.ini";
  const bool constantsExisted = fs::exists(constants);
  const std::string constantsBefore = constantsExisted ? FileBytes(constants) : "";
  const std::string autocal = ExecCommand("FLASH:Calibr:AutocalResult?");
  const int64_t start = clock.NowMs();
  dialogs.shown.clear();
  const auto SetupFiles = [&] {
    Lines files;
    for (const auto& entry : fs::recursive_directory_iterator(setups)) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
  };
  const Lines setupFiles = SetupFiles();

  ExecCommand("Save:Setup:FileName shared");
  ExecCommand("Save:Setup:Recall");
  EXPECT_EQ(Dump(), moved);
  std::string message = kSkippedLines + forbidden[0];
  for (size_t i = 1; i < forbidden.size(); ++i) message += "\n" + forbidden[i];
  // The converter's output comes back without its cable question, and is named with them.
  message += "\nThese settings were recalled without starting their procedures:\nOECONV:DEST CH1";
  EXPECT_EQ(SkipMessages(dialogs.shown), Lines{message});
  EXPECT_EQ(fs::exists(constants), constantsExisted);
  if (constantsExisted) {
    EXPECT_EQ(FileBytes(constants), constantsBefore);
  }
  EXPECT_EQ(SetupFiles(), setupFiles) << "the recall wrote a setup file";
  EXPECT_EQ(ExecCommand("Acq:FileName?"), acqName);
  EXPECT_EQ(ExecCommand("FLASH:Calibr:AutocalResult?"), autocal);
  EXPECT_EQ(CurrentInstrumentName, DefaultDemoName);
  EXPECT_EQ(clock.NowMs(), start) << "a procedure ran";

  // The undo of the recall and its redo replay every line of the step.
  dialogs.shown.clear();
  ExecCommand("*Undo");
  EXPECT_NE(Dump(), moved);
  ExecCommand("*Undo Redo");
  EXPECT_EQ(SkipMessages(dialogs.shown), Lines{});

  ExecCommand("Save:Setup:RecFact");
  dialogs.shown.clear();
  {
    const TDialogsSuppressed remote;
    DialogState.SuppressedLog.clear();
    ExecCommand("Save:Setup:Recall");
  }
  EXPECT_EQ(Dump(), moved);
  EXPECT_EQ(dialogs.shown, Lines{});
  EXPECT_EQ(SkipMessages(DialogState.SuppressedLog), Lines{message});
}

// A command line that goes on past a button (a relative path after a command of its node,
// or a word after it) runs nothing and is an error, and the kept file stays as it was; the
// same line with ";:" (an absolute path) does what it says.
TEST_F(WholeProgramSetupTest, ALineGoingOnPastAButtonRunsNothing) {
  const fs::path setups = DataFolders().SetupFilesDir;
  // Records that differ, so that a save of one over the other shows.
  for (const TTraceId ch : {TTraceId::Ch1, TTraceId::Ch2})
    for (int i = 0; i < SignalObjs()[ch].GetRecLen(); ++i)
      SignalObjs()[ch].SetY(i, ch == TTraceId::Ch1 ? 0.01 : -0.02);
  const auto Run = [this](const std::string& line) {
    ExecCommand(line);
    for (int i = 0; i < 3; ++i) ShellIdleStep();  // where saves and loads are served
    // A run records a waveform into a database before it is stopped.
    for (int i = 0; i < 200000 && line == "*Run" && ColorGradeDatabase.WaveformCount() == 0; ++i) {
      ShellIdleStep();
      clock.Advance(1);
    }
  };
  const auto Changed = [](const fs::path& file, const std::string& before) {
    return [file, before] { return FileBytes(file) != before; };
  };
  struct Case {
    Lines prepare;  // makes the kept file, then changes what a save would write
    fs::path file;
    std::string refused, absolute;
    std::function<bool()> done = {};  // what the absolute line does (none: it writes the file)
  } cases[] = {
      {{"TB:ScaleA 50N", "Save:Setup:FileName Keep", "Save:Setup:Save", "TB:ScaleA 2N"},
       setups / "Keep.set",
       "Save:Setup:FileName Keep;Save:Setup:Recall",
       "Save:Setup:FileName Keep;:Save:Setup:Recall",
       [] { return ExecCommand("TB:ScaleA?") == "50 ns/div"; }},
      {{"Save:Setup:FileName A", "Save:Setup:Save", "TB:ScaleA 5N"},
       setups / "A.set",
       "Save:Setup:FileName A;Save:Setup:FileName B",
       "Save:Setup:FileName A;:Save:Setup:FileName B",
       [] { return ExecCommand("Save:Setup:FileName?").ends_with("B.set"); }},
      {{"Save:Setup:FileName keep", "Save:Setup:Save", "Ch1:Scale 500m"},
       setups / "keep.set",
       "Save:Setup:Save newname",
       ":Save:Setup:Save"},
      {{"TB:ScaleA 20N"},
       SetupFilePath(TSetupKind::Default),
       "Save:Setup:SvAsDefault x",
       ":Save:Setup:SvAsDefault"},
      {{"Save:Disk:FileType Wfm", "Save:Disk:Source Ch1", "Save:Disk:FileName Ref", "Save:Disk:Save",
        "Save:Disk:Source Ch2"},
       DataFolders().WaveformFilesDir / "Ref.wfm",
       "Save:Disk:FileName Ref;Save:Disk:Load",
       "Save:Disk:FileName Ref;:Save:Disk:Load",
       [] { return SignalsOn.IsOn(TTraceId::M1); }},
      {{"Save:Memo:Source Ch1", "Save:Memo:ToMemo M1", "Save:Memo:Save"},
       MemoryFilePath(0),
       "Save:Memo:Source Ch2;Save:Memo:ToMemo M2",
       "Save:Memo:Source Ch2;:Save:Memo:ToMemo M2",
       [] { return ExecCommand("Save:Memo:ToMemo?") == "M2"; }},
      // A database recorded from Ch2; a new recording would be of Ch1.
      {{"Save:Disk:FileType Db", "Save:Disk:DbSource Ch2", "Save:Disk:FileName db3", "Save:Disk:Save", "*Run",
        "*StopSingle Stop", "Save:Disk:DbSource Ch1"},
       DataFolders().DatabaseDir / "db3.cgs",
       "Save:Disk:FileName db3;Save:Disk:Load",
       "Save:Disk:FileName db3;:Save:Disk:Load",
       [] { return SaveState.DatabaseShown; }},
      {{"FLASH:Calibr:StoreAll", "FLASH:Calibr:FineTB 20000"},
       DataFolders().ProgramDir / "CalibrImit.ini",
       "FLASH:Calibr:StoreAll x",
       "FLASH:Calibr:FineTB 20000;:FLASH:Calibr:StoreAll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    for (const std::string& line : c.prepare) Run(line);
    const std::string kept = FileBytes(c.file);
    ASSERT_FALSE(kept.empty());
    const std::function<bool()> done = c.done ? c.done : Changed(c.file, kept);
    ASSERT_FALSE(done());
    EXPECT_THROW(Run(c.refused), EAssertion);
    EXPECT_TRUE(FileBytes(c.file) == kept);
    EXPECT_FALSE(done());
    EXPECT_NO_THROW(Run(c.absolute));
    EXPECT_TRUE(done());
  }
  EXPECT_FALSE(fs::exists(setups / "newname.set"));
}

// Every button of the program refuses a parameter, as a command or a query, and runs nothing.
TEST_F(WholeProgramSetupTest, EveryButtonRefusesAParameter) {
  int buttons = 0;
  const std::function<void(TSpider&)> sweep = [&](TSpider& node) {
    for (int i = 0; i < node.Count(); ++i) {
      const TSpiderEntry& entry = node.Entries()[i];
      if (entry.Child) sweep(*entry.Child);
      auto* button = dynamic_cast<TRightCommandHandler*>(entry.Handler.get());
      const std::string path = button ? node.GetItemHeader(i, false, true) : "";
      if (!button || path.starts_with("SHADOW:")) continue;  // no command line reaches those
      ++buttons;
      int ran = 0;
      const THandlerEvent action = std::exchange(button->OnChange, [&](THandler&) { ++ran; });
      for (const std::string& line : {path + " X", path + ":MORE", path + "? X"})
        EXPECT_THROW(ExecCommand(line), EAssertion) << line;
      EXPECT_EQ(ran, 0) << path;
      button->OnChange = action;
    }
  };
  sweep(*RootSpider);
  EXPECT_GE(buttons, 34);
}

// The whole program on a model with the pattern trigger, the generators and the optics.
class RecalledProceduresTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    WriteDemoUnit(std::string(DefaultDemoName), 1, 2, 255 - OptPatSyncTrig - OptGenerators - OptOptics, 12,
                  77, true);
    TakeFactoryDefaultSetup();
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
    ShellState.IdleHandlerInstalled = true;
    TriggerSettings().PatternLengthList = {31, 63};  // the search has lengths to try
  }
  void TearDown() override {
    ScopeCRT.reset();
    ShellTest::TearDown();
  }
};

// A setting whose change starts a procedure or asks the user, recalled from a setup file,
// the default or the power-off setup, or by the redo of such a recall: the setting comes
// back, nothing runs and no box opens but the one warning, which names the setting so that
// the user starts what it starts when wanted.
// A client's save, load or mask file work that fails answers the error with the system's
// reason, and a full disk cuts no file that was whole. Each row's last line fails.
TEST_F(WholeProgramSetupTest, AClientsFailedFileWorkAnswersWhy) {
  const fs::path masks = DataFolders().MaskUserDir, db = DataFolders().DatabaseDir;
  const fs::path waveforms = DataFolders().WaveformFilesDir, setups = DataFolders().SetupFilesDir;
  fs::create_directories(masks);
  // A rectangle in the middle of the screen.
  std::ofstream(masks / "box.pcm") << "[COMMON]\nSignature=User Mask\nTime by Division=1e-9\n"
                                      "Value by Division=0.1\nMiddle Value=0\nList of Polygons=1\n"
                                      "[Polygon 1]\nNumber of Vertex=4\nVertex 1=1000, 400\n"
                                      "Vertex 2=3000, 400\nVertex 3=3000, 624\nVertex 4=1000, 624\n";
  const auto whole = [](const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "whole";
  };
  const std::string full = "it cannot be written: No space left on device";
  const std::string noName = "No file name is set: name the file with \"Save:Disk:FileName\" first";
  const std::string noSetupName = "No file name is set: name the file with \"Save:Setup:FileName\" first";
  const std::string noSetup = ": it is not a setup file (no line of it names a setting)";
  const auto written = [](const fs::path& file) { return "Write Error to file \"" + file.string() + "\": "; };
  struct Case {
    const char* name;
    std::function<void()> prepare;
    Lines commands;
    std::string answer;
    fs::path kept = {};  // a whole file the failure leaves as it was
    bool fullDisk = false;
  };
  const Case cases[] = {
      {"waveform load without a name", [] {}, {"Save:Disk:FileType Wfm", "Save:Disk:Load"}, noName},
      {"database load without a name", [] {}, {"Save:Disk:FileType Db", "Save:Disk:Load"}, noName},
      {"waveform save without a name", [] {}, {"Save:Disk:FileType Wfm", "Save:Disk:Save"}, noName},
      {"database save without a name", [] {}, {"Save:Disk:FileType Db", "Save:Disk:Save"}, noName},
      {"setup save without a name", [] {}, {"Save:Setup:Save"}, noSetupName},
      {"setup recall without a name", [] {}, {"Save:Setup:Recall"}, noSetupName},
      {"setup recall of an empty file",
       [&] { std::ofstream(setups / "empty.set"); },
       {"Save:Setup:FileName empty", "Save:Setup:Recall"},
       "ERROR Opening File " + (setups / "empty.set").string() + noSetup},
      // Lines that reach a command or nothing are no settings.
      {"setup recall of a file that is no setup",
       [&] {
         std::ofstream(setups / "text.set") << "[Setup]\nTB:ScaleA=5N\n*Run\nHeader On\nSave:Setup:Save\n";
       },
       {"Save:Setup:FileName text", "Save:Setup:Recall"},
       "ERROR Opening File " + (setups / "text.set").string() + noSetup},
      {"mask save without a mask",
       [] {},
       {"Mask:MaskFile none", "Mask:SaveUser"},
       "There is no mask to save"},
      {"mask load of a missing file",
       [] {},
       {"Mask:MaskFile gone", "Mask:LoadUser"},
       "File \"" + (masks / "gone.pcm").string() + "\" does not exist!"},
      {"mask load of a file without polygons",
       [&] { std::ofstream(masks / "bad.pcm") << "[COMMON]\nSignature=User Mask\n"; },
       {"Mask:MaskFile bad", "Mask:LoadUser"},
       "Error reading the mask file " + (masks / "bad.pcm").string()},
      {"mask load of a file of another kind",
       [&] { std::ofstream(masks / "text.pcm") << "just text\n"; },
       {"Mask:MaskFile text", "Mask:LoadUser"},
       "Error reading the mask file " + (masks / "text.pcm").string()},
      {"mask save onto a read-only file",
       [&] {
         whole(masks / "locked.pcm");
         fs::permissions(masks / "locked.pcm", fs::perms::owner_read | fs::perms::group_read);
       },
       {"Mask:MaskFile box", "Mask:LoadUser", "Mask:MaskFile locked", "Mask:SaveUser"},
       "Cannot create the file " + (masks / "locked.pcm").string() + ": the file is read-only",
       masks / "locked.pcm"},
      {"database load of a missing file",
       [] {},
       {"Save:Disk:FileType Db", "Save:Disk:FileName gone", "Save:Disk:Load"},
       "File \"" + (db / "gone.cgs").string() + "\" does not exist!"},
      {"default setup that is a folder",
       [] {
         fs::remove(SetupFilePath(TSetupKind::Default));
         fs::create_directories(SetupFilePath(TSetupKind::Default));
       },
       {"*DefSetup Default"},
       "ERROR Opening File " + SetupFilePath(TSetupKind::Default).string() + ": it is not a regular file"},
      {"waveform on a full disk",
       [&] { whole(waveforms / "full.wfm"); },
       {"Save:Disk:FileType Wfm", "Save:Disk:Source Ch1", "Save:Disk:FileName full", "Save:Disk:Save"},
       written(waveforms / "full.wfm") + full,
       waveforms / "full.wfm",
       true},
      {"memory on a full disk",
       [&] { whole(MemoryFilePath(1)); },
       {"Save:Memo:Source Ch1", "Save:Memo:ToMemo M2", "Save:Memo:Save"},
       written(MemoryFilePath(1)) + full,
       MemoryFilePath(1),
       true},
      {"database on a full disk",
       [&] { whole(db / "full.cgs"); },
       {"Save:Disk:FileType Db", "Save:Disk:FileName full", "Save:Disk:Save"},
       written(db / "full.cgs") + full,
       db / "full.cgs",
       true},
      {"setup on a full disk",
       [&] { whole(setups / "full.set"); },
       {"Save:Setup:FileName full", "Save:Setup:Save"},
       "ERROR Saving File " + (setups / "full.set").string() + ": " + full,
       setups / "full.set",
       true},
      {"user mask on a full disk",
       [&] { whole(masks / "full.pcm"); },
       {"Mask:MaskFile box", "Mask:LoadUser", "Mask:MaskFile full", "Mask:SaveUser"},
       "Cannot create the file " + (masks / "full.pcm").string() + ": " + full,
       masks / "full.pcm",
       true},
      // A Stop answers for the write of the recording it ends; this one has taken a waveform.
      {"recording stopped on a full disk",
       [&] {
         whole(db / "stopped.cgs");
         ExecCommand("Save:Disk:FileType Db;:Save:Disk:FileName stopped;:Save:Disk:Save;:*Run");
         for (int step = 0; step < 200000 && ColorGradeDatabase.WaveformCount() < 1; ++step) ShellIdleStep();
       },
       {"*StopSingle Stop"},
       written(db / "stopped.cgs") + full,
       db / "stopped.cgs",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    std::optional<TDiskRoomForTests> fullDisk;
    if (c.fullDisk) fullDisk.emplace(64);  // less than any of these files
    const TDialogsSuppressed remote;
    for (size_t n = 0; n + 1 < c.commands.size(); ++n) ASSERT_NO_THROW(ExecCommand(c.commands[n]));
    const Lines settings = Dump();
    std::string answer = "OK";
    try {
      ExecCommand(c.commands.back());
    } catch (const EAssertion& e) {
      answer = e.what();
    }
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(Dump(), settings) << "a refused line changed settings";
    EXPECT_FALSE(SaveState.DatabaseRecording);
    if (!c.kept.empty()) {
      EXPECT_EQ(FileBytes(c.kept), "whole");
    }
  }
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front();
  fs::remove(SetupFilePath(TSetupKind::Default));
}

TEST_F(RecalledProceduresTest, ARecallSetsTheSettingWithoutItsProcedureAndNamesIt) {
  struct Case {
    const char* name;
    Lines setup;        // the last line's setting starts the procedure
    const char* value;  // its answer after the recall
    std::function<bool()> running;
  };
  const Case cases[] = {
      {"pattern search",
       {"TRIG:PATTERNLOCKMODE AUTODETECT"},
       "AUTODETECT",
       [] { return PatternSearchRun().SearchActive; }},
      {"low-jitter reference", {"TRIG:LOWJITTER ON"}, "ON", [] { return LowJitterState().Running; }},
      {"cable question", {"OECONV:DEST CH1"}, "CH1", [] { return false; }},  // the question is a box
      {"jitter analysis",
       {"TRIG:PATTERNLOCKMODE MANUAL", "JITTER:JITTERON ON"},
       "ON",
       [] { return JitterObj() != nullptr; }},
      // Without its filter the correction cannot stay on.
      {"TDR correction",
       {"TDR:MODE TDR", "TDR:CH1:DESTINATION G1", "TDR:CH1:NORMALIZE ON"},
       "OFF",
       [] { return NormalizationDialogChannel() != 0; }},
  };
  const struct {
    const char* name;
    fs::path file;
    const char* command;
  } recalls[] = {
      {"setup file", DataFolders().SetupFilesDir / "procedure.set", "Save:Setup:Recall"},
      {"default setup", SetupFilePath(TSetupKind::Default), "*DefSetup Default"},
      {"power-off setup", SetupFilePath(TSetupKind::PowerOff), "*DefSetup PowerOff"},
  };
  ExecCommand("Save:Setup:FileName procedure");
  for (const Case& c : cases) {
    const std::string line = c.setup.back();
    const std::string query = line.substr(0, line.find(' ')) + "?";
    const Lines warning = {"[warning] These settings were recalled without starting their procedures:\n" +
                           line};
    for (const auto& r : recalls) {
      SCOPED_TRACE(std::string(c.name) + " from the " + r.name);
      ExecCommand("Save:Setup:RecFact");
      fs::create_directories(r.file.parent_path());
      std::ofstream(r.file, std::ios::binary) << SetupFileTextFromLines(c.setup);
      dialogs.shown.clear();
      ExecCommand(r.command);
      EXPECT_EQ(dialogs.shown, warning);
      EXPECT_FALSE(c.running());
      EXPECT_EQ(TrimBlanks(ExecCommand(query)), c.value);
    }
    // The redo gives back what the recall left: a setting it could not keep is not named.
    SCOPED_TRACE(std::string(c.name) + " by a redo");
    ExecCommand("*Undo");
    dialogs.shown.clear();
    ExecCommand("*Undo Redo");
    EXPECT_EQ(dialogs.shown, line.ends_with(std::string(" ") + c.value) ? warning : Lines{});
    EXPECT_FALSE(c.running());
  }
}

TEST_F(SaveRecallTest, AutomaticNamesCountFromOneAndEveryFormatLoadsBack) {
  TSignalObj& ch1 = SignalObjs()[TTraceId::Ch1];
  for (int i = 0; i < ch1.GetRecLen(); ++i) ch1.SetY(i, 0.001 * (i % 37) - 0.01);
  ExecCommand("Save:Disk:NameMode Auto");
  ExecCommand("Save:Disk:FileName run");
  ExecCommand("Save:Disk:Save");
  ExecCommand("Save:Disk:FileFormat Verbose");
  ExecCommand("Save:Disk:Save");
  EXPECT_FALSE(fs::exists(DataFolders().WaveformFilesDir / "run_00001.wfm")) << "written inside the handler";
  ShellIdleStep();
  ExecCommand("Save:Disk:Save");
  ShellIdleStep();
  EXPECT_EQ(ExecCommand("Save:Disk:FileName?"), (DataFolders().WaveformFilesDir / "run_00002.txt").string());
  ExecCommand("Save:Disk:FileFormat YOnly");
  ExecCommand("Save:Disk:Save");
  ShellIdleStep();
  const fs::path dir = DataFolders().WaveformFilesDir;
  for (const char* name : {"run_00001.txt", "run_00002.txt", "run_00003.txty"})
    EXPECT_TRUE(fs::exists(dir / name)) << name;

  // Binary into M2 and verbose text into M3 give Ch1's points back.
  ExecCommand("Save:Disk:NameMode Manual");
  ExecCommand("Save:Disk:FileFormat Binary");
  ExecCommand("Save:Disk:FileName exact");
  ExecCommand("Save:Disk:Save");
  ShellIdleStep();
  ExecCommand("Save:Disk:ToMemo M2");
  ExecCommand("Save:Disk:Load");
  ShellIdleStep();
  ExecCommand("Save:Disk:FileName run_00001");
  ExecCommand("Save:Disk:FileFormat YOnly");  // cannot be loaded: verbose is
  ExecCommand("Save:Disk:ToMemo M3");
  ExecCommand("Save:Disk:Load");
  ShellIdleStep();
  EXPECT_EQ(ExecCommand("Save:Disk:FileFormat?"), "VERBOSE");
  for (TTraceId m : {TTraceId::M2, TTraceId::M3}) {
    EXPECT_TRUE(SignalsOn.IsOn(m));
    for (int i = 0; i < ch1.GetRecLen(); ++i)
      ASSERT_NEAR(SignalObjs()[m].GetStoredY(i), ch1.GetStoredY(i), 1e-9) << TraceIndex(m) << " point " << i;
  }
  EXPECT_TRUE(dialogs.shown.empty());
}

// A memory filled by a copy or loaded from a file (by command, binary or verbose, or by the
// user's dialog) is kept in its memory file and comes back at the next start.
TEST_F(SaveRecallTest, MemoriesSurviveARestartBitForBit) {
  std::string stored[kMemoryCount];
  struct Fill {
    const char* source;
    const char* how;  // "copy", a file format loaded by command, or "dialog"
  };
  const Fill fills[kMemoryCount] = {
      {"Ch1", "copy"}, {"Ch2", "Binary"}, {"Ch1", "Verbose"}, {"Ch2", "dialog"}};
  for (int m = 0; m < kMemoryCount; ++m) {
    const std::string memory = "M" + std::to_string(m + 1);
    SCOPED_TRACE(memory + " by " + fills[m].how);
    TSignalObj& source = SignalObjs()[m % 2 ? TTraceId::Ch2 : TTraceId::Ch1];
    for (int i = 0; i < source.GetRecLen(); ++i) source.SetY(i, (m + 1) * 0.0173 * std::sin(i * 0.01 + m));
    const std::string how = fills[m].how;
    if (how == "copy") {
      ExecCommand(std::string("Save:Memo:Source ") + fills[m].source + ";:Save:Memo:ToMemo " + memory +
                  ";:Save:Memo:Save");
    } else {
      const std::string format = how == "Verbose" ? "Verbose" : "Binary";
      ExecCommand(std::string("Save:Disk:Source ") + fills[m].source + ";:Save:Disk:FileFormat " + format +
                  ";:Save:Disk:FileName fill" + memory + ";:Save:Disk:Save");
      ShellIdleStep();
      ExecCommand("Save:Disk:ToMemo " + memory);
      if (how == "dialog") {
        const fs::path file = DataFolders().WaveformFilesDir / ("fill" + memory + ".wfm");
        dialogs.files.push_back(TFileChoice{file.string(), file.parent_path().string(), 0});
        DiskLoadByDialog();
      } else {
        ExecCommand("Save:Disk:Load");
      }
    }
    ShellIdleStep();
    const TTraceId trace = static_cast<TTraceId>(TraceIndex(TTraceId::M1) + m);
    EXPECT_NEAR(SignalObjs()[trace].GetStoredY(7), source.GetStoredY(7), 1e-9);
    stored[m] = BinaryOf(SignalObjs()[trace]);
    EXPECT_TRUE(FileBytes(MemoryFilePath(m)) == stored[m]);
  }
  dialogs.shown.clear();  // the dialog's title
  EXPECT_EQ(ExecCommand("Save:Memo:On?"), "M1,M2,M3,M4");
  // A damaged file, text or binary, loaded into a shown memory changes nothing.
  std::ofstream(DataFolders().WaveformFilesDir / "bad.txt") << "hello";
  std::ofstream(DataFolders().WaveformFilesDir / "bad.wfm") << stored[2].substr(0, 99);
  for (const std::string format : {"Verbose", "Binary"}) {
    const TDialogsSuppressed remote;
    EXPECT_THROW(ExecCommand("Save:Disk:FileName bad;:Save:Disk:ToMemo M3;:Save:Disk:FileFormat " + format +
                             ";:Save:Disk:Load"),
                 EAssertion);
    EXPECT_TRUE(SignalsOn.IsOn(TTraceId::M3) && BinaryOf(SignalObjs()[TTraceId::M3]) == stored[2]) << format;
    EXPECT_TRUE(FileBytes(MemoryFilePath(2)) == stored[2]) << format;
  }

  Restart();
  for (int m = 0; m < kMemoryCount; ++m) {
    const TTraceId trace = static_cast<TTraceId>(TraceIndex(TTraceId::M1) + m);
    EXPECT_TRUE(SignalsOn.IsOn(trace)) << "M" << m + 1;
    EXPECT_TRUE(BinaryOf(SignalObjs()[trace]) == stored[m]) << "M" << m + 1;
  }

  // A damaged memory file at the start leaves that memory off, quietly.
  { std::ofstream(MemoryFilePath(3), std::ios::binary | std::ios::trunc) << "garbage"; }
  Restart();
  EXPECT_FALSE(SignalsOn.IsOn(TTraceId::M4));
  EXPECT_TRUE(SignalsOn.IsOn(TTraceId::M3));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SaveRecallTest, CheckedMemoriesAreDrawnAgainWhenTheirContentsChange) {
  test::TBlockFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
  TSignalObj& ch1 = SignalObjs()[TTraceId::Ch1];
  // Ch1 flat at `level` divisions above the centre, copied into M1 and drawn.
  const auto rowOfM1 = [&](double level) {
    for (int i = 0; i < ch1.GetRecLen(); ++i) ch1.SetY(i, ch1.GetVertOffset() + level * ch1.GetVertScale());
    ExecCommand("Save:Memo:Save");
    ShellIdleStep();  // copies
    ShellIdleStep();  // draws
    const auto* layer = dynamic_cast<TParentSignalLayer*>(ScopeCRT->GetSignalLayer(TTraceId::M1));
    return layer ? layer->GetPointCell(10).second : -1;
  };
  const int centre = rowOfM1(0);
  ASSERT_GT(centre, 0) << "M1 was not drawn";
  const int higher = rowOfM1(2);
  EXPECT_LT(higher, centre) << "M1 was not drawn again with its new contents";
  EXPECT_EQ(rowOfM1(-2) - centre, centre - higher) << "not as far below the centre as above it";
  ExecCommand("Save:Memo:On ClearALL");
  ShellIdleStep();
  EXPECT_FALSE(ScopeCRT->HasSignalLayer(TTraceId::M1)) << "an unchecked memory stayed on the screen";
  ScopeCRT.reset();
}

// A client's save, load or memory copy in a cycle of many records (or one that never ends)
// is served once the record being read is whole: it answers within a record or two (some
// milliseconds on the clock, where the cycle takes seconds), the run and its cycle go on,
// what is written is the record shown, and a copied memory is drawn.
TEST_F(SaveRecallTest, AClientsFileWorkInALongCycleAnswersWithinARecord) {
  test::TBlockFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
  ExecCommand("Save:Disk:FileName ref;:Save:Disk:Save;:Save:Memo:Source Ch1;:Save:Memo:ToMemo M1");
  ShellIdleStep();
  const std::string ref = FileBytes(DataFolders().WaveformFilesDir / "ref.wfm");
  ASSERT_FALSE(ref.empty());
  const TSignalObj& ch1 = SignalObjs()[TTraceId::Ch1];
  struct Mode {
    const char* name;
    Lines setup;
    int recLen;               // set by the client's line, breaking the record being read
    bool dialogOpen = false;  // the user's file dialog is open meanwhile
  };
  const Mode modes[] = {
      {"average", {"Acq:Ch1:Mode AvgStab", "Acq:Ch1:NAvg 4096"}, 1024},
      {"envelope", {"Acq:Ch1:Mode EnvMinMax", "Acq:Ch1:NEnv 4096"}, 4096},
      {"endless envelope", {"Acq:Ch1:NEnv 8192"}, 2048},
      {"dual delay", {"TB:Mode B", "TB:DualDel On", "Acq:Ch1:Mode AvgStab"}, 512},
      {"under a file dialog", {}, 1024, true},
  };
  for (const Mode& m : modes) {
    SCOPED_TRACE(m.name);
    SaveState.FileDialogOpen = m.dialogOpen;
    for (const std::string& line : m.setup) ExecCommand(line);
    ExecCommand("*Run");
    for (int step = 0; step < 100 || !Acquiring; ++step) ShellIdleStep();
    const auto client = [&](const std::string& line) {
      const int64_t start = clock.NowMs();
      const TDialogsSuppressed remote;
      ASSERT_NO_THROW(ExecCommand(line));
      EXPECT_LT(clock.NowMs() - start, 100);
      EXPECT_TRUE(RunFlag && AcqCycleRunning);
    };
    client("Acq:Ch1:RecLen " + std::to_string(m.recLen) + ";:Save:Disk:FileName avg1;:Save:Disk:Save");
    EXPECT_TRUE(FileBytes(DataFolders().WaveformFilesDir / "avg1.wfm") == BinaryOf(ch1));
    SignalsOn.SetOn(TTraceId::M2, false);
    client("Save:Disk:FileName ref;:Save:Disk:ToMemo M2;:Save:Disk:Load");
    EXPECT_TRUE(SignalsOn.IsOn(TTraceId::M2) && BinaryOf(SignalObjs()[TTraceId::M2]) == ref);
    client("Save:Memo:Save");
    EXPECT_TRUE(FileBytes(MemoryFilePath(0)) == BinaryOf(ch1));
    EXPECT_TRUE(ScopeCRT->HasSignalLayer(TTraceId::M1));
    ExecCommand("*StopSingle Stop");
    ShellIdleStep();
  }
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front();
  ScopeCRT.reset();
}

TEST_F(SaveRecallTest, SavingAnAbsentTraceOrToAnUnwritablePlaceIsReported) {
  ExecCommand("Save:Disk:Source F1");
  ExecCommand("Save:Disk:FileName f1");
  ExecCommand("Save:Disk:Save");
  ShellIdleStep();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].find("Signal is absent"), std::string::npos);
  EXPECT_FALSE(fs::exists(DataFolders().WaveformFilesDir / "f1.wfm"));

  fs::create_directories(DataFolders().WaveformFilesDir / "taken.wfm");
  ExecCommand("Save:Disk:Source Ch1");
  ExecCommand("Save:Disk:FileName taken");
  ExecCommand("Save:Disk:Save");
  ShellIdleStep();
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_NE(dialogs.shown[1].find("Write Error to file"), std::string::npos);
}

// A remote client's request is served before its command answers, which answers its
// failure; what the program does later for it (a counted run's saves, the end of a
// recording) tells the log. Its failures go to the log too, and no box opens.
TEST_F(WholeProgramSetupTest, ARemoteClientsRequestsServedLaterTellTheLogNotABox) {
  const auto remote = [](const std::string& line) {
    const TDialogsSuppressed quiet;
    ExecCommand(line);
  };
  const fs::path waveforms = DataFolders().WaveformFilesDir;
  const fs::path acquisitions = DataFolders().AcqLimitFilesDir;
  const auto runUntilStopped = [this] {
    for (int step = 0; step < 200000 && RunFlag; ++step) {
      ShellIdleStep();
      clock.Advance(1);
    }
    ASSERT_FALSE(RunFlag);
  };
  struct Case {
    const char* name;
    std::function<void()> prepare;  // the files in the way
    Lines commands;                 // the client's
    std::function<void()> after;    // what the program does later by itself
    std::string logged;
  };
  // A source not shown or without a record of its own has nothing to copy: M2 keeps its
  // record, its switch and its file.
  const auto absent = [](const char* name, const std::string& line) {
    return Case{name, [] {}, {line}, {}, "[error] Signal is absent"};
  };
  const std::string toM2 = ";:Save:Memo:ToMemo M2;:Save:Memo:Save";
  const std::string toDb = ";:Save:Disk:FileType Db;:Save:Disk:FileName keep;:Save:Disk:Save";
  const Case cases[] = {
      {"absent source",
       [] {},
       {"Save:Disk:Source M3", "Save:Disk:FileName m3", "Save:Disk:Save"},
       {},
       "[error] Signal is absent"},
      absent("copy of a function off", "F3:Display Off;:Save:Memo:Source F3" + toM2),
      absent("copy of an empty memory", "Save:Memo:Source M3" + toM2),
      absent("copy of a channel off", "Ch2:Display Off;:Ch2:Acquire Off;:Save:Memo:Source Ch2" + toM2),
      absent("copy of a function before its first record",
             "F1:Display On;:F1:Operat Invert;:Save:Memo:Source F1" + toM2),
      {"folder in the file's place",
       [&] { fs::create_directories(waveforms / "taken.wfm"); },
       {"Save:Disk:Source Ch1", "Save:Disk:FileName taken", "Save:Disk:Save"},
       {},
       "[error] Write Error to file \"" + (waveforms / "taken.wfm").string() +
           "\": it cannot be written: Is a directory"},
      {"missing file",
       [] {},
       {"Save:Disk:FileName nothere", "Save:Disk:Load"},
       {},
       "[error] File \"" + (waveforms / "nothere.wfm").string() + "\" does not exist!"},
      {"damaged file",
       [&] { std::ofstream(waveforms / "bad.wfm") << "no waveform"; },
       {"Save:Disk:FileName bad", "Save:Disk:Load"},
       {},
       "[error] File \"" + (waveforms / "bad.wfm").string() + "\" damaged!"},
      {"memory file",
       [] { fs::create_directories(MemoryFilePath(0)); },
       {"Save:Memo:Source Ch1", "Save:Memo:ToMemo M1", "Save:Memo:Save"},
       {},
       "[error] Write Error to file \"" + MemoryFilePath(0).string() +
           "\": it cannot be written: Is a directory"},
      // The save was asked for by the client; the run it happens in is the program's.
      {"auto-save",
       [&] { fs::create_directories(acquisitions / "auto_00001_Ch1.wfm"); },
       {"Ch2:Display Off", "Acq:FileName auto", "Acq:RunUntil NAcq", "Acq:NAcq 1", "Acq:React Save"},
       [&] {
         ExecCommand("*Run");
         runUntilStopped();
       },
       "[error] Write Error to file \"" + (acquisitions / "auto_00001_Ch1.wfm").string() +
           "\": it cannot be written: Is a directory"},
      // A recording the client started ends with the acquisition, whoever stops it.
      {"recording",
       [] {},
       {"Save:Disk:FileType Db", "Save:Disk:FileName db", "Save:Disk:Save"},
       [&] {
         fs::create_directories(DataFolders().DatabaseDir / "db.cgs");
         ExecCommand("*Run");
         for (int step = 0; step < 200000 && ColorGradeDatabase.WaveformCount() < 1; ++step) ShellIdleStep();
         ExecCommand("*StopSingle Stop");
         runUntilStopped();
       },
       "[error] Write Error to file \"" + (DataFolders().DatabaseDir / "db.cgs").string() +
           "\": it cannot be written: Is a directory"},
      // Nor to record: nothing starts, the file of its name is not touched.
      absent("recording of a channel off", "Ch2:Display Off;:Ch2:Acquire Off;:Save:Disk:DbSource Ch2" + toDb),
      absent("recording of a function off", "F3:Display Off;:Save:Disk:DbSource F3" + toDb),
      absent("recording of a function before its first record",
             "F2:Display On;:F2:Operat Invert;:Save:Disk:DbSource F2" + toDb),
      absent("recording of an empty memory", "Save:Disk:DbSource M3" + toDb),
      absent("recording of a spectrum off", "Spectr1:Display Off;:Save:Disk:DbSource S1" + toDb),
  };
  remote("Save:Memo:Source Ch1;:Save:Memo:ToMemo M2;:Save:Memo:Save;:Save:Memo:On ClearALL");
  const std::string m2 = BinaryOf(SignalObjs()[TTraceId::M2]);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    DialogState.SuppressedLog.clear();
    std::string answer;
    for (const std::string& line : c.commands) {
      try {
        remote(line);
      } catch (const EAssertion& e) {
        answer += e.what();
      }
    }
    EXPECT_EQ(answer, c.after ? "" : c.logged.substr(std::string("[error] ").size()));
    if (c.after) {
      DialogState.SuppressedLog.clear();
      c.after();
    }
    ShellIdleStep();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front();
    EXPECT_EQ(DialogState.SuppressedLog, Lines{c.logged});
    EXPECT_TRUE(BinaryOf(SignalObjs()[TTraceId::M2]) == m2 && FileBytes(MemoryFilePath(1)) == m2);
    EXPECT_EQ(ExecCommand("Save:Memo:On?").find("M2"), std::string::npos);
    dialogs.shown.clear();
    ExecCommand("Save:Disk:FileType Wfm");
    ExecCommand("Acq:RunUntil StopBtn");
  }
}

TEST_F(SaveRecallTest, AShownDatabaseStaysWhileRecordingAndLeavesTheMaskTestsChoiceFree) {
  THandler* compare = RootSpider->FindHandler("Mask:CompareWith");
  if (!compare) compare = RootSpider->AddRadioSw(0, "Mask:CompareWith", "Ch1,Ch2");  // the mask test's node
  ExecCommand("Save:Disk:FileType Db");
  ExecCommand("Save:Disk:FileName cmp");
  ExecCommand("Save:Disk:Save");
  AccumulateDatabaseRecord();
  SaveDatabaseFile();
  ExecCommand("Save:Disk:Load");
  ColorGradeDatabase.SetStateFlag(0);  // as the eye measurement does once it restarted
  RestartDatabase();
  EXPECT_EQ(ColorGradeDatabase.StateFlag(), 1);

  // A recording keeps the shown database; once it ends the database goes.
  ExecCommand("Save:Disk:FileName next");
  ExecCommand("Save:Disk:Save");
  RemoveShownDatabase();
  EXPECT_TRUE(DisplaySettings().DataBaseExist.Exists) << "removed while recording";
  SaveDatabaseFile();
  RemoveShownDatabase();
  EXPECT_EQ(std::pair(DisplaySettings().DataBaseExist.Exists, compare->IsDisabled()),
            std::pair(false, false));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SaveRecallTest, UndoTakesAShownDatabaseAwayAndRedoBringsItBack) {
  ExecCommand("Save:Disk:FileType Db");
  ExecCommand("Save:Disk:FileName undone");
  ExecCommand("Save:Disk:Save");
  AccumulateDatabaseRecord();
  SaveDatabaseFile();
  ExecCommand("Save:Disk:Load");
  ASSERT_TRUE(DisplaySettings().DataBaseExist.Exists);
  ExecCommand("*Undo");
  EXPECT_FALSE(DisplaySettings().DataBaseExist.Exists);
  ExecCommand("*Undo Redo");
  EXPECT_TRUE(DisplaySettings().DataBaseExist.Exists);
  EXPECT_EQ(fs::path(DisplaySettings().DataBaseExist.Name).filename(), "undone.cgs");
  EXPECT_TRUE(dialogs.shown.empty());
}

// Columns from the first to the last pixel that differs from the strip's background.
int LitWidth(const TVerhText& top, TRect cell) {
  int first = -1, last = -1;
  for (int x = cell.Left; x < cell.Right; ++x)
    for (int y = cell.Top; y < std::min(cell.Bottom, top.Height()); ++y)
      if (top.Image().Pixel(x, y) != top.Color()) {
        if (first < 0) first = x;
        last = x;
      }
  return first < 0 ? 0 : last - first + 1;
}

struct TDbHit {
  int x, y;  // screen units
  uint32_t count;
};

// Writes a database of Ch1 with these counters as DatabaseDir/Name.cgs and loads it.
void LoadDatabaseOf(const std::string& name, std::initializer_list<TDbHit> hits) {
  std::vector<uint8_t> bytes(kCgsRecordSize, 0);
  const auto put32 = [&](std::size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); };
  bytes[kCgsStateFlag] = 1;
  bytes[kCgsSource] = 0;  // Ch1
  put32(kCgsWaveformCount, 3);
  for (const TDbHit& h : hits) put32(80 + 4 * (1023 * static_cast<std::size_t>(h.x) + h.y - 1), h.count);
  fs::create_directories(DataFolders().DatabaseDir);
  {
    std::ofstream(DataFolders().DatabaseDir / (name + ".cgs"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ExecCommand("Save:Disk:FileType Db");
  ExecCommand("Save:Disk:FileName " + name);
  ExecCommand("Save:Disk:Load");
}

const TDatabaseLayer* ShownDatabaseLayer() {
  return dynamic_cast<const TDatabaseLayer*>(ScopeCRT->GetSignalLayer(TTraceId::DB));
}

// X 0..4000 across columns 0..MaxX, Y 0..1024 from row MaxY up to row 0.
int DbColumn(const TDatabaseLayer& layer, int x) {
  return static_cast<int>(std::lround(x * layer.MaxX() / 4000.0));
}
int DbRow(const TDatabaseLayer& layer, int y) {
  return static_cast<int>(std::lround((1024 - y) * layer.MaxY() / 1024.0));
}

// What the screen shows at the database's screen position (X, Y).
uint32_t ShownDatabasePixel(int x, int y) {
  const TDatabaseLayer* layer = ShownDatabaseLayer();
  if (layer == nullptr) return 0xDEAD;
  const TSignalScreen& screen = *layer->GetScreen();
  return screen.Image().Pixel(screen.PlotLeft() + DbColumn(*layer, x), DbRow(*layer, y));
}

TEST_F(SaveRecallTest, ALoadedDatabaseIsDrawnAndDescribedUntilItIsRemoved) {
  test::TBlockFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
  ConnectTopText();
  // Hits at the left bottom (1), the middle (3) and the right top (2).
  LoadDatabaseOf("hits", {{0, 1, 1}, {2000, 512, 3}, {4000, 1023, 2}});
  ASSERT_TRUE(SaveState.DatabaseShown);
  const auto* layer = ShownDatabaseLayer();
  ASSERT_NE(layer, nullptr) << "the database was not drawn";
  // In grey scale of white by default: a top of 3 puts 1 in grade 3 (lightness 140 of
  // 240), 2 in grade 4 (195) and 3 in grade 5 (230).
  const int w = layer->MaxX(), h = layer->MaxY();
  const struct {
    int x, y;
    uint32_t hits, rgb;
  } cells[] = {
      {0, static_cast<int>(std::lround(1023.0 * h / 1024)), 1, 0x959595},
      {static_cast<int>(std::lround(w / 2.0)), static_cast<int>(std::lround(512.0 * h / 1024)), 3, 0xF4F4F4},
      {w, static_cast<int>(std::lround(1.0 * h / 1024)), 2, 0xCFCFCF}};
  int present = 0;
  for (int x = 0; x <= w; ++x)
    for (int y = 0; y <= h; ++y) present += layer->CellPresent(x, y);
  EXPECT_EQ(present, 3);
  for (const auto& c : cells) {
    EXPECT_TRUE(layer->CellPresent(c.x, c.y)) << c.x << "," << c.y;
    EXPECT_EQ(layer->PixelHits(c.x, c.y), c.hits) << c.x << "," << c.y;
    EXPECT_EQ(layer->PixelColor(c.x, c.y) & 0xFFFFFF, c.rgb) << c.x << "," << c.y;
  }
  // The channel cell shows "Database Ch1" instead: 12 characters of the block font.
  TVerhText& top = ScopeCRT->TopText();
  EXPECT_EQ(LitWidth(top, TVerhText::GetTopTextCellRect(0, 1)), 12 * test::TBlockFont::kAdvance - 1);
  // Its vertical scale "0 div" stays where the style is shown otherwise, also through a
  // colour change that redraws the style.
  EXPECT_EQ(LitWidth(top, TVerhText::GetTopTextCellRect(2, 1)), 5 * test::TBlockFont::kAdvance - 1);
  ExecCommand("Displ:Color:Ch1 255");
  EXPECT_EQ(LitWidth(top, TVerhText::GetTopTextCellRect(2, 1)), 5 * test::TBlockFont::kAdvance - 1);

  RemoveShownDatabase();
  EXPECT_FALSE(ScopeCRT->HasSignalLayer(TTraceId::DB)) << "the database stayed on the screen";

  // A recording counts its waveforms in the strip: "Waveforms: 0".
  ExecCommand("Save:Disk:FileName rec");
  ExecCommand("Save:Disk:Save");
  ASSERT_TRUE(SaveState.DatabaseRecording);
  EXPECT_EQ(LitWidth(top, TVerhText::GetTopTextCellRect(TVerhText::kWideColumn, 2)),
            12 * test::TBlockFont::kAdvance - 1);
  ScopeCRT.reset();
}

TEST_F(SaveRecallTest, AShownDatabaseTakesItsStyleAndIsRedrawnAfterColourAndFormatChanges) {
  test::TBlockFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
  // A top count of 16 halves down to 8, 4, 2 and 1: one cell in each grade 1..5.
  const std::array<int, 5> xs = {500, 1000, 1500, 2000, 2500};
  LoadDatabaseOf("grades",
                 {{xs[0], 300, 1}, {xs[1], 300, 2}, {xs[2], 300, 4}, {xs[3], 300, 8}, {xs[4], 300, 16}});
  ASSERT_NE(ShownDatabaseLayer(), nullptr);
  const auto shown = [&] {
    std::array<uint32_t, 5> pixels{};
    for (size_t g = 0; g < 5; ++g) pixels[g] = ShownDatabasePixel(xs[g], 300);
    return pixels;
  };
  using Row = std::array<uint32_t, 5>;
  // Database colour white: persistence shows 255 / 1.4; grey scale the lightnesses 60, 90,
  // 140, 195, 230 of 240; colour grade the default grade colours 1..5.
  const struct {
    const char* style;
    Row pixels;
  } styles[] = {
      {"InfinPers", {0xB6B6B6, 0xB6B6B6, 0xB6B6B6, 0xB6B6B6, 0xB6B6B6}},
      {"InfGrayScal", {0x404040, 0x606060, 0x959595, 0xCFCFCF, 0xF4F4F4}},
      {"IColorGrad", {0x00AE00, 0xFF3131, 0x4A4AFF, 0x00CCFF, 0xFFFFFF}},
  };
  for (const auto& row : styles) {
    ExecCommand(std::string("Displ:DBStyle ") + row.style);
    EXPECT_EQ(shown(), row.pixels) << row.style;
  }

  // "Displ:GradeClr1" is grade 5; the other grades keep their colours.
  ExecCommand("Displ:GradeClr1 255");
  EXPECT_EQ(shown(), (Row{0x00AE00, 0xFF3131, 0x4A4AFF, 0x00CCFF, 0x0000FF}));
  // Two screens put the database on its screen of that format (screen 2), at its size.
  ExecCommand("Displ:Format 2YT");
  ASSERT_NE(ShownDatabaseLayer(), nullptr) << "gone with the format change";
  EXPECT_EQ(ShownDatabaseLayer()->GetScreen(), ScopeCRT->Screen(2));
  EXPECT_EQ(shown(), (Row{0x00AE00, 0xFF3131, 0x4A4AFF, 0x00CCFF, 0x0000FF}));
  ExecCommand("Displ:Format YT");
  EXPECT_EQ(shown(), (Row{0x00AE00, 0xFF3131, 0x4A4AFF, 0x00CCFF, 0x0000FF}));

  // The database colour: red persists as 255 / 1.4 of red; the default colours bring
  // white back, and a new screen colour leaves the database as it is.
  ExecCommand("Displ:DBStyle InfinPers");
  ExecCommand("Displ:Color:Database 255");
  EXPECT_EQ(shown()[0], 0x0000B6u);
  ExecCommand("Displ:DefaultClr:All");
  EXPECT_EQ(shown()[0], 0xB6B6B6u);
  ExecCommand("Displ:Color:Screen 4210752");
  EXPECT_EQ(shown(), (Row{0xB6B6B6, 0xB6B6B6, 0xB6B6B6, 0xB6B6B6, 0xB6B6B6}));
  ExecCommand("Displ:DBStyle InfGrayScal");
  EXPECT_EQ(shown()[4], 0xF4F4F4u);
  ScopeCRT.reset();
}

// Before the start sets the folders (as in a unit that copies a trace into a memory on its
// own), a memory file still lies in the program folder, never in the working folder.
TEST(MemoryFileTest, AMemoryFileIsInTheProgramFolderBeforeTheFoldersAreSet) {
  ProgramFolders = {};
  EXPECT_EQ(MemoryFilePath(0), ProgramDir() / "~memzona.no1");
  EXPECT_EQ(MemoryFilePath(3).parent_path(), ProgramDir());
}

TEST(ColorGradeDatabaseTest, CountsEachPointAtItsScreenCell) {
  TSignalObj record;
  record.SetRecLen(4);
  record.SetVertOffset(0);
  record.SetVertScale(0.1);                             // per division: 128 screen units
  const double values[] = {0, 0.1, std::nan(""), 1.0};  // centre, one division up, no number, off the top
  for (int i = 0; i < 4; ++i) record.SetY(i, values[i]);
  TColorGradeDatabase db;
  db.Start(TTraceId::Ch2);
  db.Accumulate(record);
  db.Accumulate(record);
  EXPECT_EQ(db.WaveformCount(), 2u);
  EXPECT_EQ(db.Source(), TTraceId::Ch2);
  EXPECT_EQ(db.Hits(0, 512), 2u);
  EXPECT_EQ(db.Hits(1024, 640), 2u);  // point 1 of 0..3 over 10.24 divisions
  uint64_t total = 0;
  for (int x = 0; x < kCgsColumns; ++x)
    for (int y = 1; y <= kCgsRows; ++y) total += db.Hits(x, y);
  EXPECT_EQ(total, 4u) << "the point that is no number or off the screen was counted";
}

// Shown, a recorded database has each peak in the column where the trace draws it, at
// every record length, zoom and place of the zoomed window; what the trace does not show
// (before or after the window, beyond the right edge) is not counted.
TEST(ColorGradeDatabaseTest, EachPeakLiesInTheColumnOfItsTrace) {
  const struct {
    int recLen, zoomStep, firstShown;
  } cases[] = {{512, 1, 0}, {4096, 1, 0}, {1000, 1, 0}, {2048, 4, 300}, {100, 2, 37}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.recLen) + " points, zoom " + std::to_string(c.zoomStep));
    TSignalObj record;
    record.SetRecLen(static_cast<uint16_t>(c.recLen));
    record.SetVertScale(0.1);
    record.SetZoomStep(c.zoomStep);
    record.SetFirstShown(static_cast<uint16_t>(c.firstShown));
    // Two divisions up at every 25th shown point, at the last one and outside the window.
    const int shown = record.GetShownCount(), period = std::max(shown / 25, 2);
    for (int i = 0; i < c.recLen; ++i) {
      const int k = i - c.firstShown;
      record.SetY(i, k < 0 || k >= shown - 1 || k % period == 0 ? 0.2 : 0.0);
    }
    TColorGradeDatabase db;
    db.Start(TTraceId::Ch1);
    db.Accumulate(record);

    test::TTraceFixture<TSimpleSignalLayer> trace(1001);
    DrawSignal(trace.layer, record);
    TDatabaseLayer database("DB", 1001, 41, kWindowedLayerB);
    test::Attach(database, trace.screen, 0xFFFFFFFF);
    database.DrawDatabase([&](int x, int y) { return db.Hits(x, y); });
    // The peaks' columns: rows above the centre row (20) hold nothing else.
    std::vector<int> traced, recorded;
    for (int k = 0; k < trace.layer.PointCount(); ++k) {
      const auto [column, row] = trace.layer.GetPointCell(k);
      if (row != 0 && row < 15) traced.push_back(column);
    }
    for (int x = 0; x <= database.MaxX(); ++x)
      for (int y = 0; y < 15; ++y)
        if (database.PixelHits(x, y) > 0) recorded.push_back(x);
    ASSERT_EQ(recorded.size(), traced.size());
    for (size_t n = 0; n < traced.size(); ++n)
      EXPECT_LE(std::abs(recorded[n] - traced[n]), 1) << "peak " << n;
  }
}

TEST_F(SaveRecallTest, DatabaseRecordedSavedAndShownInAFreshProgram) {
  // A database shown before leaves header texts that a new recording must not keep.
  TColorGradeDatabase old;
  old.Start(TTraceId::Ch1);
  std::vector<uint8_t> junk = old.Bytes();
  junk[kCgsUnit1] = 2, junk[kCgsUnit1 + 1] = 'm', junk[kCgsUnit1 + 2] = 'V';
  fs::create_directories(DataFolders().DatabaseDir);
  {
    std::ofstream(DataFolders().DatabaseDir / "old.cgs", std::ios::binary)
        .write(reinterpret_cast<const char*>(junk.data()), static_cast<std::streamsize>(junk.size()));
  }
  ExecCommand("Save:Disk:FileType Db");
  ExecCommand("Save:Disk:FileName old");
  ExecCommand("Save:Disk:Load");
  ASSERT_EQ(ColorGradeDatabase.Unit1(), "mV");

  ExecCommand("Save:Disk:DbSource Ch1");
  ExecCommand("Save:Disk:FileName eye");
  ExecCommand("Save:Disk:Save");
  ASSERT_TRUE(SaveState.DatabaseRecording);
  EXPECT_EQ(ColorGradeDatabase.Unit1(), "") << "the new record kept an old header";
  // Made while stopped, the recording waits for the run it is for.
  ShellIdleStep();
  ASSERT_TRUE(SaveState.DatabaseRecording);
  ExecCommand("*Run");
  for (int step = 0; step < 200000 && ColorGradeDatabase.WaveformCount() < 50; ++step) {
    ShellIdleStep();
    clock.Advance(1);
  }
  ExecCommand("*StopSingle Stop");
  ASSERT_EQ(ColorGradeDatabase.WaveformCount(), 50u);
  uint64_t hits = 0;
  for (int x = 0; x < kCgsColumns; ++x)
    for (int y = 1; y <= kCgsRows; ++y) hits += ColorGradeDatabase.Hits(x, y);
  EXPECT_GT(hits, 50u * 100) << "the simulated trace left few hits on the screen";
  // Showing another database saves the recording first, under its own name.
  ExecCommand("Save:Disk:FileName old");
  ExecCommand("Save:Disk:Load");
  EXPECT_EQ(ColorGradeDatabase.Unit1(), "mV") << "the recording went to the file about to be shown";
  const fs::path file = DataFolders().DatabaseDir / "eye.cgs";
  const std::string saved = FileBytes(file);
  ASSERT_EQ(saved.size(), kCgsRecordSize);

  Restart();
  ExecCommand("Save:Disk:FileType Db");
  ExecCommand("Save:Disk:FileName eye");
  ExecCommand("Save:Disk:Load");
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), ColorGradeDatabase.Bytes().begin(),
                         ColorGradeDatabase.Bytes().end(),
                         [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
  EXPECT_EQ(DisplaySettings().DataBaseExist.GetNameText(), file.string());
  EXPECT_TRUE(dialogs.shown.empty());

  // Damaged files are refused and change nothing.
  const auto damaged = [&](const char* what, auto&& spoil) {
    std::string bytes = saved;
    spoil(bytes);
    { std::ofstream(DataFolders().DatabaseDir / "bad.cgs", std::ios::binary | std::ios::trunc) << bytes; }
    dialogs.shown.clear();
    ExecCommand("Save:Disk:FileName bad");
    ExecCommand("Save:Disk:Load");
    ASSERT_EQ(dialogs.shown.size(), 1u) << what;
    EXPECT_NE(dialogs.shown[0].find("Database File is Damaged"), std::string::npos) << what;
    EXPECT_EQ(ColorGradeDatabase.Bytes().size(), kCgsRecordSize) << what;
    EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + 4096, ColorGradeDatabase.Bytes().begin(),
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
        << what;
  };
  damaged("one byte short", [](std::string& b) { b.pop_back(); });
  damaged("one byte long", [](std::string& b) { b.push_back('\0'); });
  damaged("source id 14", [](std::string& b) { b[kCgsSource] = 14; });
  damaged("first unit text of 18", [](std::string& b) { b[kCgsUnit1] = 18; });
  damaged("second unit text of 20", [](std::string& b) { b[kCgsUnit2] = 20; });
}

// A recording ends with the acquisition: a Stop, the end of a counted run and the close of
// the program each write the file with every waveform accumulated. A source that goes, or
// records on another axis, end it first and say why. Its hits lie on the trace of each
// record, and its axis is theirs, whatever the screen showed when it was asked for.
TEST_F(SaveRecallTest, ARecordingIsSavedWhenTheAcquisitionStops) {
  struct Case {
    const char* name;
    bool counted;
    std::function<void()> stop;
    bool fullFirst = false;  // a Stop on a full disk before: the recording waits for room
    std::string told = "";   // the recording ends before the run's count, for this reason
  };
  const Case cases[] = {
      {"stop", false, [] { ExecCommand("*StopSingle Stop"); }},
      {"counted", true, [] {}},
      {"full-stop", false, [] { ExecCommand("*StopSingle Stop"); }, true},
      {"gone", true, [] { ExecCommand("Ch1:Display Off;:Ch1:Acquire Off"); }, false,
       "[warning] Database of Ch1 ends: Signal is absent"},
      {"rescaled", true, [] { ExecCommand("Ch1:Scale 0.05"); }, false,
       "[warning] Database of Ch1 ends: its vertical scale or offset changed"},
      {"close", false, [] { ASSERT_TRUE(CloseQuery()); }, true},
  };
  // The record on the screen is of another axis than the one set since.
  ExecCommand("Ch1:Scale 0.05;:Ch1:Offset 0.1;:*StopSingle Single");
  for (int step = 0; step < 200000 && SingleFlag; ++step) ShellIdleStep();
  ExecCommand("Ch1:Scale 0.2;:Ch1:Offset 0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = DataFolders().DatabaseDir / (std::string(c.name) + ".cgs");
    ExecCommand(c.counted ? "Acq:RunUntil NAcq" : "Acq:RunUntil StopBtn");
    ExecCommand("Acq:NAcq 6");
    ExecCommand("Save:Disk:FileType Db");
    ExecCommand("Save:Disk:DbSource Ch1");
    ExecCommand("Save:Disk:FileName " + std::string(c.name));
    ExecCommand("Save:Disk:Save");
    ASSERT_TRUE(SaveState.DatabaseRecording);
    ExecCommand("*Run");
    for (int step = 0; step < 200000 && ColorGradeDatabase.WaveformCount() < 3; ++step) {
      ShellIdleStep();
      clock.Advance(1);
    }
    ASSERT_GE(ColorGradeDatabase.WaveformCount(), 3u);
    if (c.fullFirst) {
      const TDiskRoomForTests full(64);
      ExecCommand("*StopSingle Stop");
    }
    c.stop();
    for (int step = 0; step < 200000 && RunFlag; ++step) {
      ShellIdleStep();
      clock.Advance(1);
    }
    ASSERT_FALSE(RunFlag);
    if (!ClosingFlag) ShellIdleStep();
    EXPECT_FALSE(SaveState.DatabaseRecording);
    const std::string saved = FileBytes(file);
    ASSERT_EQ(saved.size(), kCgsRecordSize);
    uint32_t count = 0;
    std::memcpy(&count, saved.data() + 76, sizeof count);
    EXPECT_EQ(count, ColorGradeDatabase.WaveformCount());
    EXPECT_TRUE(!c.counted || (count == 6) == c.told.empty()) << count;
    EXPECT_DOUBLE_EQ(ColorGradeDatabase.HeaderValue(kCgsVert2), 0.2);
    EXPECT_EQ(ColorGradeDatabase.HeaderValue(kCgsVert1), 0.0);
    // Every point of the last record counted where its trace passed (128 rows a division).
    const TSignalObj& last = SignalObjs()[TTraceId::Ch1];
    ASSERT_EQ(last.GetRecLen(), 512);  // a point each 8 columns
    int missed = 0;
    for (int k = 0; k < 500 && c.told.empty(); ++k) {
      const double y = std::round(last.GetY(k) / 0.2 * 128 + 512);
      missed += y >= 1 && y <= kCgsRows && ColorGradeDatabase.Hits(k * 8, static_cast<int>(y)) == 0;
    }
    EXPECT_EQ(missed, 0);
    EXPECT_TRUE(c.told.empty() || dialogs.shown == Lines{c.told}) << dialogs.shown.size();
    dialogs.shown.clear();
    ExecCommand("Ch1:Display On;:Ch1:Scale 0.2");
  }
}

// A recording that has taken no waveform writes nothing, whatever ends it: the file of its
// name keeps what it holds, and the log says that nothing was recorded.
TEST_F(SaveRecallTest, ARecordingThatTookNothingLeavesItsFileAsItWas) {
  const fs::path file = DataFolders().DatabaseDir / "d1.cgs";
  fs::create_directories(file.parent_path());
  for (const std::string end : {"Save:Disk:FileName d2;:Save:Disk:Save", "Save:Disk:Load", "close"}) {
    SCOPED_TRACE(end);
    std::ofstream(file) << "whole";
    ExecCommand("Save:Disk:FileType Db;:Save:Disk:DbSource Ch1;:Save:Disk:FileName d1;:Save:Disk:Save");
    DialogState.SuppressedLog.clear();
    if (end == "close") {
      ASSERT_TRUE(CloseQuery());
    } else {
      ExecCommand(end);
    }
    EXPECT_TRUE(FileBytes(file) == "whole");
    EXPECT_EQ(DialogState.SuppressedLog, Lines{"[warning] Database of Ch1: nothing was recorded, \"" +
                                               file.string() + "\" is not written"});
  }
}

}  // namespace
}  // namespace norv
