// The standard-mask catalogue over a program folder that starts with the shipped masks and
// a few folders of the user's, and every shipped mask loaded and drawn on the screen.

#include "tdr_mask/mask_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "display/display_hooks.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/program_objects.h"
#include "framework/text/ini_file.h"
#include "instrument/startup/program_folders.h"
#include "shell/shell_state.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_object.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string EyeMask(const std::string& name, const std::string& rate) {
  return "[COMMON]\nSignature=Standard Mask\nMask Name=" + name + "\nBit Rate=" + rate +
         "\nType of Mask=Eye\nList of Polygons=1\n[Polygon 1]\nNumber of Vertex=3\nVertex 1=0.2, 0.2\n"
         "Vertex 2=0.5, 0.8\nVertex 3=0.8, 0.2\n";
}

class MaskCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved = ProgramFolders;
    ProgramFolders.ProgramDir = test::MakeTempDir("std") / "";
    ProgramFolders.MaskStandardDir = ProgramFolders.ProgramDir / "Masks" / "Standard" / "";
    InstallMaskFeature();
  }
  void TearDown() override {
    ClearCurrentMask();
    ScopeCRT.reset();
    ProgramFolders = saved;
    FreshProgramState();
  }
  TDataFolders saved;
  test::FakeDialogs dialogs;
};

TEST_F(MaskCatalogueTest, FoldersAreOrderedNamedAndTheirMasksSortedByRate) {
  const fs::path root = DataFolders().MaskStandardDir;
  // The user's own order and name survive the start; the shipped masks join them.
  WriteFile(root / "StandardMasks.ini", "[RANGE]\n1=Ethernet\n2=Absent\n3=SONET-SDH\n");
  WriteFile(root / "Ethernet" / "Standard.ini", "[COMMON]\nStandard Name=My Ethernet\n");
  WriteFile(root / "A-empty" / "notes.txt", "no masks here");
  WriteFile(root / "Zeta" / "b.msk", EyeMask("B", "1 Gbps"));
  WriteFile(root / "Zeta" / "a.msk", EyeMask("A", "1000 Mbps"));
  WriteFile(root / "Zeta" / "slow.msk", EyeMask("", "100 kbps"));
  WriteFile(root / "Zeta" / "none.msk", "[COMMON]\nSignature=Standard Mask\nMask Name=No rate\n");
  ShellHooks.RescanMaskStandards();

  EXPECT_EQ(ReadFile(root / "StandardMasks.ini"), "[RANGE]\n1=Ethernet\n2=Absent\n3=SONET-SDH\n");
  const TListOfStandards& list = StandardsList();
  ASSERT_EQ(list.Items.size(), 4u);
  const std::string folders[] = {"Ethernet", "SONET-SDH", "A-empty", "Zeta"};
  const std::string names[] = {"My Ethernet", "SONET/SDH", "A-empty", "Zeta"};
  const int numbers[] = {0, 1, -1, 2};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(list.Items[i].FolderName, folders[i]);
    EXPECT_EQ(list.Items[i].StandardName, names[i]);
    EXPECT_EQ(list.Items[i].Number, numbers[i]);
  }
  EXPECT_EQ(list.UsableCount, 3);
  // A folder's name stands in for a missing standard name, and is written down.
  EXPECT_EQ(TMemIniFile_Dot(root / "A-empty" / "Standard.ini").ReadString("COMMON", "Standard Name", ""),
            "A-empty");

  // Zeta: by rate, equal rates by name; a mask without a name gets its file's; no rate, no entry.
  ASSERT_TRUE(ReadStandardMaskFiles(root / "Zeta", false));
  const auto& masks = StandardMasksInCurrent().Items;
  ASSERT_EQ(masks.size(), 3u);
  EXPECT_EQ(masks[0].MaskName, "slow");
  EXPECT_EQ(masks[1].MaskName, "A");
  EXPECT_EQ(masks[2].MaskName, "B");
  EXPECT_EQ(TMemIniFile_Dot(root / "Zeta" / "slow.msk").ReadString("COMMON", "Mask Name", ""), "slow");
  ASSERT_TRUE(LoadStandardMask(2, 1, 0));
  EXPECT_EQ(CurrentMask().MaskName, "A");
  EXPECT_EQ(CurrentMask().StdIndex, 2);
  EXPECT_EQ(CurrentMask().MaskIndex, 1);
  EXPECT_FALSE(LoadStandardMask(3, 0, 0));
  EXPECT_FALSE(LoadStandardMask(2, 3, 0));
}

// The start installs the shipped masks: a link in the place of a folder or file that leads
// out of the program folder is never written through.
TEST_F(MaskCatalogueTest, ShippedMasksAreNeverWrittenThroughALinkLeadingOut) {
  const fs::path program = DataFolders().ProgramDir, root = DataFolders().MaskStandardDir;
  const fs::path outside = test::MakeTempDir("outside");
  fs::create_directory_symlink(outside, program / "Masks");
  ShellHooks.RescanMaskStandards();
  EXPECT_TRUE(fs::is_empty(outside));

  fs::remove(program / "Masks");
  fs::create_directories(root);
  fs::create_directory_symlink(outside, root / "Ethernet");
  fs::create_symlink(outside / "ini", root / "StandardMasks.ini");
  ShellHooks.RescanMaskStandards();
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_TRUE(fs::is_symlink(root / "StandardMasks.ini"));
  // The folders without a link get their masks.
  EXPECT_TRUE(fs::is_regular_file(root / "SONET-SDH" / "OC-3 STM-1.msk"));
}

