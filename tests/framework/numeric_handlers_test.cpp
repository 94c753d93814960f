// Numeric settings through the command interpreter and the control side: limits, value
// text, prefixes, stepping rules, auto-repeat and colours.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/numeric_handlers.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

constexpr uint8_t kNoColour = 18;

class NumericItemsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    // A count from 1 to 65535, default 32, coarse steps by powers of two, fine steps of one.
    nacq = RootSpider->AddIntEdit(32, "Acq:NAcq", kNoColour, "", vfGeneral, 0, 1, 32, 65535, srPowerOfTwo, 0,
                                  srQuantised, 1);
    // A time per division from 10 ps to 1 s in 1-2-5 steps.
    scale = RootSpider->AddDoubleEdit("TB:ScaleA", kNoColour, 1e-8, "s", vfEngineering, 6, 1e-11, 1e-8, 1.0, sr1_2_5,
                                      0, srRelative, 0.001, 1e-15);
  }

  TIntEditHandler* nacq = nullptr;
  TDoubleEditHandler* scale = nullptr;
};

TEST_F(NumericItemsTest, IntegerCommandsClampAndAnswerWithTheirBlanks) {
  Exec("ACQ:NACQ 100");
  EXPECT_EQ(nacq->Value(), 100);
  EXPECT_EQ(Exec("ACQ:NACQ?"), "ACQ:NACQ 100 ");
  Exec("ACQ:NACQ 1MEG");
  EXPECT_EQ(nacq->Value(), 65535);
  Exec("ACQ:NACQ 0");
  EXPECT_EQ(nacq->Value(), 1);
  Exec("ACQ:NACQ MAX");
  EXPECT_EQ(nacq->Value(), 65535);
  Exec("ACQ:NACQ MID");
  EXPECT_EQ(nacq->Value(), 32);
  Exec("HEADER OFF");
  EXPECT_EQ(Exec("ACQ:NACQ?"), "32 ");
}

TEST_F(NumericItemsTest, FloatingCommandsUseEngineeringText) {
  Exec("TB:SCALEA 2.5MS");
  EXPECT_DOUBLE_EQ(scale->Value(), 2.5e-3);
  EXPECT_EQ(Exec("TB:SCALEA?"), "TB:SCALEA 2.5 ms");
  Exec("TB:SCALEA 10N");
  EXPECT_EQ(Exec("TB:SCALEA?"), "TB:SCALEA 10 ns");
  EXPECT_EQ(scale->GetValueText(true), "10 n(s)");
}

}  // namespace
}  // namespace norv::test
