#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/qt/qt_harness.h"
#include "support/temp_home.h"
#include "support/working_folder.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  norv::test::SetUpTestHome();
  norv::test::GuardWorkingFolder();
  int result = 0;
  {
    QApplication app(argc, argv);
    norv::test::SetUpQtLook();
    result = RUN_ALL_TESTS();
    norv::test::TearDownTestHome();
  }
  return result;
}
