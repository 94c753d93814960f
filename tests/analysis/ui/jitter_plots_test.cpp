// The tick labels of a jitter histogram read the times at the plot's edges and middle; a
// plot window made narrow keeps room for its legend.

#include "analysis/ui/jitter_plots.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "analysis/jitter_settings.h"
#include "analysis/ui/jitter_graph.h"

namespace norv {
namespace {

TEST(JitterPlotsTest, TickLabelsReadTheEdgesAndTheMiddle) {
  struct Case {
    double width;  // of the histogram: its bins cover -width/2 .. +width/2
    const char* left;
    const char* middle;
    const char* right;
  };
  // A histogram whose scale saw no spread has the width 0: no "-0 ps".
  const Case cases[] = {{513e-12, "-256.5 ps", "0 ps", "256.5 ps"},
                        {40e-12, "-20 ps", "0 ps", "20 ps"},
                        {0, "0 ps", "0 ps", "0 ps"}};
  for (const Case& c : cases) {
    const double offset = c.width / 2;
    EXPECT_EQ(JitterTickLabel(offset, 0), c.left);
    EXPECT_EQ(JitterTickLabel(offset, 1), c.middle);
    EXPECT_EQ(JitterTickLabel(offset, 2), c.right);
  }
}

TEST(JitterGraphTest, TheLegendFitsAWindowMadeNarrow) {
  for (int kind : {jpCompHist, jpCompDDJHist, jpDDJvsBit}) {
    SCOPED_TRACE(kind);
    TJitterGraphFrm window(kind, nullptr);
    window.resize(200, 120);
    window.show();
    QApplication::processEvents();
    const int closeLeft = window.CloseButton()->geometry().left();
    for (int i = 1; i <= 3; ++i) {
      const QLabel* label = window.findChild<QLabel*>(QString("lblCombo%1").arg(i));
      ASSERT_NE(label, nullptr);
      EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << i;
      EXPECT_LE(label->mapTo(&window, QPoint(label->width(), 0)).x(), closeLeft) << i;
    }
  }
}

}  // namespace
}  // namespace norv
