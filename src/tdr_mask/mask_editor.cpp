#include "tdr_mask/mask_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "display/display_hooks.h"
#include "display/mask_layers.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"

namespace norv {

namespace {

constexpr int kMaxX = 4000;
constexpr int kMaxY = 1024;
constexpr int kSlots = 8;
// A click this close to the first corner closes the polygon being drawn.
constexpr int kCloseX = 40;
constexpr int kCloseY = 16;

TCurrentMask& M() { return CurrentMask(); }

TMaskEditLayer* EditLayer() { return ScopeCRT ? ScopeCRT->MaskEditLayer() : nullptr; }

bool SelectionValid() {
  const TCurrentMask& mask = M();
  return mask.SelectedPolygon >= 0 && mask.SelectedPolygon < mask.PolygonCount;
}

bool VertexSelected() {
  return SelectionValid() && M().SelectedVertex >= 0 &&
         M().SelectedVertex < M().Slots[M().SelectedPolygon].VertexCount();
}

void DrawPolygon(int n, bool selected) {
  TMaskEditLayer* layer = EditLayer();
  if (layer == nullptr || n < 0 || n >= kSlots) return;
  const TMaskSlot& slot = M().Slots[n];
  layer->SetPolygon(n, slot.VertexCount(), slot.X, slot.Y, selected, selected ? M().SelectedVertex : -1);
}

void Deselect() {
  TCurrentMask& mask = M();
  if (mask.SelectedPolygon >= 0 && mask.SelectedPolygon < mask.PolygonCount) {
    mask.SelectedVertex = -1;
    DrawPolygon(mask.SelectedPolygon, false);
  }
  mask.SelectedPolygon = mask.SelectedVertex = -1;
}

}  // namespace

void SetMaskPolygonCount(int count) {
  TCurrentMask& mask = M();
  if (count == 0) mask.SelectedPolygon = mask.SelectedVertex = -1;
  mask.PolygonCount = static_cast<uint8_t>(std::clamp(count, 0, kSlots));
  if (count == 0) mask.Kind = mkNone;
  MaskEditorHooks.RefreshEditPage();
}

void DeleteMaskPolygon(int n) {
  TCurrentMask& mask = M();
  if (n < 0 || n >= mask.PolygonCount) return;
  for (int i = n; i + 1 < mask.PolygonCount; ++i) mask.Slots[i] = std::move(mask.Slots[i + 1]);
  mask.Slots[mask.PolygonCount - 1] = TMaskSlot{};
  SetMaskPolygonCount(mask.PolygonCount - 1);
}

void MaskEditDrawAll() {
  if (!ScopeCRT || ScopeCRT->HasMaskEditLayer()) return;
  if (ScopeCRT->CreateMaskEditLayer(MaskComparedTrace()) == nullptr) return;
  const TCurrentMask& mask = M();
  for (int n = 0; n < mask.PolygonCount; ++n) DrawPolygon(n, n == mask.SelectedPolygon);
}

void MaskEditDrawSelected() {
  if (SelectionValid()) DrawPolygon(M().SelectedPolygon, true);
}

void MaskEditSelectAt(int polygon, int vertex, int y, int x) {
  if (!ScopeCRT) return;
  TCurrentMask& mask = M();
  if (polygon == mask.SelectedPolygon) {
    if (polygon < 0) return;
    if (vertex >= 0) {
      if (vertex != mask.SelectedVertex) {
        mask.SelectedVertex = vertex;
        MaskEditDrawSelected();
      } else {
        mask.VertexDrag = true;
      }
    } else if (mask.SelectedVertex >= 0) {
      mask.SelectedVertex = -1;
      MaskEditDrawSelected();
    } else {
      mask.PolygonDrag = true;
    }
    if (mask.VertexDrag || mask.PolygonDrag) {
      mask.LastX = x;
      mask.LastY = y;
    }
  } else {
    Deselect();
    if (polygon >= 0 && polygon < mask.PolygonCount) {
      mask.SelectedPolygon = polygon;
      mask.SelectedVertex = -1;
      MaskEditDrawSelected();
    }
  }
  MaskEditorHooks.RefreshEditPage();
}

void MaskEditDragTo(int x, int y) {
  TCurrentMask& mask = M();
  int dx = x - mask.LastX;
  int dy = y - mask.LastY;
  mask.LastX = x;
  mask.LastY = y;
  if (!SelectionValid()) return;
  TMaskSlot& slot = mask.Slots[mask.SelectedPolygon];
  if (!mask.VertexDrag && !mask.DrawingMode) {
    if (!mask.PolygonDrag || slot.X.empty()) return;
    // The whole polygon moves only as far as it stays on the screen. The limits are the
    // vertexes' own positions, fractions and all: a rounded one would let a vertex at
    // 921.6 move by -922 and leave the screen.
    const auto [minX, maxX] = std::minmax_element(slot.X.begin(), slot.X.end());
    const auto [minY, maxY] = std::minmax_element(slot.Y.begin(), slot.Y.end());
    const double moveX = dx >= 0 ? std::min<double>(dx, kMaxX - *maxX) : std::max<double>(dx, -*minX);
    const double moveY = dy >= 0 ? std::min<double>(dy, kMaxY - *maxY) : std::max<double>(dy, -*minY);
    // Held to the screen besides, as a sum may round a last bit past the edge.
    for (double& vx : slot.X) vx = std::clamp(vx + moveX, 0.0, double(kMaxX));
    for (double& vy : slot.Y) vy = std::clamp(vy + moveY, 0.0, double(kMaxY));
  } else {
    if (!VertexSelected()) return;
    const auto v = static_cast<size_t>(mask.SelectedVertex);
    slot.X[v] = std::clamp(slot.X[v] + dx, 0.0, double(kMaxX));
    slot.Y[v] = std::clamp(slot.Y[v] + dy, 0.0, double(kMaxY));
  }
  MaskEditDrawSelected();
}

void MaskEditEndDrag(bool keep) {
  if (keep) return;
  M().PolygonDrag = M().VertexDrag = false;
}

bool MaskEditIsDragging() { return M().PolygonDrag || M().VertexDrag; }
bool MaskEditIsDrawing() { return M().DrawingMode; }

void MaskEditStartPolygon() {
  TCurrentMask& mask = M();
  if (mask.PolygonInProgress) MaskEditFinishPolygon();
  if (mask.SelectedPolygon >= mask.PolygonCount) mask.SelectedPolygon = mask.SelectedVertex = -1;
  Deselect();
  mask.DrawingMode = true;
  mask.PolygonInProgress = false;
  MaskEditorHooks.RefreshEditPage();
}

void MaskEditAddVertexAt(int x, int y) {
  TCurrentMask& mask = M();
  mask.LastX = x;
  mask.LastY = y;
  if (mask.PolygonInProgress && SelectionValid()) {
    TMaskSlot& slot = mask.Slots[mask.SelectedPolygon];
    if (std::abs(x - slot.X[0]) < kCloseX && std::abs(y - slot.Y[0]) < kCloseY) {
      MaskEditFinishPolygon();
      return;
    }
    if (slot.VertexCount() >= kMaxMaskVertexes) return;
    slot.X.push_back(x);
    slot.Y.push_back(y);
    mask.SelectedVertex = slot.VertexCount() - 1;
    MaskEditDrawSelected();
    MaskEditorHooks.RefreshEditPage();
    return;
  }
  const int n = mask.PolygonCount;
  if (n >= kSlots) return;
  mask.Slots[n].X = {double(x), double(x)};
  mask.Slots[n].Y = {double(y), double(y)};
  mask.PolygonInProgress = true;
  if (mask.Kind == mkNone) mask.Kind = mkUser;
  mask.SelectedPolygon = n;
  mask.SelectedVertex = 1;
  SetMaskPolygonCount(n + 1);
  MaskEditDrawSelected();
}

void MaskEditFinishPolygon() {
  TCurrentMask& mask = M();
  if (!mask.PolygonInProgress || !SelectionValid()) return;
  mask.DrawingMode = false;
  mask.PolygonInProgress = false;
  TMaskSlot& slot = mask.Slots[mask.SelectedPolygon];
  if (slot.VertexCount() < 4) {
    MaskEditDeletePolygon();
    return;
  }
  // The rubber-band corner that followed the mouse goes.
  const int v = VertexSelected() ? mask.SelectedVertex : slot.VertexCount() - 1;
  slot.X.erase(slot.X.begin() + v);
  slot.Y.erase(slot.Y.begin() + v);
  mask.SelectedVertex = -1;
  MaskEditDrawSelected();
  MaskEditorHooks.RefreshEditPage();
}

void MaskEditDeleteVertex() {
  if (!VertexSelected()) return;
  TCurrentMask& mask = M();
  TMaskSlot& slot = mask.Slots[mask.SelectedPolygon];
  const int v = mask.SelectedVertex;
  slot.X.erase(slot.X.begin() + v);
  slot.Y.erase(slot.Y.begin() + v);
  if (v == slot.VertexCount()) mask.SelectedVertex = 0;
  if (slot.VertexCount() < 3) {
    MaskEditDeletePolygon();
    return;
  }
  MaskEditDrawSelected();
  MaskEditorHooks.RefreshEditPage();
}

void MaskEditInsertVertex() {
  if (!VertexSelected()) return;
  TCurrentMask& mask = M();
  TMaskSlot& slot = mask.Slots[mask.SelectedPolygon];
  // Beyond this undo and setups could not carry the mask.
  if (slot.VertexCount() >= kMaxMaskVertexes) return;
  const auto v = static_cast<size_t>(mask.SelectedVertex);
  const size_t next = (v + 1) % slot.X.size();
  const double x = (slot.X[v] + slot.X[next]) / 2;
  const double y = (slot.Y[v] + slot.Y[next]) / 2;
  slot.X.insert(slot.X.begin() + static_cast<std::ptrdiff_t>(v + 1), x);
  slot.Y.insert(slot.Y.begin() + static_cast<std::ptrdiff_t>(v + 1), y);
  mask.SelectedVertex = static_cast<int>(v + 1);
  MaskEditDrawSelected();
  MaskEditorHooks.RefreshEditPage();
}

void MaskEditDeletePolygon() {
  TCurrentMask& mask = M();
  if (ScopeCRT) ScopeCRT->DeleteMaskEditLayer();
  if (SelectionValid() && mask.PolygonInProgress) mask.DrawingMode = mask.PolygonInProgress = false;
  DeleteMaskPolygon(mask.SelectedPolygon);
  mask.SelectedPolygon = mask.SelectedVertex = -1;
  MaskEditDrawAll();
  MaskEditorHooks.RefreshEditPage();
}

void SetMaskEditMode(bool on) {
  TCurrentMask& mask = M();
  if (on == mask.EditorActive) return;
  mask.SelectedPolygon = mask.SelectedVertex = -1;
  mask.PolygonDrag = mask.VertexDrag = false;
  if (on) {
    mask.EditorActive = true;
    mask.DrawingMode = mask.PolygonInProgress = false;
    MaskObj.reset();
    if (ScopeCRT) {
      ScopeCRT->DeleteMaskLayer();
      ScopeCRT->DeleteMaskErrorLayer();
    }
    MaskEditDrawAll();
  } else {
    if (mask.PolygonInProgress) {
      mask.SelectedPolygon = mask.PolygonCount - 1;
      MaskEditFinishPolygon();
    }
    mask.DrawingMode = mask.PolygonInProgress = false;
    mask.SelectedPolygon = mask.SelectedVertex = -1;
    mask.EditorActive = false;
    if (ScopeCRT) ScopeCRT->DeleteMaskEditLayer();
    if (mask.PolygonCount > 0) BuildMaskObjFromCurrent();
  }
  if (ScopeCRT) ScopeCRT->TopText().ShowMaskState();
  UpdateMaskMenuEnabling();
  MaskEditorHooks.RefreshEditPage();
}

void InstallMaskEditor() {
  DisplayHooks.MaskEditorActive.Set([] { return M().EditorActive; });
  DisplayHooks.MaskEditDrawing.Set(MaskEditIsDrawing);
  DisplayHooks.MaskEditDragging.Set(MaskEditIsDragging);
  DisplayHooks.MaskEditAddVertexAt.Set(MaskEditAddVertexAt);
  DisplayHooks.MaskEditSelectAt.Set(
      [](int ux, int uy, int polygon, int vertex) { MaskEditSelectAt(polygon, vertex, uy, ux); });
  DisplayHooks.MaskEditFinishPolygon.Set(MaskEditFinishPolygon);
  DisplayHooks.MaskEditDragTo.Set(MaskEditDragTo);
  DisplayHooks.MaskEditEndDrag.Set(MaskEditEndDrag);
  DisplaySettingsHooks.MaskEditing.Set([] { return M().EditorActive; });
}

}  // namespace norv
