#include "instrument/ui/splash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include "instrument/link/link_hooks.h"

namespace norv {

namespace {

TSplashForm* Splash = nullptr;

}  // namespace

TSplashForm::TSplashForm(const QString& version)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("SplashForm");
  setFixedSize(442, 330);
  auto* title = new QLabel("Vexilor Norv", this);
  title->setObjectName("lblProduct");
  QFont big = title->font();
  big.setPixelSize(28);
  big.setBold(true);
  title->setFont(big);
  title->setAlignment(Qt::AlignCenter);
  title->setGeometry(10, 80, 422, 60);
  mmVersion_ = new QPlainTextEdit(this);
  mmVersion_->setObjectName("mmVersion");
  mmVersion_->setReadOnly(true);
  mmVersion_->setFrameShape(QFrame::NoFrame);
  mmVersion_->setStyleSheet("background: white; color: black;");
  mmVersion_->setPlainText("Software version " + version);
  mmVersion_->setGeometry(10, 230, 424, 75);
  lblStatus_ = new QLabel("Initializing...", this);
  lblStatus_->setObjectName("lblStatus");
  lblStatus_->setStyleSheet("background: white; color: black;");
  lblStatus_->setGeometry(6, height() - 20, 428, 16);
  if (QScreen* screen = QGuiApplication::primaryScreen()) move(screen->geometry().center() - rect().center());
}

void TSplashForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::black);
  painter.setBrush(Qt::white);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ShowSplash(const QString& version) {
  if (Splash != nullptr) return;
  Splash = new TSplashForm(version);
  Splash->show();
  Splash->repaint();
  LinkHooks.SplashStatus.Set([](const std::string& text) { SetSplashStatus(text); });
}

void SetSplashStatus(const std::string& text) {
  if (Splash == nullptr) return;
  Splash->StatusLabel()->setText(QString::fromStdString(text));
  Splash->StatusLabel()->repaint();
}

void SplashSleep(uint16_t ms) {
  if (Splash != nullptr) QThread::msleep(ms);
}

void FreeSplash() {
  LinkHooks.SplashStatus.Reset();
  delete Splash;
  Splash = nullptr;
}

TSplashForm* SplashForm() { return Splash; }

}  // namespace norv
