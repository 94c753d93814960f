#include "tdr_mask/ui/std_mask_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "controls/help_contexts.h"
#include "controls/translated_form.h"
#include "framework/language/language.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"
#include "framework/util/dialog_service.h"
#include "instrument/startup/program_folders.h"
#include "shell/help_bridge.h"
#include "shell/main_commands.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_testing.h"

namespace norv {

namespace {

namespace fs = std::filesystem;

void Command(const std::string& line) {
  if (RootSpider) RootSpider->ExecCommandLine(line, false);
}

bool HasControlCharacter(const std::string& text) {
  for (const unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// The current mask is mask `row` of usable standard `standard`.
bool IsCurrentMask(int standard, int row) {
  const TCurrentMask& mask = CurrentMask();
  return (mask.Kind == mkEye || mask.Kind == mkPulse) && mask.StdIndex == standard && mask.MaskIndex == row;
}

int ChosenStandard() { return MaskSettings().StdIndex ? MaskSettings().StdIndex->Value() : 0; }

}  // namespace

// --- TStdMaskFrm ---

TStdMaskFrm::TStdMaskFrm(QWidget* owner) : QDialog(owner) {
  setObjectName("StdMaskFrm");
  setWindowTitle("Standard Mask");
  setWindowOpacity(233.0 / 255.0);
  tcStandardMasks_ = new QTabBar(this);
  tcStandardMasks_->setObjectName("tcStandardMasks");
  lvMaskList_ = new QTreeWidget(this);
  lvMaskList_->setObjectName("lvMaskList");
  lvMaskList_->setHeaderLabels({"Mask Name", "Line Impedance", "Bit Rate"});
  lvMaskList_->setRootIsDecorated(false);
  lvMaskList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvMaskList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvMaskList_->setColumnWidth(0, 300);
  lvMaskList_->setColumnWidth(1, 120);
  lvMaskList_->setColumnWidth(2, 90);
  align_ = new QCheckBox("Alignment", this);
  align_->setObjectName("Align");
  marginsOn_ = new QCheckBox("Margins", this);
  marginsOn_->setObjectName("MarginsOn");
  marginsVal_ = new QSpinBox(this);
  marginsVal_->setObjectName("MarginsVal");
  marginsVal_->setRange(-100, 100);
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("OKButton");
  ok_->setEnabled(false);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("CancelButton");
  help_ = new QPushButton("Help", this);
  help_->setObjectName("HelpButton");
  SetHelpContextOf(this, 970);
  SetHelpContextOf(tcStandardMasks_, 980);
  SetHelpContextOf(align_, 973);
  SetHelpContextOf(marginsOn_, 971);
  SetHelpContextOf(marginsVal_, 972);
  auto* options = new QHBoxLayout;
  options->addWidget(align_);
  options->addWidget(marginsOn_);
  options->addWidget(marginsVal_);
  options->addStretch();
  options->addWidget(ok_);
  options->addWidget(cancel_);
  options->addWidget(help_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tcStandardMasks_);
  layout->addWidget(lvMaskList_);
  layout->addLayout(options);

  connect(tcStandardMasks_, &QTabBar::currentChanged, this, [this](int index) {
    if (!filling_ && index >= 0) ChooseStandard(index);
  });
  connect(lvMaskList_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!filling_) RowChosen();
  });
  const auto onOff = [this](QCheckBox* box, const char* node) {
    connect(box, &QCheckBox::toggled, this, [this, node](bool on) {
      if (filling_) return;
      const int margin = CurrentMask().MarginPercent;
      Command(std::string("StdMask:") + node + (on ? " ON" : " OFF"));
      if (CurrentMask().MarginPercent != margin) loadedWhileOpen_ = true;
      UpdateMarginsEnabling();
      Changed();
    });
  };
  onOff(align_, "Align");
  onOff(marginsOn_, "MarginsOn");
  connect(marginsVal_, &QSpinBox::valueChanged, this, [this](int value) {
    if (filling_) return;
    const int margin = CurrentMask().MarginPercent;
    Command("StdMask:MarginsVal " + std::to_string(value));
    if (CurrentMask().MarginPercent != margin) loadedWhileOpen_ = true;
    Changed();
  });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(help_, &QPushButton::clicked, this, [this] {
    helpMode_ = true;
    setCursor(Qt::WhatsThisCursor);
  });
  // In help mode the next click anywhere on the dialog shows the help of what is under it.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  installEventFilter(this);
  TranslatorOf(this).Translate();
  PlaceOnScreen();
}

QPoint& TStdMaskFrm::RememberedPlace() {
  static QPoint place;
  return place;
}

void TStdMaskFrm::PlaceOnScreen() {
  QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
  const QPoint origin = main ? main->frameGeometry().topLeft() : QPoint(0, 0);
  QPoint place = origin + QPoint(400, 100);
  const QPoint remembered = RememberedPlace();
  const QScreen* screen = main ? main->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  if (remembered.x() > 0 && remembered.y() > 0 && remembered.x() < area.width() - 50 &&
      remembered.y() < area.height() - 50)
    place = remembered;
  move(place);
}

bool TStdMaskFrm::eventFilter(QObject* watched, QEvent* event) {
  if (helpMode_ && event->type() == QEvent::MouseButtonPress) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    helpMode_ = false;
    unsetCursor();
    ShowHelpContext(FindHelpContextAtPos(this, mouse->globalPosition().toPoint()));
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

int TStdMaskFrm::StandardHelpContext(const std::string& folder) {
  static constexpr std::pair<std::string_view, int> kTopics[] = {
      {"SONET", 981},         {"Ethernet", 982}, {"Rapid IO", 980},    {"G.984", 980},
      {"Fiber Channel", 985}, {"G.703", 986},    {"PCI-Express", 980}, {"ANSI T1.102", 988}};
  for (const auto& [part, context] : kTopics)
    if (folder.find(part) != std::string::npos) return context;
  return 980;
}

void TStdMaskFrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (tcStandardMasks_->count() == 0 && !WritingEnglishFile) FillTabs();
  lvMaskList_->setFocus();
}

void TStdMaskFrm::FillTabs() {
  filling_ = true;
  const TListOfStandards& list = StandardsList();
  for (int i = 0; i < list.UsableCount; ++i)
    if (const TStandardEntry* entry = list.Usable(i))
      tcStandardMasks_->addTab(QString::fromStdString(entry->StandardName));
  const int current = CurrentMask().StdIndex;
  const int chosen = current >= 0 && current < list.UsableCount ? current : 0;
  tcStandardMasks_->setCurrentIndex(chosen);
  filling_ = false;
  if (tcStandardMasks_->count() > 0) ChooseStandard(chosen);
  const auto setBox = [this](QCheckBox* box, const char* node) {
    filling_ = true;
    box->setChecked(RootSpider &&
                    RootSpider->ExecCommandLine(std::string("StdMask:") + node + "?", false) == "ON");
    filling_ = false;
  };
  setBox(align_, "Align");
  setBox(marginsOn_, "MarginsOn");
  filling_ = true;
  if (MaskSettings().StdMarginsVal) marginsVal_->setValue(MaskSettings().StdMarginsVal->Value());
  filling_ = false;
  UpdateMarginsEnabling();
}

void TStdMaskFrm::ChooseStandard(int index) {
  if (MaskSettings().StdIndex) MaskSettings().StdIndex->SetValueByProgram(index);
  if (const TStandardEntry* standard = StandardsList().Usable(index)) {
    ReadStandardMaskFiles(DataFolders().MaskStandardDir / standard->FolderName, false);
    SetHelpContextOf(tcStandardMasks_, StandardHelpContext(standard->FolderName));
  }
  FillList();
}

void TStdMaskFrm::FillList() {
  filling_ = true;
  lvMaskList_->clear();
  const auto& items = StandardMasksInCurrent().Items;
  bool anyLine = false;
  for (const TMaskEntry& entry : items) {
    anyLine = anyLine || !entry.TypeOfLineText.empty();
    lvMaskList_->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(entry.MaskName),
                                                      QString::fromStdString(entry.TypeOfLineText),
                                                      QString::fromStdString(entry.BitRateText)}));
  }
  lvMaskList_->setColumnHidden(1, !anyLine);
  lvMaskList_->setColumnWidth(0, anyLine ? 100 : 120);
  SelectCurrentRow();
  filling_ = false;
  UpdateMarginsEnabling();
}

