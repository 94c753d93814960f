#pragma once
// The autoscale progress window: a progress bar and Cancel, modal while the acquisition
// keeps running. It opens beside the main window's Autoscale button, where the user left
// the last one.

#include <QDialog>
#include <QPoint>

class QProgressBar;
class QPushButton;

namespace norv {

class TAutoScalFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TAutoScalFrm(QWidget* owner = nullptr);

  void SetProgress(int position);
  // Offset of the window from the Autoscale button, kept for the next window.
  static QPoint& PlacementOffset();
  // Keeps where the user left the window for the next one.
  void RememberPlacement() const { PlacementOffset() = pos() - buttonAt_; }

 private:
  void PlaceBesideButton();

  QProgressBar* pbAutoScale_ = nullptr;
  QPushButton* button1_ = nullptr;
  QPoint buttonAt_;
};

// Fills the window hooks of the autoscale.
void InstallAutoscaleWindow();

}  // namespace norv
