#pragma once
// The dialog that chooses the model the simulator stands for at the next start, and may
// restart the program at once.

#include <QDialog>
#include <cstdint>

class QComboBox;
class QLabel;
class QPushButton;

namespace norv {

class TSelectModelofInstruments : public QDialog {
  Q_OBJECT
 public:
  enum TResult { Cancelled = 0, Chosen = 1, RestartNow = 2 };
  explicit TSelectModelofInstruments(QWidget* owner = nullptr);
  uint8_t ChosenModel() const { return chosen_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Fill();
  void SelectionChanged(int index);

  uint8_t chosen_ = 0;
  QComboBox* comboBox1_ = nullptr;
  QLabel* lblDueTo_ = nullptr;
  QPushButton *btnOK_ = nullptr, *btnRestartNow_ = nullptr;
};

// Shows the dialog; OK or "Restart Now" write the choice. "Restart Now" then closes the
// main window, and the new copy is started once the close has been accepted and the
// program has ended.
void SelectModel(QWidget* owner);

}  // namespace norv
