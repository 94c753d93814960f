// The mask editor driven with the mouse on the screen widget and by the edit page's
// buttons: a triangle drawn, a vertex dragged, a polygon deleted, the whole edit undone
// as one step, and the mask built from the edit hitting where the new polygon lies.

#include "tdr_mask/mask_editor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <memory>

#include "display/mask_layers.h"
#include "display/scope_crt.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/util/dialog_service.h"
#include "instrument/startup/program_folders.h"
#include "platform/qt_text_rasteriser.h"
#include "support/qt/side_menu_fixture.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"
#include "tdr_mask/ui/mask_page.h"

namespace norv::test {
namespace {

struct TUnits {
  double X, Y;
};

class MaskEditorTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override { RegisterMaskPage(); }
  void SetUp() override {
    SideMenuPageTest::SetUp();
    InstallMaskFeature();
    InstallMaskTest();
    InstallMaskEditor();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    widget = std::make_unique<TScopeCRTWidget>(*ScopeCRT);
    widget->resize(804, 504);
    widget->show();
  }
  void TearDown() override {
    SetMaskEditMode(false);
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
    widget.reset();
    ScopeCRT.reset();
    SideMenuPageTest::TearDown();
  }

  TMaskEditLayer& Layer() const { return *ScopeCRT->MaskEditLayer(); }
  QPoint Pixel(TUnits u) const {
    return {Layer().UnitsToColumn(u.X) + kMarkerStripWidth, Layer().UnitsToRow(u.Y)};
  }
  // Where a click at those units lands after the pixel rounding.
  TUnits Landed(TUnits u) const {
    return {double(Layer().ColumnToUnits(Layer().UnitsToColumn(u.X))),
            double(Layer().RowToUnits(Layer().UnitsToRow(u.Y)))};
  }
  void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) const {
    QWidget* w = widget->ScreenWidget(1);
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
  }
  void ClickAt(TUnits u, Qt::MouseButton button = Qt::LeftButton) const {
    Send(QEvent::MouseButtonPress, Pixel(u), button, button);
    Send(QEvent::MouseButtonRelease, Pixel(u), button, Qt::NoButton);
  }
  void Hover(TUnits u) const { Send(QEvent::MouseMove, Pixel(u), Qt::NoButton, Qt::NoButton); }
  void DragFromTo(TUnits from, TUnits to) const {
    Send(QEvent::MouseButtonPress, Pixel(from), Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, Pixel(to), Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, Pixel(to), Qt::LeftButton, Qt::NoButton);
  }
  static void Press(TDeclaredSideMenu& menu, const char* name) {
    auto& s = menu.Control<TRC_RightPassiveCommandSwitcher>(name);
    Click(&s, s.ButtonRect(0).center());
  }
  static void ExpectSlot(int n, const std::vector<TUnits>& corners) {
    const TMaskSlot& slot = CurrentMask().Slots[static_cast<size_t>(n)];
    ASSERT_EQ(slot.VertexCount(), static_cast<int>(corners.size())) << "slot " << n;
    for (size_t i = 0; i < corners.size(); ++i) {
      EXPECT_EQ(slot.X[i], corners[i].X) << "slot " << n << " vertex " << i;
      EXPECT_EQ(slot.Y[i], corners[i].Y) << "slot " << n << " vertex " << i;
    }
  }

  TQtTextRasteriser font;
  std::unique_ptr<TScopeCRTWidget> widget;
};

