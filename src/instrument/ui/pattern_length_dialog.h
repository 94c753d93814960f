#pragma once
// The dialog that edits the candidate pattern lengths: an edit field over the list of
// entries, and Add, Add Typical, Delete, Delete All.

#include <QDialog>
#include <filesystem>

#include "instrument/settings/pattern_length_list.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace norv {

class TfrmPatternLengthList : public QDialog {
  Q_OBJECT
 public:
  TfrmPatternLengthList(const std::vector<int32_t>& list, int32_t patternLength, QWidget* owner = nullptr);
  const TPatternLengthEditor& Editor() const { return editor_; }

 private:
  void Refresh();

  TPatternLengthEditor editor_;
  QLineEdit* edit_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton *btnAdd_ = nullptr, *btnDelete_ = nullptr;
};

// Opens the dialog on the pattern-length list and setting; OK stores the length typed and
// a changed list (written into the folder and read back).
void ShowPatternLengthList(const std::filesystem::path& setupFolder, QWidget* owner = nullptr);

}  // namespace norv
