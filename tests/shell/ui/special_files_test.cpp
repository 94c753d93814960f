// A FIFO where the program reads a file: opening it waits for a writer, for good, so the
// program would hang at its start or at a load. Each kind is refused without waiting: the
// start goes on, each load ends with its own error, and the program works on. A link where
// the program writes a file is never followed: what it points to stays as it was.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "framework/util/program_dir.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/instrument_lock.h"
#include "shell/help_bridge.h"
#include "shell/remote/remote_control.h"
#include "shell/save/color_grade_database.h"
#include "shell/save/save_recall.h"
#include "shell/ui/help_set.h"
#include "shell/ui/program_fixture.h"
#include "tdr_mask/mask_object.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

class SpecialFilesTest : public test::ProgramFixture {
 protected:
  // A blocked open never returns: the alarm ends the run long before ctest would.
  void SetUp() override {
    ProgramFixture::SetUp();
    alarm(600);
  }
  void TearDown() override {
    alarm(0);
    ProgramFixture::TearDown();
    std::error_code ignored;
    fs::remove(UserConfigDir() / "Locales.ini", ignored);
  }
  static void Fifo(const fs::path& file) {
    fs::create_directories(file.parent_path());
    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0) << file;
  }
  static void Link(const fs::path& file, const fs::path& to) {
    fs::create_directories(file.parent_path());
    fs::remove(file);
    fs::create_symlink(to, file);
  }
  bool Shown(const std::string& text) const {
    return std::find(dialogs_.shown.begin(), dialogs_.shown.end(), text) != dialogs_.shown.end();
  }
};

TEST_F(SpecialFilesTest, AFifoInPlaceOfEveryFileTheProgramReadsIsRefusedWithoutWaiting) {
  // Read at the start and the deferred start.
  for (const char* file :
       {"Configuration.ini", "DemoUnits.ini", "CalibrImit.ini", "Language-Quel.Eng", "~memzona.no1",
        "Setup Files/~SetpDefaultForDefault_Demo.set", "Setup Files/~SetpPwrOffForDefault_Demo.set",
        "Setup Files/~PatternLentgth.lst", "Masks/Standard/StandardMasks.ini",
        "Masks/Standard/Bad/Standard.ini", "Masks/Standard/Bad/fifo.msk"})
    Fifo(home_ / file);
  Fifo(UserConfigDir() / "Locales.ini");
  // Read by a command.
  for (const char* file :
       {"Database/fifo.cgs", "Waveforms/Waveform Files/fifo.wfm", "Waveforms/Waveform Files/fifo.txt",
        "Setup Files/fifo.set", "Masks/User/fifo.pcm", "Help/contexts.map"})
    Fifo(home_ / file);
  std::ofstream(home_ / "Help" / "index.html") << "<html></html>";

  Start();
  EXPECT_TRUE(Shown("[information] Cannot read the file \"" + (home_ / "DemoUnits.ini").string() +
                    "\": it is not a regular file"));

  dialogs_.shown.clear();
  ExecCommand("Save:Disk:FileType Db");
  ExecCommand("Save:Disk:FileName fifo");
  ExecCommand("Save:Disk:Load");
  EXPECT_TRUE(Shown("[error] Database File is Damaged"));

  ExecCommand("*StopSingle Stop");  // a load waits for the stopped idle step
  ExecCommand("Save:Disk:FileType Wfm");
  ExecCommand("Save:Disk:FileName fifo");
  for (const char* format : {"Binary", "Verbose"}) {
    dialogs_.shown.clear();
    ExecCommand(std::string("Save:Disk:FileFormat ") + format);
    ExecCommand("Save:Disk:Load");
    for (int i = 0; i < 5; ++i) window().IdleStep();
    ASSERT_EQ(dialogs_.shown.size(), 1u) << format;
    EXPECT_NE(dialogs_.shown[0].find("fifo."), std::string::npos) << dialogs_.shown[0];
  }

  ExecCommand("Save:Setup:FileName fifo");
  EXPECT_THROW(ExecCommand("Save:Setup:Recall"), EAssertion);

  const TMask_Obj* mask = MaskObj.get();
  ExecCommand("Mask:MaskFile fifo");
  ExecCommand("Mask:LoadUser");
  EXPECT_EQ(MaskObj.get(), mask);

  dialogs_.shown.clear();
  ExecCommand("FLASH:Calibr:RecallAll");
  EXPECT_TRUE(Shown("[error] Cannot read the file \"" + (home_ / "CalibrImit.ini").string() +
                    "\": it is not a regular file"));

  ShellHooks.OpenHelp(1706);
  EXPECT_TRUE(Shown("[error] Unable to show help for context 1706"));

  // Nothing waits, and the FIFOs the program only reads are left as they were.
  ExecCommand("Header Off");
  EXPECT_EQ(ExecCommand("TB:ScaleA 20N;:TB:ScaleA?"), "20 ns/div");
  EXPECT_TRUE(fs::is_fifo(home_ / "Database" / "fifo.cgs"));
  EXPECT_TRUE(fs::is_fifo(home_ / "Masks" / "Standard" / "Bad" / "fifo.msk"));
}

