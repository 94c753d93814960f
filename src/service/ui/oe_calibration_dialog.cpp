#include "service/ui/oe_calibration_dialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <utility>

#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "framework/language/language.h"
#include "service/oe_converter.h"
#include "service/ui/adjust_access_form.h"

namespace norv {

namespace {

constexpr int kClientWidth = 320, kClientHeight = 196;
constexpr int kCaptionWidth = 150, kCaptionGap = 8;

QPointer<TfrmCalibrOEConverter> Window;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TfrmCalibrOEConverter::TfrmCalibrOEConverter(QWidget* owner) : QDialog(owner) {
  setObjectName("frmCalibrOEConverter");
  setWindowTitle("Calibration O/E Converter");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowModality(Qt::ApplicationModal);
  setFixedSize(kClientWidth, kClientHeight);
  const TOECalibrationRun& run = OEConvState().Run;
  lblChannel_ = new QLabel(Text(FormatLangStr("Channel_n", run.Channel - 1)), this);
  lblChannel_->setObjectName("lblChannel");
  lblChannel_->setGeometry(8, 6, kClientWidth - 16, 16);
  lblDarkLevel_ = AddRow("lblDarkLevel", "Dark Level Compensation", 26);
  lblZeroError_ = AddRow("lblZeroError", "Zero Error", 46);
  lblAvgPowerZero_ = AddRow("lblAvgPowerZero", "Avg Power Zero", 66);
  lblGain_ = AddRow("lblGain", "Gain", 86);
  // A gain run shows the gain and the average-power zero it works with.
  for (QLabel* row : {lblDarkLevel_, lblZeroError_, lblGain_}) {
    const bool shown = (row == lblGain_) == run.GainRun;
    row->setVisible(shown);
    findChild<QLabel*>(row->objectName() + "Caption")->setVisible(shown);
  }
  lblResult_ = new QLabel(this);
  lblResult_->setObjectName("lblResult");
  lblResult_->setGeometry(8, 110, kClientWidth - 16, 46);
  lblResult_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lblResult_->setWordWrap(true);
  lblResult_->hide();
  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName("ProgressBar1");
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setGeometry(8, 132, kClientWidth - 16, 16);
  okBtn_ = new QPushButton("OK", this);
  okBtn_->setObjectName("OKBtn");
  okBtn_->setGeometry(64, 160, 75, 25);
  okBtn_->setEnabled(false);
  cancelBtn_ = new QPushButton("Cancel", this);
  cancelBtn_->setObjectName("CancelBtn");
  cancelBtn_->setGeometry(kClientWidth - 64 - 75, 160, 75, 25);
  connect(okBtn_, &QPushButton::clicked, this, [this] { EndRun(true); });
  connect(cancelBtn_, &QPushButton::clicked, this, [this] { EndRun(false); });
  setCursor(Qt::WaitCursor);
  TranslatorOf(this).Translate();
  FitCaptions();
  PlaceBesideMainWindow(*this, {360, 220});
  Refresh();
}

QLabel* TfrmCalibrOEConverter::AddRow(const char* name, const char* caption, int top) {
  auto* label = new QLabel(caption, this);
  label->setObjectName(QString(name) + "Caption");
  label->setGeometry(8, top, kCaptionWidth, 16);
  auto* value = new QLabel(this);
  value->setObjectName(name);
  value->setGeometry(8 + kCaptionWidth, top, kClientWidth - 16 - kCaptionWidth, 16);
  return value;
}

void TfrmCalibrOEConverter::FitCaptions() {
  const std::array<QLabel*, 4> values{lblDarkLevel_, lblZeroError_, lblAvgPowerZero_, lblGain_};
  int width = kCaptionWidth;
  for (QLabel* value : values) {
    const QLabel* caption = findChild<QLabel*>(value->objectName() + "Caption");
    width = std::max(width, caption->fontMetrics().horizontalAdvance(caption->text()) + kCaptionGap);
  }
  for (QLabel* value : values) {
    const QRect row = value->geometry();
    findChild<QLabel*>(value->objectName() + "Caption")->setGeometry(8, row.top(), width, row.height());
    value->setGeometry(8 + width, row.top(), kClientWidth - 16 - width, row.height());
  }
}

void TfrmCalibrOEConverter::Refresh() {
  const TOECalibrationRun& run = OEConvState().Run;
  if (run.Search) {
    lblDarkLevel_->setText(Text(OEDarkLevelText(run.Search->Level())));
    lblZeroError_->setText(Text(OEZeroErrorText(run.Search->LastMean())));
  }
  lblAvgPowerZero_->setText(Text(OEAvgPowerZeroText(run.AvgPowerZero)));
  lblGain_->setText(Text(OEGainText(run.MeasuredGain)));
  progressBar_->setValue(std::clamp(run.Progress, 0, 100));
  if (run.State != TOECalState::Finish) return;
  // The reason of a failure stands under it, where the progress bar was.
  lblResult_->setText(Text(OECalibrationOutcome(run)).replace("\r\n", "\n"));
  lblResult_->setStyleSheet(run.Succeeded ? "color: green; font-weight: bold"
                                          : "color: red; font-weight: bold");
  lblResult_->show();
  progressBar_->hide();
  okBtn_->setEnabled(run.Succeeded);
  if (run.Succeeded) okBtn_->setFocus();
  unsetCursor();
}

void TfrmCalibrOEConverter::RunEnded() {
  ended_ = true;
  close();
}

void TfrmCalibrOEConverter::EndRun(bool ok) {
  if (std::exchange(ended_, true)) return;
  EndOECalibration(ok);
  close();
}

void TfrmCalibrOEConverter::closeEvent(QCloseEvent* event) {
  EndRun(false);
  QDialog::closeEvent(event);
}

void TfrmCalibrOEConverter::reject() {
  EndRun(false);
  QDialog::reject();
}

TfrmCalibrOEConverter* OECalibrationWindow() { return Window.data(); }

void InstallOECalibrationWindow() {
  OEConvHooks.OpenCalibrationWindow.Set([] {
    Window = new TfrmCalibrOEConverter(SideMenuState.Host);
    Window->show();
    return true;
  });
  OEConvHooks.RefreshCalibrationWindow.Set([] {
    if (Window) Window->Refresh();
  });
  OEConvHooks.CloseCalibrationWindow.Set([] {
    // Gone for the run at once; Qt frees it later.
    if (TfrmCalibrOEConverter* window = Window.data()) {
      Window = nullptr;
      window->RunEnded();
    }
  });
}

}  // namespace norv
