#include "instrument/ui/instrument_dialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "controls/translated_form.h"
#include "framework/language/language.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/startup/desktop_shortcut.h"
#include "instrument/startup/startup_connection.h"

namespace norv {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  return Named(new QPushButton(caption, parent), name);
}

QLabel* Label(QWidget* parent, const char* name, const QString& caption) {
  return Named(new QLabel(caption, parent), name);
}

}  // namespace

// --- one entry ---

TfrmEditInstrument::TfrmEditInstrument(QWidget* owner, const std::string& instrumentCandidate,
                                       const std::string& demoCandidate)
    : QDialog(owner), add_(true), instrumentCandidate_(instrumentCandidate), demoCandidate_(demoCandidate) {
  Build(owner);
}

TfrmEditInstrument::TfrmEditInstrument(QWidget* owner, const std::string& name, const TInstrumentProp& prop)
    : QDialog(owner), name_(name), prop_(prop) {
  Build(owner);
}

void TfrmEditInstrument::Build(QWidget* owner) {
  setObjectName("frmEditInstrument");
  TranslatorOf(this);
  setWindowTitle(add_ ? "Add New Instrument" : "Edit Instrument");
  auto* layout = new QVBoxLayout(this);
  lblInstrName_ = Label(this, "lblInstrName", add_ ? "New Instrument" : Q(name_));
  layout->addWidget(lblInstrName_);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  edAlias_ = Named(new QLineEdit(this), "edAlias");
  form->addRow(Label(this, "lblAliasName", "Name:"), edAlias_);
  edIP_ = Named(new QLineEdit(this), "edIP");
  form->addRow(Label(this, "lblIP", "IP Address:"), edIP_);
  lblInterface_ = Label(this, "lblInterface", "");
  QLabel* interfaceCaption = Label(this, "lblInterfaceName", "Interface:");
  form->addRow(interfaceCaption, lblInterface_);
  rgSelectInterface_ = Named(new QGroupBox(" Select Interface ", this), "rgSelectInterface");
  auto* radios = new QHBoxLayout(rgSelectInterface_);
  rbLan_ = Named(new QRadioButton("LAN", rgSelectInterface_), "rbLAN");
  rbDemo_ = Named(new QRadioButton("Demo", rgSelectInterface_), "rbDemo");
  radios->addWidget(rbLan_);
  radios->addWidget(rbDemo_);
  layout->addWidget(rgSelectInterface_);
  auto* row = new QHBoxLayout;
  layout->addLayout(row);
  auto* ok = Button(this, "btnInstrOK", "OK");
  auto* cancel = Button(this, "btnInstrCancel", "Cancel");
  ok->setDefault(true);
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  connect(ok, &QPushButton::clicked, this, [this] { OkClick(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  const bool both = add_ && !instrumentCandidate_.empty() && !demoCandidate_.empty();
  rgSelectInterface_->setVisible(both);
  lblInterface_->setVisible(!both);
  interfaceCaption->setVisible(!both);
  if (add_) {
    rbLan_->setChecked(true);
    ChooseKind(both || demoCandidate_.empty() ? TLinkKind::LAN : TLinkKind::Demo);
  }
  connect(rbLan_, &QRadioButton::toggled, this,
          [this](bool on) { ChooseKind(on ? TLinkKind::LAN : TLinkKind::Demo); });
  ShowFields();
  if (owner != nullptr) move(owner->mapToGlobal(QPoint(0, 0)) + QPoint(120, 200));
  TranslatorOf(this).Translate();
}

void TfrmEditInstrument::ChooseKind(TLinkKind kind) {
  prop_.Kind = kind;
  name_ = kind == TLinkKind::Demo ? demoCandidate_ : instrumentCandidate_;
  if (kind != TLinkKind::LAN) prop_.Address = {};
  prop_.Label = std::string(TrimBlanks(edAlias_->text().section('[', 0, 0).toStdString()));
  ShowFields();
}

void TfrmEditInstrument::ShowFields() {
  lblInterface_->setText(LinkKindText(prop_.Kind));
  const bool lan = prop_.Kind == TLinkKind::LAN;
  edIP_->setText(lan ? Q(IPv4ToDottedStr(prop_.Address)) : QString("Not Used"));
  edIP_->setReadOnly(!lan || UpperAscii(name_).find("DEFAULT") != std::string::npos);
  edAlias_->setText(Q(prop_.Label + "  [" + name_ + "]"));
}

void TfrmEditInstrument::OkClick() {
  prop_.Label = std::string(TrimBlanks(edAlias_->text().section('[', 0, 0).toStdString()));
  // Control characters would break the line of the configuration file.
  std::replace_if(
      prop_.Label.begin(), prop_.Label.end(), [](char c) { return static_cast<unsigned char>(c) < ' '; },
      ' ');
  if (prop_.Kind == TLinkKind::LAN && !edIP_->isReadOnly()) {
    const std::string text = edIP_->text().toStdString();
    const TEntryCheck check = CheckInstrumentEntry(name_, prop_.Kind, text, prop_.Address);
    if (check != TEntryCheck::Ok) {
      Dialogs().Inform(TMessageKind::Error, check == TEntryCheck::BadAddress
                                                ? "Incorrect IP: " + text
                                                : "IP Address " + text + " is used in the System");
      edIP_->setFocus();
      return;
    }
  }
  accept();
}

// --- the list ---

TfrmSelectInstrument::TfrmSelectInstrument(QWidget* owner) : QDialog(owner), chosen_(CurrentInstrumentName) {
  setObjectName("frmSelectInstrument");
  TranslatorOf(this);
  setWindowTitle("Select Instruments");
  auto* layout = new QVBoxLayout(this);

  gbConfig_ = Named(new QGroupBox(" System Configuration ", this), "gbConfig");
  layout->addWidget(gbConfig_);
  auto* config = new QGridLayout(gbConfig_);
  config->addWidget(Label(gbConfig_, "lblList", "List of Instruments"), 0, 0);
  cbListOfConfiguration_ = Named(new QComboBox(gbConfig_), "cbListOfConfiguration");
  config->addWidget(cbListOfConfiguration_, 0, 1, 1, 2);
  int line = 1;
  auto field = [&](const char* captionName, const char* caption, const char* name) {
    QLabel* head = Label(gbConfig_, captionName, caption);
    QLabel* value = Label(gbConfig_, name, "");
    config->addWidget(head, line, 0);
    config->addWidget(value, line++, 1, 1, 2);
    return std::pair{head, value};
  };
  lblAlias_ = field("lblAliasName", "Name:", "lblAlias").second;
  lblInterface_ = field("lblInterfaceName", "Interface:", "lblInterface").second;
  std::tie(lblIpName_, lblIP_) = field("lblIpName", "IP Address:", "lblIP");
  lblSN_ = field("lblSNName", "S/N:", "lblSN").second;
  auto* buttons = new QHBoxLayout;
  btnAdd_ = Button(gbConfig_, "btnAdd", "Add...");
  btnEdit_ = Button(gbConfig_, "BtnEdit", "Edit...");
  btnDelete_ = Button(gbConfig_, "btnDelete", "Delete");
  for (QPushButton* b : {btnAdd_, btnEdit_, btnDelete_}) buttons->addWidget(b);
  config->addLayout(buttons, line++, 0, 1, 3);
  lblStartup_ = Label(gbConfig_, "lblStartup", "Statup Instrument");
  cbStartupInstruments_ = Named(new QComboBox(gbConfig_), "cbStartupInstruments");
  config->addWidget(lblStartup_, line, 0);
  config->addWidget(cbStartupInstruments_, line++, 1, 1, 2);
  lblShortcut_ = Label(gbConfig_, "lblShortcut", "Create Shortcut for Startup Instrument");
  btnCreateShortcut_ = Button(gbConfig_, "btnCreateShortcut", "...");
  btnCreateShortcut_->setFixedWidth(30);
  config->addWidget(lblShortcut_, line, 0, 1, 2);
  config->addWidget(btnCreateShortcut_, line++, 2, Qt::AlignRight);

  gbCurrent_ = Named(new QGroupBox(" Current Instrument ", this), "gbCurrent");
  layout->addWidget(gbCurrent_);
  auto* current = new QVBoxLayout(gbCurrent_);
  auto* currentRow = new QHBoxLayout;
  lblCurrentUnit_ = Label(gbCurrent_, "lblCurrentUnit", "");
  btnChangeCurrent_ = Button(gbCurrent_, "btnChangeCurrentInstrument", "Change Current Instrument...");
  currentRow->addWidget(lblCurrentUnit_, 1);
  currentRow->addWidget(btnChangeCurrent_);
  current->addLayout(currentRow);
  lbCurrentInstrument_ = Named(new QListWidget(gbCurrent_), "lbCurrentInstrument");
  btnCancel2_ = Button(gbCurrent_, "btnCancel2", "Cancel");
  current->addWidget(lbCurrentInstrument_);
  current->addWidget(btnCancel2_, 0, Qt::AlignRight);
  lbCurrentInstrument_->hide();
  btnCancel2_->hide();

  auto* row = new QHBoxLayout;
  layout->addLayout(row);
  btnOK_ = Button(this, "btnOK", "OK");
  auto* cancel = Button(this, "btnCancel", "Cancel");
  btnOK_->setEnabled(false);
  row->addStretch();
  row->addWidget(btnOK_);
  row->addWidget(cancel);

  connect(cbListOfConfiguration_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) ShowSelected();
  });
  connect(cbStartupInstruments_, &QComboBox::activated, this, [this](int index) {
    StartInstrumentName = cbStartupInstruments_->itemData(index).toString().toStdString();
    btnOK_->setEnabled(true);
  });
  connect(btnAdd_, &QPushButton::clicked, this, [this] { ChangeEntry(true); });
  connect(btnEdit_, &QPushButton::clicked, this, [this] { ChangeEntry(false); });
  connect(btnDelete_, &QPushButton::clicked, this, [this] { DeleteClick(); });
  connect(btnCreateShortcut_, &QPushButton::clicked, this, [this] { ShortcutClick(); });
  connect(btnChangeCurrent_, &QPushButton::clicked, this, [this] { SetChangingCurrent(true); });
  connect(btnCancel2_, &QPushButton::clicked, this, [this] { SetChangingCurrent(false); });
  connect(lbCurrentInstrument_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { CurrentItemClick(lbCurrentInstrument_->row(item)); });
  connect(btnOK_, &QPushButton::clicked, this, [this] {
    if (Dialogs().Ask(TMessageKind::Confirmation, GetLangStr("TheConfigOfTheSystemWillBeChanged_"),
                      {TAnswer::Yes, TAnswer::No}, TAnswer::Yes) == TAnswer::Yes)
      accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  Fill(CurrentInstrumentName);
  TranslatorOf(this).Translate();
}

bool TfrmSelectInstrument::Edited() const { return btnOK_->isEnabled(); }

void TfrmSelectInstrument::Fill(const std::string& select) {
  filling_ = true;
  cbListOfConfiguration_->clear();
  cbStartupInstruments_->clear();
  lbCurrentInstrument_->clear();
  cbStartupInstruments_->addItem(Q(std::string(DefaultAutoName)), Q(std::string(DefaultAutoName)));
  cbStartupInstruments_->setCurrentIndex(0);
  for (int i = 0; i < InstrumentList.Count(); ++i) {
    const QString text = Q(InstrumentDisplayText(i));
    const QString name = Q(InstrumentList[i].Name);
    lbCurrentInstrument_->addItem(text);
    cbStartupInstruments_->addItem(text, name);
    cbListOfConfiguration_->addItem(text, name);
    if (SameTextAscii(InstrumentList[i].Name, CurrentInstrumentName)) {
      lbCurrentInstrument_->setCurrentRow(i);
      lblCurrentUnit_->setText(text);
    }
    if (SameTextAscii(InstrumentList[i].Name, StartInstrumentName))
      cbStartupInstruments_->setCurrentIndex(i + 1);
    if (SameTextAscii(InstrumentList[i].Name, select)) cbListOfConfiguration_->setCurrentIndex(i);
  }
  btnAdd_->setEnabled(!NewInstrumentName().empty() || !NewDemoName().empty());
  const bool startShown = !InstrumentListState.CommandLineChosen;
  for (QWidget* w :
       std::initializer_list<QWidget*>{cbStartupInstruments_, lblStartup_, btnCreateShortcut_, lblShortcut_})
    w->setVisible(startShown);
  filling_ = false;
  ShowSelected();
}

std::string TfrmSelectInstrument::SelectedName() const {
  return cbListOfConfiguration_->currentData().toString().toStdString();
}

void TfrmSelectInstrument::ShowSelected() {
  const std::string name = SelectedName();
  const int index = InstrumentList.IndexOf(name);
  if (index < 0) {
    btnEdit_->setEnabled(false);
    btnDelete_->setEnabled(false);
    return;
  }
  const TInstrumentProp& prop = InstrumentList[index].Prop;
  const bool lan = prop.Kind == TLinkKind::LAN;
  lblInterface_->setText(LinkKindText(prop.Kind));
  lblAlias_->setText(Q(prop.Label.empty() ? "[" + name + "]" : prop.Label));
  lblIP_->setText(Q(lan ? IPv4ToDottedStr(prop.Address) : GetLangStr("Not_Used")));
  lblIP_->setEnabled(lan);
  lblIpName_->setEnabled(lan);
  lblSN_->setText(Q(GetLangStr("Not_Used")));
  btnEdit_->setEnabled(true);
  btnDelete_->setEnabled(!IsDefaultInstrumentName(name));
}

void TfrmSelectInstrument::ChangeEntry(bool add) {
  const std::string selected = SelectedName();
  if (!add && !InstrumentList.Contains(selected)) return;
  auto edit = add ? std::make_unique<TfrmEditInstrument>(this, NewInstrumentName(), NewDemoName())
                  : std::make_unique<TfrmEditInstrument>(this, selected, *InstrumentList.Find(selected));
  if (edit->exec() != QDialog::Accepted || edit->Name().empty()) return;
  StoreInstrumentEntry(edit->Name(), edit->Entry());
  Fill(edit->Name());
  btnOK_->setEnabled(true);
}

void TfrmSelectInstrument::DeleteClick() {
  const std::string name = SelectedName();
  if (SameTextAscii(name, CurrentInstrumentName) || SameTextAscii(name, StartInstrumentName)) {
    Dialogs().Inform(TMessageKind::Warning, GetLangStr("YouCanNotDeleteCurrent_"));
    return;
  }
  if (!DeleteInstrumentEntry(name)) return;
  Fill(CurrentInstrumentName);
  btnOK_->setEnabled(true);
}

void TfrmSelectInstrument::ShortcutClick() {
  const std::string name = cbStartupInstruments_->currentData().toString().toStdString();
  if (name.empty()) return;
  const int index = InstrumentList.IndexOf(name);
  const std::string label =
      index >= 0 && !InstrumentList[index].Prop.Label.empty() ? InstrumentList[index].Prop.Label : name;
  std::string argument = name;
  std::replace(argument.begin(), argument.end(), ' ', '_');
  std::filesystem::path folder = desktop_;
  if (folder.empty())
    folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::filesystem::path link = folder / ShortcutFileName(label);
  if (!CreateShortcut(link, {argument}, QCoreApplication::applicationFilePath().toStdString())) {
    Dialogs().Inform(TMessageKind::Error, GetLangStr("ErrorCreatingShortcut"));
    return;
  }
  if (Dialogs().AskCustom(TMessageKind::Information, GetLangStr("ShortcutWasCreatedSuccessfully"),
                          {"OK", GetLangStr("Show_")}, 0) == 1)
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

void TfrmSelectInstrument::SetChangingCurrent(bool on) {
  btnChangeCurrent_->setEnabled(!on);
  gbConfig_->setVisible(!on);
  lbCurrentInstrument_->setVisible(on);
  btnCancel2_->setVisible(on);
  if (on) {
    if (gbCurrent_->height() < 250) savedCurrentHeight_ = gbCurrent_->height();
    gbCurrent_->setMinimumHeight(250);
  } else {
    gbCurrent_->setMinimumHeight(0);
    if (savedCurrentHeight_ > 0) gbCurrent_->resize(gbCurrent_->width(), savedCurrentHeight_);
  }
  adjustSize();
}

void TfrmSelectInstrument::CurrentItemClick(int row) {
  if (row < 0 || row >= InstrumentList.Count()) return;
  const std::string& name = InstrumentList[row].Name;
  if (SameTextAscii(name, CurrentInstrumentName)) {
    SetChangingCurrent(false);
    return;
  }
  chosen_ = name;
  accept();
}

bool ShowSelectInstrumentDialog(QWidget* owner) {
  InstrumentListState.RemovedInstrumentNames.clear();
  bool result = true;
  {
    TfrmSelectInstrument dialog(owner);
    if (dialog.exec() == QDialog::Accepted) {
      try {
        WriteInstrumentConfiguration();
      } catch (const EIniFileError& e) {
        Dialogs().Inform(TMessageKind::Error, e.what());
      }
      std::string chosen = dialog.ChosenInstrumentName();
      if (!SameTextAscii(chosen, CurrentInstrumentName)) result = SelectAndConnectInstrument(false, chosen);
    } else if (dialog.Edited()) {
      ReadInstrumentConfiguration();
    }
  }
  InstrumentListState.RemovedInstrumentNames.clear();
  return result;
}

}  // namespace norv