TEST_F(SpecialFilesTest, ALinkInPlaceOfAFileTheProgramWritesIsNeverFollowed) {
  const fs::path outside = test::MakeTempDir("outside");
  const fs::path victim = outside / "victim", absent = outside / "absent";
  std::ofstream(victim) << "keep";
  const fs::path db = home_ / "Database";
  const std::string pid = std::to_string(getpid());
  // db1 through links to a file, db2 through dangling ones: the writer's temporary file and
  // the old space check's file; db3 itself is a link, which the name's check refuses.
  for (const auto& [name, to] : {std::pair<std::string, fs::path>{"db1", victim}, {"db2", absent}})
    for (const std::string& file : {"." + name + ".cgs." + pid + ".tmp", "." + name + ".cgs.space"})
      Link(db / file, to);
  Link(db / "db3.cgs", victim);
  const fs::path lock = UserRuntimeDir() / (InstrumentMutexName("Default Demo") + ".lock");
  Link(lock, absent);
  Link(home_ / "Help" / "index.html", victim);

  Start();
  // Another copy could drive the instrument without its lock: it is refused.
  EXPECT_TRUE(
      Shown("[error] The instrument Default Demo is not used: it cannot be locked against another copy "
            "of the program (" +
            lock.string() + ": it is a link)"));
  dialogs_.shown.clear();
  SignalObjs()[TTraceId::Ch1].SetRecLen(kDefaultRecLen);  // acquired: there is something to record
  ExecCommand("Save:Disk:FileType Db");
  for (const char* name : {"db1", "db2"}) {
    ExecCommand(std::string("Save:Disk:FileName ") + name);
    ExecCommand("Save:Disk:Save");
    ASSERT_TRUE(SaveState.DatabaseRecording) << name;
    AccumulateDatabaseRecord();
    SaveDatabaseFile();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(db / (std::string(name) + ".cgs")))) << name;
  }
  ExecCommand("Save:Disk:FileName db3");
  EXPECT_THROW(ExecCommand("Save:Disk:Save"), EAssertion);
  EXPECT_FALSE(SaveState.DatabaseRecording);
  EXPECT_TRUE(WriteHelpSet(home_ / "Help", {&window()}));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(home_ / "Help" / "index.html")));
  EXPECT_EQ(ReadRegularFile(victim).Bytes, "keep");
  EXPECT_FALSE(fs::exists(fs::symlink_status(absent)));
  EXPECT_TRUE(dialogs_.shown.empty()) << dialogs_.shown.front();

  // A record the user made read-only is not replaced, and the recording does not start.
  fs::permissions(db / "db1.cgs", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  ExecCommand("Save:Disk:FileName db1");
  ExecCommand("Save:Disk:Save");
  EXPECT_FALSE(SaveState.DatabaseRecording);
  EXPECT_TRUE(
      Shown("[error] Write Error to file \"" + (db / "db1.cgs").string() + "\": the file is read-only"));
  EXPECT_EQ(fs::status(db / "db1.cgs").permissions(),
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::remove(lock);
}

}  // namespace
}  // namespace norv
