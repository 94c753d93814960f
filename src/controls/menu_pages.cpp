#include "controls/menu_pages.h"

#include <set>

#include "framework/text/dot_number.h"

namespace norv {

namespace {

// The letters and digits of a text, for a control's name.
std::string NameLetters(const std::string& text) {
  std::string name;
  for (char c : text)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') name += c;
  return name;
}

std::string DefaultName(const TSwitcherDecl& decl) {
  const std::string& m = decl.Fields.Mnemonics;
  return decl.Prefix + NameLetters(m.empty() || m == kNoneHandler ? decl.Fields.Caption.toStdString() : m);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TPageTurnSwitcher

TPageTurnSwitcher::TPageTurnSwitcher(QWidget* parent, int page, int pageCount)
    : TRC_CustomCmmandSwitcher(parent), page_(page), page_count_(pageCount) {
  setObjectName("pcsPageTurn");
  SetMnemonics(kNoneHandler);
  SetButtonCount(2);
  SetButtonCaption(0, "Back");
  SetButtonCaption(1, "More");
  SetCaption(QString::fromStdString(Format_Dot("Page %d of %d", page, pageCount)));
  setGeometry(4, TDeclaredSideMenu::kTurnTop, 103, 41);
}

void TPageTurnSwitcher::ExecuteCommand(int index) {
  int target = index == 0 ? page_ - 1 : page_ + 1;
  if (target < 1) target = page_count_;
  if (target > page_count_) target = 1;
  for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
    if (auto* form = qobject_cast<TSideMenuForm*>(w)) return form->ShowPage(target);
  }
}

// ---------------------------------------------------------------------------------------
// TDeclaredSideMenu

TDeclaredSideMenu::TDeclaredSideMenu(QWidget* owner, const TMenuDecl& decl) : TSideMenuForm(owner) {
  setObjectName(QString::fromStdString(decl.Name));
  setWindowTitle(decl.Caption);
  resize(kPagePanelWidth, kPagePanelHeight);
  const int pageCount = static_cast<int>(decl.Pages.size());
  auto fail = [&](int page, const std::string& what) {
    throw EAssertion(Format_Dot("ERROR!  Page %d of %s: ", page, decl.Name) + what);
  };
  for (const TPageDecl& pageDecl : decl.Pages) {
    const int number = static_cast<int>(pages_.size()) + 1;
    if (pageDecl.Number != number) fail(pageDecl.Number, "pages must be numbered 1, 2, ... in order");
    auto* page = new TRC_RightMenuPanel(this);
    page->setObjectName(QString::fromStdString(Format_Dot("rmpPage%d", number)));
    page->SetWithoutFrame(true);
    page->setGeometry(0, 0, kPagePanelWidth, kPagePanelHeight);
    pages_.push_back(page);
    std::set<std::string> panelNames;
    int top = 0;
    for (const TPanelDecl& panelDecl : pageDecl.Panels) {
      if (!panelNames.insert(panelDecl.Name).second) fail(number, "two panels named " + panelDecl.Name);
      auto* panel = new TRC_RightMenuPanel(page, panelDecl.Group, panelDecl.Caption);
      panel->setObjectName(QString::fromStdString(panelDecl.Name));
      panel->SetHelpContext(panelDecl.HelpContext);
      std::set<std::string> names;
      for (const TSwitcherDecl& switcher : panelDecl.Switchers) {
        TSwitcherFields fields = switcher.Fields;
        if (fields.Name.empty()) fields.Name = DefaultName(switcher);
        if (!names.insert(fields.Name).second)
          fail(number, "two switchers named " + fields.Name + " in " + panelDecl.Name);
        TRC_Switcher& made = panel->AddMade(switcher.Make, fields);
        // Choices whose texts want more room than the default place take the panel's width.
        auto* poly = qobject_cast<TRC_PolyButtonSwitcher*>(&made);
        if (poly && fields.Left < 0 && fields.Width == 0 && poly->NeededWidth() > poly->width())
          poly->setGeometry(kWideLeft, poly->y(), panelDecl.Width - 2 * kWideLeft, poly->height());
      }
      const int height = panelDecl.Height > 0 ? panelDecl.Height : panel->NextTop() + 2;
      const int y = panelDecl.Top >= 0 ? panelDecl.Top : top;
      panel->setGeometry(panelDecl.Left, y, panelDecl.Width, height);
      panel->show();
      top = std::max(top, y + height + kPanelGap);
    }
    const bool turnSwitcher = pageCount > 1 && !decl.OwnPageTurns;
    const int room = turnSwitcher ? kTurnTop : kPagePanelHeight;
    if (top - kPanelGap > room)
      fail(number, Format_Dot("%d pixels of panels, room for %d", top - kPanelGap, room));
    if (turnSwitcher) new TPageTurnSwitcher(page, number, pageCount);
  }
}

void TDeclaredSideMenu::StackShown(std::initializer_list<const char*> names) {
  int top = TRC_RightMenuPanel::kFirstTop;
  QWidget* panel = nullptr;
  for (const char* name : names) {
    auto& control = Control<TRC_Switcher>(name);
    panel = control.parentWidget();
    if (control.isHidden()) continue;
    control.move(control.x(), top);
    top += control.height() + TRC_RightMenuPanel::kSwitcherGap;
  }
  if (panel) panel->resize(panel->width(), top + 2);
}

void TDeclaredSideMenu::ShowPage(int page) {
  if (pages_.empty()) return;
  page = std::clamp(page, 1, PageCount());
  current_page_ = page;
  ShowPagePanel(Page(page));
  TSideMenuForm::ShowPage(page);
}

void RegisterSideMenu(int menuId, TMenuDecl decl, TMenuWiring wiring) {
  RegisterSideMenuFactory(menuId,
                          [decl = std::move(decl), wiring = std::move(wiring)](QWidget* owner, int panel) {
                            auto* menu = new TDeclaredSideMenu(owner, decl);
                            try {
                              if (wiring) wiring(*menu, panel);
                            } catch (...) {
                              delete menu;
                              throw;
                            }
                            return static_cast<TSideMenuForm*>(menu);
                          });
}

}  // namespace norv
