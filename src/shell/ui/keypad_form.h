#pragma once
// TNewCalcFrm, the on-screen keypad of numeric settings. It opens over the main window
// for one edit control (the hook that edit controls call), edits the same setting in its
// own edit, and forms one undo step of everything changed while it is shown: OK keeps the
// changes (a number still being typed is entered first), Cancel, Escape and the close box
// take them back.

#include <QPushButton>
#include <QString>
#include <string>

#include "controls/choice_switchers.h"
#include "controls/edit_switchers.h"
#include "controls/switcher.h"
#include "controls/translated_form.h"

namespace norv {

class TNewCalcFrm : public TLanguageForm {
  Q_OBJECT
 public:
  explicit TNewCalcFrm(QWidget* mainWindow);
  ~TNewCalcFrm() override;

  // Opens the keypad for the setting of an edit control (nothing for an unbound one).
  void ShowFor(TRC_EditSwitcher& switcher);
  // One key as its button sends it to the keypad's edit.
  void PressKey(QChar key);
  void Ok();
  void Cancel();

  TRC_EditSwitcher* Edit() const { return edit_; }
  QPushButton* KeyButton(const QString& name) const;
  TRC_RightMenuPanel* Panel() const { return panel_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Finish(bool cancel);
  void FitTitle();

  TRC_RightMenuPanel* panel_ = nullptr;
  TRC_EditSwitcher* edit_ = nullptr;
  TRC_RadioSwitcher* resolution_ = nullptr;
  TRC_CheckSwitcher* setTo_ = nullptr;
  QPushButton* ok_ = nullptr;
  bool bound_ = false;
};

}  // namespace norv
