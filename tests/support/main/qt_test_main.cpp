#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  norv::test::SetUpTestHome();
  int result = 0;
  {
    QApplication app(argc, argv);
    norv::test::SetUpQtLook();
    result = RUN_ALL_TESTS();
    norv::test::TearDownTestHome();
  }
  return result;
}
