#include "analysis/ui/jitter_graph.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "analysis/jitter_engine.h"
#include "analysis/jitter_settings.h"
#include "analysis/ui/jitter_plots.h"
#include "controls/look.h"
#include "controls/side_menu.h"
#include "framework/language/language.h"

namespace norv {

namespace {

constexpr int kResizeDelayMs = 100;
constexpr int kFootHeight = 33;
constexpr int kButtonSize = 16;
// The legend runs from its left edge to the room kept for Close at the right.
constexpr int kLegendLeft = 130;
constexpr int kLegendRightRoom = 86;

TSurfaceWidgetFactory& SurfaceFactory() {
  static TSurfaceWidgetFactory factory;
  return factory;
}

std::array<QPointer<TJitterGraphFrm>, kJitterPlotKinds>& Windows() {
  static std::array<QPointer<TJitterGraphFrm>, kJitterPlotKinds> windows;
  return windows;
}

bool ValidKind(int kind) { return kind >= 0 && kind < kJitterPlotKinds; }

}  // namespace

TJitterGraphFrm::TJitterGraphFrm(int kind, QWidget* owner)
    : QWidget(owner, Qt::Window), kind_(kind), clickable_(kind == jpDDJvsBit), screen_(&text_) {
  setObjectName("JitterGraphFrm");
  setWindowTitle(QString::fromStdString("Vexilor Norv - " + GetLangStr(JitterPlotKey(kind))));
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);

  screen_.SetColor(0xFFFFFF);
  drawing_ = SurfaceFactory() ? SurfaceFactory()(screen_, this) : new QWidget(this);
  drawing_->setObjectName("DrawingScreen");
  drawing_->installEventFilter(this);

  lblNSamples_ = new QLabel(this);
  lblNSamples_->setObjectName("lblNSamples");
  button1_ = new QPushButton("Close", this);
  button1_->setObjectName("Button1");
  connect(button1_, &QPushButton::clicked, this, &QWidget::close);

  pnlComboPanel_ = new QWidget(this);
  pnlComboPanel_->setObjectName("pnlComboPanel");
  const TJitterLegend legend = JitterLegend(kind);
  for (int i = 0; i < 3; ++i) {
    auto* button = new QFrame(pnlComboPanel_);
    button->setObjectName(QString("pnlComboBtn%1").arg(i + 1));
    button->setFrameShape(QFrame::Panel);
    button->setFrameShadow(QFrame::Raised);
    button->setLineWidth(2);
    button->setAutoFillBackground(true);
    QPalette colour = button->palette();
    colour.setColor(QPalette::Window, ColorFromBgr(legend.Colours[static_cast<size_t>(i)]));
    button->setPalette(colour);
    button->installEventFilter(this);
    auto* label = new QLabel(pnlComboPanel_);
    label->setObjectName(QString("lblCombo%1").arg(i + 1));
    label->setText(legend.Keys[static_cast<size_t>(i)]
                       ? QString::fromStdString(GetLangStr(legend.Keys[static_cast<size_t>(i)]))
                       : QString());
    comboButtons_[static_cast<size_t>(i)] = button;
    comboLabels_[static_cast<size_t>(i)] = label;
  }
  pnlComboPanel_->setVisible(legend.Keys[0] != nullptr);
  // However narrow the window is made, each legend text keeps its room beside its button.
  if (legend.Keys[0] != nullptr) {
    int widest = 0;
    for (const QLabel* label : comboLabels_)
      widest = std::max(widest, label->fontMetrics().horizontalAdvance(label->text()));
    setMinimumWidth(kLegendLeft + kLegendRightRoom + 3 * (widest + kButtonSize + 6));
  }
  // The selected button is down; "UNDO ZOOM" of the clickable window is a plain button.
  comboButtons_[options_[0]]->setFrameShadow(clickable_ ? QFrame::Raised : QFrame::Sunken);

  timer1_ = new QTimer(this);
  timer1_->setSingleShot(true);
  timer1_->setInterval(kResizeDelayMs);
  connect(timer1_, &QTimer::timeout, this, [this] { Timer1Timer(); });
  resize(520, 320);
}

TJitterGraphFrm::~TJitterGraphFrm() { delete drawing_; }

bool TJitterGraphFrm::ResizePending() const { return timer1_->isActive(); }

QWidget* TJitterGraphFrm::DrawingWidget() const { return drawing_; }

int TJitterGraphFrm::Combination() const {
  return clickable_ ? options_[0] : options_[0] * 16 + options_[1] * 4 + options_[2];
}

