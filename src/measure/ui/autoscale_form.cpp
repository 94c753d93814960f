#include "measure/ui/autoscale_form.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "controls/translated_form.h"
#include "measure/autoscale/autoscale.h"

namespace norv {

namespace {

constexpr int kClientWidth = 295, kClientHeight = 56;

TAutoScalFrm* OpenForm = nullptr;

// The main window's Autoscale button, wherever the main window is.
QWidget* AutoscaleButton() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* button = top->findChild<QWidget*>("mcsAutoscale")) return button;
  return nullptr;
}

}  // namespace

QPoint& TAutoScalFrm::PlacementOffset() {
  static QPoint offset(-20, 13);
  return offset;
}

TAutoScalFrm::TAutoScalFrm(QWidget* owner) : QDialog(owner) {
  setObjectName("AutoScalFrm");
  setWindowTitle("Autoscaling...");
  setModal(true);
  setFixedSize(kClientWidth, kClientHeight);
  pbAutoScale_ = new QProgressBar(this);
  pbAutoScale_->setObjectName("pbAutoScale");
  pbAutoScale_->setRange(0, 100);
  pbAutoScale_->setValue(0);
  pbAutoScale_->setGeometry(8, 8, kClientWidth - 16, 16);
  button1_ = new QPushButton("Cancel", this);
  button1_->setObjectName("Button1");
  button1_->setGeometry((kClientWidth - 75) / 2, 29, 75, 22);
  connect(button1_, &QPushButton::clicked, this, &QDialog::reject);
  TranslatorOf(this).Translate();
  PlaceBesideButton();
}

void TAutoScalFrm::PlaceBesideButton() {
  QWidget* button = AutoscaleButton();
  buttonAt_ = button ? button->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
  const QPoint at = buttonAt_ + PlacementOffset();
  move(std::max(at.x(), 0), std::max(at.y(), 0));
}

void TAutoScalFrm::SetProgress(int position) {
  pbAutoScale_->setValue(position);
  pbAutoScale_->repaint();
}

void InstallAutoscaleWindow() {
  AutoscaleHooks.ShowProgressWindow.Set([] {
    TAutoScalFrm form(QApplication::activeWindow());
    OpenForm = &form;
    const int result = form.exec();
    OpenForm = nullptr;
    form.RememberPlacement();
    return result == QDialog::Accepted;
  });
  AutoscaleHooks.CloseProgressWindow.Set([] {
    if (OpenForm) OpenForm->accept();
  });
  AutoscaleHooks.ShowProgress.Set([](int position) {
    if (OpenForm) OpenForm->SetProgress(position);
  });
}

}  // namespace norv
