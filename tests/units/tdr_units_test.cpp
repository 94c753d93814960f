#include "units/tdr_units.h"

#include <gtest/gtest.h>

#include <cmath>

namespace norv {
namespace {

TEST(ReflectionToOhms, MatchedShortOpenAndTheMirroredBranch) {
  for (const auto& [rho, ohms] : {std::pair{0.0, 50.0}, {-1.0, 0.0}, {0.5, 150.0}})
    EXPECT_DOUBLE_EQ(ReflectionToOhms(rho), ohms) << rho;
  // The formula holds up to 0.9999 itself; the open line lies strictly between.
  EXPECT_NEAR(ReflectionToOhms(0.9999), 50 * 1.9999 / 0.0001, 1e-3);
  for (const double rho : {0.99995, 1.0}) EXPECT_EQ(ReflectionToOhms(rho), 1000000) << rho;
  // Above the open line the curve keeps rising: 1e6 - 50 * 4 / -2 at rho 3.
  EXPECT_NEAR(ReflectionToOhms(3), 1000100, 1e-6);
  EXPECT_GT(ReflectionToOhms(1.0001), ReflectionToOhms(0.99995));
}

TEST(OhmsToReflection, InvertsReflectionToOhmsOnBothBranches) {
  EXPECT_DOUBLE_EQ(OhmsToReflection(1000000), (1000000.0 - 50) / (1000000.0 + 50));
  for (double rho : {-1.0, -0.3, 0.0, 0.25, 0.8, 1.5, 3.0, 10.0})
    EXPECT_NEAR(OhmsToReflection(ReflectionToOhms(rho)), rho, 1e-6) << rho;
  // -50 Ohm (and its mirror) is the far end of the open branch, not a division by zero.
  for (const double ohms : {-50.0, 1000050.0}) EXPECT_TRUE(std::isinf(OhmsToReflection(ohms))) << ohms;
}

TEST(TdrDistance, TimeAndDistanceFollowTheLineAndThePath) {
  EXPECT_DOUBLE_EQ(PropagationFactor(true, 4, 0.7), 0.5);
  EXPECT_DOUBLE_EQ(PropagationFactor(false, 4, 0.7), 0.7);
  EXPECT_DOUBLE_EQ(PropagationFactor(true, 0, 0.7), 1.0);

  // TDT: the full time; TDR: the reflection travels the line twice.
  EXPECT_NEAR(TimeToMetres(1e-9, 1, TdrPathDivisor(false)), 0.2997925, 1e-12);
  EXPECT_NEAR(TimeToMetres(1e-9, 1, TdrPathDivisor(true)), 0.14989625, 1e-12);
  EXPECT_NEAR(TimeToFeet(1e-9, 0.5, 1), 0.2997925 * 0.5 / 0.3048, 1e-12);
  EXPECT_NEAR(TimeToInches(2e-9, 1, 2), 0.2997925 / 0.0254, 1e-9);

  EXPECT_NEAR(MetresToTime(0.14989625, 1, 2), 1e-9, 1e-21);
  EXPECT_NEAR(FeetToTime(TimeToFeet(3e-9, 0.66, 2), 0.66, 2), 3e-9, 1e-21);
  EXPECT_NEAR(InchesToTime(TimeToInches(3e-9, 0.66, 1), 0.66, 1), 3e-9, 1e-21);
  // Without a velocity there is no time to travel.
  EXPECT_EQ(MetresToTime(1, 0, 1), 0);
}

}  // namespace
}  // namespace norv
