#include "controls/side_menu.h"

#include "controls/switcher.h"
#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"

namespace norv {

TSideMenuState SideMenuState;
const TProgramUnit SideMenuUnit("side menus", [] { SideMenuState = {}; });

namespace {

bool ValidPanel(int panel) { return panel == kRightPanel || panel == kLeftPanel; }
bool ValidId(int menuId) { return menuId >= 0 && menuId < kSideMenuIds; }

// Takes a form out of its panel: no setting reaches it any more, and it goes once control
// is back in the event loop (the caller may be one of its controls' handlers).
void Release(TSideMenuForm* form) {
  if (!form) return;
  form->hide();
  std::erase(TranslatedForms.Forms, &form->Translator());  // no language switch reaches it
  for (TRC_Switcher* switcher : form->findChildren<TRC_Switcher*>()) switcher->UnregisterFromHandler();
  form->deleteLater();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TSideMenuForm

TSideMenuForm::TSideMenuForm(QWidget* owner) : TLanguageForm(owner, Qt::Widget) {
  setAutoFillBackground(true);
  hide();
}

void TSideMenuForm::ShowPage(int page) {
  // Only the form open in a panel speaks for it.
  if (!ValidId(menu_id_) || SideMenuForms[static_cast<size_t>(panel_)] != this) return;
  CurrentSideMenu[static_cast<size_t>(panel_)] = menu_id_;
  SideMenuPages[static_cast<size_t>(panel_)][static_cast<size_t>(menu_id_)] = page;
}

void TSideMenuForm::ShowPagePanel(QWidget* pagePanel) {
  if (pagePanel == page_panel_) return;
  if (page_panel_) page_panel_->hide();
  page_panel_ = pagePanel;
  if (!pagePanel) return;
  pagePanel->setGeometry(0, 0, kPagePanelWidth, kPagePanelHeight);
  pagePanel->show();
}

void TSideMenuForm::OpenMenu(int panel, int menuId) {
  // Translated before it is bound, so that the texts the binding sets (the channel's
  // caption) are the last word.
  if (!Translator().Translated()) Translate();
  InitMenu();
  for (TRC_RightMenuPanel* menuPanel : findChildren<TRC_RightMenuPanel*>()) menuPanel->RegisterSwitchers();
  ShowPage(SideMenuPages[static_cast<size_t>(panel)][static_cast<size_t>(menuId)]);
}

void TSideMenuForm::SetPanel(int panel) {
  if (!ValidPanel(panel)) return;
  panel_ = panel;
  ApplyDimensions();
}

void TSideMenuForm::ApplyDimensions() {
  const TSMDimensions& d = SideMenuDimensions[static_cast<size_t>(panel_)];
  setGeometry(d.Left(), d.Top(), d.Width(), d.Height());
  setVisible(d.Visible());
}

// ---------------------------------------------------------------------------------------
// TSMDimensions

void TSMDimensions::Reapply() const {
  if (TSideMenuForm* form = SideMenuForms[static_cast<size_t>(panel_)]) form->ApplyDimensions();
}

void TSMDimensions::SetLeft(int left) {
  left_ = left;
  Reapply();
  if (panel_ == kRightPanel) SideMenuState.RightCaptionLeft(left);
}

void TSMDimensions::SetTop(int top) {
  top_ = top;
  Reapply();
}

void TSMDimensions::SetWidth(int width) {
  width_ = width;
  Reapply();
}

void TSMDimensions::SetHeight(int height) {
  height_ = height;
  Reapply();
}

void TSMDimensions::SetVisible(bool visible) {
  visible_ = visible;
  Reapply();
  SideMenuState.CaptionPanelVisible(panel_, visible);
}

// ---------------------------------------------------------------------------------------
// Opening and closing

void SetSideMenuHost(QWidget* mainWindow) { SideMenuState.Host = mainWindow; }

void RegisterSideMenuFactory(int menuId, TSideMenuFactory factory) {
  if (!ValidId(menuId) || menuId == 19 || menuId == kNoMenu)
    throw EAssertion("ERROR!  No side menu can have the id " + std::to_string(menuId));
  SideMenuState.Factories[static_cast<size_t>(menuId)] = std::move(factory);
}

bool ShowSideMenu(int menuId, int panel) {
  // Checked before anything is freed: a request that opens nothing leaves the panel as it is.
  if (!ValidPanel(panel) || !ValidId(menuId)) return false;
  const TSideMenuFactory& factory = SideMenuState.Factories[static_cast<size_t>(menuId)];
  if (menuId != kNoMenu && !factory) return false;
  for (int side : {kLeftPanel, kRightPanel})
    if (TSideMenuForm* open = SideMenuForms[static_cast<size_t>(side)]) open->BeforeMenuChange();

  const auto slot = static_cast<size_t>(panel);
  Release(SideMenuForms[slot]);
  SideMenuForms[slot] = nullptr;
  CurrentSideMenu[slot] = menuId;
  if (menuId == kNoMenu) return true;

  TSideMenuForm* form = nullptr;
  try {
    form = factory(SideMenuState.Host, panel);
    if (!form) {
      CurrentSideMenu[slot] = kNoMenu;
      return false;
    }
    form->menu_id_ = menuId;
    form->panel_ = panel;
    SideMenuForms[slot] = form;
    form->OpenMenu(panel, menuId);
    form->ApplyDimensions();  // shows it
  } catch (...) {
    // A menu that cannot open leaves its panel empty.
    Release(form);
    SideMenuForms[slot] = nullptr;
    CurrentSideMenu[slot] = kNoMenu;
    throw;
  }
  return true;
}

void SwitchUtilityFamily(int panel, uint8_t alt) {
  if (!ValidPanel(panel) || alt > kNoMenu - 1 - kUtilityMenu) return;
  PanelAltMenu[static_cast<size_t>(panel)] = alt;
  SideMenuState.SwitchUtilityPage(panel);
}

bool HasSideMenu(int menuId) {
  return ValidId(menuId) && static_cast<bool>(SideMenuState.Factories[static_cast<size_t>(menuId)]);
}

void ResetSideMenuPage(int menuId) {
  if (!ValidId(menuId)) return;
  for (int panel : {kRightPanel, kLeftPanel}) {
    const auto slot = static_cast<size_t>(panel);
    TSideMenuForm* form = SideMenuForms[slot];
    if (CurrentSideMenu[slot] == menuId && form && form->CurrentPage() > 1)
      form->ShowPage(1);
    else
      SideMenuPages[slot][static_cast<size_t>(menuId)] = 1;
  }
}

bool IsRightSideMenu(int menuId) { return CurrentSideMenu[kRightPanel] == menuId; }
bool IsLeftSideMenu(int menuId) { return CurrentSideMenu[kLeftPanel] == menuId; }
bool IsSideMenuOpen(int menuId) { return IsRightSideMenu(menuId) || IsLeftSideMenu(menuId); }

bool IsRightSideMenuPage(int menuId, int page) {
  return ValidId(menuId) && IsRightSideMenu(menuId) &&
         SideMenuPages[kRightPanel][static_cast<size_t>(menuId)] == page;
}

bool IsLeftSideMenuPage(int menuId, int page) {
  return ValidId(menuId) && IsLeftSideMenu(menuId) &&
         SideMenuPages[kLeftPanel][static_cast<size_t>(menuId)] == page;
}

}  // namespace norv
