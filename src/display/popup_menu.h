#pragma once
// A pop-up menu as plain data: its items and what to do with the one chosen. The window
// side shows it (a QMenu in the program) and calls Choose with the chosen item's name.

#include <functional>
#include <string>
#include <vector>

namespace norv {

struct TPopupItem {
  std::string Name;     // passed back when chosen; "-" is a separator line
  std::string Caption;  // shown
  bool Checked = false;
  bool Enabled = true;
};

struct TPopupMenu {
  std::vector<TPopupItem> Items;
  std::function<void(const std::string& name)> OnChosen;

  bool Empty() const { return Items.empty(); }
  void Choose(const std::string& name) const {
    if (OnChosen) OnChosen(name);
  }
};

}  // namespace norv
