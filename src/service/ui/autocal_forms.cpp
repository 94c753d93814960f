#include "service/ui/autocal_forms.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "controls/controls_state.h"
#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "framework/language/language.h"
#include "framework/settings/value_text.h"
#include "framework/util/dialog_service.h"
#include "service/adjust_access.h"
#include "service/auto_calibration.h"
#include "service/flash_constants.h"
#include "service/ui/adjust_access_form.h"

namespace norv {

namespace {

constexpr const char* kWaitText = "Calibrating!   Wait a few sec...";
constexpr int kShapeStep = 27;

QPointer<TAutocalChannelsF> OpenChannelsForm;

QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text, QRect at) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(at);
  return label;
}

QPushButton* NamedButton(QWidget* parent, const char* name, const QString& text, QRect at) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(at);
  return button;
}

// The bold title in green or red.
void ShowOutcome(QLabel& title, bool success) {
  title.setText(QString::fromStdString(GetLangStr(success ? "CalibrationComplete" : "CalibrationFailed")));
  title.setStyleSheet(success ? "QLabel { color: green; font-weight: bold; }"
                              : "QLabel { color: red; font-weight: bold; }");
}

void ShowCode(QLabel& label, int32_t code, const QString& text) {
  label.setText(code > 0 ? text : QStringLiteral("Error"));
  label.setStyleSheet(code > 0 ? "QLabel { color: green; }" : "QLabel { color: red; }");
}

struct TWaitCursor {
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

// --- time base ---

TAutocalTBF::TAutocalTBF(TTimeBaseRun& run, QWidget* owner) : QDialog(owner), run_(run) {
  setObjectName("AutocalTBF");
  setWindowTitle("Time Base Calibration");
  setModal(true);
  setFixedSize(314, 150);
  name_ = NamedLabel(this, "Name", kWaitText, {8, 8, 298, 18});
  auto* panel = new QFrame(this);
  panel->setObjectName("pnCalOfTBPanel");
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setGeometry(8, 30, 298, 78);
  NamedLabel(panel, "CoarseFreqLabel", "2. Coarse Time Base Generator:", {6, 6, 190, 16});
  coarse_ = NamedLabel(panel, "CoarseFreqResult", {}, {200, 6, 92, 16});
  NamedLabel(panel, "FineDelayLabel", "3. Fine Time Base Generator:", {6, 28, 190, 16});
  fine_ = NamedLabel(panel, "FineDelayResultMax", {}, {200, 28, 92, 16});
  shape_ = new QFrame(panel);
  shape_->setObjectName("ProgressShape");
  shape_->setStyleSheet("QFrame { background: navy; }");
  shape_->setGeometry(6, 54, 0, 12);
  ok_ = NamedButton(this, "OkButton", "OK", {64, 118, 75, 25});
  ok_->setEnabled(false);
  cancel_ = NamedButton(this, "CancelButton", "Cancel", {175, 118, 75, 25});
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  TranslatorOf(this).Translate();
  PlaceBesideMainWindow(*this, {460, 125});
}

void TAutocalTBF::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (measureQueued_ || run_.Measured) return;
  measureQueued_ = true;
  // Measured once the dialog stands on the screen.
  QMetaObject::invokeMethod(
      this, [this] { GuardedCall([this] { Measure(); }); }, Qt::QueuedConnection);
}

void TAutocalTBF::Measure() {
  QApplication::processEvents();
  {
    const TWaitCursor wait;
    MeasureTimeBase(run_, [this] {
      shape_->resize(kShapeStep * run_.FineTimeouts, shape_->height());
      shape_->repaint();
    });
  }
  ShowCode(*coarse_, run_.Coarse,
           QString::fromStdString(
               FloatToEngStr(vfEngineering, 5, false, CoarseTBFromCode(run_.Coarse), false) + "s"));
  ShowCode(*fine_, run_.Fine, QString::number(run_.Fine));
  ok_->setEnabled(run_.Success);
  if (run_.Success) ok_->setFocus();
  ShowOutcome(*name_, run_.Success);
  if (run_.AutoClose) done(run_.Success ? Accepted : Rejected);
}

