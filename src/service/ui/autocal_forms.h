#pragma once
// The dialogs of the instrument's self-calibrations: the time base (both generators
// measured as soon as it shows) and the channels (a progress bar and the status of the
// instrument's calibration, polled every 50 ms). Both are modal while the acquisition
// keeps running, and close themselves at the end of a run started without a question.

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QFrame;

namespace norv {

struct TTimeBaseRun;
struct TChannelRun;

class TAutocalTBF : public QDialog {
  Q_OBJECT
 public:
  TAutocalTBF(TTimeBaseRun& run, QWidget* owner = nullptr);
  QLabel* Title() const { return name_; }
  QLabel* CoarseFreqResult() const { return coarse_; }
  QLabel* FineDelayResultMax() const { return fine_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Measure();

  TTimeBaseRun& run_;
  QLabel* name_;
  QLabel* coarse_;
  QLabel* fine_;
  QFrame* shape_;
  QPushButton* ok_;
  QPushButton* cancel_;
  bool measureQueued_ = false;
};

class TAutocalChannelsF : public QDialog {
  Q_OBJECT
 public:
  TAutocalChannelsF(TChannelRun& run, QWidget* owner = nullptr);
  ~TAutocalChannelsF() override;
  QLabel* Title() const { return name_; }
  QProgressBar* ProgressBar1() const { return progress_; }
  QLineEdit* Edit1() const { return status_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

  // Shows the run as it stands; starts the poll, or closes an ended auto-closing run.
  void RunChanged();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Tick();

  TChannelRun& run_;
  QLabel* name_;
  QProgressBar* progress_;
  QLineEdit* status_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QTimer* timer_;
  bool begun_ = false;
  bool waitCursor_ = false;
};

// Fills the dialog hooks of the auto-calibration and registers its forms for the language
// file.
void InstallAutocalDialogs();

}  // namespace norv
