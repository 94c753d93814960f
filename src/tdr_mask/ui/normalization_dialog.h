#pragma once
// The window of a channel's correction procedure: its status, a progress bar, OK (once the
// filter is ready) and Cancel. Modal; the acquisition goes on stepping the procedure while
// it is open.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace norv {

class TfrmTDR_TDT_Normalization : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmTDR_TDT_Normalization(QWidget* owner = nullptr);
  // Shows the procedure's texts, progress and OK button.
  void Refresh();

 private:
  QLabel* lblStatus_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
};

// Fills the window hooks of the correction.
void InstallNormalizationDialog();

}  // namespace norv