TEST_F(MaskCatalogueTest, EveryShippedMaskLoadsAtItsRateAndDraws) {
  test::FakeClock clock;
  test::TBlockFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
  ShellHooks.RescanMaskStandards();
  int loaded = 0;
  for (int s = 0; s < StandardsList().UsableCount; ++s) {
    const fs::path folder = DataFolders().MaskStandardDir / StandardsList().Usable(s)->FolderName;
    ASSERT_TRUE(ReadStandardMaskFiles(folder, false));
    const std::vector<TMaskEntry> masks = StandardMasksInCurrent().Items;
    for (int m = 0; m < static_cast<int>(masks.size()); ++m) {
      SCOPED_TRACE(masks[m].MaskName);
      ASSERT_TRUE(LoadStandardMask(s, m, 0));
      ++loaded;
      const TCurrentMask& mask = CurrentMask();
      EXPECT_EQ(mask.Kind, mkEye);
      EXPECT_GT(masks[m].BitRate, 1e8);
      EXPECT_DOUBLE_EQ(mask.BitPeriod, 1 / masks[m].BitRate);
      EXPECT_DOUBLE_EQ(mask.TimeByDivision, mask.BitPeriod / 6);
      // The eye's centre (X 2000, Y 512) is forbidden; its one level at mid-bit (Y 768) is
      // clear; the bands above and below reach the screen's edges.
      ASSERT_TRUE(DisplayHooks.MaskLoaded());
      EXPECT_EQ(DisplayHooks.PointInMask(2000, 512 * 32), TMaskArea::Mask);
      EXPECT_EQ(DisplayHooks.PointInMask(2000, 768 * 32), TMaskArea::Outside);
      EXPECT_EQ(DisplayHooks.PointInMask(2000, 256 * 32), TMaskArea::Outside);
      EXPECT_EQ(DisplayHooks.PointInMask(10, 1020 * 32), TMaskArea::Mask);
      EXPECT_EQ(DisplayHooks.PointInMask(3990, 3 * 32), TMaskArea::Mask);
      EXPECT_EQ(DisplayHooks.MaskKind(), mkEye);
      EXPECT_EQ(DisplayHooks.MaskName(), masks[m].MaskName);
      // Drawn: the eye's centre is a mask cell, the one level is not.
      TMaskLayer* layer = ScopeCRT->MaskLayer();
      ASSERT_NE(layer, nullptr);
      const int column = layer->UnitsToColumn(2000);
      EXPECT_EQ(layer->Cell(column + 3, layer->UnitsToRow(560)), 1);
      EXPECT_EQ(layer->Cell(column, layer->UnitsToRow(768)), 0);
      // The band above the one level lies as far from it as the band below the zero
      // level from that: their edges mirror each other about the eye's centre, Y 512.
      double upperEdge = 1024, lowerEdge = 0;
      for (int n = 0; n < mask.PolygonCount; ++n) {
        const auto [low, high] = std::minmax_element(mask.Slots[n].Y.begin(), mask.Slots[n].Y.end());
        if (*high >= 1023 && *low > 768) upperEdge = *low;
        if (*low <= 1 && *high < 256) lowerEdge = *high;
      }
      EXPECT_NEAR(upperEdge - 512, 512 - lowerEdge, 1e-9);
    }
  }
  EXPECT_EQ(loaded, 4);
  // The shipped order puts SONET/SDH first.
  // The OC-3 hexagon by hand: (0.15, 0.5) -> X 1200 x (0.15 - 0.5) x 2 + 2000 = 1160, Y 512.
  ASSERT_TRUE(LoadStandardMask(0, 0, 0));
  EXPECT_EQ(CurrentMask().MaskName, "OC-3 / STM-1");
  EXPECT_EQ(CurrentMask().Slots[0].X, (std::vector<double>{1160, 1640, 2360, 2840, 2360, 1640}));
  EXPECT_EQ(CurrentMask().Slots[0].Y, (std::vector<double>{512, 665.6, 665.6, 512, 358.4, 358.4}));
  EXPECT_EQ(CurrentMask().Slots[1].Y, (std::vector<double>{870.4, 870.4, 1023, 1023}));
  // 1000BASE-SX / LX: the bands 0.30 beyond the levels, 1 + 0.30 -> Y (0.5 x 1.3 + 0.25) x
  // 1024 = 921.6 and -0.30 -> 102.4; the hexagon from 0.20 to 0.80 -> 358.4 .. 665.6.
  ASSERT_TRUE(LoadStandardMask(1, 0, 0));
  EXPECT_EQ(CurrentMask().MaskName, "1000BASE-SX / LX");
  EXPECT_NEAR(CurrentMask().Slots[1].Y[0], 921.6, 1e-9);
  EXPECT_NEAR(CurrentMask().Slots[2].Y[2], 102.4, 1e-9);
  const auto [low, high] =
      std::minmax_element(CurrentMask().Slots[0].Y.begin(), CurrentMask().Slots[0].Y.end());
  EXPECT_NEAR(*low, 358.4, 1e-9);
  EXPECT_NEAR(*high, 665.6, 1e-9);
  // A hexagon margin of 10 % pushes the side corners in: 1 - (1 - 0.7) x 1.1 = 0.67.
  ASSERT_TRUE(LoadStandardMask(0, 0, 10));
  EXPECT_NEAR(CurrentMask().Slots[4].X[0], 2000 - 1200 * 0.67, 1e-9);
  EXPECT_EQ(CurrentMask().MarginPolygonCount, 3);
  ClearCurrentMask();
  ScopeCRT.reset();  // before the font it draws with
}

}  // namespace
}  // namespace norv
