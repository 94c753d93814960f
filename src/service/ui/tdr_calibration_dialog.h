#pragma once
// The TDR / TDT channel calibration dialog: it shows the calibration's progress, then its
// outcome (the reference values, or why it failed). OK takes the values; Cancel, or the
// close box, leaves the channel as it was. Started by a command it closes by itself.

#include <QDialog>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace norv {

class TTdrChannelCalibration;

class TfrmTDR_CalibrChannel : public QDialog {
  Q_OBJECT
 public:
  TfrmTDR_CalibrChannel(int channel, bool tdr, bool autoClose, QWidget* owner = nullptr);
  ~TfrmTDR_CalibrChannel() override;

  TTdrChannelCalibration& Calibration() { return *calibration_; }
  // Runs the calibration modally; true for OK (after a TDT calibration its reference is
  // then in M4).
  bool Run();

 private:
  void Refresh();

  std::unique_ptr<TTdrChannelCalibration> calibration_;
  QLabel* lblTitle_ = nullptr;
  QLabel* lblError_ = nullptr;
  QLabel* lblLevel_ = nullptr;
  QLabel* lblAmplitude_ = nullptr;
  QLabel* lblRefPlane_ = nullptr;
  QWidget* results_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
  bool cursorSet_ = false;
};

// The dialog while it is open, else nullptr.
TfrmTDR_CalibrChannel* OpenTdrCalibrationDialog();

// Fills TdrHooks.RunChannelCalibration.
void InstallTdrCalibrationDialog();

}  // namespace norv
