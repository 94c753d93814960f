#include "shell/ui/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <algorithm>
#include <iostream>

#include "controls/controls_state.h"
#include "controls/side_menu.h"
#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/trace_names.h"
#include "framework/util/clock.h"
#include "framework/util/dialog_service.h"
#include "framework/util/idle_pass.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/startup/instrument_list.h"
#include "platform/entry_guard.h"
#include "shell/main_commands.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/remote_server.h"
#include "shell/screen_wiring.h"
#include "shell/shell_state.h"
#include "shell/ui/screen_capture.h"

namespace norv {

namespace {

// The function keys of the main commands, in the row's order.
constexpr QKeyCombination kCommandKeys[] = {Qt::Key_F5,  Qt::Key_F6,  Qt::Key_F7,
                                            Qt::Key_F8,  Qt::Key_F9,  Qt::Key_F10,
                                            Qt::Key_F11, Qt::Key_F12, Qt::ShiftModifier | Qt::Key_F1};

constexpr const char* kMenuCaptions[kMainMenuButtonCount] = {
    "Channels",    "O/E Converter", "Time Base",  "Trigger",     "Acquisition", "Display", "Save/Recall",
    "Marker",      "Measure",       "Limit Test", "Mathematics", "FFT",         "Zoom",    "Histogram",
    "Eye Diagram", "Mask Test",     "Generators", "TDR / TDT",   "Jitter",      "",        "Utility"};

constexpr const char* kMenuButtonNames[kMainMenuButtonCount] = {
    "bmmChannels",   "bmmOE",        "bmmTimeBase",   "bmmTrigger",   "bmmAcquisition", "bmmDisplay",
    "bmmSaveRecall", "bmmMarker",    "bmmMeasure",    "bmmLimitTest", "bmmMathematics", "bmmFFT",
    "bmmZoom",       "bmmHistogram", "bmmEyeDiagram", "bmmMaskTest",  "bmmGenerators",  "bmmTDR_TDT",
    "bmmJitter",     "bmmTestADC",   "bmmUtility"};

constexpr int kMenuButtonHeight = 23;
constexpr int kMenuButtonsPerRow = 11;

void Place(QWidget* w, const TRectI& r) { w->setGeometry(r.Left, r.Top, r.Width, r.Height); }

QRgb ScreenBackground() {
  const TColorRef c = ScopeCRT ? ScopeCRT->ScreenColor() : 0;
  return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace

TMorda_fr::TMorda_fr(const TScopeWidgetFactory& scopeWidget, QWidget* parent) : QWidget(parent) {
  setObjectName("Morda_fr");
  // First, so that it sees every control made below in its order.
  translator_ = new TFormTranslator(this);
  setWindowTitle(kApplicationTitle);
  ScopeCRT = std::make_unique<TScopeCRT>(&text_, &timers_, SystemClock());
  ConnectTopText();
  scopeWidget_ = scopeWidget(*ScopeCRT, this);
  scopeWidget_->setObjectName("ScopeCRT");
  CreateControls();
  translator_->Translate();
  SetSideMenuHost(this);
  InstallHintStack(std::make_unique<THintStack>(SystemClock(), timers_));

  idle_.OnIdle = [this] { return AcquisitionStep(); };
  // Remote commands are served after the pass: a dialog one opens still gets passes.
  idle_.AfterPass = [this] { ServiceRemote(); };
  persistTimer_.setInterval(kPersistAgeingMs);
  connect(&persistTimer_, &QTimer::timeout, this, [this] { RunGuarded([this] { AgePersistence(); }); });
  persistTimer_.start();
  closeAgain_.setSingleShot(true);
  closeAgain_.setInterval(kCloseWaitStepMs);
  connect(&closeAgain_, &QTimer::timeout, this, [this] {
    ++closeWaits_;
    if (closeAgainBySystem_)
      CloseBySystem();
    else
      close();
  });
  utilityTimer_.setSingleShot(true);
  utilityTimer_.setInterval(5);
  connect(&utilityTimer_, &QTimer::timeout, this, [this] {
    // Only while the panel still shows a page of the family.
    const int shown = CurrentSideMenu[static_cast<size_t>(utilityPanel_)];
    if (shown < kUtilityMenu || shown >= kNoMenu) return;
    RunGuarded([this] {
      ShowSideMenu(kUtilityMenu + PanelAltMenu[static_cast<size_t>(utilityPanel_)], utilityPanel_);
    });
  });

  InstallWindowHooks();
  SetDefaultWindowSize();
  // A window narrower than the screen allows goes to the top left corner.
  if (QScreen* s = screen(); s != nullptr && s->availableGeometry().width() < 641) move(0, 0);
}

TMorda_fr::~TMorda_fr() {
  idle_.SetActive(false);
  persistTimer_.stop();
  remoteNotifiers_.clear();
  // The side menus go with the window; the slots must not keep freed forms.
  for (int panel : {kRightPanel, kLeftPanel}) {
    delete SideMenuForms[static_cast<size_t>(panel)];
    CurrentSideMenu[static_cast<size_t>(panel)] = kNoMenu;
  }
  if (HintStack() != nullptr) HintStack()->SetHintPlace(nullptr, 0, 0, 0);
  RemoveWindowHooks();
  delete scopeWidget_;
  scopeWidget_ = nullptr;
  // The screen control draws with the window's text rasteriser and timers.
  ScopeCRT.reset();
}

void TMorda_fr::CreateControls() {
  auto* system = new QPushButton("System", this);
  system->setObjectName("btnInstruments");
  system->setFocusPolicy(Qt::NoFocus);
  system->setToolTip("Instruments");
  system->setGeometry(2, 1, 60, 20);
  btnInstruments_ = system;
  connect(system, &QPushButton::clicked, this,
          [] { RunGuarded([] { ShellHooks.ShowInstrumentSelection(); }); });

  commandRow_ = CreateCommandRow(this);
  const std::vector<TRC_Switcher*> commands = commandRow_->Switchers();
  for (size_t i = 0; i < commands.size() && i < std::size(kCommandKeys); ++i) {
    auto* key = new QShortcut(QKeySequence(kCommandKeys[i]), this);
    auto* command = static_cast<TRC_MainCommandSwitcher*>(commands[i]);
    connect(key, &QShortcut::activated, command, [command] { ClickCommandSwitcher(*command); });
  }
  // F3 and F4 are kept for the keypad and the console; they do nothing yet.
  for (Qt::Key spare : {Qt::Key_F3, Qt::Key_F4}) new QShortcut(QKeySequence(spare), this);

  permanent_ = new TPermanentControls(this);

  mainMenu_ = new QWidget(this);
  mainMenu_->setObjectName("pnMainMenu");
  for (int code = 0; code < kMainMenuButtonCount; ++code) {
    TButtonOfMainMenu* button = CreateMainMenuButton(mainMenu_, kMenuCaptions[code]);
    button->setObjectName(kMenuButtonNames[code]);
    button->OnMouseDown = [this, code](TButtonOfMainMenu&, Qt::MouseButton mouse) {
      RunGuarded([&] { MouseDownOnButtonOfMainMenu(code, mouse == Qt::LeftButton); });
    };
    menuButtons_[code] = button;
  }
  // The place after the last button stays as an empty, disabled button.
  spareMenuButton_ = CreateMainMenuButton(mainMenu_, {});
  spareMenuButton_->setObjectName("ButtonOfMainMenu2");
  spareMenuButton_->setEnabled(false);
  LayOutMainMenuButtons(kMainMenuWidth);
  menuButtons_[kMenuTestADC]->setEnabled(false);
  menuButtons_[kMenuJitter]->setEnabled(false);

  const auto caption = [this](const char* name, const char* text, QColor colour) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(
        QString("background-color: %1; color: black; font-weight: bold; border: 1px solid gray")
            .arg(colour.name()));
    return label;
  };
  leftCaption_ = caption("pnLeftMenuCaption", "Time Base", QColor(255, 255, 179));
  rightCaption_ = caption("pnRightMenuCaption", "Channels", QColor(202, 251, 187));

  // Qt cannot add to the window manager's menu of the window, so "Default Size" is a key
  // alone; a context menu of the whole window would cover the right clicks of its controls.
  auto* defaultSize = new QAction(QString::fromStdString(GetLangStr("DefaultSize")), this);
  defaultSize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F9));
  connect(defaultSize, &QAction::triggered, this, [this] { SetDefaultWindowSize(); });
  addAction(defaultSize);
}

