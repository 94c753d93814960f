#include "instrument/ui/startup_dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/translated_form.h"

namespace norv {

TStartupDialog::TStartupDialog(const TStartupOffer& offer, QWidget* parent) : QDialog(parent) {
  TranslatorOf(this);  // first, so that it sees every control made below
  setWindowTitle(" Initialisation...");
  auto* layout = new QVBoxLayout(this);
  auto label = [&](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    layout->addWidget(l);
  };
  auto* row = new QHBoxLayout;
  const bool withoutInstrument = offer.WithoutInstrument;
  if (offer.Attempt <= 1) {
    setObjectName("Dialog1");
    label("Label1", "SW didn't link with the Vexilor Norv");
    label("Label2", "How do you want to continue your work?");
    layout->addLayout(row);
    row->addWidget(AddButton("btnWithTarvel", "With Vexilor Norv", TStartupAnswer::Retry, offer.Retry));
    row->addWidget(AddButton("btnDemo", "Demo", TStartupAnswer::Demo, offer.Demo));
  } else if (offer.Attempt == 2) {
    setObjectName("Dialog2");
    label("Label1", "PC didn't recognise the Vexilor Norv.");
    label("Label2", "Please check:");
    label("Label3", "1. Is the Vexilor Norv connected to PC via USB or LAN ports?");
    label("Label4", "2. Is the Vexilor Norv turned ON?");
    label("Label5", "3. Is the Vexilor Norv is not used by another SW?");
    layout->addLayout(row);
    row->addWidget(AddButton("btnYes", "Yes", TStartupAnswer::Retry, offer.Retry));
  } else {
    setObjectName("Dialog3");
    label("Label1", "PC didn't recognise the Vexilor Norv");
    layout->addLayout(row);
  }
  // Going on without an instrument is offered after every failed attempt.
  row->addWidget(AddButton("btnWithoutInstrument", "Without Instruments", TStartupAnswer::WithoutInstrument,
                           withoutInstrument));
  row->addWidget(AddButton(offer.Attempt <= 1 ? "btnExit" : "Button3", "Exit", TStartupAnswer::Exit, true));
  QPushButton* first = buttons_.front().second;
  if (first->isEnabled()) first->setDefault(true);
  TranslatorOf(this).Translate();
}

QPushButton* TStartupDialog::AddButton(const char* name, const QString& text, TStartupAnswer answer,
                                       bool enabled) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(name);
  button->setEnabled(enabled);
  connect(button, &QPushButton::clicked, this, [this, answer] {
    answer_ = answer;
    answer == TStartupAnswer::Exit ? reject() : accept();
  });
  buttons_.emplace_back(answer, button);
  return button;
}

QPushButton* TStartupDialog::ButtonOf(TStartupAnswer answer) const {
  for (const auto& [a, button] : buttons_)
    if (a == answer) return button;
  return nullptr;
}

TStartupAnswer TQtStartupQuestions::AskHowToGoOn(const TStartupOffer& offer) {
  TStartupDialog dialog(offer);
  dialog.exec();
  return dialog.Answer();
}

}  // namespace norv
