#include "service/ui/tdr_calibration_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "framework/language/language.h"
#include "framework/settings/value_text.h"
#include "framework/util/dialog_service.h"
#include "service/tdr_channel_calibration.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {

namespace {

QPointer<TfrmTDR_CalibrChannel> OpenDialog;

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Value(double v, const char* unit) {
  return Q(FloatToEngStr(vfEngineering, 4, false, v, false) + unit);
}

}  // namespace

TfrmTDR_CalibrChannel::TfrmTDR_CalibrChannel(int channel, bool tdr, bool autoClose, QWidget* owner)
    : QDialog(owner), calibration_(std::make_unique<TTdrChannelCalibration>(channel, tdr, autoClose)) {
  setObjectName("frmTDR_CalibrChannel");
  const std::string mode = tdr ? "TDR" : "TDT";
  setWindowTitle(Q(FormatLangStr("Vert___cal_Ch_N", mode, channel - 1)));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  lblTitle_ = new QLabel(Q(FormatLangStr("___StaticCalibration", mode)), this);
  lblTitle_->setObjectName("lblTitle");
  lblTitle_->setAlignment(Qt::AlignCenter);
  layout->addWidget(lblTitle_);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar1");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  layout->addWidget(progress_);
  lblError_ = new QLabel(this);
  lblError_->setObjectName("lblError");
  lblError_->setStyleSheet("color: rgb(255, 0, 0)");
  lblError_->hide();
  layout->addWidget(lblError_);
  // The captions go with the values: a failure hides them all.
  results_ = new QWidget(this);
  auto* results = new QGridLayout(results_);
  results->setContentsMargins(0, 0, 0, 0);
  const auto row = [&](int r, const QString& caption, const char* name) {
    results->addWidget(new QLabel(caption, results_), r, 0);
    auto* value = new QLabel(results_);
    value->setObjectName(name);
    results->addWidget(value, r, 1);
    return value;
  };
  lblAmplitude_ = row(0, "Ref Amplitude:", "lblAmplitude");
  lblLevel_ = row(1, tdr ? "Baseline:" : "Initial Voltage:", "lblLevel");
  lblRefPlane_ = row(2, "Ref Plane:", "lblRefPlane");
  layout->addWidget(results_);
  auto* buttons = new QHBoxLayout;
  btnOK_ = new QPushButton("OK", this);
  btnOK_->setObjectName("btnOK");
  btnOK_->setEnabled(false);
  btnCancel_ = new QPushButton("Cancel", this);
  btnCancel_->setObjectName("btnCancel");
  buttons->addWidget(btnOK_);
  buttons->addWidget(btnCancel_);
  layout->addLayout(buttons);
  connect(btnOK_, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
  TranslatorOf(this).Translate();
  if (owner != nullptr) move(owner->geometry().topLeft() + QPoint(360, 105));
  calibration_->OnUpdate = [this] { Refresh(); };
  calibration_->OnClose = [this](bool ok) { ok ? accept() : reject(); };
  Refresh();
}

TfrmTDR_CalibrChannel::~TfrmTDR_CalibrChannel() {
  if (cursorSet_) QApplication::restoreOverrideCursor();
}

void TfrmTDR_CalibrChannel::Refresh() {
  const TTdrChannelCalibration& c = *calibration_;
  progress_->setValue(c.Progress());
  const bool running = c.Outcome() == TTdrCalibrationOutcome::Running;
  const bool success = c.Outcome() == TTdrCalibrationOutcome::Succeeded;
  if (!running && cursorSet_) {
    QApplication::restoreOverrideCursor();
    cursorSet_ = false;
  }
  if (success || c.Outcome() == TTdrCalibrationOutcome::Failed) {
    lblTitle_->setText(Q(GetLangStr(success ? "CalibrationComplete" : "CalibrationFailed")));
    lblTitle_->setStyleSheet(success ? "color: rgb(0, 128, 0)" : "color: rgb(255, 0, 0)");
  }
  lblError_->setText(Q(c.ErrorText()));
  lblError_->setVisible(c.Outcome() == TTdrCalibrationOutcome::Failed);
  results_->setVisible(c.Outcome() != TTdrCalibrationOutcome::Failed);
  const TTdrCalibrationValues& v = c.Values();
  lblAmplitude_->setText(success ? Value(c.Tdr() ? v.RefAmpl : v.TdtAmpl, "V") : QString());
  lblLevel_->setText(success ? Value(c.Tdr() ? v.BaseLine : v.TdtZero, "V") : QString());
  lblRefPlane_->setText(success ? Value(v.RefPlane, "s") : QString());
  btnOK_->setEnabled(success);
  if (success) btnOK_->setDefault(true);
}

bool TfrmTDR_CalibrChannel::Run() {
  // Its question comes first, under the usual cursor.
  if (!calibration_->Start()) return false;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  cursorSet_ = true;
  OpenDialog = this;
  const bool accepted = exec() == QDialog::Accepted;
  OpenDialog = nullptr;
  return calibration_->Conclude(accepted);
}

TfrmTDR_CalibrChannel* OpenTdrCalibrationDialog() { return OpenDialog; }

void InstallTdrCalibrationDialog() {
  TdrHooks.RunChannelCalibration.Set([](int channel, TTraceId, bool tdr, bool fromCommand) {
    if (DialogsSuppressed()) return RunTdrChannelCalibrationWithoutWindow(channel, tdr);
    TfrmTDR_CalibrChannel dialog(channel, tdr, fromCommand, SideMenuState.Host);
    return dialog.Run();
  });
}

}  // namespace norv