void TMorda_fr::InstallWindowHooks() {
  SetExceptionHandler([this](const std::string& message) { OnException(message); });
  // Failures inside controls reach the same box.
  ControlsState.OnException.Set(ReportException);
  ShellHooks.SetMainControlsVisible.Set([this](bool visible) { SetMainControlsVisible(visible); });
  ShellHooks.OpenStartPages.Set([this] {
    MouseDownOnButtonOfMainMenu(kMenuChannels, true);
    MouseDownOnButtonOfMainMenu(kMenuTimeBase, false);
  });
  ShellHooks.HideSideMenus.Set([] {
    for (TSideMenuForm* form : SideMenuForms)
      if (form) form->hide();
  });
  SideMenuState.CaptionPanelVisible.Set(
      [this](int panel, bool visible) { MenuCaption(panel == kLeftPanel)->setVisible(visible); });
  SideMenuState.RightCaptionLeft.Set([this](int left) { rightCaption_->move(left, rightCaption_->y()); });
  SideMenuState.SwitchUtilityPage.Set([this](int panel) { SwitchUtilityPage(panel); });
  TranslatedForms.LanguageSwitched.Set([this] { LanguageSwitched(); });
  // A language chosen on the utility page is switched to between acquisitions.
  AcqHooks.ApplyPendingLanguage.Set([] {
    TSimulatorNodesState& nodes = SimulatorNodes();
    if (!std::exchange(nodes.LanguageChangePending, false)) return;
    SwitchLanguage(GetIndex(nodes.Lang));
  });
  ShellHooks.UpdateOptionButtons.Set([this] { UpdateOptionButtons(); });
  ShellHooks.SetCaption.Set(
      [this](const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); });
  ShellHooks.RebuildScreens.Set([] { ScopeCRT->RecreateSignalScreens(); });
  ShellHooks.CopyPicture.Set([this](int item) {
    const QImage picture = CaptureMainWindow(*this, scopeWidget_, item, ScreenBackground())
                               .convertToFormat(QImage::Format_RGB32);
    if (picture.isNull()) return;
    Dialogs().CopyImageToClipboard(
        {picture.width(), picture.height(), reinterpret_cast<const uint32_t*>(picture.constBits())});
  });
  ShellHooks.PrintWindow.Set([this] {
    const QImage picture = CaptureMainWindow(*this, scopeWidget_, kCopyClientPart, ScreenBackground());
    QPrinter fallback(QPrinter::HighResolution);
    const std::filesystem::path pdf =
        PrintPicture(picture, printer_ != nullptr ? *printer_ : fallback, ProgramDir() / "Prints");
    if (!pdf.empty()) PushHint("Printed into " + pdf.string(), 5000, THintKeep::Drop, THintStyle::Normal);
  });
  ShellHooks.PrinterSetup.Set([] { Dialogs().PrinterSetup(); });
  RemoteHooks.ApplyGuiRemoteMode.Set([this](TGuiRemoteMode mode) {
    switch (mode) {
      case TGuiRemoteMode::RemoteOnly:
        setEnabled(false);
        show();
        break;
      case TGuiRemoteMode::Invisible:
        hide();
        break;
      default:
        setEnabled(true);
        show();
        break;
    }
  });
  RemoteHooks.CloseProgram.Set([this] { CloseQuietly(); });
  LinkHooks.SystemBeep.Set([] { QApplication::beep(); });
  // The record wait is longer while another program has the user's attention.
  AcqHooks.ApplicationActive.Set([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; });
}

