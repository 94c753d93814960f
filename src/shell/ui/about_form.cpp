#include "shell/ui/about_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/look.h"
#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/settings/setting_senders.h"
#include "platform/browser.h"
#include "shell/instrument_report.h"
#include "shell/shell_state.h"
#include "shell/ui/model_selection_form.h"

namespace norv {

TAboutHooks AboutHooks;

namespace {

constexpr int kAlphaStart = 22;
constexpr int kAlphaShown = 233;
constexpr const char* kHomePage = "https://tarvel.example";
constexpr const char* kServiceMail = "service@tarvel.example";

// The information window open now, for the refresh after a link recovery.
QPointer<TSysInfoFrm> openInfoWindow;

QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text = {}) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QPushButton* NamedButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// --- instrument information ---

TSysInfoFrm::TSysInfoFrm(QWidget* owner) : QDialog(owner) {
  TranslatorOf(this);
  setObjectName("SysInfoFrm");
  setWindowTitle("Instrument Info");
  auto* grid = new QGridLayout(this);
  int row = 0;
  const auto add = [&](const char* captionName, const char* caption, const char* name) {
    grid->addWidget(NamedLabel(this, captionName, caption), row, 0);
    QLabel* value = NamedLabel(this, name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(value, row++, 1);
    return value;
  };
  lblModel_ = add("Label1", "Model:", "lblModel");
  lblOption_ = add("Label2", "Options:", "lblOption");
  lblYear_ = add("Label3", "Year:", "lblYear");
  lbSerialNumber_ = add("Label4", "Serial Number:", "lbSerialNumber");
  lbFPGA_FWVersion_ = add("Label5", "FPGA FW Version:", "lbFPGA_FWVersion");
  lbFWVersion_ = add("Label6", "FW Version:", "lbFWVersion");
  lbShellSWVersion_ = add("Label7", "SW Version:", "lbShellSWVersion");
  pnTB_Temperature_ = add("Label8", "Temperature:", "pnTB_Temperature");
  pnTB_Temperature_->setFrameShape(QFrame::Panel);
  pnTB_Temperature_->setFrameShadow(QFrame::Sunken);
  btnChangeModel_ = NamedButton(this, "btnChangeModel", "Change Model");
  auto* btnSaveInfoFile = NamedButton(this, "btnSaveInfoFile", "Save Info File");
  auto* btOK = NamedButton(this, "btOK", "OK");
  btOK->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnChangeModel_);
  buttons->addWidget(btnSaveInfoFile);
  buttons->addStretch();
  buttons->addWidget(btOK);
  grid->addLayout(buttons, row, 0, 1, 2);
  connect(btnChangeModel_, &QPushButton::clicked, this, [this] {
    SelectModel(this);
    RefreshInfo();
  });
  connect(btnSaveInfoFile, &QPushButton::clicked, this,
          [] { SaveInfoFile(ReadInstrumentTemperature(true)); });
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
  timer1_.setInterval(300);
  connect(&timer1_, &QTimer::timeout, this, &TSysInfoFrm::ShowTemperature);
  openInfoWindow = this;
}

TSysInfoFrm::~TSysInfoFrm() = default;

void TSysInfoFrm::showEvent(QShowEvent* event) {
  TranslatorOf(this).Translate();
  RefreshInfo();
  QDialog::showEvent(event);
  resize(width(), std::max(height(), 280));
  timer1_.start();
}

void TSysInfoFrm::done(int result) {
  timer1_.stop();
  QDialog::done(result);
}

void TSysInfoFrm::RefreshInfo() {
  const TInstrumentIdentity& id = InstrumentIdentity;
  ShowTemperature();
  lblModel_->setText(Q(ModelName(id.ModelCode, id.SerialNo, false)));
  lblOption_->setText(Q(OptionNamesText(id.ModelCode, id.Options, false)));
  lblYear_->setText(QString::number(std::max<int>(id.Year, 2007)));
  lbSerialNumber_->setText(Q(SerialNumberText()));
  lbFPGA_FWVersion_->setText(Q(FormatVersion(id.FPGAVer)));
  lbFWVersion_->setText(Q(FormatVersion(id.SWVer)));
  lbShellSWVersion_->setText(Q(FormatVersion(ProgramVersionRecord())));
  btnChangeModel_->setVisible(!IsInstrumentConnected());
}

QString TSysInfoFrm::TemperatureText() const { return pnTB_Temperature_->text(); }

void TSysInfoFrm::ShowTemperature() {
  pnTB_Temperature_->setText(Q(FormatTemperature(ReadInstrumentTemperature(true))));
}

// --- About ---

TAboutForm::TAboutForm(QWidget* owner) : QDialog(owner) {
  TranslatorOf(this);
  setObjectName("AboutForm");
  setWindowTitle(Q("About " + GetProductName()));
  auto* layout = new QGridLayout(this);
  auto* paintBox1 = NamedLabel(this, "PaintBox1");
  paintBox1->setPixmap(ProgramIcon().pixmap(48, 48));
  paintBox1->setFixedSize(48, 48);
  layout->addWidget(paintBox1, 0, 0, 4, 1, Qt::AlignTop);
  layout->addWidget(NamedLabel(this, "lblShell", Q(GetProductName() + " " + GetProductKind() + " Shell")), 0,
                    1);
  layout->addWidget(NamedLabel(this, "lblVersion", Q(ProgramFileVersion())), 1, 1);
  layout->addWidget(NamedLabel(this, "lblCorp", "Tarvel"), 2, 1);
  const auto link = [this](const char* name, const QString& text, const QString& url) {
    QLabel* label =
        NamedLabel(this, name, QStringLiteral("<a href=\"%1\">%2</a>").arg(url, text.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    connect(label, &QLabel::linkActivated,
            [](const QString& target) { OpenUrlInBrowser(target.toStdString()); });
    return label;
  };
  layout->addWidget(link("lblHomePage", kHomePage, kHomePage), 3, 1);
  layout->addWidget(link("lblMail", kServiceMail, QString("mailto:") + kServiceMail), 4, 1);
  auto* info = NamedButton(this, "btnInstrumentInfo", "Instrument Info...");
  auto* tcpIp = NamedButton(this, "btnTCP_IP_Properties", "TCP / IP Properties...");
  auto* ok = NamedButton(this, "Button1", "OK");
  ok->setDefault(true);
  // Without the LAN option the buttons below move up into its place.
  tcpIp->setVisible(HasLANOption());
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(info);
  buttons->addWidget(tcpIp);
  buttons->addWidget(ok);
  layout->addLayout(buttons, 5, 0, 1, 2);
  connect(info, &QPushButton::clicked, this, [this] {
    TSysInfoFrm window(this);
    window.exec();
  });
  connect(tcpIp, &QPushButton::clicked, this, [] { AboutHooks.ShowTcpIpProperties(); });
  connect(ok, &QPushButton::clicked, this, &QWidget::close);
  timer1_.setInterval(10);
  connect(&timer1_, &QTimer::timeout, this, &TAboutForm::Tick);
}

void TAboutForm::showEvent(QShowEvent* event) {
  TranslatorOf(this).Translate();
  alpha_ = kAlphaStart;
  closing_ = false;
  setWindowOpacity(alpha_ / 255.0);
  timer1_.start();
  QDialog::showEvent(event);
}

void TAboutForm::Tick() {
  if (closing_) {
    alpha_ -= 20;
    setWindowOpacity(std::max(alpha_, 0) / 255.0);
    close();
    return;
  }
  alpha_ = std::min(alpha_ + 10, kAlphaShown);
  setWindowOpacity(alpha_ / 255.0);
  if (alpha_ >= kAlphaShown) timer1_.stop();
}

void TAboutForm::closeEvent(QCloseEvent* event) {
  if (Faded()) {
    timer1_.stop();
    event->accept();
    QDialog::done(Accepted);
    return;
  }
  closing_ = true;
  timer1_.start();
  event->ignore();
}

void InstallAboutBox() {
  ShellHooks.ShowAbout.Set([] {
    TAboutForm about(SideMenuState.Host);
    about.exec();
  });
  LinkHooks.RefreshSysInfo.Set([] {
    if (openInfoWindow) openInfoWindow->RefreshInfo();
  });
}

}  // namespace norv
