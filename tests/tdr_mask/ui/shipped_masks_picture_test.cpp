// Every shipped standard mask on the screen, with the screen's real font. Set NORV_PNG_DIR
// to get shipped_masks.png (the masks side by side, in catalogue order).

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "display/scope_crt.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/program_objects.h"
#include "instrument/startup/program_folders.h"
#include "platform/qt_text_rasteriser.h"
#include "shell/shell_state.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_object.h"

namespace norv {
namespace {

TEST(ShippedMasks, EachIsDrawnOnTheScreen) {
  FreshProgramState();
  const TDataFolders saved = ProgramFolders;
  ProgramFolders.ProgramDir = test::MakeTempDir("shipped") / "";
  ProgramFolders.MaskStandardDir = ProgramFolders.ProgramDir / "Masks" / "Standard" / "";
  test::FakeDialogs dialogs;
  TQtTextRasteriser font;
  test::FakeClock clock;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  std::vector<QImage> shots;
  {
    TScopeCRTWidget widget(*ScopeCRT);
    widget.resize(804, 504);
    widget.show();
    InstallMaskFeature();
    ShellHooks.RescanMaskStandards();
    for (int s = 0; s < StandardsList().UsableCount; ++s) {
      ReadStandardMaskFiles(DataFolders().MaskStandardDir / StandardsList().Usable(s)->FolderName, false);
      const size_t count = StandardMasksInCurrent().Items.size();
      for (size_t m = 0; m < count; ++m) {
        ASSERT_TRUE(LoadStandardMask(s, static_cast<int>(m), 0));
        TMaskLayer* layer = ScopeCRT->MaskLayer();
        ASSERT_NE(layer, nullptr);
        const QImage shot = widget.grab().toImage();
        // The eye's centre is mask colour, the screen's corner above the top band not.
        const TSignalScreen& screen = *ScopeCRT->Screen(1);
        const QPoint centre(2 + screen.Left() + layer->UnitsToColumn(2000) + 3,
                            2 + screen.Top() + layer->UnitsToRow(560));
        EXPECT_NE(shot.pixel(centre),
                  shot.pixel(2 + screen.Left() + 1, 2 + screen.Top() + screen.Height() / 2));
        shots.push_back(shot);
      }
    }
    ClearCurrentMask();
  }
  ScopeCRT.reset();
  ProgramFolders = saved;
  FreshProgramState();
  ASSERT_EQ(shots.size(), 4u);
  QImage all(804 * 2, 504 * 2, QImage::Format_RGB32);
  QPainter painter(&all);
  for (size_t i = 0; i < shots.size(); ++i)
    painter.drawImage(static_cast<int>(i % 2) * 804, static_cast<int>(i / 2) * 504, shots[i]);
  painter.end();
  test::MaybeWritePng(all, "shipped_masks");
}

}  // namespace
}  // namespace norv
