#include "support/working_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_home.h"

namespace norv::test {

namespace fs = std::filesystem;

namespace {

std::vector<std::string>& Findings() {
  static std::vector<std::string> findings;
  return findings;
}

// Looks after each test, and clears the folder so the next test is judged on its own.
class TWorkingFolderWatch : public testing::EmptyTestEventListener {
 public:
  explicit TWorkingFolderWatch(fs::path folder) : folder_(std::move(folder)) {}

  void OnTestEnd(const testing::TestInfo& test) override {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
      Findings().push_back(std::string(test.test_suite_name()) + "." + test.name() + " wrote \"" +
                           entry.path().filename().string() + "\" into the working folder");
      fs::remove_all(entry.path(), ec);
    }
  }

 private:
  fs::path folder_;
};

// Failures can be added only while the tests run: the last step of the run reports them.
class TWorkingFolderVerdict : public testing::Environment {
 public:
  void TearDown() override {
    for (const std::string& finding : Findings()) ADD_FAILURE() << finding;
  }
};

}  // namespace

void GuardWorkingFolder() {
  const fs::path folder = TestRoot() / "work";
  fs::create_directories(folder);
  if (chdir(folder.c_str()) != 0)
    throw std::runtime_error("cannot enter the working folder " + folder.string());
  testing::UnitTest::GetInstance()->listeners().Append(new TWorkingFolderWatch(folder));
  testing::AddGlobalTestEnvironment(new TWorkingFolderVerdict);
}

}  // namespace norv::test
