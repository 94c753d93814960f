#include "shell/ui/help_keys.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <utility>

#include "controls/command_switchers.h"
#include "controls/help_contexts.h"
#include "controls/side_menu.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "platform/browser.h"
#include "platform/entry_guard.h"
#include "shell/help_bridge.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

// Owned by the main window.
QPointer<THelpKeys> helpKeys;

// The topic under the mouse in the active window, else that of the focused control.
int ContextForF1() {
  QWidget* window = QApplication::activeWindow();
  if (!window) return 0;
  const QPoint at = QCursor::pos();
  if (window->rect().contains(window->mapFromGlobal(at)))
    if (const int context = FindHelpContextAtPos(window, at)) return context;
  for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
    if (const int context = HelpContextOf(w)) return context;
  return 0;
}

}  // namespace

THelpKeys::THelpKeys(QObject* owner) : QObject(owner) { qApp->installEventFilter(this); }

THelpKeys::~THelpKeys() {
  LeaveWhatsThisMode();
  if (qApp) qApp->removeEventFilter(this);
}

void THelpKeys::EnterWhatsThisMode() {
  if (whats_this_) return;
  whats_this_ = true;
  QApplication::setOverrideCursor(Qt::WhatsThisCursor);
}

void THelpKeys::LeaveWhatsThisMode() {
  if (!whats_this_) return;
  whats_this_ = false;
  QApplication::restoreOverrideCursor();
}

bool THelpKeys::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return false;
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (whats_this_ && key->key() == Qt::Key_Escape) {
        LeaveWhatsThisMode();
        return true;
      }
      if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
      RunGuarded([] { ShellHooks.OpenHelp(ContextForF1()); });
      return true;
    }
    case QEvent::MouseButtonRelease:
      return std::exchange(swallow_release_, false);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (!whats_this_) return false;
      const auto* mouse = static_cast<QMouseEvent*>(event);
      LeaveWhatsThisMode();
      swallow_release_ = true;
      if (mouse->button() != Qt::LeftButton) return true;
      const QPoint at = mouse->globalPosition().toPoint();
      QWidget* window = static_cast<QWidget*>(watched)->window();
      RunGuarded([&] { ShellHooks.OpenHelp(FindHelpContextAtPos(window, at)); });
      return true;
    }
    default:
      return false;
  }
}

void InstallHelpBridge() {
  delete helpKeys;
  helpKeys = new THelpKeys(SideMenuState.Host);
  HelpHooks.OpenUrl.Set(OpenUrlInBrowser);
  ShellHooks.OpenHelp.Set(ShowHelpContext);
  ShellHooks.EnterHelpMode.Set([] {
    if (helpKeys) helpKeys->EnterWhatsThisMode();
  });
  LinkHooks.UpdateHelpMenuCaption.Set([] {
    QWidget* host = SideMenuState.Host;
    auto* help = host ? host->findChild<TRC_MainCommandSwitcher*>("mcsHelp") : nullptr;
    if (!help) return;
    QStringList items = help->MenuItems();
    if (items.isEmpty()) return;
    items[0] = QString::fromStdString(GetProductName() + " &Help");
    help->SetMenuItems(items);
  });
}

THelpKeys* ProgramHelpKeys() { return helpKeys; }

}  // namespace norv
