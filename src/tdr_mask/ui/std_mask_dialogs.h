#pragma once
// The two dialogs of the standard-mask catalogue: choosing a standard mask (with alignment
// and margins), and storing the current mask as a standard eye mask.

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabBar;
class QTreeWidget;

namespace norv {

class TStdMaskFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TStdMaskFrm(QWidget* owner = nullptr);
  QTabBar* Tabs() const { return tcStandardMasks_; }
  QTreeWidget* MaskList() const { return lvMaskList_; }
  QCheckBox* Align() const { return align_; }
  QCheckBox* MarginsOn() const { return marginsOn_; }
  QSpinBox* MarginsVal() const { return marginsVal_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QPushButton* HelpButton() const { return help_; }
  bool InHelpMode() const { return helpMode_; }
  // The help topic of a standard, from its folder name.
  static int StandardHelpContext(const std::string& folder);
  // Where the dialog opened last (0, 0: not yet).
  static QPoint& RememberedPlace();

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillTabs();
  void ChooseStandard(int index);
  void FillList();
  void RowChosen();
  void SelectCurrentRow();
  void UpdateMarginsEnabling();
  void Changed();
  void PlaceOnScreen();

  QTabBar* tcStandardMasks_;
  QTreeWidget* lvMaskList_;
  QCheckBox* align_;
  QCheckBox* marginsOn_;
  QSpinBox* marginsVal_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* help_;
  bool helpMode_ = false;
  bool filling_ = false;
  bool loadedWhileOpen_ = false;
};

class TfrmStdMaskStoreDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmStdMaskStoreDlg(QWidget* owner = nullptr);
  QLineEdit* MaskName() const { return edMaskName_; }
  QLineEdit* FileName() const { return edFileMaskName_; }
  QLineEdit* BitRate() const { return edBitRate_; }
  QComboBox* BitRateUnit() const { return cbBitRateDimension_; }
  QComboBox* Standard() const { return cbStandardName_; }
  QCheckBox* MarginsEnable() const { return cbMarginsEnablity_; }
  QPushButton* OkButton() const { return ok_; }

  // The characters a file name cannot hold become underscores.
  static std::string FileNameOf(const std::string& text);
  // The rate text as a number text ("." -> "0.0", ".5" -> "0.5", "5." -> "5.0").
  static std::string NormalisedRate(const std::string& text);

 private:
  void MaskNameEdited(const QString& text);
  void FileNameEdited(const QString& text);
  void BitRateEdited(const QString& text);
  void UpdateOk();
  void Store();

  QLineEdit* edMaskName_;
  QLineEdit* edFileMaskName_;
  QLineEdit* edBitRate_;
  QComboBox* cbBitRateDimension_;
  QCheckBox* cbMarginsEnablity_;
  QComboBox* cbStandardName_;
  QPushButton* ok_;
  QPushButton* cancel_;
  bool fileNameTyped_ = false;
};

}  // namespace norv