void TMorda_fr::RemoveWindowHooks() {
  SetExceptionHandler(nullptr);
  ControlsState.OnException.Reset();
  ShellHooks.SetMainControlsVisible.Reset();
  ShellHooks.OpenStartPages.Reset();
  ShellHooks.HideSideMenus.Reset();
  SideMenuState.CaptionPanelVisible.Reset();
  SideMenuState.RightCaptionLeft.Reset();
  SideMenuState.SwitchUtilityPage.Reset();
  TranslatedForms.LanguageSwitched.Reset();
  AcqHooks.ApplyPendingLanguage.Reset();
  SetSideMenuHost(nullptr);
  ShellHooks.UpdateOptionButtons.Reset();
  ShellHooks.SetCaption.Reset();
  ShellHooks.RebuildScreens.Reset();
  ShellHooks.CopyPicture.Reset();
  ShellHooks.PrintWindow.Reset();
  ShellHooks.PrinterSetup.Reset();
  RemoteHooks.ApplyGuiRemoteMode.Reset();
  RemoteHooks.CloseProgram.Reset();
  LinkHooks.SystemBeep.Reset();
  AcqHooks.ApplicationActive.Reset();
}

// --- services ---

void TMorda_fr::SetBusy(bool busy) {
  // A window that a client made read-only stays so after a long operation.
  setEnabled(!busy && GetGuiRemoteMode() != TGuiRemoteMode::RemoteOnly);
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  repaint();
}

