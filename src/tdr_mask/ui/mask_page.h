#pragma once
// The mask test's side menu (menu 15): the test itself, the run-until rule and actions, the
// ways to create a mask, the automask, the editor's buttons and the mask scaling panel.

namespace norv {

// The panels in page order.
enum TMaskPage : int { mpTest = 1, mpRunUntil = 2, mpCreate = 3, mpAutomask = 4, mpEdit = 5, mpScale = 6 };

void RegisterMaskPage();

}  // namespace norv