void TStdMaskFrm::SelectCurrentRow() {
  const bool keep = filling_;
  filling_ = true;
  lvMaskList_->clearSelection();
  const int standard = ChosenStandard();
  for (int row = 0; row < lvMaskList_->topLevelItemCount(); ++row) {
    if (!IsCurrentMask(standard, row)) continue;
    lvMaskList_->topLevelItem(row)->setSelected(true);
    lvMaskList_->setCurrentItem(lvMaskList_->topLevelItem(row));
  }
  filling_ = keep;
}

void TStdMaskFrm::RowChosen() {
  const QList<QTreeWidgetItem*> chosen = lvMaskList_->selectedItems();
  if (chosen.isEmpty()) return;
  const int row = lvMaskList_->indexOfTopLevelItem(chosen.front());
  const int standard = ChosenStandard();
  const int margin = marginsOn_->isEnabled() && marginsOn_->isChecked() ? marginsVal_->value() : 0;
  if (!IsCurrentMask(standard, row) || CurrentMask().MarginPercent != margin) {
    if (!LoadStandardMask(standard, row, margin)) {
      SelectCurrentRow();  // the load was refused: the current mask's row again
      return;
    }
    loadedWhileOpen_ = true;
    if (MaskSettings().StdMaskIndex) MaskSettings().StdMaskIndex->SetValueByProgram(row);
    UpdateMaskMenuEnabling();
  }
  UpdateMarginsEnabling();
  Changed();
}

