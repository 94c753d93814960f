#pragma once
// The window of one status message: a borderless child window over the main window that
// shows the text in at most two lines, breaking preferably after a backslash (paths), a
// blank or a hyphen.

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "controls/look.h"
#include "framework/language/hint_stack.h"

namespace norv {

// Longest text a window shows.
inline constexpr int kHintMaxChars = 2048;

struct THintLines {
  QString first;
  QString second;  // empty for one line
  int count = 1;
};

// Splits text for a window whose text may be maxWidth pixels wide. Line 1 takes what fits;
// when the rest fits on line 2, the break moves left to the rightmost backslash, else blank,
// else hyphen that still leaves line 2 fitting (the break character ends line 1); otherwise
// line 1 ends at the last character that fits and line 2 is clipped when drawn.
THintLines SplitHintText(const QString& text, int maxWidth, const std::function<int(QChar)>& charWidth);

class TMyHintWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TMyHintWindow(QWidget* parent);

  // Shows the text (cut to kHintMaxChars) at (left, top), width pixels wide; the height
  // follows the number of lines, and stays when that number does not change.
  void ShowText(const QString& text, QColor textColor, QColor backColor, int left, int top, int width);

  const THintLines& Lines() const { return lines_; }
  int LineHeight() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont font_;
  THintLines lines_;
  int shownLines_ = 0;
  QColor textColor_;
  QColor backColor_;
};

// Makes the stack's windows over a widget of the main window. A window whose parent is gone
// is simply no longer there.
class TQtHintParent : public IHintParent {
 public:
  explicit TQtHintParent(QWidget* parent) : parent_(parent) {}
  std::unique_ptr<IHintWindow> CreateHintWindow() override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace norv
