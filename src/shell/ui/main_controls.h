#pragma once
// The main window's bound controls: the row of main commands, the permanent controls below
// the scope screen, the main-menu buttons and the side-menu panels. The window lays out
// whatever these give it and binds the two switcher groups at the deferred start-up.

#include <QFrame>
#include <QLabel>
#include <QString>
#include <string>
#include <vector>

#include "controls/command_switchers.h"
#include "controls/main_menu_button.h"
#include "controls/switcher.h"

namespace norv {

// The row of main commands (group "*"); its switchers in the order of the function keys
// F5..F12, then the help entry (Shift+F1).
TRC_RightMenuPanel* CreateCommandRow(QWidget* parent);
// The main command switcher bound to `path` ("*Run", "SHADOW:Help"), or nullptr.
TRC_MainCommandSwitcher* CommandSwitcher(const TRC_RightMenuPanel& row, const std::string& path);
// A click on the switcher's button as the mouse gives it (the function keys).
void ClickCommandSwitcher(TRC_MainCommandSwitcher& switcher);

// The strip of permanent controls for both channels, the time base and the trigger. The
// settings move its scale, delay and level controls to other nodes through their hooks,
// which the strip fills while it exists.
class TPermanentControls final : public TRC_RightMenuPanel {
 public:
  explicit TPermanentControls(QWidget* parent);
  ~TPermanentControls() override;
  // Spreads the controls over the strip's width. Each control keeps the width its caption
  // and a typical value need; when the strip is too narrow for all of them, the least
  // needed go first (each is also on its side menu): the trigger source, the slope, the
  // time-base mode, the level, the delay, the offsets.
  void LayOut();
  // The width the controls shown now need at least.
  int NeededWidth() const;

 private:
  struct TPlace {
    TRC_Switcher* Switcher;
    QWidget* Label;  // above an on/off check
    int Weight;      // share of the room left over
    int Rank;        // 0: always shown; the highest rank goes first
    QString Sample;  // a long value text of an edit
  };
  int MinWidth(const TPlace& place) const;
  void Rebind(const char* name, const std::string& path);
  std::vector<TPlace> places_;
};

TButtonOfMainMenu* CreateMainMenuButton(QWidget* parent, const QString& caption);

}  // namespace norv