void TStdMaskFrm::UpdateMarginsEnabling() {
  const TCurrentMask& mask = CurrentMask();
  const QList<QTreeWidgetItem*> chosen = lvMaskList_->selectedItems();
  const int row = chosen.isEmpty() ? -1 : lvMaskList_->indexOfTopLevelItem(chosen.front());
  const bool possible = row >= 0 && IsCurrentMask(ChosenStandard(), row) && mask.MarginsType != mtNone &&
                        mask.MarginsType != mtRegionsUneven;
  marginsOn_->setEnabled(possible);
  marginsVal_->setEnabled(possible && marginsOn_->isChecked());
}

void TStdMaskFrm::Changed() { ok_->setEnabled(true); }

void TStdMaskFrm::done(int result) {
  // A mask loaded and then cancelled: the mask held before comes back.
  if (result != QDialog::Accepted && loadedWhileOpen_) UndoRedoSettings(false, false);
  loadedWhileOpen_ = false;
  RememberedPlace() = pos();
  QDialog::done(result);
}

// --- TfrmStdMaskStoreDlg ---

TfrmStdMaskStoreDlg::TfrmStdMaskStoreDlg(QWidget* owner) : QDialog(owner) {
  setObjectName("frmStdMaskStoreDlg");
  setWindowTitle("Save Mask As Standard Eye Mask");
  edMaskName_ = new QLineEdit(QString::fromStdString(CurrentMask().MaskName), this);
  edMaskName_->setObjectName("edMaskName");
  edFileMaskName_ = new QLineEdit("Noname", this);
  edFileMaskName_->setObjectName("edFileMaskName");
  edBitRate_ = new QLineEdit("1024.000", this);
  edBitRate_->setObjectName("edBitRate");
  cbBitRateDimension_ = new QComboBox(this);
  cbBitRateDimension_->setObjectName("cbBitRateDimension");
  cbBitRateDimension_->addItems({"Kbps", "Mbps", "Gbps", "Tbps"});
  cbBitRateDimension_->setCurrentIndex(1);
  cbMarginsEnablity_ = new QCheckBox("Margins Enable", this);
  cbMarginsEnablity_->setObjectName("cbMarginsEnablity");
  cbMarginsEnablity_->setEnabled(false);
  cbStandardName_ = new QComboBox(this);
  cbStandardName_->setObjectName("cbStandardName");
  cbStandardName_->setMaxVisibleItems(12);
  const TCurrentMask& mask = CurrentMask();
  for (const TStandardEntry& entry : StandardsList().Items) {
    cbStandardName_->addItem(QString::fromStdString(entry.StandardName),
                             QString::fromStdString(entry.FolderName));
    if (entry.Number >= 0 && entry.Number == mask.StdIndex)
      cbStandardName_->setCurrentIndex(cbStandardName_->count() - 1);
  }
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("OKButton");
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("CancelButton");
  auto* grid = new QGridLayout(this);
  const auto row = [this, grid](const char* caption, const char* name, QWidget* field,
                                QWidget* extra = nullptr) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(name);
    const int r = grid->rowCount();
    grid->addWidget(label, r, 0);
    grid->addWidget(field, r, 1);
    if (extra) grid->addWidget(extra, r, 2);
  };
  row("Mask Name:", "lbMaskName", edMaskName_);
  row("File Name:", "lbFileName", edFileMaskName_);
  row("Bit Rate:", "lbBitRate", edBitRate_, cbBitRateDimension_);
  row("Select Standard:", "lbStandardName", cbStandardName_);
  grid->addWidget(cbMarginsEnablity_, grid->rowCount(), 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  grid->addLayout(buttons, grid->rowCount(), 0, 1, 3);

  connect(edMaskName_, &QLineEdit::textEdited, this, &TfrmStdMaskStoreDlg::MaskNameEdited);
  connect(edFileMaskName_, &QLineEdit::textEdited, this, &TfrmStdMaskStoreDlg::FileNameEdited);
  connect(edBitRate_, &QLineEdit::textEdited, this, &TfrmStdMaskStoreDlg::BitRateEdited);
  connect(ok_, &QPushButton::clicked, this, &TfrmStdMaskStoreDlg::Store);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  TranslatorOf(this).Translate();
  UpdateOk();
}

