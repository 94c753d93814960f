#include "tdr_mask/ui/normalization_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "tdr_mask/tdr_normalization.h"

namespace norv {

namespace {

constexpr int kClientWidth = 330, kClientHeight = 110;

TfrmTDR_TDT_Normalization* OpenForm = nullptr;

}  // namespace

TfrmTDR_TDT_Normalization::TfrmTDR_TDT_Normalization(QWidget* owner) : QDialog(owner) {
  setObjectName("frmTDR_TDT_Normalization");
  setWindowTitle("TDR Normalization");
  setModal(true);
  setFixedSize(kClientWidth, kClientHeight);
  lblStatus_ = new QLabel("TDR Normalization...", this);
  lblStatus_->setObjectName("LblStatus");
  lblStatus_->setAlignment(Qt::AlignCenter);
  lblStatus_->setGeometry(8, 8, kClientWidth - 16, 20);
  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName("ProgressBar1");
  progressBar_->setRange(0, 100);
  progressBar_->setGeometry(8, 36, kClientWidth - 16, 18);
  btnOK_ = new QPushButton("OK", this);
  btnOK_->setObjectName("btnOK");
  btnOK_->setDefault(true);
  btnOK_->setEnabled(false);
  btnOK_->setGeometry(kClientWidth / 2 - 85, 72, 75, 25);
  btnCancel_ = new QPushButton("Cancel", this);
  btnCancel_->setObjectName("btnCancel");
  btnCancel_->setGeometry(kClientWidth / 2 + 10, 72, 75, 25);
  connect(btnOK_, &QPushButton::clicked, this, [] { EndNormalizationDialog(true); });
  connect(btnCancel_, &QPushButton::clicked, this, [] { EndNormalizationDialog(false); });
  TranslatorOf(this).Translate();
  if (QWidget* main = owner ? owner->window() : nullptr) move(main->x() + 360, main->y() + 105);
  setCursor(Qt::WaitCursor);
  Refresh();
}

void TfrmTDR_TDT_Normalization::Refresh() {
  const TNormalizationDialog* d = NormalizationState().Dialog.get();
  if (!d) return;
  setWindowTitle(QString::fromStdString(d->Caption));
  lblStatus_->setText(QString::fromStdString(d->Status));
  lblStatus_->setStyleSheet(d->StatusReady ? "color: rgb(0, 128, 0);" : "");
  progressBar_->setValue(d->Progress);
  if (d->OKEnabled && !btnOK_->isEnabled()) {
    btnOK_->setEnabled(true);
    btnOK_->setFocus();
    unsetCursor();
  }
}

void InstallNormalizationDialog() {
  NormalizationHooks.ShowDialog.Set([] {
    // Over the main window, whichever window (or none, after the start's message) is active.
    TfrmTDR_TDT_Normalization form(SideMenuState.Host);
    OpenForm = &form;
    // A result given before the window could open (a failed first step) closes it at once.
    const TNormalizationDialog* d = NormalizationState().Dialog.get();
    const bool ok = d && d->Result == TNormResult::None && form.exec() == QDialog::Accepted;
    OpenForm = nullptr;
    return ok;
  });
  NormalizationHooks.CloseDialog.Set([](bool ok) {
    if (!OpenForm) return;
    if (ok)
      OpenForm->accept();
    else
      OpenForm->reject();
  });
  NormalizationHooks.DialogChanged.Set([] {
    if (OpenForm) OpenForm->Refresh();
  });
}

}  // namespace norv
