#pragma once
// The adjustment access dialog: the access code, typed in a masked field. A wrong code
// empties the field; the third wrong code closes the dialog, and from then on a request
// only beeps.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace norv {

class TAdjustAccess : public QDialog {
  Q_OBJECT
 public:
  explicit TAdjustAccess(QWidget* owner = nullptr);
  QLineEdit* PassEnter() const { return passEnter_; }
  QPushButton* OKBtn() const { return okBtn_; }
  QPushButton* CancBtn() const { return cancBtn_; }

 private:
  void OKBtnClick();

  QLineEdit* passEnter_;
  QPushButton* okBtn_;
  QPushButton* cancBtn_;
};

// The utility page's Adjusting button before access was granted: the dialog, or only a
// beep once the attempts are used up. True when access is granted now.
bool ShowAdjustAccess();

// The owner of the service dialogs: the main window (the active window before there is one).
QWidget* ServiceDialogOwner();
// Places a dialog at its owner's left and top plus `offset`.
void PlaceBesideMainWindow(QDialog& dialog, QPoint offset);

}  // namespace norv
