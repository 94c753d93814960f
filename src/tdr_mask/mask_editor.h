#pragma once
// The mouse editor of the user mask: polygons of the current mask's slots (screen units,
// X 0..4000, Y 0..1024) drawn, selected, dragged and reshaped on the signal screen through
// its mask edit layer. Nothing here records undo: entering edit mode takes the one step.

#include "framework/util/hook.h"

namespace norv {

struct TMaskEditorHooks {
  // The mask page's buttons follow the selection and the polygon count.
  THook<void()> RefreshEditPage{"MaskEditorHooks.RefreshEditPage"};
};
inline TMaskEditorHooks MaskEditorHooks;

// Entering frees the mask object and draws the slots for editing; leaving finishes a
// polygon being drawn and builds the mask object from the slots again.
void SetMaskEditMode(bool on);
// A count of 0 drops the selection and makes the mask kind none.
void SetMaskPolygonCount(int count);
// Removes mask slot n (the later slots move down); nothing for an index outside the count.
void DeleteMaskPolygon(int n);

void MaskEditSelectAt(int polygon, int vertex, int y, int x);
void MaskEditAddVertexAt(int x, int y);
void MaskEditFinishPolygon();
void MaskEditDragTo(int x, int y);
void MaskEditEndDrag(bool keep);
bool MaskEditIsDragging();
bool MaskEditIsDrawing();
// The page's buttons; the vertex ones do nothing without a selected vertex.
void MaskEditStartPolygon();
void MaskEditInsertVertex();
void MaskEditDeleteVertex();
void MaskEditDeletePolygon();
void MaskEditDrawAll();
void MaskEditDrawSelected();

// Fills the screen's hooks into the editor.
void InstallMaskEditor();

}  // namespace norv