std::string TfrmStdMaskStoreDlg::FileNameOf(const std::string& text) {
  std::string name = text;
  for (char& c : name)
    if (std::string_view("\"*./:<>?\\|").find(c) != std::string_view::npos) c = '_';
  return name;
}

std::string TfrmStdMaskStoreDlg::NormalisedRate(const std::string& text) {
  std::string rate = text;
  if (!rate.empty() && rate.front() == '.') rate.insert(0, "0");
  if (!rate.empty() && rate.back() == '.') rate += "0";
  return rate;
}

void TfrmStdMaskStoreDlg::MaskNameEdited(const QString& text) {
  if (!fileNameTyped_) edFileMaskName_->setText(QString::fromStdString(FileNameOf(text.toStdString())));
  UpdateOk();
}

void TfrmStdMaskStoreDlg::FileNameEdited(const QString& text) {
  fileNameTyped_ = true;
  const std::string typed = text.toStdString();
  const std::string name = FileNameOf(typed);
  if (name != typed) {
    const int caret = edFileMaskName_->cursorPosition();
    const QString fixed = QString::fromStdString(name);
    int last = -1;
    for (int i = 0; i < text.size() && i < fixed.size(); ++i)
      if (text[i] != fixed[i]) last = i;
    edFileMaskName_->setText(fixed);
    edFileMaskName_->setCursorPosition(last >= 0 ? last + 1 : caret);
  }
  UpdateOk();
}

void TfrmStdMaskStoreDlg::BitRateEdited(const QString& text) {
  // Digits with at most one point; the text ends at the first other character.
  int cut = 0;
  bool point = false;
  for (; cut < text.size(); ++cut) {
    const QChar c = text[cut];
    if (c == '.' && !point) {
      point = true;
    } else if (c < '0' || c > '9') {
      break;
    }
  }
  if (cut < text.size()) {
    edBitRate_->setText(text.left(cut));
    edBitRate_->setCursorPosition(cut);
  }
  UpdateOk();
}

void TfrmStdMaskStoreDlg::UpdateOk() {
  const std::string name = edMaskName_->text().toStdString();
  const std::string file = edFileMaskName_->text().toStdString();
  double rate = 0;
  const std::string rateText = NormalisedRate(edBitRate_->text().toStdString());
  const bool rateValid = !rateText.empty() && TryStrToFloat_Dot(rateText, rate) && rate > 0;
  ok_->setEnabled(!name.empty() && !file.empty() && !HasControlCharacter(name) &&
                  !HasControlCharacter(file) && rateValid && cbStandardName_->count() > 0);
}

void TfrmStdMaskStoreDlg::Store() {
  if (!ok_->isEnabled()) return;
  const std::string name = edMaskName_->text().toStdString();
  const std::string rateText = NormalisedRate(edBitRate_->text().toStdString()) + " " +
                               cbBitRateDimension_->currentText().toStdString();
  const std::string standard = cbStandardName_->currentText().toStdString();
  if (Dialogs().Ask(TMessageKind::Confirmation,
                    Format_Dot(GetLangStr("msgSaveAsStd"), name, rateText, standard),
                    {TAnswer::Yes, TAnswer::No}, TAnswer::Yes) != TAnswer::Yes)
    return;
  const fs::path file = DataFolders().MaskStandardDir /
                        cbStandardName_->currentData().toString().toStdString() /
                        (edFileMaskName_->text().toStdString() + ".msk");
  std::error_code ec;
  if (fs::exists(file, ec) &&
      Dialogs().Ask(TMessageKind::Confirmation, Format_Dot(GetLangStr("msgReplaceMaskFile"), file.string()),
                    {TAnswer::Yes, TAnswer::No}, TAnswer::No) != TAnswer::Yes)
    return;
  if (!StoreStandardMask(file, name, rateText, cbMarginsEnablity_->isChecked())) return;
  ScanStandardMasks();
  if (const TStandardEntry* chosen = StandardsList().Usable(ChosenStandard()))
    ReadStandardMaskFiles(DataFolders().MaskStandardDir / chosen->FolderName, false);
  accept();
}

}  // namespace norv
