#include "platform/qt_dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "framework/util/program_dir.h"

namespace norv {

namespace {

QMessageBox::Icon IconOf(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Information:
      return QMessageBox::Information;
    case TMessageKind::Warning:
      return QMessageBox::Warning;
    case TMessageKind::Error:
      return QMessageBox::Critical;
    case TMessageKind::Confirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton StandardOf(TAnswer answer) {
  switch (answer) {
    case TAnswer::OK:
      return QMessageBox::Ok;
    case TAnswer::Cancel:
      return QMessageBox::Cancel;
    case TAnswer::Yes:
      return QMessageBox::Yes;
    case TAnswer::No:
      return QMessageBox::No;
    case TAnswer::Abort:
      return QMessageBox::Abort;
    case TAnswer::Retry:
      return QMessageBox::Retry;
    case TAnswer::Ignore:
      return QMessageBox::Ignore;
  }
  return QMessageBox::NoButton;
}

QString Title(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Information:
      return QStringLiteral("Information");
    case TMessageKind::Warning:
      return QStringLiteral("Warning");
    case TMessageKind::Error:
      return QStringLiteral("Error");
    case TMessageKind::Confirmation:
      return QStringLiteral("Confirm");
  }
  return {};
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Every box shown goes to the program's log as well, marked apart from the suppressed ones:
// a script driving the program sees when one would wait for a click.
void LogShown(TMessageKind kind, const std::string& text) {
  std::fputs(DialogLogLines("[shown] ", kind, text).c_str(), stderr);
}

// The folder when it exists, else its nearest existing parent (the program folder for
// none): Qt opens a missing folder as the working folder, where a save would then land.
QString StartFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path at = folder.empty() ? ProgramDir() : fs::absolute(fs::path(folder), error);
  if (error) at = ProgramDir();
  for (; !at.empty(); at = at.parent_path()) {
    if (fs::is_directory(at, error)) return Q(at.string());
    if (at == at.parent_path()) break;
  }
  return Q(ProgramDir().string());
}

}  // namespace

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList result;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString patterns = i + 1 < parts.size() ? parts[i + 1] : QString();
    patterns = patterns.split(';', Qt::SkipEmptyParts).join(' ').trimmed();
    if (description.isEmpty() && patterns.isEmpty()) continue;
    if (description.contains('(') || patterns.isEmpty())
      result << description;
    else
      result << description + " (" + patterns + ")";
  }
  return result.join(";;");
}

TAnswer TQtDialogs::DoAsk(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
                          TAnswer defaultAnswer) {
  LogShown(kind, text);
  QMessageBox box(IconOf(kind), Title(kind), Q(text), QMessageBox::NoButton, parent_);
  for (TAnswer answer : buttons) box.addButton(StandardOf(answer));
  box.setDefaultButton(StandardOf(defaultAnswer));
  const int chosen = box.exec();
  for (TAnswer answer : buttons)
    if (chosen == StandardOf(answer)) return answer;
  // Closed without a button: the escape button, as the box chooses it.
  return buttons.back();
}

int TQtDialogs::DoAskCustom(TMessageKind kind, const std::string& text,
                            const std::vector<std::string>& captions, int defaultButton) {
  LogShown(kind, text);
  QMessageBox box(IconOf(kind), Title(kind), Q(text), QMessageBox::NoButton, parent_);
  std::vector<QPushButton*> shown;
  for (const std::string& caption : captions)
    shown.push_back(box.addButton(Q(caption), QMessageBox::AcceptRole));
  box.setDefaultButton(shown[static_cast<size_t>(defaultButton)]);
  box.setEscapeButton(shown.back());
  box.exec();
  for (size_t i = 0; i < shown.size(); ++i)
    if (box.clickedButton() == shown[i]) return static_cast<int>(i);
  return static_cast<int>(shown.size()) - 1;
}

void TQtDialogs::DoInform(TMessageKind kind, const std::string& text) {
  LogShown(kind, text);
  QMessageBox box(IconOf(kind), Title(kind), Q(text), QMessageBox::Ok, parent_);
  box.exec();
}

std::optional<TFileChoice> TQtDialogs::DoChooseFile(const TFileRequest& request) {
  LogShown(TMessageKind::Confirmation, request.Title);
  const QStringList filters = QtFileFilter(request.Filter).split(";;", Qt::SkipEmptyParts);
  QFileDialog dialog(parent_, Q(request.Title), StartFolder(request.Folder));
  dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (request.FilterIndex >= 0 && request.FilterIndex < filters.size())
      dialog.selectNameFilter(filters[request.FilterIndex]);
  }
  if (!request.FileName.empty()) dialog.selectFile(Q(request.FileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString chosen = dialog.selectedFiles().front();
  TFileChoice choice;
  choice.FileName = chosen.toStdString();
  choice.Folder = QFileInfo(chosen).absolutePath().toStdString();
  choice.FilterIndex = std::max<int>(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
  return choice;
}

std::optional<uint32_t> TQtDialogs::DoChooseColour(uint32_t colour, bool fullOpen) {
  LogShown(TMessageKind::Confirmation, "colour");
  const QColor initial(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                       static_cast<int>((colour >> 16) & 0xFF));
  QColorDialog dialog(initial, parent_);
  // Qt's own dialog always offers the custom colours; fullOpen only matters natively.
  (void)fullOpen;
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QColor c = dialog.selectedColor();
  return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
         static_cast<uint32_t>(c.blue()) << 16;
}

bool TQtDialogs::DoPrinterSetup() {
  LogShown(TMessageKind::Confirmation, "printer set-up");
  QPrintDialog dialog(&printer_, parent_);
  return dialog.exec() == QDialog::Accepted;
}

bool TQtDialogs::DoCopyImageToClipboard(const TImageView& image) {
  // The clipboard keeps a copy; the caller's pixels may go right after.
  const QImage view(reinterpret_cast<const uchar*>(image.Pixels), image.Width, image.Height, image.Width * 4,
                    QImage::Format_RGB32);
  QApplication::clipboard()->setImage(view.copy());
  return true;
}

}  // namespace norv
