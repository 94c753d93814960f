#pragma once
// The program's dialogs: Qt message boxes, file, colour and printer dialogs and the
// clipboard behind the plain dialog service.

#include <QPointer>
#include <QPrinter>
#include <QString>
#include <QWidget>
#include <memory>

#include "framework/util/dialog_service.h"

namespace norv {

// "Binary format (*.wfm)|*.wfm|Text (*.txt)|*.txt" as Qt's filter list
// "Binary format (*.wfm);;Text (*.txt)": a description without the patterns in
// parentheses gets them appended. An odd last part is a description without patterns.
QString QtFileFilter(const std::string& filter);

class TQtDialogs final : public TDialogService {
 public:
  // Dialogs open over `parent` (the main window; nullptr until it exists).
  explicit TQtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  // The printer chosen in the set-up dialog, for printing.
  QPrinter& Printer() { return printer_; }

 protected:
  TAnswer DoAsk(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
                TAnswer defaultAnswer) override;
  int DoAskCustom(TMessageKind kind, const std::string& text, const std::vector<std::string>& captions,
                  int defaultButton) override;
  void DoInform(TMessageKind kind, const std::string& text) override;
  std::optional<TFileChoice> DoChooseFile(const TFileRequest& request) override;
  std::optional<uint32_t> DoChooseColour(uint32_t colour, bool fullOpen) override;
  bool DoPrinterSetup() override;
  bool DoCopyImageToClipboard(const TImageView& image) override;

 private:
  QPointer<QWidget> parent_;
  QPrinter printer_;
};

}  // namespace norv
