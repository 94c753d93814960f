#pragma once
// The progress window of the automatic pattern search ("Find Pattern Trigger "). It stays
// open while the acquisition keeps running the search step by step; closing it ends the
// search as failed. While dialogs are suppressed (remote control) the search runs
// without it.

#include <QDialog>

class QProgressBar;

namespace norv {

class TfrmFindPatternTrig : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmFindPatternTrig(QWidget* owner = nullptr);
  void SetProgress(int position);
  // The search has ended: the window goes without ending it again.
  void SearchEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void EndSearch();

  QProgressBar* bar_ = nullptr;
  bool ended_ = false;
};

// Fills the search's progress hook: the window opens when a search starts and closes when
// it ends.
void InstallPatternSearchDialog();

}  // namespace norv
