#include "service/ui/adjust_access_form.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/controls_state.h"
#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "service/adjust_access.h"

namespace norv {

TAdjustAccess::TAdjustAccess(QWidget* owner) : QDialog(owner) {
  setObjectName("AdjustAccess");
  setWindowTitle("Adjustment Access");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(384, 169);
  QFont font("Tahoma");
  font.setPointSize(8);
  setFont(font);

  auto* label = new QLabel("Enter Password", this);
  label->setObjectName("Label1");
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setGeometry(20, 56, 105, 16);

  passEnter_ = new QLineEdit(this);
  passEnter_->setObjectName("PassEnter");
  passEnter_->setGeometry(136, 52, 193, 26);
  passEnter_->setEchoMode(QLineEdit::Password);
  QFont mono("Courier New");
  mono.setPixelSize(16);
  passEnter_->setFont(mono);
  passEnter_->setStyleSheet("QLineEdit { background: red; color: yellow; lineedit-password-character: 42; }");

  okBtn_ = new QPushButton("OK", this);
  okBtn_->setObjectName("OKBtn");
  okBtn_->setGeometry(64, 116, 75, 25);
  okBtn_->setDefault(true);
  connect(okBtn_, &QPushButton::clicked, this, &TAdjustAccess::OKBtnClick);

  cancBtn_ = new QPushButton("Cancel", this);
  cancBtn_->setObjectName("CancBtn");
  cancBtn_->setGeometry(248, 116, 75, 25);
  connect(cancBtn_, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(passEnter_, okBtn_);
  setTabOrder(okBtn_, cancBtn_);
  passEnter_->setFocus();
  TranslatorOf(this).Translate();
}

void TAdjustAccess::OKBtnClick() {
  const bool closes = SubmitAdjustAccessCode(passEnter_->text().toStdString());
  passEnter_->clear();
  if (closes) accept();
}

bool ShowAdjustAccess() {
  if (AdjustAccessGranted()) return true;
  if (!AdjustAccessDialogOffered()) {
    Beep();
    return false;
  }
  TAdjustAccess dialog(ServiceDialogOwner());
  PlaceBesideMainWindow(dialog, {120, 100});
  dialog.exec();
  return AdjustAccessGranted();
}

QWidget* ServiceDialogOwner() {
  return SideMenuState.Host ? SideMenuState.Host.data() : QApplication::activeWindow();
}

void PlaceBesideMainWindow(QDialog& dialog, QPoint offset) {
  if (QWidget* main = dialog.parentWidget()) dialog.move(main->pos() + offset);
}

}  // namespace norv
