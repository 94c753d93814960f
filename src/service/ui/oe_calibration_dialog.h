#pragma once
// The window of an O/E calibration run ("Calibration O/E Converter"): the values the run
// finds, its progress and its outcome. Modal for the user, yet never a loop of its own:
// each acquisition steps the run and refreshes the window. OK keeps the result of a
// successful run; Cancel or the close box ends the run and gives everything back.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace norv {

class TfrmCalibrOEConverter : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmCalibrOEConverter(QWidget* owner = nullptr);
  // Shows the run's values, and its outcome once it has finished.
  void Refresh();
  // The run has ended: the window goes without ending it again.
  void RunEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QLabel* AddRow(const char* name, const char* caption, int top);
  // The value column starts after the widest caption (of any language).
  void FitCaptions();
  void EndRun(bool ok);

  QLabel* lblChannel_ = nullptr;
  QLabel* lblDarkLevel_ = nullptr;
  QLabel* lblZeroError_ = nullptr;
  QLabel* lblAvgPowerZero_ = nullptr;
  QLabel* lblGain_ = nullptr;
  QLabel* lblResult_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QPushButton* okBtn_ = nullptr;
  QPushButton* cancelBtn_ = nullptr;
  bool ended_ = false;
};

// The open window, nullptr when none.
TfrmCalibrOEConverter* OECalibrationWindow();

// Fills the O/E calibration window hooks.
void InstallOECalibrationWindow();

}  // namespace norv