void TMorda_fr::SetMenuCaption(bool left, const QString& caption) {
  (left ? leftCaption_ : rightCaption_)->setText(caption);
}

void TMorda_fr::CloseSideMenus() {
  for (int panel : {kLeftPanel, kRightPanel}) {
    if (openMenu_[panel] >= 0) {
      TButtonOfMainMenu* button = menuButtons_[openMenu_[panel]];
      panel == kLeftPanel ? button->SetLeftMenuOn(false) : button->SetRightMenuOn(false);
      openMenu_[panel] = -1;
    }
    ShowSideMenu(kNoMenu, panel);
  }
}

void TMorda_fr::UpdateOptionButtons() {
  menuButtons_[kMenuOE]->setEnabled(HasOpticsOption());
  menuButtons_[kMenuGenerators]->setEnabled(HasGeneratorsOption());
  menuButtons_[kMenuTDR]->setEnabled(HasTDROption());
  menuButtons_[kMenuJitter]->setEnabled(JitterOptionAvailable());
}

void TMorda_fr::SetMainControlsVisible(bool visible) {
  mainControlsVisible_ = visible;
  ApplyLayout();
}

void TMorda_fr::MouseDownOnButtonOfMainMenu(int code, bool leftButton) {
  if (code < 0 || code >= kMainMenuButtonCount) return;
  const int panel = leftButton ? 1 : 0;
  if (openMenu_[panel] == code) return;
  if (code == kMenuTestADC && IsInstrumentConnected() &&
      !VersionAtLeast(InstrumentIdentity.SWVer, {3, 7, 10})) {
    Dialogs().Inform(TMessageKind::Information, "FW version of Vexilor Norv is older than v.3.7.10!");
    return;
  }
  // A button whose page is not built yet leaves the panel, its caption included, as it is.
  if (!HasSideMenu(code)) return;
  SetMenuCaption(leftButton, menuButtons_[code]->Caption());
  const auto setOpen = [leftButton](TButtonOfMainMenu* button, bool open) {
    leftButton ? button->SetLeftMenuOn(open) : button->SetRightMenuOn(open);
  };
  if (openMenu_[panel] >= 0) setOpen(menuButtons_[openMenu_[panel]], false);
  openMenu_[panel] = code;
  setOpen(menuButtons_[code], true);
  // The utility button opens the page of its family the panel showed last.
  ShowSideMenu(code == kUtilityMenu ? kUtilityMenu + PanelAltMenu[static_cast<size_t>(panel)] : code, panel);
}

void TMorda_fr::SwitchUtilityPage(int panel) {
  if (panel != kLeftPanel && panel != kRightPanel) return;
  utilityPanel_ = panel;
  utilityTimer_.start();
}

void TMorda_fr::SetDefaultWindowSize() {
  const QRect screenArea = screen() != nullptr ? screen()->availableGeometry() : QRect(0, 0, 1920, 1080);
  const TWindowPlace place =
      DefaultWindowPlace(x(), y(), width(), height(), screenArea.width(), screenArea.height());
  setWindowState(Qt::WindowNoState);
  resize(kDefaultClientWidth, kDefaultClientHeight);
  move(place.Left, place.Top);
}

TRC_MainCommandSwitcher* TMorda_fr::MainCommandControl(const std::string& path) const {
  return CommandSwitcher(*commandRow_, path);
}

// --- layout ---

void TMorda_fr::resizeEvent(QResizeEvent*) { ApplyLayout(); }

// Below the default width the buttons share the window's width rather than run off its edge.
void TMorda_fr::LayOutMainMenuButtons(int menuWidth) {
  const int width = std::min(menuWidth, kMainMenuWidth);
  for (int place = 0; place <= kMainMenuButtonCount; ++place) {
    TButtonOfMainMenu* button = place < kMainMenuButtonCount ? menuButtons_[place] : spareMenuButton_;
    const int column = place % kMenuButtonsPerRow, row = place / kMenuButtonsPerRow;
    const int left = column * width / kMenuButtonsPerRow, right = (column + 1) * width / kMenuButtonsPerRow;
    button->setGeometry(left, row * (kMenuButtonHeight + 2) + 1, right - left, kMenuButtonHeight);
  }
}

