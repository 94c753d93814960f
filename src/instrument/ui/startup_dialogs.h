#pragma once
// The questions of the start-up connection when the instrument does not answer: after the
// first failed attempt "SW didn't link ...", after the second "PC didn't recognise ..."
// with what to check, later a short notice. Each offers what the connection loop allows;
// every one of them lets the user go on without an instrument or end the program.

#include <QDialog>

#include "instrument/startup/startup_connection.h"

class QPushButton;

namespace norv {

class TStartupDialog : public QDialog {
  Q_OBJECT
 public:
  // The dialog of the attempt (Dialog1, Dialog2, Dialog3), its buttons enabled as offered.
  explicit TStartupDialog(const TStartupOffer& offer, QWidget* parent = nullptr);
  // The button of an answer; nullptr when the dialog has none.
  QPushButton* ButtonOf(TStartupAnswer answer) const;
  // The answer of the button pressed; Exit when the dialog was closed otherwise.
  TStartupAnswer Answer() const { return answer_; }

 private:
  QPushButton* AddButton(const char* name, const QString& text, TStartupAnswer answer, bool enabled);

  TStartupAnswer answer_ = TStartupAnswer::Exit;
  std::vector<std::pair<TStartupAnswer, QPushButton*>> buttons_;
};

// The program's start-up questions: each one a modal dialog.
class TQtStartupQuestions final : public IStartupQuestions {
 public:
  TStartupAnswer AskHowToGoOn(const TStartupOffer& offer) override;
};

}  // namespace norv
