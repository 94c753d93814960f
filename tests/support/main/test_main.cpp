#include <gtest/gtest.h>

#include "support/temp_home.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  norv::test::SetUpTestHome();
  const int result = RUN_ALL_TESTS();
  norv::test::TearDownTestHome();
  return result;
}
