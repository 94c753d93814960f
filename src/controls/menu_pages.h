#pragma once
// Side-menu pages described rather than placed by hand. A menu is a list of numbered
// pages; a page a list of panels, each with the path prefix of its settings; a panel a
// list of switchers, stacked from the top unless a place is given. A menu of several
// pages gets a page-turn switcher at the foot of each page.
//
//   const TMenuDecl kAcqMenu{
//       .Name = "Acq_Form",
//       .Pages = {{.Number = 1,
//                  .Panels = {{.Name = "rmpAcqMode", .Group = "Acq", .Caption = "Acquisition",
//                              .Switchers = {
//                                  Sw<TRC_RadioSwitcher>({.Mnemonics = "Mode", .Caption = "Mode",
//                                                         .Items = {"Sample", "Average"}}),
//                                  Sw<TRC_EditSwitcher>({.Mnemonics = "NAvg", .Caption = "Averages"}),
//                              }}}},
//                 {.Number = 2, .Panels = {...}}}};
//   RegisterSideMenu(4, kAcqMenu);
//
// Switchers are named after their kind and mnemonic ("rswMode", "eswNAvg") unless the
// description names them; the names are the keys of their texts in language files and
// find them again: menu.Control<TRC_EditSwitcher>("eswNAvg").

#include <QString>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/edit_switchers.h"
#include "controls/list_switchers.h"
#include "controls/side_menu.h"
#include "framework/util/errors.h"

namespace norv {

// The name prefix of a switcher kind.
template <class T>
constexpr const char* KindPrefix() {
  if constexpr (std::is_base_of_v<TRC_RadioSwitcher, T>) return "rsw";
  if constexpr (std::is_base_of_v<TRC_OnOffSwitch, T>) return "oosw";
  if constexpr (std::is_base_of_v<TRC_CheckSwitcher, T>) return "csw";
  if constexpr (std::is_base_of_v<TRC_OnOffCheckSwitcher, T>) return "oocsw";
  if constexpr (std::is_base_of_v<TRC_MainCommandSwitcher, T>) return "mcs";
  if constexpr (std::is_base_of_v<TRC_RightCommandSwitcher, T>) return "rcs";
  if constexpr (std::is_base_of_v<TRC_RightPassiveCommandSwitcher, T>) return "pcs";
  if constexpr (std::is_base_of_v<TRC_EditSwitcher, T>) return "esw";
  if constexpr (std::is_base_of_v<TRC_LabelSwitcher, T>) return "lsw";
  if constexpr (std::is_base_of_v<TRC_ListBoxSwitcher, T>) return "lbsw";
  if constexpr (std::is_base_of_v<TRC_SignalSourceSwitcher, T>) return "ssw";
  return "sw";
}

struct TSwitcherDecl {
  TRC_RightMenuPanel::TMakeSwitcher Make;
  const char* Prefix = "sw";
  TSwitcherFields Fields;
};

// A switcher of kind T on a panel.
template <class T>
TSwitcherDecl Sw(TSwitcherFields fields) {
  return {[](QWidget* parent, const TSwitcherFields& s) -> TRC_Switcher* { return new T(parent, s); },
          KindPrefix<T>(), std::move(fields)};
}

// Switchers that many pages declare alike.
// A button under a caption strip, `item` written on it (else the caption).
inline TSwitcherDecl CaptionedButton(const char* name, const char* caption, const char* item = nullptr) {
  return Sw<TRC_RightPassiveCommandSwitcher>(
      {.Caption = caption, .Items = {item ? item : caption}, .Name = name});
}
// A button as wide as the panel, without a caption strip.
inline TSwitcherDecl WideButton(const char* name, const char* caption) {
  return Sw<TRC_RightPassiveCommandSwitcher>(
      {.Left = 1, .Width = 109, .Height = 22, .Items = {caption}, .Name = name});
}
inline TSwitcherDecl NodeEdit(const char* name, const char* mnemonics, const char* caption,
                              int helpContext = 0) {
  return Sw<TRC_EditSwitcher>(
      {.Mnemonics = mnemonics, .Caption = caption, .HelpContext = helpContext, .Name = name});
}
inline TSwitcherDecl NodeRadio(const char* name, const char* mnemonics, const char* caption,
                               QStringList items) {
  return Sw<TRC_RadioSwitcher>(
      {.Mnemonics = mnemonics, .Caption = caption, .Items = std::move(items), .Name = name});
}
// A check or radio set of kind T with a 14-pixel text row per item below its caption strip,
// at least minHeight tall.
template <class T>
TSwitcherDecl RowList(const char* name, const char* mnemonics, const char* caption, QStringList items,
                      int minHeight = 0) {
  constexpr int kRowHeight = 14, kStripAndFrames = 21;
  const int height = std::max(kStripAndFrames + kRowHeight * static_cast<int>(items.size()), minHeight);
  return Sw<T>({.Mnemonics = mnemonics,
                .Caption = caption,
                .Height = height,
                .Items = std::move(items),
                .Name = name});
}

struct TPanelDecl {
  std::string Name;        // "rmpAcqMode"
  std::string Group = {};  // path prefix of its switchers ("*" for the common commands)
  QString Caption = {};
  std::vector<TSwitcherDecl> Switchers = {};
  int Top = -1;    // negative: below the panel before
  int Height = 0;  // 0: as tall as its switchers need
  int Left = 0;
  int Width = kPagePanelWidth;
  int HelpContext = 0;
};

struct TPageDecl {
  int Number;  // 1, 2, ... in order
  std::vector<TPanelDecl> Panels = {};
};

struct TMenuDecl {
  std::string Name;  // form name and language-file section: "Acq_Form"
  QString Caption = {};
  std::vector<TPageDecl> Pages;
  // The pages turn by buttons of their own, each to the page it names: no page-turn
  // switcher at their foot.
  bool OwnPageTurns = false;
};

// The page-turn switcher at the foot of each page of a menu with several pages: "Back"
// and "More" turn to the page before and after (round).
class TPageTurnSwitcher : public TRC_CustomCmmandSwitcher {
  Q_OBJECT
 public:
  TPageTurnSwitcher(QWidget* parent, int page, int pageCount);

