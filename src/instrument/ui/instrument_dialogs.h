#pragma once
// Managing the instrument list: the "Select Instruments" dialog (add, edit, delete, the
// start-up instrument, a desktop launcher for it, switching the current instrument) and
// the dialog that edits one entry.

#include <QDialog>
#include <filesystem>
#include <string>

#include "instrument/startup/instrument_list.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace norv {

class TfrmEditInstrument : public QDialog {
  Q_OBJECT
 public:
  // Adding: the entry gets one of the free names (either may be empty). Editing: a copy of
  // the entry `name`.
  TfrmEditInstrument(QWidget* owner, const std::string& instrumentCandidate,
                     const std::string& demoCandidate);
  TfrmEditInstrument(QWidget* owner, const std::string& name, const TInstrumentProp& prop);

  const std::string& Name() const { return name_; }
  const TInstrumentProp& Entry() const { return prop_; }

 private:
  void Build(QWidget* owner);
  void ChooseKind(TLinkKind kind);
  void ShowFields();
  void OkClick();

  bool add_ = false;
  std::string name_, instrumentCandidate_, demoCandidate_;
  TInstrumentProp prop_;
  QLabel* lblInstrName_ = nullptr;
  QLineEdit* edAlias_ = nullptr;
  QLineEdit* edIP_ = nullptr;
  QLabel* lblInterface_ = nullptr;
  QGroupBox* rgSelectInterface_ = nullptr;
  QRadioButton* rbLan_ = nullptr;
  QRadioButton* rbDemo_ = nullptr;
};

class TfrmSelectInstrument : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmSelectInstrument(QWidget* owner = nullptr);

  // The instrument to switch to (the current one unless another was clicked).
  const std::string& ChosenInstrumentName() const { return chosen_; }
  // Something was changed (the OK button is enabled).
  bool Edited() const;
  // Where launchers go; the user's desktop folder unless set.
  void SetDesktopFolder(std::filesystem::path folder) { desktop_ = std::move(folder); }

 private:
  void Fill(const std::string& select);
  std::string SelectedName() const;
  void ShowSelected();
  void ChangeEntry(bool add);
  void DeleteClick();
  void ShortcutClick();
  void SetChangingCurrent(bool on);
  void CurrentItemClick(int row);

  std::string chosen_;
  std::filesystem::path desktop_;
  bool filling_ = false;
  int savedCurrentHeight_ = 0;
  QGroupBox* gbConfig_ = nullptr;
  QGroupBox* gbCurrent_ = nullptr;
  QComboBox* cbListOfConfiguration_ = nullptr;
  QComboBox* cbStartupInstruments_ = nullptr;
  QLabel *lblAlias_ = nullptr, *lblInterface_ = nullptr, *lblIP_ = nullptr, *lblIpName_ = nullptr,
         *lblSN_ = nullptr, *lblStartup_ = nullptr, *lblShortcut_ = nullptr, *lblCurrentUnit_ = nullptr;
  QPushButton *btnAdd_ = nullptr, *btnEdit_ = nullptr, *btnDelete_ = nullptr, *btnCreateShortcut_ = nullptr,
              *btnChangeCurrent_ = nullptr, *btnCancel2_ = nullptr, *btnOK_ = nullptr;
  QListWidget* lbCurrentInstrument_ = nullptr;
};

// The dialog as the main window's "System" button opens it: OK writes "Configuration.ini"
// and connects a newly chosen instrument (the result is that connection's); Cancel after
// changes reads the file again. True otherwise.
bool ShowSelectInstrumentDialog(QWidget* owner = nullptr);

}  // namespace norv
