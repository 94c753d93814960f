#pragma once
// TMorda_fr, the program's main window: the scope screen (the program's ScopeCRT, made
// and freed by the window), the row of main commands, the permanent controls below the
// screen, the two-row main menu, and the two side-menu places with their captions, where
// the main-menu buttons open the registered menus. It drives the acquisition from the
// event loop's idle passes, owns the persistence timer, runs the deferred start-up once
// when it is first shown, follows a switch of language, asks the close query and reports
// every exception of an entry point ("OnException").

#include <QFrame>
#include <QLabel>
#include <QPrinter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "display/scope_crt.h"
#include "platform/qt_idle.h"
#include "platform/qt_text_rasteriser.h"
#include "platform/qt_timer.h"
#include "shell/main_layout.h"
#include "shell/ui/main_controls.h"

namespace norv {

// Makes the widget that presents the screen control (the display's screen-area widget).
using TScopeWidgetFactory = std::function<QWidget*(TScopeCRT& crt, QWidget* parent)>;

// Main-menu codes (side-menu page ids).
inline constexpr int kMainMenuButtonCount = 21;
inline constexpr int kMenuChannels = 0, kMenuOE = 1, kMenuTimeBase = 2, kMenuGenerators = 16, kMenuTDR = 17,
                     kMenuJitter = 18, kMenuTestADC = 19;
// Persistence ageing period (ms).
inline constexpr int kPersistAgeingMs = 12;
// A close waits for a window in front of the main one to end in steps of kCloseWaitStepMs,
// at most kCloseWaitSteps of them; then it goes on.
inline constexpr int kCloseWaitStepMs = 10, kCloseWaitSteps = 500;

class TMorda_fr : public QWidget {
  Q_OBJECT
 public:
  explicit TMorda_fr(const TScopeWidgetFactory& scopeWidget, QWidget* parent = nullptr);
  ~TMorda_fr() override;

  QWidget* ScopeWidget() const { return scopeWidget_; }
  // The printer "*Print" prints on (the one chosen in the printer set-up).
  void SetPrinter(QPrinter* printer) { printer_ = printer; }
  // The keypad, made after the window; its texts go into the English language file too.
  void SetKeypad(QWidget* keypad) { keypad_ = keypad; }

  // --- services of the window ---
  void SetBusy(bool busy);
  void SetMenuCaption(bool left, const QString& caption);
  void CloseSideMenus();
  void UpdateOptionButtons();
  void SetMainControlsVisible(bool visible);
  void MouseDownOnButtonOfMainMenu(int code, bool leftButton);
  // 5 ms later, the panel opens the utility family's page of PanelAltMenu[panel].
  void SwitchUtilityPage(int panel);
  void SetDefaultWindowSize();

  // One pass of the idle handler as the event loop runs it (tests step it directly).
  // True: done, the loop may sleep.
  bool IdleStep();
  bool IdleBusy() const { return idle_.Busy(); }
  // Closes through the close query with nothing waiting for a click (signals, the
  // session's end, a client that has gone): a connected client's connection ends, and the
  // program closes even when the query fails.
  void CloseQuietly();
  // The one exception report.
  void OnException(const std::string& message);

  // For tests and pictures.
  TRC_MainCommandSwitcher* MainCommandControl(const std::string& path) const;
  TButtonOfMainMenu* MainMenuButton(int code) const { return menuButtons_.at(static_cast<size_t>(code)); }
  QWidget* MainMenuPanel() const { return mainMenu_; }
  TPermanentControls* PermanentControls() const { return permanent_; }
  QLabel* MenuCaption(bool left) const { return left ? leftCaption_ : rightCaption_; }
  TFormTranslator& Translator() const { return *translator_; }
  int OpenMenu(int panel) const { return openMenu_[panel]; }
  bool CloseAccepted() const { return closeAccepted_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void InstallWindowHooks();
  void RemoveWindowHooks();
  void ApplyLayout();
  void LayOutMainMenuButtons(int menuWidth);
  void DeferredStartup();
  bool AcquisitionStep();
  void ServiceRemote();
  void WatchRemoteSockets();
  void AgePersistence();
  void LanguageSwitched();
  void CloseBySystem();
  bool EndWindowInFront();

  TQtTextRasteriser text_;
  TQtTimerFactory timers_;
  QWidget* scopeWidget_ = nullptr;
  QPrinter* printer_ = nullptr;

  TFormTranslator* translator_ = nullptr;
  QWidget* keypad_ = nullptr;
  QWidget* btnInstruments_ = nullptr;
  TRC_RightMenuPanel* commandRow_ = nullptr;
  TPermanentControls* permanent_ = nullptr;
  QWidget* mainMenu_ = nullptr;
  std::array<TButtonOfMainMenu*, kMainMenuButtonCount> menuButtons_{};
  TButtonOfMainMenu* spareMenuButton_ = nullptr;  // the empty place after the last button
  QLabel* leftCaption_ = nullptr;
  QLabel* rightCaption_ = nullptr;
  std::array<int, 2> openMenu_{-1, -1};  // index 0 right panel, 1 left panel
  bool mainControlsVisible_ = true;
  TRectI scopeRect_;

  TQtIdleDriver idle_;
  QTimer persistTimer_;
  QTimer utilityTimer_;
  int utilityPanel_ = kRightPanel;
  std::map<int, std::unique_ptr<QSocketNotifier>> remoteNotifiers_;
  // Watches for room in the client's socket while an answer waits for it.
  std::unique_ptr<QSocketNotifier> answerNotifier_;
  bool closingBySystem_ = false;
  bool closeAccepted_ = false;
  // A close that waits for the window in front of the main one to end (EndWindowInFront).
  QTimer closeAgain_;
  bool closeAgainBySystem_ = false;
  int closeWaits_ = 0;
  // The loop level the main window runs in, known once the deferred start has run.
  int mainLoopLevel_ = -1;
  bool inException_ = false;
};

}  // namespace norv