void TJitterGraphFrm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int foot = height() - kFootHeight + 6;
  lblNSamples_->setGeometry(6, foot, 120, 20);
  button1_->setGeometry(width() - 80, foot - 2, 74, 24);
  const int comboWidth = std::max(0, width() - kLegendLeft - kLegendRightRoom);
  pnlComboPanel_->setGeometry(kLegendLeft, foot - 4, comboWidth, 26);
  const int step = comboWidth / 3;
  for (size_t i = 0; i < 3; ++i) {
    comboButtons_[i]->setGeometry(static_cast<int>(i) * step, 4, kButtonSize, kButtonSize);
    comboLabels_[i]->setGeometry(static_cast<int>(i) * step + kButtonSize + 4, 4,
                                 std::max(0, step - kButtonSize - 6), kButtonSize);
  }
  timer1_->start();
}

void TJitterGraphFrm::Timer1Timer() {
  timer1_->stop();
  const int w = std::max(1, width() - 12), h = std::max(1, height() - kFootHeight - 6);
  screen_.SetBounds(6, 6, w, h);
  drawing_->setGeometry(6, 6, w, h);
  screen_.Clear();
  JitterGraphMessage(kind_, 1, -1);
}

void TJitterGraphFrm::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  JitterGraphMessage(kind_, 0, 0);
}

bool TJitterGraphFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
    return QWidget::eventFilter(watched, event);
  const bool press = event->type() == QEvent::MouseButtonPress;
  if (watched == drawing_) {
    if (press && clickable_)
      JitterGraphMessage(kind_, 2, static_cast<QMouseEvent*>(event)->position().toPoint().x());
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (watched != comboButtons_[static_cast<size_t>(i)]) continue;
    if (press)
      ComboButtonDown(i);
    else
      ComboButtonUp(i);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TJitterGraphFrm::ComboButtonDown(int i) {
  const uint8_t before = options_[0];
  comboButtons_[before]->setFrameShadow(QFrame::Raised);
  options_[1] = before;
  options_[0] = static_cast<uint8_t>(i);
  comboButtons_[static_cast<size_t>(i)]->setFrameShadow(QFrame::Sunken);
  // The third is the one neither pressed now nor before (0 + 1 + 2 = 3).
  const int third = 3 - options_[1] - options_[0];
  if (!clickable_ && third >= 0 && third < 3) options_[2] = static_cast<uint8_t>(third);
  JitterGraphMessage(kind_, 1, 1);
}

void TJitterGraphFrm::ComboButtonUp(int i) {
  if (clickable_) comboButtons_[static_cast<size_t>(i)]->setFrameShadow(QFrame::Raised);
}

TJitterGraphFrm* JitterGraphWindow(int kind) { return ValidKind(kind) ? Windows()[kind].data() : nullptr; }

void ShowJitterPlot(int kind) {
  QWidget* owner = SideMenuState.Host;
  if (!ValidKind(kind) || owner == nullptr) return;
  QPointer<TJitterGraphFrm>& window = Windows()[kind];
  if (!window) window = new TJitterGraphFrm(kind, owner);
  window->show();
}

void FreeJitterPlot(int kind) {
  if (!ValidKind(kind)) return;
  QPointer<TJitterGraphFrm> window = Windows()[kind];
  Windows()[kind] = nullptr;
  if (!window) return;
  window->hide();
  // It may be the window whose close brought us here.
  window->deleteLater();
}

void DrawJitterPlot(TJ_Obj* engine, int kind, int mode, int position) {
  TJitterGraphFrm* window = JitterGraphWindow(kind);
  if (!window || !engine || window->ResizePending()) return;
  TScanLinesScreen& screen = window->Screen();
  if (screen.Width() == 0 || screen.Height() == 0) return;
  if (kind == jpDDJvsBit) {
    const TRect a = JitterPlotArea(screen.Width(), screen.Height());
    if (mode == 2) JitterZoomIn(engine->View(), engine->PattLen(), position - a.Left, a.Right - a.Left);
    if (mode == 1 && position == 1 && window->Selection() == 2)
      JitterZoomOut(engine->View(), engine->PattLen());
  }
  DrawJitterPlotOn(screen, *engine, kind, window->Combination());
  if (kind <= jpTJHist)
    window->SamplesLabel()->setText(
        QString::fromStdString(FormatLangStr("Samples_n", engine->Hist(jhTJ).Count())));
}

void JitterGraphMessage(int kind, int code, int value) {
  if (code == 0) {
    JitterPlotHidden(kind);
    return;
  }
  // No window of the kind, or no engine, draws nothing.
  if (code == 1 || code == 2) DrawJitterPlot(JitterObj(), kind, code, value);
}

void SetJitterSurfaceFactory(TSurfaceWidgetFactory factory) { SurfaceFactory() = std::move(factory); }

void InstallJitterWindows() {
  JitterHooks.ShowJitterPlot.Set(ShowJitterPlot);
  JitterHooks.FreeJitterPlot.Set(FreeJitterPlot);
  JitterHooks.RedrawJitterPlots.Set([] {
    for (int kind = 0; kind < kJitterPlotKinds; ++kind) DrawJitterPlot(JitterObj(), kind, 1, -1);
  });
}

}  // namespace norv