TEST_F(MaskEditorTest, TriangleDrawnReshapedAndTheEditUndoneAsOneStep) {
  // An eye mask with one rectangle on the left of the screen.
  TCurrentMask& mask = CurrentMask();
  mask.Kind = mkEye;
  mask.Slots[0].X = {200, 600, 600, 200};
  mask.Slots[0].Y = {400, 400, 600, 600};
  mask.PolygonCount = 1;
  BuildMaskObjFromCurrent();
  TDeclaredSideMenu& menu = Open(kMaskMenuId);
  Press(menu, "pcsCreateMask");
  StartUndo();
  Press(menu, "pcsEditMask");
  ASSERT_TRUE(mask.EditorActive);
  ASSERT_NE(ScopeCRT->MaskEditLayer(), nullptr);
  EXPECT_EQ(MaskObj, nullptr);  // the editor draws the slots itself
  EXPECT_EQ(Layer().VertexCount(0), 4);
  // A screen made anew (the window resized) has the polygons back at the next refresh.
  widget->resize(904, 604);
  RefreshMaskDisplay();
  ASSERT_NE(ScopeCRT->MaskEditLayer(), nullptr);
  EXPECT_EQ(Layer().VertexCount(0), 4);

  // "Add Polygon", then three corners and a click back on the first one.
  Press(menu, "pcsAddPolygon");
  const TUnits a{1000, 200}, b{2000, 800}, c{3000, 200};
  ClickAt(a);
  Hover(b);
  ClickAt(b);
  Hover(c);
  ClickAt(c);
  Hover({a.X + 20, a.Y + 8});
  ClickAt({a.X + 20, a.Y + 8});  // within the closing distance of the first corner
  EXPECT_FALSE(mask.DrawingMode);
  EXPECT_EQ(mask.PolygonCount, 2);
  ExpectSlot(1, {Landed(a), Landed(b), Landed(c)});
  EXPECT_EQ(Layer().VertexCount(1), 3);

  // The second corner: a click on it selects its polygon, the next one the corner, and a
  // press on the selected corner drags it.
  ClickAt(b);
  EXPECT_EQ(mask.SelectedPolygon, 1);
  ClickAt(b);
  EXPECT_EQ(mask.SelectedVertex, 1);
  const TUnits b2{2200, 900};
  DragFromTo(b, b2);
  EXPECT_FALSE(mask.VertexDrag);
  const TUnits moved = Landed(b2);
  ExpectSlot(1, {Landed(a), moved, Landed(c)});

  // "Add Point" after the first corner puts one halfway to the second; "Delete Point"
  // takes it away again.
  ClickAt(a);
  EXPECT_EQ(mask.SelectedVertex, 0);
  Press(menu, "pcsAddPoint");
  const TUnits la = Landed(a);
  ExpectSlot(1, {la, {(la.X + moved.X) / 2, (la.Y + moved.Y) / 2}, moved, Landed(c)});
  EXPECT_EQ(mask.SelectedVertex, 1);
  Press(menu, "pcsDeletePoint");
  ExpectSlot(1, {la, moved, Landed(c)});

  // The rectangle selected by its corner and deleted: the triangle takes its slot.
  ClickAt({200, 400});
  EXPECT_EQ(mask.SelectedPolygon, 0);
  EXPECT_EQ(mask.SelectedVertex, -1);
  // Without a selected vertex the point buttons do nothing.
  MaskEditDeleteVertex();
  MaskEditInsertVertex();
  EXPECT_EQ(mask.Slots[0].VertexCount(), 4);
  Press(menu, "pcsDeletePolygon");
  EXPECT_EQ(mask.PolygonCount, 1);
  ExpectSlot(0, {la, moved, Landed(c)});
  EXPECT_EQ(mask.Slots[1].VertexCount(), 0);

  // Leaving the editor builds the mask: it hits inside the triangle, no longer in the
  // rectangle.
  Press(menu, "pcsBackEdit");
  EXPECT_FALSE(mask.EditorActive);
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 400), 1u);
  EXPECT_EQ(MaskObj->MaskHitBits(400, 500), 0u);
  EXPECT_EQ(ScopeCRT->MaskEditLayer(), nullptr);

  // One undo step brings the rectangle back.
  Exec("*Undo Undo");
  EXPECT_EQ(mask.Kind, mkEye);
  EXPECT_EQ(mask.PolygonCount, 1);
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(MaskObj->MaskHitBits(400, 500), 1u);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 400), 0u);
}

TEST_F(MaskEditorTest, DrawingRulesAndDragLimits) {
  TCurrentMask& mask = CurrentMask();
  mask.Kind = mkUser;
  SetMaskEditMode(true);
  // Closing distance: 39 units right and 15 up closes, 40 right does not; closed after
  // only two corners the polygon disappears.
  struct Close {
    int dx, dy;
    bool closes;
  };
  for (const Close row : {Close{39, 15, true}, Close{40, 0, false}, Close{0, -16, false}}) {
    SCOPED_TRACE(row.dx);
    MaskEditStartPolygon();
    MaskEditAddVertexAt(1000, 500);
    MaskEditDragTo(2000, 500);
    MaskEditAddVertexAt(2000, 500);
    MaskEditDragTo(1000 + row.dx, 500 + row.dy);
    MaskEditAddVertexAt(1000 + row.dx, 500 + row.dy);
    EXPECT_EQ(mask.PolygonInProgress, !row.closes);
    EXPECT_EQ(mask.PolygonCount, row.closes ? 0 : 1);  // two corners only: discarded
    MaskEditFinishPolygon();
    EXPECT_EQ(mask.PolygonCount, row.closes ? 0 : 1);  // three corners: kept
    if (mask.PolygonCount == 1) {
      EXPECT_EQ(mask.Slots[0].VertexCount(), 3);
      MaskEditDeletePolygon();
    }
    EXPECT_EQ(mask.PolygonCount, 0);
  }

  // A polygon whose right-most corner is at 3990 moves 10 of a 50 drag; a corner dragged
  // past the top edge stays at 1024; deleting a corner of a triangle deletes it.
  mask.Slots[0].X = {3000, 3990, 3500};
  mask.Slots[0].Y = {100, 100, 1000};
  SetMaskPolygonCount(1);
  mask.SelectedPolygon = 0;
  mask.PolygonDrag = true;
  mask.LastX = 100;
  mask.LastY = 100;
  MaskEditDragTo(150, 150);
  EXPECT_EQ(mask.Slots[0].X, (std::vector<double>{3010, 4000, 3510}));
  EXPECT_EQ(mask.Slots[0].Y, (std::vector<double>{124, 124, 1024}));
  MaskEditEndDrag(false);
  mask.SelectedVertex = 0;
  mask.VertexDrag = true;
  MaskEditDragTo(150, 5000);
  EXPECT_EQ(mask.Slots[0].Y[0], 1024);
  EXPECT_EQ(mask.Slots[0].X[0], 3010);
  MaskEditEndDrag(false);
  MaskEditDeleteVertex();
  EXPECT_EQ(mask.PolygonCount, 0);
  EXPECT_EQ(mask.Kind, mkNone);

  // Eight polygons: a first click in drawing mode adds nothing.
  for (int n = 0; n < 8; ++n) {
    mask.Slots[static_cast<size_t>(n)].X = {10.0 * n, 10.0 * n + 5, 10.0 * n};
    mask.Slots[static_cast<size_t>(n)].Y = {0, 0, 5};
  }
  SetMaskPolygonCount(8);
  MaskEditStartPolygon();
  MaskEditAddVertexAt(2000, 500);
  EXPECT_EQ(mask.PolygonCount, 8);
  EXPECT_FALSE(mask.PolygonInProgress);

  // A polygon as long as undo and setups carry takes no further vertex.
  mask.Slots[0].X.assign(kMaxMaskVertexes, 100);
  mask.Slots[0].Y.assign(kMaxMaskVertexes, 100);
  mask.SelectedPolygon = 0;
  mask.SelectedVertex = 5;
  MaskEditInsertVertex();
  EXPECT_EQ(mask.Slots[0].VertexCount(), kMaxMaskVertexes);
}

