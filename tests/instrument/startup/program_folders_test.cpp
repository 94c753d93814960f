#include "instrument/startup/program_folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/settings/program_objects.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

class ProgramFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshProgramState(); }
  void TearDown() override { FreshProgramState(); }
};

TEST_F(ProgramFoldersTest, DataFoldersAreMadeAtStartButNeverThroughALinkLeadingOut) {
  namespace fs = std::filesystem;
  const std::string saved = std::getenv("VEXILOR_NORV_HOME");
  const TDataFolders before = ProgramFolders;
  const fs::path home = MakeTempDir("folders"), outside = MakeTempDir("outside");
  // Masks leads to another folder of the program, Waveforms out of it, Database to a
  // missing folder outside.
  fs::create_directories(home / "elsewhere");
  fs::create_directory_symlink(home / "elsewhere", home / "Masks");
  fs::create_directory_symlink(outside, home / "Waveforms");
  fs::create_directory_symlink(outside / "db", home / "Database");
  setenv("VEXILOR_NORV_HOME", home.c_str(), 1);
  InitDataFolders();
  setenv("VEXILOR_NORV_HOME", saved.c_str(), 1);

  for (const char* made : {"Setup Files", "elsewhere/Standard", "elsewhere/User"})
    EXPECT_TRUE(fs::is_directory(home / made)) << made;
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_TRUE(fs::is_symlink(home / "Database"));

  // A fresh program folder gets every folder its files and dialogs go to.
  setenv("VEXILOR_NORV_HOME", (home / "fresh").c_str(), 1);
  InitDataFolders();
  setenv("VEXILOR_NORV_HOME", saved.c_str(), 1);
  const TDataFolders& f = DataFolders();
  for (const fs::path* folder :
       {&f.SetupFilesDir, &f.MaskStandardDir, &f.MaskUserDir, &f.AcqLimitFilesDir, &f.WaveformFilesDir,
        &f.LimitTestFilesDir, &f.MaskTestFilesDir, &f.DatabaseDir})
    EXPECT_TRUE(fs::is_directory(*folder)) << *folder;
  ProgramFolders = before;
}

}  // namespace
}  // namespace norv::test
