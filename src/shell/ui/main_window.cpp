#include "shell/ui/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWhatsThis>
#include <algorithm>
#include <iostream>

#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/clock.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "platform/entry_guard.h"
#include "shell/main_commands.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/remote_server.h"
#include "shell/screen_wiring.h"
#include "shell/shell_state.h"
#include "shell/ui/panel_placeholders.h"
#include "shell/ui/screen_capture.h"

namespace norv {

namespace {

struct TCommandSpec {
  const char* Path;
  const char* Caption;
  const char* Hint;
  Qt::Key Key;
  Qt::KeyboardModifier Modifier;
};

constexpr TCommandSpec kCommands[] = {
    {"*ClrDispl", "Clear", "Clear display (F5)", Qt::Key_F5, Qt::NoModifier},
    {"*Run", "Run", "Run (F6)", Qt::Key_F6, Qt::NoModifier},
    {"*StopSingle", "Stop/Single", "Stop/Single (F7)", Qt::Key_F7, Qt::NoModifier},
    {"*Autoscale", "Autoscale", "Autoscale (F8)", Qt::Key_F8, Qt::NoModifier},
    {"*DefSetup", "Default", "Default Setup (F9). Click and Wait to change.", Qt::Key_F9, Qt::NoModifier},
    {"*Undo", "Undo", "Undo (F10)", Qt::Key_F10, Qt::NoModifier},
    {"*Copy", "Copy", "Copy screen to Clipboard (F11)", Qt::Key_F11, Qt::NoModifier},
    {"*Print", "Print", "Print (F12). Click and Wait to change.", Qt::Key_F12, Qt::NoModifier},
    {"SHADOW:Help", "Help", "What's This?", Qt::Key_F1, Qt::ShiftModifier},
};

struct TPermanentSpec {
  const char* Path;
  const char* Caption;
  int Weight;  // share of the strip's width
};

constexpr TPermanentSpec kPermanent[] = {
    {"Ch1:Display", "Ch 1", 5},     {"Ch1:Scale", "Ch1 SCALE", 12}, {"Ch1:Offset", "Ch1 OFFSET", 13},
    {"Ch2:Display", "Ch 2", 5},     {"Ch2:Scale", "Ch2 SCALE", 12}, {"Ch2:Offset", "Ch2 OFFSET", 13},
    {"TB:Mode", "TB MODE", 8},      {"TB:ScaleA", "TB", 11},        {"TB:Delay", "DELAY", 10},
    {"Trig:Source", "TRIGGER", 11}, {"Trig:Slope", "SLOPE", 6},     {"Trig:ExtLevel", "LEVEL", 10},
};

constexpr const char* kMenuCaptions[kMainMenuButtonCount] = {
    "Channels",    "O/E Converter", "Time Base",  "Trigger",     "Acquisition", "Display", "Save/Recall",
    "Marker",      "Measure",       "Limit Test", "Mathematics", "FFT",         "Zoom",    "Histogram",
    "Eye Diagram", "Mask Test",     "Generators", "TDR / TDT",   "Jitter",      "",        "Utility"};

constexpr int kMenuButtonHeight = 23;
constexpr int kMenuButtonsPerRow = 11;

void Place(QWidget* w, const TRectI& r) { w->setGeometry(r.Left, r.Top, r.Width, r.Height); }

QColor ScreenBackground(const TScopeCRT& crt) {
  const TColorRef c = crt.ScreenColor();
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace

TMorda_fr::TMorda_fr(const TScopeWidgetFactory& scopeWidget, QWidget* parent) : QWidget(parent) {
  setWindowTitle(kApplicationTitle);
  crt_ = std::make_unique<TScopeCRT>(&text_, &timers_, SystemClock());
  scopeWidget_ = scopeWidget(*crt_, this);
  scopeWidget_->setObjectName("ScopeCRT");
  InstallScreenHooks(*crt_);
  CreateControls();
  hintParent_ = std::make_unique<TQtHintParent>(this);
  InstallHintStack(std::make_unique<THintStack>(SystemClock(), timers_));

  idle_.OnIdle = [this] { return IdleStep(); };
  persistTimer_.setInterval(kPersistAgeingMs);
  connect(&persistTimer_, &QTimer::timeout, this, [this] { RunGuarded([this] { AgePersistence(); }); });
  persistTimer_.start();

  InstallWindowHooks();
  SetDefaultWindowSize();
  // A window narrower than the screen allows goes to the top left corner.
  if (QScreen* s = screen(); s != nullptr && s->availableGeometry().width() < 641) move(0, 0);
}

TMorda_fr::~TMorda_fr() {
  idle_.SetActive(false);
  persistTimer_.stop();
  remoteNotifiers_.clear();
  if (HintStack() != nullptr) HintStack()->SetHintPlace(nullptr, 0, 0, 0);
  RemoveWindowHooks();
  RemoveScreenHooks();
  delete scopeWidget_;
  scopeWidget_ = nullptr;
}

void TMorda_fr::CreateControls() {
  auto* system = new QPushButton("System", this);
  system->setFocusPolicy(Qt::NoFocus);
  system->setToolTip("Instruments");
  system->setGeometry(2, 1, 60, 20);
  btnInstruments_ = system;

  commandRow_ = new QWidget(this);
  commandRow_->setObjectName("rmpSystemSontrols");
  int x = 0;
  for (const TCommandSpec& spec : kCommands) {
    QWidget* control = CreateMainCommandControl(commandRow_, spec.Path, spec.Caption, spec.Hint);
    control->setGeometry(x, 0, 76, 20);
    x += 78;
    commandControls_.emplace_back(spec.Path, control);
    auto* key = new QShortcut(QKeySequence(spec.Modifier | spec.Key), this);
    connect(key, &QShortcut::activated, control, [control] {
      if (auto* button = qobject_cast<QAbstractButton*>(control)) button->click();
    });
  }
  // F3 and F4 are kept for the keypad and the console; they do nothing yet.
  for (Qt::Key spare : {Qt::Key_F3, Qt::Key_F4}) new QShortcut(QKeySequence(spare), this);

  permanent_ = new QWidget(this);
  permanent_->setObjectName("rmpPermanentControls");
  for (const TPermanentSpec& spec : kPermanent)
    permanentControls_.push_back(CreatePermanentControl(permanent_, spec.Path, spec.Caption));

  mainMenu_ = new QWidget(this);
  mainMenu_->setObjectName("pnMainMenu");
  for (int code = 0; code < kMainMenuButtonCount; ++code) {
    TMainMenuPlaceholder* button = CreateMainMenuButton(mainMenu_, code, kMenuCaptions[code]);
    button->OnPress = [this](int c, bool left) { MouseDownOnButtonOfMainMenu(c, left); };
    menuButtons_[code] = button;
  }
  // The place after the last button stays as an empty, disabled button.
  auto* spare = new QPushButton(mainMenu_);
  spare->setObjectName("ButtonOfMainMenu2");
  spare->setEnabled(false);
  spare->setGeometry((kMainMenuButtonCount % kMenuButtonsPerRow) * 72, kMenuButtonHeight + 2, 72,
                     kMenuButtonHeight);
  for (int code = 0; code < kMainMenuButtonCount; ++code) {
    menuButtons_[code]->setGeometry((code % kMenuButtonsPerRow) * 72,
                                    (code / kMenuButtonsPerRow) * (kMenuButtonHeight + 2), 72,
                                    kMenuButtonHeight);
  }
  menuButtons_[kMenuTestADC]->setEnabled(false);
  menuButtons_[kMenuJitter]->setEnabled(false);

  leftPanel_ = CreateSideMenuPanel(this, true);
  rightPanel_ = CreateSideMenuPanel(this, false);
  const auto caption = [this](const char* text, QColor colour) {
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(
        QString("background-color: %1; color: black; font-weight: bold; border: 1px solid gray")
            .arg(colour.name()));
    return label;
  };
  leftCaption_ = caption("Time Base", QColor(255, 255, 179));
  rightCaption_ = caption("Channels", QColor(202, 251, 187));

  auto* defaultSize = new QAction(QString::fromStdString(GetLangStr("DefaultSize")), this);
  defaultSize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F9));
  connect(defaultSize, &QAction::triggered, this, [this] { SetDefaultWindowSize(); });
  addAction(defaultSize);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TMorda_fr::InstallWindowHooks() {
  SetExceptionHandler([this](const std::string& message) { OnException(message); });
  ShellHooks.Ask.Set([this](const std::string& text, TQuestion kind, TAnswer defaultAnswer) {
    QMessageBox box(this);
    box.setWindowTitle(QuestionTitle());
    box.setText(QString::fromStdString(text));
    const bool error = kind == TQuestion::Error || kind == TQuestion::ErrorYes;
    box.setIcon(error ? QMessageBox::Critical
                      : (kind == TQuestion::Ok ? QMessageBox::Information : QMessageBox::Question));
    switch (kind) {
      case TQuestion::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
      case TQuestion::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
      case TQuestion::ErrorYes:
        box.setStandardButtons(QMessageBox::Yes);
        break;
      default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    const auto toButton = [](TAnswer a) {
      switch (a) {
        case TAnswer::Yes:
          return QMessageBox::Yes;
        case TAnswer::No:
          return QMessageBox::No;
        case TAnswer::Cancel:
          return QMessageBox::Cancel;
        default:
          return QMessageBox::Ok;
      }
    };
    if (box.standardButtons() & toButton(defaultAnswer)) box.setDefaultButton(toButton(defaultAnswer));
    switch (box.exec()) {
      case QMessageBox::Yes:
        return TAnswer::Yes;
      case QMessageBox::No:
        return TAnswer::No;
      case QMessageBox::Cancel:
        return TAnswer::Cancel;
      default:
        return kind == TQuestion::YesNoCancel ? TAnswer::Cancel : TAnswer::Ok;
    }
  });
  ShellHooks.SetMainControlsVisible.Set([this](bool visible) { SetMainControlsVisible(visible); });
  ShellHooks.OpenStartPages.Set([this] {
    MouseDownOnButtonOfMainMenu(kMenuChannels, true);
    MouseDownOnButtonOfMainMenu(kMenuTimeBase, false);
  });
  ShellHooks.HideSideMenus.Set([this] {
    leftPanel_->hide();
    rightPanel_->hide();
  });
  ShellHooks.UpdateOptionButtons.Set([this] { UpdateOptionButtons(); });
  ShellHooks.SetCaption.Set(
      [this](const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); });
  ShellHooks.RebuildScreens.Set([this] { crt_->RecreateSignalScreens(); });
  ShellHooks.RedrawBottomStrip.Set([this] { crt_->BottomText().Clear(); });
  ShellHooks.CopyPicture.Set([this](int item) {
    const QImage picture = CaptureMainWindow(*this, scopeWidget_, item, ScreenBackground(*crt_).rgb());
    if (!picture.isNull()) QGuiApplication::clipboard()->setImage(picture);
  });
  ShellHooks.PrintWindow.Set([this] {
    const QImage picture =
        CaptureMainWindow(*this, scopeWidget_, kCopyClientPart, ScreenBackground(*crt_).rgb());
    const std::filesystem::path pdf = PrintPicture(picture, ProgramDir() / "Prints");
    if (!pdf.empty()) PushHint("Printed into " + pdf.string(), 5000, THintKeep::Drop, THintStyle::Normal);
  });
  ShellHooks.PrinterSetup.Set([this] {
    if (ShellDialogsSuppressed()) return;
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    dialog.exec();
  });
  ShellHooks.EnterHelpMode.Set([] { QWhatsThis::enterWhatsThisMode(); });
  ShellHooks.ShowAbout.Set(
      [] { TellUser(std::string(kApplicationTitle) + "\n" + kProgramVersionText, TQuestion::Ok); });
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
  ShellHooks.Ask.Reset();
  ShellHooks.SetMainControlsVisible.Reset();
  ShellHooks.OpenStartPages.Reset();
  ShellHooks.HideSideMenus.Reset();
  ShellHooks.UpdateOptionButtons.Reset();
  ShellHooks.SetCaption.Reset();
  ShellHooks.RebuildScreens.Reset();
  ShellHooks.RedrawBottomStrip.Reset();
  ShellHooks.CopyPicture.Reset();
  ShellHooks.PrintWindow.Reset();
  ShellHooks.PrinterSetup.Reset();
  ShellHooks.EnterHelpMode.Reset();
  ShellHooks.ShowAbout.Reset();
  RemoteHooks.ApplyGuiRemoteMode.Reset();
  RemoteHooks.CloseProgram.Reset();
  LinkHooks.SystemBeep.Reset();
  AcqHooks.ApplicationActive.Reset();
}

QString TMorda_fr::QuestionTitle() const { return QString::fromLatin1(kApplicationTitle); }

// --- services ---

void TMorda_fr::SetBusy(bool busy) {
  setEnabled(!busy);
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
  for (int panel : {1, 0}) {
    if (openMenu_[panel] < 0) continue;
    menuButtons_[openMenu_[panel]]->SetOpen(panel, false);
    openMenu_[panel] = -1;
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
    TellUser("FW version of Vexilor Norv is older than v.3.7.10!", TQuestion::Ok);
    return;
  }
  SetMenuCaption(leftButton, kMenuCaptions[code]);
  if (openMenu_[panel] >= 0) menuButtons_[openMenu_[panel]]->SetOpen(panel, false);
  openMenu_[panel] = code;
  menuButtons_[code]->SetOpen(panel, true);
}

void TMorda_fr::SetDefaultWindowSize() {
  const QRect screenArea = screen() != nullptr ? screen()->availableGeometry() : QRect(0, 0, 1920, 1080);
  const TWindowPlace place =
      DefaultWindowPlace(x(), y(), width(), height(), screenArea.width(), screenArea.height());
  setWindowState(Qt::WindowNoState);
  resize(kDefaultClientWidth, kDefaultClientHeight);
  move(place.Left, place.Top);
}

QWidget* TMorda_fr::MainCommandControl(const std::string& path) const {
  for (const auto& [p, w] : commandControls_)
    if (p == path) return w;
  return nullptr;
}

// --- layout ---

void TMorda_fr::resizeEvent(QResizeEvent*) { ApplyLayout(); }

void TMorda_fr::ApplyLayout() {
  const TMainLayout l = ComputeMainLayout(width(), height(), btnInstruments_->geometry().right() + 1);
  const bool shown = mainControlsVisible_;
  Place(commandRow_, l.CommandRow);
  commandRow_->setVisible(shown);
  Place(mainMenu_, l.MainMenu);
  mainMenu_->setVisible(shown && l.MainMenuVisible);
  Place(leftCaption_, l.LeftCaption);
  Place(rightCaption_, l.RightCaption);
  Place(leftPanel_, l.LeftPanel);
  Place(rightPanel_, l.RightPanel);
  leftCaption_->setVisible(shown && l.LeftPanelVisible);
  leftPanel_->setVisible(shown && l.LeftPanelVisible);
  rightCaption_->setVisible(shown && l.RightPanelVisible);
  rightPanel_->setVisible(shown && l.RightPanelVisible);
  Place(permanent_, l.Permanent);
  permanent_->setVisible(shown && l.PermanentVisible);
  int total = 0;
  for (const TPermanentSpec& spec : kPermanent) total += spec.Weight;
  int sum = 0;
  for (size_t i = 0; i < permanentControls_.size(); ++i) {
    const int left = l.Permanent.Width * sum / total;
    sum += kPermanent[i].Weight;
    const int right = l.Permanent.Width * sum / total;
    permanentControls_[i]->setGeometry(left + 1, 2, right - left - 2, l.Permanent.Height - 4);
  }
  if (!(l.Scope == scopeRect_)) {
    // The screens are rebuilt for the new size; a record half drawn would be lost anyway.
    if (GuiReady) RunGuarded([] { BreakAcquisition(false); });
    scopeRect_ = l.Scope;
    Place(scopeWidget_, l.Scope);
  }
  scopeWidget_->setVisible(shown);
  if (HintStack() != nullptr)
    HintStack()->SetHintPlace(hintParent_.get(), l.Scope.Left + 24, l.Scope.Top + 40,
                              std::max(100, l.Scope.Width - 48));
}

// --- start-up, idle, close ---

void TMorda_fr::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (GuiReady || ShellState.DeferredStartPosted) return;
  ShellState.DeferredStartPosted = true;
  QMetaObject::invokeMethod(
      this, [this] { DeferredStartup(); }, Qt::QueuedConnection);
}

void TMorda_fr::DeferredStartup() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  for (const auto& [path, control] : commandControls_) BindPanelControl(control);
  for (QWidget* control : permanentControls_) BindPanelControl(control);
  RunGuarded([] { RunDeferredStartup(); });
  idle_.SetActive(true);
  WatchRemoteSockets();
}

bool TMorda_fr::IdleStep() {
  bool done = true;
  RunGuarded([&] { done = ShellIdleStep(); });
  ServiceRemote();
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
}

void TMorda_fr::AgePersistence() {
  if (RunFlag) crt_->AgePersistLayers();
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
  const TAnswer answer = AskUser(ExceptionReportText(message), TQuestion::YesNo, TAnswer::Yes);
  inException_ = false;
  if (answer == TAnswer::No) {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  } else if (wasActive && !closeAccepted_) {
    idle_.SetActive(true);
    idle_.RunPass();
  }
}

void TMorda_fr::CloseQuietly() {
  ShellState.QuietClose = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        close();
        if (!closeAccepted_) ShellState.QuietClose = false;
      },
      Qt::QueuedConnection);
}

void TMorda_fr::closeEvent(QCloseEvent* event) {
  if (closeAccepted_) {
    event->accept();
    return;
  }
  bool allowed = false;
  RunGuarded([&] { allowed = CloseQuery(); });
  if (!allowed) {
    event->ignore();
    return;
  }
  closeAccepted_ = true;
  idle_.SetActive(false);
  persistTimer_.stop();
  event->accept();
  // A hidden window ends the loop as well.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace norv