// A user mask loaded by a client's command while the editor is open takes the place of the
// polygons being edited: the editor shows the loaded ones and finds them under the mouse.
TEST_F(MaskEditorTest, AMaskLoadedByCommandReplacesThePolygonsBeingEdited) {
  const TDataFolders saved = ProgramFolders;
  ProgramFolders.ProgramDir = MakeTempDir("mask-editor") / "";
  ProgramFolders.MaskUserDir = ProgramFolders.ProgramDir / "Masks" / "User" / "";
  // A triangle on the right saved as "A"; a rectangle and a thin wedge on the left edited.
  TCurrentMask& mask = CurrentMask();
  mask.Kind = mkUser;
  mask.Slots[0] = {{2500, 3500, 3000}, {200, 200, 800}};
  mask.PolygonCount = 1;
  BuildMaskObjFromCurrent();
  Exec("Mask:MaskFile A;:Mask:SaveUser");
  mask.Slots[0] = {{200, 600, 600, 200}, {400, 400, 600, 600}};
  mask.Slots[1] = {{100, 300, 200}, {900, 900, 1000}};
  mask.PolygonCount = 2;
  SetMaskEditMode(true);
  EXPECT_EQ(Layer().VertexCount(1), 3);
  {
    const TDialogsSuppressed client;
    Exec("Mask:MaskFile A;:Mask:LoadUser");
  }
  EXPECT_EQ(mask.PolygonCount, 1);
  EXPECT_TRUE(mask.EditorActive);
  EXPECT_EQ(Layer().VertexCount(0), 3);
  EXPECT_EQ(Layer().VertexCount(1), 0);
  ClickAt({3000, 800});
  EXPECT_EQ(mask.SelectedPolygon, 0);
  EXPECT_EQ(Layer().SelectedPolygon(), 0);
  ProgramFolders = saved;
}

// A polygon dragged far toward each edge stops with its outermost vertex exactly on that
// edge, its shape kept, and leaving the editor builds the mask. Each extreme rounds away
// from the edge it meets (921.6 below, 1000.4 above, ...), so that a limit taken from
// rounded extremes would push a vertex 0.4 past the edge.
TEST_F(MaskEditorTest, PolygonDraggedToEachEdgeStopsOnIt) {
  TCurrentMask& mask = CurrentMask();
  mask.Kind = mkUser;
  const std::vector<double> xs{700.6, 3300.4, 2000}, ys{921.6, 921.6, 1000.4};
  struct Drag {
    int dx, dy;
    double moveX, moveY;  // by hand: the room between the extreme and the edge
  };
  for (const Drag d : {Drag{-5000, 0, -700.6, 0}, Drag{5000, 0, 4000 - 3300.4, 0}, Drag{0, -5000, 0, -921.6},
                       Drag{0, 5000, 0, 1024 - 1000.4}}) {
    SCOPED_TRACE(testing::Message() << d.dx << ", " << d.dy);
    mask.Slots[0] = {xs, ys};
    mask.PolygonCount = 1;
    SetMaskEditMode(true);
    mask.SelectedPolygon = 0;
    mask.PolygonDrag = true;
    mask.LastX = 2000;
    mask.LastY = 500;
    MaskEditDragTo(2000 + d.dx, 500 + d.dy);
    MaskEditEndDrag(false);
    for (size_t i = 0; i < xs.size(); ++i) {
      EXPECT_NEAR(mask.Slots[0].X[i], xs[i] + d.moveX, 1e-9) << i;
      EXPECT_NEAR(mask.Slots[0].Y[i], ys[i] + d.moveY, 1e-9) << i;
    }
    SetMaskEditMode(false);
    ASSERT_NE(MaskObj, nullptr);
    EXPECT_EQ(MaskObj->MaskPolygonCount(), 1);
  }
}

}  // namespace
}  // namespace norv::test
