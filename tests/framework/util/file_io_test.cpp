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

// A link at the target, at the writer's temporary name or at a lock file: the file it points
// to stays as it was, and one that is missing is not made.
TEST_F(FileIoTest, NoWriteGoesThroughALink) {
  const fs::path victim = dir_ / "victim", absent = dir_ / "absent";
  std::ofstream(victim) << "keep";
  const std::string temp = ".target." + std::to_string(getpid()) + ".tmp";
  int folders = 0;
  for (const fs::path& to : {victim, absent}) {
    for (const std::string& linked : {std::string("target"), temp}) {
      const fs::path folder = dir_ / std::to_string(folders++);
      fs::create_directory(folder);
      fs::create_symlink(to, folder / linked);
      std::string why;
      EXPECT_TRUE(ReserveRoomFor(folder / "target", 1 << 20, &why)) << why;
      EXPECT_TRUE(WriteFileAtomically(folder / "target", "new", false, &why)) << why;
      EXPECT_EQ(ReadRegularFile(folder / "target").Bytes, "new");
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "target")));
      EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << "a temporary file stayed";
    }
  }
  EXPECT_EQ(ReadRegularFile(victim).Bytes, "keep");
  EXPECT_FALSE(fs::exists(fs::symlink_status(absent)));
}

TEST_F(FileIoTest, ALockFileIsARegularFileOfOursAndNothingElseIsOpened) {
  const fs::path victim = dir_ / "victim", absent = dir_ / "absent";
  std::ofstream(victim) << "keep";
  std::ofstream(dir_ / "held") << "";
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder");
  fs::create_symlink(victim, dir_ / "link");
  fs::create_symlink(absent, dir_ / "dangling");
  const struct {
    fs::path path;
    std::string why;  // empty: opened
  } cases[] = {
      {dir_ / "fresh", ""},
      {dir_ / "held", ""},
      {dir_ / "link", "it is a link"},
      {dir_ / "dangling", "it is a link"},
      {dir_ / "fifo", "it is not a regular file"},
      {dir_ / "folder", "it is not a regular file"},
      {"/dev/null", "it is not a regular file"},
  };
  for (const auto& c : cases) {
    std::string why;
    const int fd = OpenLockFile(c.path, &why);
    EXPECT_EQ(why, c.why) << c.path;
    EXPECT_EQ(fd >= 0, c.why.empty()) << c.path;
    if (fd >= 0) close(fd);
  }
  EXPECT_EQ(fs::status(dir_ / "fresh").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadRegularFile(victim).Bytes, "keep");
  EXPECT_FALSE(fs::exists(fs::symlink_status(absent)));
}

// The user's read-only file stays as it is, for root too; any other keeps its permission
// bits when it is replaced.
TEST_F(FileIoTest, AReplacedFileKeepsItsModeAndAReadOnlyOneIsRefused) {
  using enum fs::perms;
  const struct {
    fs::perms mode;
    bool written;
  } cases[] = {
      {owner_read | owner_write, true},
      {owner_read | owner_write | group_read, true},
      {owner_read | owner_write | group_read | group_write | others_read | others_write, true},
      {owner_read | group_read | others_read, false},
      {owner_read, false},
      {owner_read | owner_exec | group_read | others_exec, false},
  };
  const fs::path file = dir_ / "CalibrImit.ini";
  for (const auto& c : cases) {
    fs::remove(file);
    std::ofstream(file) << "old";
    fs::permissions(file, c.mode);
    std::string why, roomWhy;
    EXPECT_EQ(ReserveRoomFor(file, 100, &roomWhy), c.written) << static_cast<int>(c.mode);
    EXPECT_EQ(WriteFileAtomically(file, "new", true, &why), c.written) << static_cast<int>(c.mode);
    EXPECT_EQ(ReadRegularFile(file).Bytes, c.written ? "new" : "old");
    EXPECT_EQ(fs::status(file).permissions(), c.mode);
    EXPECT_EQ(why, c.written ? "" : "the file is read-only");
    EXPECT_EQ(roomWhy, why);
  }
  // Other failures say why as well.
  std::string why;
  EXPECT_FALSE(WriteFileAtomically(dir_ / "none" / "a", "x", false, &why));
  EXPECT_EQ(why, "it cannot be written: No such file or directory");
  EXPECT_FALSE(ReserveRoomFor(dir_ / "large", std::uintmax_t{1} << 62, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(fs::exists(dir_ / "large"));
}

}  // namespace
}  // namespace norv
