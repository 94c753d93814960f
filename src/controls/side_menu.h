#pragma once
// Side menus: the main window has two places for a menu, the right panel (0) and the left
// one (1), each showing at most one side-menu form at a time. A form is made of pages; each
// panel remembers per menu the page shown last, so a menu opens again where it was left.
//
// The framework does not know the menus' subsystems: each subsystem registers, at start-
// up, a factory for its menu ids (RegisterSideMenuFactory, or RegisterSideMenu with a page
// description, see menu_pages.h). An id without a factory opens nothing.
//
//   SetSideMenuHost(mainWindow);
//   ShowSideMenu(4, kRightPanel);   // acquisition menu in the right panel
//   ShowSideMenu(kNoMenu, kRightPanel);  // empties it

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "controls/translated_form.h"
#include "framework/util/hook.h"

namespace norv {

inline constexpr int kRightPanel = 0;
inline constexpr int kLeftPanel = 1;
inline constexpr int kNoMenu = 24;  // "close the panel"
// The utility family: the utility page (20) and the pages it leads to, which replace it
// on its panel: calibration (21), adjustment (22), demo signal (23).
inline constexpr int kUtilityMenu = 20;
inline constexpr int kSideMenuIds = 25;
inline constexpr int kPagePanelWidth = 111;
inline constexpr int kPagePanelHeight = 460;

// A side-menu form. Each kind shows its pages in ShowPage, then calls this base version,
// which records the page.
class TSideMenuForm : public TLanguageForm {
  Q_OBJECT
 public:
  // A borderless child of the main window.
  explicit TSideMenuForm(QWidget* owner);

  int Panel() const { return panel_; }
  int CurrentPage() const { return current_page_; }
  int MenuId() const { return menu_id_; }
  QWidget* PagePanel() const { return page_panel_; }

  // Hook for the kinds, run before the switchers bind.
  virtual void InitMenu() {}
  virtual void ShowPage(int page);
  // Hides the page panel shown and shows this one at (0, 0), 111 x 460.
  void ShowPagePanel(QWidget* pagePanel);
  // Binds the switchers of every menu panel, translates, shows the page remembered.
  void OpenMenu(int panel, int menuId);
  // Places the form as its panel's dimensions say.
  void SetPanel(int panel);
  void ApplyDimensions();
  // Runs before any side menu changes while this one is open (a menu in the middle of an
  // edit leaves it first).
  virtual void BeforeMenuChange() {}

 protected:
  int current_page_ = 1;

 private:
  friend bool ShowSideMenu(int, int);
  int panel_ = kRightPanel;
  int menu_id_ = kNoMenu;
  QPointer<QWidget> page_panel_;
};

// The place of a side panel in the main window, set by the main window when it is resized.
class TSMDimensions {
 public:
  explicit TSMDimensions(int panel) : panel_(panel) {}
  int Panel() const { return panel_; }
  bool Visible() const { return visible_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Each setter places the form open in the panel again.
  void SetLeft(int left);
  void SetTop(int top);
  void SetWidth(int width);
  void SetHeight(int height);
  // Also shows or hides the main window's caption panel of that side; the menu stays open.
  void SetVisible(bool visible);

 private:
  void Reapply() const;

  int panel_;
  bool visible_ = true;
  int left_ = 0;
  int top_ = 0;
  int width_ = kPagePanelWidth;
  int height_ = kPagePanelHeight;
};

// Makes the form of a menu id with `owner` as parent; `panel` tells the form where it goes.
using TSideMenuFactory = std::function<TSideMenuForm*(QWidget* owner, int panel)>;

struct TSideMenuState {
  // The main window, parent of every side-menu form.
  QPointer<QWidget> Host;
  std::array<QPointer<TSideMenuForm>, 2> SideMenuForms;
  std::array<int, 2> CurrentSideMenu{kNoMenu, kNoMenu};
  // Remembered page per panel and menu id.
  std::array<std::array<int, kSideMenuIds>, 2> SideMenuPages = [] {
    std::array<std::array<int, kSideMenuIds>, 2> pages{};
    for (auto& panel : pages) panel.fill(1);
    return pages;
  }();
  std::array<TSMDimensions, 2> SideMenuDimensions{TSMDimensions(kRightPanel), TSMDimensions(kLeftPanel)};
  std::array<TSideMenuFactory, kSideMenuIds> Factories;
  // The main window's caption panel above a side panel: shown or hidden, and the left
  // edge of the right one.
  THook<void(int panel, bool visible)> CaptionPanelVisible{"SideMenuState.CaptionPanelVisible"};
  THook<void(int left)> RightCaptionLeft{"SideMenuState.RightCaptionLeft"};
  // Per panel, the page of the utility family it opens with: kUtilityMenu + this (0..3).
  std::array<uint8_t, 2> PanelAltMenu{0, 0};
  // Opens kUtilityMenu + PanelAltMenu[panel] on the panel a moment later (the page that
  // asks is one of the forms that goes).
  THook<void(int panel)> SwitchUtilityPage{"SideMenuState.SwitchUtilityPage"};
};
extern TSideMenuState SideMenuState;
inline constinit auto& SideMenuForms = SideMenuState.SideMenuForms;
inline constinit auto& CurrentSideMenu = SideMenuState.CurrentSideMenu;
inline constinit auto& SideMenuPages = SideMenuState.SideMenuPages;
inline constinit auto& SideMenuDimensions = SideMenuState.SideMenuDimensions;
inline constinit auto& PanelAltMenu = SideMenuState.PanelAltMenu;

// The panel's utility family goes to page `alt` (0..3) of it.
void SwitchUtilityFamily(int panel, uint8_t alt);

void SetSideMenuHost(QWidget* mainWindow);
// Ids 0..23 except 19; a second registration replaces the first.
void RegisterSideMenuFactory(int menuId, TSideMenuFactory factory);

// Opens the menu of an id in a panel (kNoMenu empties the panel). The form the panel held
// goes, even for the same id: a menu is made anew at each opening and keeps only its
// settings and the remembered page. An id with no form (19, above 24, none registered)
// or a wrong panel changes nothing and gives false. The old form is freed once control
// returns to the event loop, since this may run inside one of its own handlers.
bool ShowSideMenu(int menuId, int panel);
// A menu is registered for the id.
bool HasSideMenu(int menuId);
// Sends a menu back to page 1 in both panels.
void ResetSideMenuPage(int menuId);
bool IsRightSideMenu(int menuId);
bool IsLeftSideMenu(int menuId);
bool IsSideMenuOpen(int menuId);
bool IsRightSideMenuPage(int menuId, int page);
bool IsLeftSideMenuPage(int menuId, int page);

}  // namespace norv