 protected:
  void ExecuteCommand(int index) override;

 private:
  int page_;
  int page_count_;
};

// A side menu built from its description.
class TDeclaredSideMenu : public TSideMenuForm {
  Q_OBJECT
 public:
  // Fails (EAssertion) on a description that cannot be shown: pages out of order, two
  // controls of one name in a container, a page taller than the panel.
  TDeclaredSideMenu(QWidget* owner, const TMenuDecl& decl);

  int PageCount() const { return static_cast<int>(pages_.size()); }
  // The container of page `page` (1 ...).
  TRC_RightMenuPanel* Page(int page) const { return pages_.at(static_cast<size_t>(page - 1)); }
  // Shows a page (limited to 1 .. PageCount) and remembers it.
  void ShowPage(int page) override;

  // A control of the menu by name; fails (EAssertion) when there is none of that kind.
  template <class T>
  T& Control(const char* name) const {
    T* control = findChild<T*>(QString::fromUtf8(name));
    if (!control)
      throw EAssertion(std::string("ERROR!  No control ") + name + " in " + objectName().toStdString());
    return *control;
  }

  // Stacks the shown controls of `names` (of one panel, in this order) from the panel's top,
  // one gap apart, and fits the panel's height to them: a control shown or hidden, or taller
  // than the one it stands in for, moves those below it.
  void StackShown(std::initializer_list<const char*> names);

  static constexpr int kPanelGap = 2;
  // The left edge of a switcher as wide as its panel allows.
  static constexpr int kWideLeft = 2;
  static constexpr int kTurnTop = kPagePanelHeight - 43;

 private:
  std::vector<TRC_RightMenuPanel*> pages_;
};

// Called on the menu once it is built, before it opens (to connect the controls' events).
using TMenuWiring = std::function<void(TDeclaredSideMenu& menu, int panel)>;
// Registers the factory of a described menu.
void RegisterSideMenu(int menuId, TMenuDecl decl, TMenuWiring wiring = {});

}  // namespace norv