void TMorda_fr::ApplyLayout() {
  const TMainLayout l = ComputeMainLayout(width(), height(), btnInstruments_->geometry().right() + 1);
  const bool shown = mainControlsVisible_;
  Place(commandRow_, l.CommandRow);
  commandRow_->setVisible(shown);
  Place(mainMenu_, l.MainMenu);
  LayOutMainMenuButtons(l.MainMenu.Width);
  mainMenu_->setVisible(shown && l.MainMenuVisible);
  Place(leftCaption_, l.LeftCaption);
  Place(rightCaption_, l.RightCaption);
  for (int panel : {kLeftPanel, kRightPanel}) {
    const TRectI& r = panel == kLeftPanel ? l.LeftPanel : l.RightPanel;
    TSMDimensions& d = SideMenuDimensions[static_cast<size_t>(panel)];
    d.SetTop(r.Top);
    d.SetHeight(r.Height);
    d.SetWidth(r.Width);
    d.SetLeft(r.Left);
    // Also shows or hides the caption above the panel.
    d.SetVisible(shown && (panel == kLeftPanel ? l.LeftPanelVisible : l.RightPanelVisible));
  }
  Place(permanent_, l.Permanent);
  permanent_->setVisible(shown && l.PermanentVisible);
  permanent_->LayOut();
  if (!(l.Scope == scopeRect_)) {
    // The screens are rebuilt for the new size; a record half drawn would be lost anyway.
    if (GuiReady) RunGuarded([] { BreakAcquisition(false); });
    scopeRect_ = l.Scope;
    Place(scopeWidget_, l.Scope);
  }
  scopeWidget_->setVisible(shown);
}

// --- start-up, idle, close ---

void TMorda_fr::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (GuiReady) return;
  // A mode a client chose before the window was ready holds from the first show on.
  QMetaObject::invokeMethod(
      this, [] { RunGuarded([] { ApplyGuiRemoteMode(); }); }, Qt::QueuedConnection);
  if (ShellState.DeferredStartPosted) return;
  ShellState.DeferredStartPosted = true;
  QMetaObject::invokeMethod(
      this, [this] { DeferredStartup(); }, Qt::QueuedConnection);
}

void TMorda_fr::DeferredStartup() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  RunGuarded([this] {
    commandRow_->RegisterSwitchers();
    permanent_->RegisterSwitchers();
  });
  RunGuarded([this] {
    // Translators start from a complete English file, written from the forms themselves.
    WriteEnglishLanguageFile({keypad_, this});
    ResetLangStrings();
    InstallTraceSourceNames();
    ShowSideMenu(kNoMenu, kRightPanel);
    ShowSideMenu(kNoMenu, kLeftPanel);
  });
  RunGuarded([] { RunDeferredStartup(); });
  mainLoopLevel_ = QThread::currentThread()->loopLevel();
  idle_.SetActive(true);
  WatchRemoteSockets();
}

bool TMorda_fr::IdleStep() {
  bool done = true;
  RunGuarded([&] { done = RunIdlePass([this] { return AcquisitionStep(); }); });
  ServiceRemote();
  return done;
}

bool TMorda_fr::AcquisitionStep() {
  bool done = true;
  RunGuarded([&] { done = ShellIdleStep(); });
  return done;
}

void TMorda_fr::ServiceRemote() {
  RunGuarded([] { norv::ServiceRemote(); });
  WatchRemoteSockets();
}

void TMorda_fr::WatchRemoteSockets() {
  std::vector<int> fds;
  if (RemoteServer) fds = RemoteServer->WatchedSockets();
  for (auto it = remoteNotifiers_.begin(); it != remoteNotifiers_.end();) {
    if (std::find(fds.begin(), fds.end(), it->first) == fds.end()) {
      it = remoteNotifiers_.erase(it);
    } else {
      ++it;
    }
  }
  for (int fd : fds) {
    if (remoteNotifiers_.count(fd) != 0) continue;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this] {
      // Served on the next turn of the loop: the notifier may be replaced meanwhile.
      QMetaObject::invokeMethod(
          this, [this] { ServiceRemote(); }, Qt::QueuedConnection);
    });
    remoteNotifiers_.emplace(fd, std::move(notifier));
  }
  const int answerFd = RemoteServer ? RemoteServer->AnswerWaitingSocket() : -1;
  if (answerFd < 0) {
    answerNotifier_.reset();
  } else if (answerNotifier_ && answerNotifier_->socket() == answerFd) {
    answerNotifier_->setEnabled(true);
  } else {
    answerNotifier_ = std::make_unique<QSocketNotifier>(answerFd, QSocketNotifier::Write);
    connect(answerNotifier_.get(), &QSocketNotifier::activated, this, [this] {
      // Quiet until the step has written: the room stays until then.
      answerNotifier_->setEnabled(false);
      QMetaObject::invokeMethod(
          this, [this] { ServiceRemote(); }, Qt::QueuedConnection);
    });
  }
  if (RemoteServer && RemoteServer->RequestWaiting())
    QMetaObject::invokeMethod(
        this, [this] { ServiceRemote(); }, Qt::QueuedConnection);
}

