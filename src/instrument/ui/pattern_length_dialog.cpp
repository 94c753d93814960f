#include "instrument/ui/pattern_length_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "framework/settings/numeric_handlers.h"
#include "instrument/settings/trigger_settings.h"

namespace norv {

TfrmPatternLengthList::TfrmPatternLengthList(const std::vector<int32_t>& list, int32_t patternLength,
                                             QWidget* owner)
    : QDialog(owner), editor_(list, patternLength) {
  setObjectName("frmPatternLengthList");
  setWindowTitle("Pattern Length List");
  setFixedSize(321, 320);
  auto* layout = new QGridLayout(this);
  auto* label = new QLabel("Pattern Length (Min: 31, Max: 65535):", this);
  label->setObjectName("Label1");
  edit_ = new QLineEdit(this);
  edit_->setObjectName("cbPatternLength");
  list_ = new QListWidget(this);
  list_->setObjectName("lbPatternLength");
  auto button = [this](const char* name, const char* caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    return b;
  };
  btnAdd_ = button("btnAdd", "Add");
  auto* typical = button("btnAddTypical", "Add Typical");
  btnDelete_ = button("btnDelete", "Delete");
  auto* all = button("btnDeleteAll", "Delete All");
  auto* ok = button("btnOK", "OK");
  auto* cancel = button("btnCancel", "Cancel");
  ok->setDefault(true);
  layout->addWidget(label, 0, 0, 1, 2);
  layout->addWidget(edit_, 1, 0);
  layout->addWidget(list_, 2, 0, 5, 1);
  int row = 1;
  for (QPushButton* b : {btnAdd_, typical, btnDelete_, all}) layout->addWidget(b, row++, 1);
  layout->setRowStretch(5, 1);
  layout->addWidget(ok, 6, 1, Qt::AlignBottom);
  layout->addWidget(cancel, 7, 1);

  connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    editor_.SetEditText(text.toStdString());
    Refresh();
  });
  connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    editor_.Select(list_->row(item));
    Refresh();
  });
  connect(btnAdd_, &QPushButton::clicked, this, [this] {
    editor_.Add();
    Refresh();
  });
  connect(typical, &QPushButton::clicked, this, [this] {
    editor_.AddTypical();
    Refresh();
  });
  connect(btnDelete_, &QPushButton::clicked, this, [this] {
    editor_.Delete();
    Refresh();
  });
  connect(all, &QPushButton::clicked, this, [this] {
    editor_.DeleteAll();
    Refresh();
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  Refresh();
}

void TfrmPatternLengthList::Refresh() {
  const QSignalBlocker block(list_);
  QStringList entries;
  for (const std::string& e : editor_.Entries()) entries << QString::fromStdString(e);
  QStringList shown;
  for (int i = 0; i < list_->count(); ++i) shown << list_->item(i)->text();
  if (shown != entries) {
    list_->clear();
    list_->addItems(entries);
  }
  list_->setCurrentRow(editor_.Selected());
  const QString text = QString::fromStdString(editor_.EditText());
  if (edit_->text() != text) edit_->setText(text);
  btnAdd_->setEnabled(editor_.AddEnabled());
  btnDelete_->setEnabled(editor_.DeleteEnabled());
}

void ShowPatternLengthList(const std::filesystem::path& setupFolder, QWidget* owner) {
  TTriggerSettingsState& trigger = TriggerSettings();
  TfrmPatternLengthList dialog(trigger.PatternLengthList,
                               trigger.PattLen ? trigger.PattLen->GetIntValue() : 0, owner);
  if (dialog.exec() == QDialog::Accepted) dialog.Editor().Accept(setupFolder);
}

}  // namespace norv
