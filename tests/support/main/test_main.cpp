#include <gtest/gtest.h>

#include "support/temp_home.h"
#include "support/working_folder.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  norv::test::SetUpTestHome();
  norv::test::GuardWorkingFolder();
  const int result = RUN_ALL_TESTS();
  norv::test::TearDownTestHome();
  return result;
}