// --- channels ---

TAutocalChannelsF::TAutocalChannelsF(TChannelRun& run, QWidget* owner) : QDialog(owner), run_(run) {
  setObjectName("AutocalChannelsF");
  setWindowTitle("Channels Calibration");
  setModal(true);
  setFixedSize(314, 120);
  name_ = NamedLabel(this, "Name", kWaitText, {8, 8, 298, 18});
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar1");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setGeometry(8, 32, 298, 18);
  status_ = new QLineEdit(this);
  status_->setObjectName("Edit1");
  status_->setReadOnly(true);
  status_->setGeometry(8, 56, 298, 22);
  ok_ = NamedButton(this, "OkButton", "OK", {64, 88, 75, 25});
  ok_->setEnabled(false);
  cancel_ = NamedButton(this, "CancelButton", "Cancel", {175, 88, 75, 25});
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  timer_ = new QTimer(this);
  timer_->setObjectName("Timer1");
  timer_->setInterval(kChannelStatusPollMs);
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, [this] { GuardedCall([this] { Tick(); }); });
  TranslatorOf(this).Translate();
  PlaceBesideMainWindow(*this, {360, 105});
}

TAutocalChannelsF::~TAutocalChannelsF() {
  if (waitCursor_) QApplication::restoreOverrideCursor();
}

void TAutocalChannelsF::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (begun_) return;
  begun_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  waitCursor_ = true;
  BeginChannelCalibration();
}

void TAutocalChannelsF::Tick() {
  // The timer stays stopped while the instrument is asked.
  if (ChannelCalibrationTick()) timer_->start();
}

void TAutocalChannelsF::RunChanged() {
  progress_->setValue(run_.Progress);
  status_->setText(QString::fromStdString(run_.StatusText));
  if (run_.Phase == TChannelCalPhase::Polling && !timer_->isActive()) timer_->start();
  if (run_.Ended()) {
    timer_->stop();
    if (waitCursor_) {
      QApplication::restoreOverrideCursor();
      waitCursor_ = false;
    }
    const bool success = run_.Phase == TChannelCalPhase::Succeeded;
    ok_->setEnabled(success);
    if (success) ok_->setFocus();
    if (!success) progress_->hide();
    ShowOutcome(*name_, success);
  }
  if (run_.CloseRequested) done(run_.CloseOk ? Accepted : Rejected);
}

// --- hooks ---

void InstallAutocalDialogs() {
  AutocalHooks.ShowTimeBaseDialog.Set([](TTimeBaseRun& run) {
    TAutocalTBF dialog(run, ServiceDialogOwner());
    return dialog.exec() == QDialog::Accepted;
  });
  AutocalHooks.ShowChannelsDialog.Set([](TChannelRun& run) {
    TAutocalChannelsF dialog(run, ServiceDialogOwner());
    OpenChannelsForm = &dialog;
    const int result = dialog.exec();
    OpenChannelsForm = nullptr;
    return result == QDialog::Accepted;
  });
  AutocalHooks.ChannelRunChanged.Set([] {
    if (OpenChannelsForm) OpenChannelsForm->RunChanged();
  });
  AutocalHooks.AfterIdlePass.Set([](std::function<void()> work) {
    QMetaObject::invokeMethod(
        qApp, [work = std::move(work)] { GuardedCall(work); }, Qt::QueuedConnection);
  });
  AutocalHooks.MainWindowActive.Set([] {
    QWidget* main = SideMenuState.Host;
    return main && main->isActiveWindow();
  });
  static TTimeBaseRun languageTimeBaseRun;
  static TChannelRun languageChannelRun;
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TAdjustAccess(owner); });
  RegisterLanguageDialog(
      [](QWidget* owner) -> QWidget* { return new TAutocalTBF(languageTimeBaseRun, owner); });
  RegisterLanguageDialog(
      [](QWidget* owner) -> QWidget* { return new TAutocalChannelsF(languageChannelRun, owner); });
}

}  // namespace norv