void TMorda_fr::LanguageSwitched() {
  ShellHooks.RelabelAnalyses();
  // The captions follow the buttons that opened the menus; a panel without one keeps its own.
  for (int panel : {kLeftPanel, kRightPanel})
    if (openMenu_[panel] >= 0) SetMenuCaption(panel == kLeftPanel, menuButtons_[openMenu_[panel]]->Caption());
  setWindowTitle(QString::fromStdString(BuildMainCaption(true)));
  InstallTraceSourceNames();
  if (RootSpider) RootSpider->ExecCommandLine("*ClrDispl", false);
  if (ScopeCRT) ScopeCRT->TopText().RefreshTopText();
  permanent_->LayOut();  // captions of other widths
}

void TMorda_fr::AgePersistence() {
  if (RunFlag && ScopeCRT) ScopeCRT->AgePersistLayers();
}

void TMorda_fr::OnException(const std::string& message) {
  if (inException_) {
    std::cerr << kApplicationTitle << ": " << message << '\n';
    return;
  }
  inException_ = true;
  // No acquisition step while the report is open.
  const bool wasActive = idle_.Active();
  idle_.SetActive(false);
  const TAnswer answer = Dialogs().Ask(TMessageKind::Error, ExceptionReportText(message),
                                       {TAnswer::Yes, TAnswer::No}, TAnswer::Yes);
  inException_ = false;
  if (answer == TAnswer::No) {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  } else if (wasActive && !closeAccepted_) {
    idle_.SetActive(true);
    idle_.RunPass();
  }
}

void TMorda_fr::CloseQuietly() {
  QMetaObject::invokeMethod(
      this, [this] { CloseBySystem(); }, Qt::QueuedConnection);
}

void TMorda_fr::CloseBySystem() {
  const TDialogsSuppressed quiet;
  closingBySystem_ = true;
  close();
  closingBySystem_ = false;
}

bool TMorda_fr::EndWindowInFront() {
  // Before the start has run no setup of the user's is in force: a close in one of its
  // boxes closes at once. A window that will not end holds the close only so long.
  if (mainLoopLevel_ < 0 || closeWaits_ >= kCloseWaitSteps) return false;
  QWidget* front = QApplication::activePopupWidget();
  if (front == nullptr) front = QApplication::activeModalWidget();
  if (auto* dialog = qobject_cast<QDialog*>(front))
    dialog->reject();
  else if (front != nullptr)
    front->close();
  return QApplication::activePopupWidget() != nullptr || QApplication::activeModalWidget() != nullptr ||
         QThread::currentThread()->loopLevel() > mainLoopLevel_;
}

void TMorda_fr::closeEvent(QCloseEvent* event) {
  if (closeAccepted_) {
    event->accept();
    return;
  }
  const bool bySystem = closingBySystem_;
  // A procedure's window (or any box) in front ends first as its Cancel does, and the close
  // comes again once the loop that window ran in has returned: the procedure has given
  // its settings back by then, and the power-off setup takes the user's own.
  bool waiting = false;
  RunGuarded([&] { waiting = EndWindowInFront(); });
  if (waiting) {
    event->ignore();
    closeAgainBySystem_ = closeAgainBySystem_ || bySystem;
    closeAgain_.start();
    return;
  }
  closeAgain_.stop();
  closeAgainBySystem_ = false;
  closeWaits_ = 0;
  bool allowed = false;
  // The system's close cannot be refused: what went wrong on the way is in the log.
  if (!RunGuarded([&] { allowed = CloseQuery(bySystem ? TCloseKind::BySystem : TCloseKind::ByUser); }))
    allowed = bySystem;
  if (!allowed) {
    event->ignore();
    return;
  }
  closeAccepted_ = true;
  idle_.SetActive(false);
  persistTimer_.stop();
  // A client's connection the close has ended is watched no more.
  WatchRemoteSockets();
  event->accept();
  // A hidden window ends the loop as well.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace norv
