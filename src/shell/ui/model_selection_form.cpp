#include "shell/ui/model_selection_form.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "instrument/link/instrument_identity.h"
#include "platform/program_restart.h"
#include "shell/model_selection.h"

namespace norv {

TSelectModelofInstruments::TSelectModelofInstruments(QWidget* owner) : QDialog(owner) {
  TranslatorOf(this);
  setObjectName("SelectModelofInstruments");
  setWindowTitle("Select Model of Instruments");
  auto* layout = new QVBoxLayout(this);
  auto* label1 = new QLabel("Select a device to use from the list below.", this);
  label1->setObjectName("Label1");
  comboBox1_ = new QComboBox(this);
  comboBox1_->setObjectName("ComboBox1");
  lblDueTo_ =
      new QLabel("In order to this changes take effects You must close SW and then start it again!", this);
  lblDueTo_->setObjectName("lblDueTo");
  lblDueTo_->setWordWrap(true);
  // Its place stays while it is hidden: shown after a choice, it covers nothing.
  QSizePolicy keepPlace = lblDueTo_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  lblDueTo_->setSizePolicy(keepPlace);
  const auto button = [this](const char* name, const char* caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    return b;
  };
  btnOK_ = button("btnOK", "OK");
  auto* btnCancel = button("btnCancel", "Cancel");
  btnRestartNow_ = button("btnRestartNow", "Restart Now");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnOK_);
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnRestartNow_);
  layout->addWidget(label1);
  layout->addWidget(comboBox1_);
  layout->addWidget(lblDueTo_);
  layout->addLayout(buttons);
  setMinimumWidth(360);
  connect(comboBox1_, &QComboBox::currentIndexChanged, this, &TSelectModelofInstruments::SelectionChanged);
  connect(btnOK_, &QPushButton::clicked, this, [this] { done(Chosen); });
  connect(btnRestartNow_, &QPushButton::clicked, this, [this] { done(RestartNow); });
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    chosen_ = InstrumentIdentity.ModelCode;
    done(Cancelled);
  });
  Fill();
}

void TSelectModelofInstruments::showEvent(QShowEvent* event) {
  TranslatorOf(this).Translate();
  Fill();
  QDialog::showEvent(event);
}

void TSelectModelofInstruments::Fill() {
  const QSignalBlocker block(comboBox1_);
  comboBox1_->clear();
  for (const std::string& entry : ModelChoiceEntries()) comboBox1_->addItem(QString::fromStdString(entry));
  const int current = InstrumentIdentity.ModelCode - kFirstChoosableModel;
  comboBox1_->setCurrentIndex(current >= 0 && current < comboBox1_->count() ? current : 0);
  SelectionChanged(comboBox1_->currentIndex());
}

void TSelectModelofInstruments::SelectionChanged(int index) {
  chosen_ = static_cast<uint8_t>(std::max(index, 0) + kFirstChoosableModel);
  const bool changes = ModelChoiceChangesSomething(chosen_);
  lblDueTo_->setVisible(changes);
  btnOK_->setEnabled(changes);
  btnRestartNow_->setEnabled(changes);
}

void SelectModel(QWidget* owner) {
  TSelectModelofInstruments dialog(owner);
  const int result = dialog.exec();
  if (result == TSelectModelofInstruments::Cancelled) return;
  ApplyModelChoice(dialog.ChosenModel());
  if (result != TSelectModelofInstruments::RestartNow) return;
  QWidget* mainWindow = SideMenuState.Host;
  if (mainWindow == nullptr) return;
  // The new copy starts only after this one has ended; a refused close starts none.
  RequestRestartAfterExit(true);
  if (!mainWindow->close()) RequestRestartAfterExit(false);
}

}  // namespace norv
