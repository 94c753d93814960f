// The tick labels of a jitter histogram read the times at the plot's edges and middle.

#include "analysis/ui/jitter_plots.h"

#include <gtest/gtest.h>

namespace norv {
namespace {

TEST(JitterPlotsTest, TickLabelsReadTheEdgesAndTheMiddle) {
  struct Case {
    double width;  // of the histogram: its bins cover -width/2 .. +width/2
    const char* left;
    const char* middle;
    const char* right;
  };
  const Case cases[] = {{513e-12, "-256.5 ps", "0 ps", "256.5 ps"}, {40e-12, "-20 ps", "0 ps", "20 ps"}};
  for (const Case& c : cases) {
    const double offset = c.width / 2;
    EXPECT_EQ(JitterTickLabel(offset, 0), c.left);
    EXPECT_EQ(JitterTickLabel(offset, 1), c.middle);
    EXPECT_EQ(JitterTickLabel(offset, 2), c.right);
  }
}

}  // namespace
}  // namespace norv
