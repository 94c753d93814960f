#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/temp_home.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  norv::test::SetUpTestHome();
  int result = 0;
  {
    QApplication app(argc, argv);
    result = RUN_ALL_TESTS();
    norv::test::TearDownTestHome();
  }
  return result;
}
