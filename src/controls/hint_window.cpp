#include "controls/hint_window.h"

#include <QFontMetrics>
#include <QPainter>

namespace norv {

namespace {

constexpr int kTextMargin = 3;    // left margin of the text
constexpr int kWidthReserve = 6;  // window width less the text's room

}  // namespace

THintLines SplitHintText(const QString& text, int maxWidth, const std::function<int(QChar)>& charWidth) {
  const int n = static_cast<int>(text.size());
  std::vector<int> widths(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) widths[static_cast<size_t>(i)] = charWidth(text[i]);

  // fit: how many characters line 1 holds.
  int fit = 0, used = 0;
  while (fit < n && used + widths[static_cast<size_t>(fit)] <= maxWidth)
    used += widths[static_cast<size_t>(fit++)];
  if (fit == n) return {text, {}, 1};
  if (fit == 0) fit = 1;  // a window narrower than one character still shows something

  int end = fit;
  int rest = 0;
  for (int i = fit; i < n; ++i) rest += widths[static_cast<size_t>(i)];
  if (rest <= maxWidth) {
    // start: the earliest character from which the rest still fits on line 2.
    int start = fit, tail = rest;
    while (start > 0 && tail + widths[static_cast<size_t>(start - 1)] <= maxWidth)
      tail += widths[static_cast<size_t>(--start)];
    bool found = false;
    for (QChar breakChar : {QChar('\\'), QChar(' '), QChar('-')}) {
      for (int j = fit - 1; j >= std::max(start, 1) && !found; --j) {
        if (text[j - 1] == breakChar) {
          end = j;
          found = true;
        }
      }
      if (found) break;
    }
  }
  return {text.left(end), text.mid(end), 2};
}

TMyHintWindow::TMyHintWindow(QWidget* parent) : QWidget(parent) {
  font_ = ProgramFont();
  setFont(font_);
  setAttribute(Qt::WA_OpaquePaintEvent);
  hide();
}

int TMyHintWindow::LineHeight() const { return QFontMetrics(font_).height(); }

void TMyHintWindow::ShowText(const QString& text, QColor textColor, QColor backColor, int left, int top,
                             int width) {
  QFontMetrics metrics(font_);
  lines_ = SplitHintText(text.left(kHintMaxChars), width - kWidthReserve,
                         [&](QChar c) { return metrics.horizontalAdvance(c); });
  textColor_ = textColor;
  backColor_ = backColor;
  if (lines_.count != shownLines_) {
    shownLines_ = lines_.count;
    setGeometry(left, top, width, LineHeight() * lines_.count + 3);
  }
  show();
  raise();
  update();
}

void TMyHintWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), backColor_);
  painter.setFont(font_);
  painter.setPen(textColor_);
  const int lh = LineHeight();
  const int textWidth = width() - kWidthReserve;
  auto drawLine = [&](const QString& line, int y) {
    QRect box(0, y, textWidth, lh + 1);
    painter.save();
    painter.setClipRect(box);
    painter.drawText(box.adjusted(kTextMargin, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     line);
    painter.restore();
  };
  drawLine(lines_.first, 0);
  if (lines_.count > 1) drawLine(lines_.second, lh);
}

namespace {

// The stack owns this handle; the widget itself belongs to its parent, which may go first.
class THintWindowHandle : public IHintWindow {
 public:
  explicit THintWindowHandle(QWidget* parent) : window_(parent ? new TMyHintWindow(parent) : nullptr) {}
  ~THintWindowHandle() override { delete window_.data(); }

  void ShowText(const std::string& text, uint32_t textColor, uint32_t backColor, int left, int top,
                int width) override {
    if (window_)
      window_->ShowText(QString::fromStdString(text), ColorFromBgr(textColor), ColorFromBgr(backColor), left,
                        top, width);
  }

 private:
  QPointer<TMyHintWindow> window_;
};

}  // namespace

std::unique_ptr<IHintWindow> TQtHintParent::CreateHintWindow() {
  return std::make_unique<THintWindowHandle>(parent_.data());
}

}  // namespace norv
