#include "framework/util/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support/temp_home.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

// A blocked open never returns: the alarm ends the run long before ctest would.
class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override { alarm(60); }
  void TearDown() override { alarm(0); }
  fs::path dir_ = test::MakeTempDir("file-io");
};

// Whatever stands in a file's place, the reader answers at once: the bytes of a regular
// file (through a link as well), else a refusal that says why.
TEST_F(FileIoTest, OnlyARegularFileIsReadAndNothingElseIsOpenedOrWaitedFor) {
  const std::string bytes("line\r\n\0\xFF\xFE end", 14);
  std::ofstream(dir_ / "file", std::ios::binary) << bytes;
  std::ofstream(dir_ / "empty", std::ios::binary);
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);
  fs::create_directory(dir_ / "folder");
  fs::create_symlink(dir_ / "file", dir_ / "link");
  fs::create_symlink(dir_ / "fifo", dir_ / "link-to-fifo");
  fs::create_symlink(dir_ / "gone", dir_ / "dangling");
  using enum TFileReadError;
  const struct {
    fs::path path;
    TFileReadError error;
    std::string bytes;
  } cases[] = {
      {dir_ / "file", None, bytes},
      {dir_ / "empty", None, ""},
      {dir_ / "link", None, bytes},
      {dir_ / "absent", Absent, ""},
      {dir_ / "dangling", Absent, ""},
      {dir_ / "file" / "below", Absent, ""},
      {"", Absent, ""},
      {dir_ / "fifo", NotRegular, ""},
      {dir_ / "link-to-fifo", NotRegular, ""},
      {dir_ / "folder", NotRegular, ""},
      {"/dev/zero", NotRegular, ""},
      {"/dev/null", NotRegular, ""},
  };
  for (const auto& c : cases) {
    const TFileRead read = ReadRegularFile(c.path);
    EXPECT_EQ(read.Error, c.error) << c.path;
    EXPECT_EQ(read.Bytes, c.bytes) << c.path;
    EXPECT_EQ(read.Why.empty(), c.error == None) << c.path << ": " << read.Why;
  }
  EXPECT_EQ(ReadRegularFile(dir_ / "fifo").Why, "it is not a regular file");
  // The limit is the largest size read.
  EXPECT_EQ(ReadRegularFile(dir_ / "file", bytes.size()).Bytes, bytes);
  const TFileRead large = ReadRegularFile(dir_ / "file", bytes.size() - 1);
  EXPECT_EQ(large.Error, TooLarge);
  EXPECT_TRUE(large.Bytes.empty());
}

TEST_F(FileIoTest, AWriteReplacesWhatStandsInTheTargetsPlaceWithoutOpeningIt) {
  const fs::path target = dir_ / "target";
  ASSERT_EQ(mkfifo(target.c_str(), 0644), 0);
  ASSERT_TRUE(WriteFileAtomically(target, "new\n"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
  EXPECT_EQ(ReadRegularFile(target).Bytes, "new\n");
  // The folder is made only when asked for.
  EXPECT_FALSE(WriteFileAtomically(dir_ / "sub" / "a", "x", false));
  EXPECT_FALSE(fs::exists(dir_ / "sub"));
  EXPECT_TRUE(WriteFileAtomically(dir_ / "sub" / "a", "x"));
  EXPECT_EQ(ReadRegularFile(dir_ / "sub" / "a").Bytes, "x");
}

}  // namespace
}  // namespace norv
