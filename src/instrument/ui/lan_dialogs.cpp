#include "instrument/ui/lan_dialogs.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/translated_form.h"
#include "framework/language/language.h"
#include "framework/util/dialog_service.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"

namespace norv {

namespace {

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TLanPort ProgramLanPort() {
  return TLanPort{IsRealInstrument(), LinkKind == TLinkKind::LAN,
                  [](const std::string& line) { return QueryCommand(line); }};
}

// --- TCP/IP ---

TTcpIpFrm::TTcpIpFrm(TLanPort port, QWidget* owner) : QDialog(owner), port_(std::move(port)) {
  setObjectName("TcpIpFrm");
  TranslatorOf(this);
  setWindowTitle("TCP / IP Properties");
  setWindowOpacity(233 / 255.0);
  auto* layout = new QVBoxLayout(this);
  // The two groups take turns in one place: the dialog fits the one shown.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  gbNewParameters_ = Named(new QGroupBox(" New TSP/ IP Properties ", this), "gbNewParameters");
  gbNewParameters_->setStyleSheet("QGroupBox { background: rgb(192, 220, 192); }");
  auto* fresh = new QGridLayout(gbNewParameters_);
  edMyIP_ = Named(new QLineEdit(gbNewParameters_), "edMyIP");
  edSubMask_ = Named(new QLineEdit(gbNewParameters_), "edSubMask");
  edGateway_ = Named(new QLineEdit(gbNewParameters_), "edGateway");
  int row = 0;
  for (auto [caption, edit] :
       {std::pair{"IP Address:", edMyIP_}, {"Subnet Mask:", edSubMask_}, {"Gateway:", edGateway_}}) {
    fresh->addWidget(new QLabel(caption, gbNewParameters_), row, 0);
    fresh->addWidget(edit, row++, 1, 1, 2);
  }
  auto* store = Named(new QPushButton("Store", gbNewParameters_), "btnStore");
  auto* cancel = Named(new QPushButton("Cancel", gbNewParameters_), "btnCancel");
  fresh->addWidget(store, row, 1);
  fresh->addWidget(cancel, row, 2);
  layout->addWidget(gbNewParameters_);

  gbStoredParameters_ = Named(new QGroupBox(" Stored TCP/IP Properties ", this), "gbStoredParameters");
  auto* stored = new QGridLayout(gbStoredParameters_);
  lblTarvelIP_ = Named(new QLabel(gbStoredParameters_), "lblTarvelIP");
  lblTarvelMask_ = Named(new QLabel(gbStoredParameters_), "lblTarvelMask");
  lblTarvelGateway_ = Named(new QLabel(gbStoredParameters_), "lblTarvelGateway");
  auto* head = Named(new QLabel("Vexilor Norv IP Address:", gbStoredParameters_), "lblTarvelIpAddressHead");
  row = 0;
  for (auto [caption, value] : {std::pair{head, lblTarvelIP_},
                                {new QLabel("Subnet Mask:", gbStoredParameters_), lblTarvelMask_},
                                {new QLabel("Gateway:", gbStoredParameters_), lblTarvelGateway_}}) {
    stored->addWidget(caption, row, 0);
    stored->addWidget(value, row++, 1);
  }
  layout->addWidget(gbStoredParameters_);

  auto* buttons = new QHBoxLayout;
  auto* close = Named(new QPushButton("Close", this), "btOK");
  btnSetTcpIpParameters_ =
      Named(new QPushButton("Set New TCP/ IP Properties", this), "btnSetTcpIpParameters");
  auto* mac = Named(new QPushButton("MAC Address", this), "btnMAC_Address");
  buttons->addWidget(btnSetTcpIpParameters_);
  buttons->addWidget(mac);
  buttons->addStretch();
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnSetTcpIpParameters_, &QPushButton::clicked, this, [this] { SetNewView(true); });
  connect(cancel, &QPushButton::clicked, this, [this] {
    SetNewView(false);
    ShowStoredAddresses();
  });
  connect(store, &QPushButton::clicked, this, [this] { StoreClick(); });
  connect(mac, &QPushButton::clicked, this, [this] {
    TfrmMAC_Address dialog(port_, this);
    dialog.exec();
  });

  TranslatorOf(this).Translate();
  head->setText(Q(GetLangStr("IPAddress_")));
  SetNewView(false);
  ShowStoredAddresses();
}

void TTcpIpFrm::ShowStoredAddresses() {
  QueryAddresses(port_);
  lblTarvelIP_->setText(Q(IPv4ToStr(LanAddressState.InstrumentMyIP, 1)));
  lblTarvelMask_->setText(Q(IPv4ToStr(LanAddressState.InstrumentSubMask, 1)));
  lblTarvelGateway_->setText(Q(IPv4ToStr(LanAddressState.InstrumentGateway, 1)));
}

void TTcpIpFrm::SetNewView(bool on) {
  gbNewParameters_->setVisible(on);
  gbStoredParameters_->setVisible(!on);
  btnSetTcpIpParameters_->setEnabled(!on);
  if (on) {
    // The invalid form "___ . ___" is no address to start from.
    auto start = [](const TIPv4Addr& a) { return a.Valid ? Q(IPv4ToDottedStr(a)) : QString(); };
    edMyIP_->setText(start(LanAddressState.InstrumentMyIP));
    edSubMask_->setText(start(LanAddressState.InstrumentSubMask));
    edGateway_->setText(start(LanAddressState.InstrumentGateway));
  }
}

void TTcpIpFrm::StoreClick() {
  const TLanStoreResult result =
      StoreLanAddresses(edMyIP_->text().toStdString(), edSubMask_->text().toStdString(),
                        edGateway_->text().toStdString(), port_);
  if (result == TLanStoreResult::Stored || result == TLanStoreResult::LinkDrops) {
    SetNewView(false);
    ShowStoredAddresses();
  }
}

// --- MAC ---

TfrmMAC_Address::TfrmMAC_Address(TLanPort port, QWidget* owner) : QDialog(owner), port_(std::move(port)) {
  setObjectName("frmMAC_Address");
  TranslatorOf(this);
  setWindowTitle("MAC Address");
  auto* layout = new QGridLayout(this);
  lblNaim_ = Named(new QLabel("Current MAC Address:", this), "lblNaim");
  edMAC_ = Named(new QLineEdit(this), "edMAC");
  edMAC_->setReadOnly(true);
  auto* close = Named(new QPushButton("Close", this), "btnClose");
  btnChange_ = Named(new QPushButton(this), "btnChange");
  btnStore_ = Named(new QPushButton("Store", this), "btnStore");
  btnChange_->setEnabled(false);
  btnStore_->setEnabled(false);
  layout->addWidget(lblNaim_, 0, 0, 1, 3);
  layout->addWidget(edMAC_, 1, 0, 1, 3);
  layout->addWidget(close, 2, 0);
  layout->addWidget(btnChange_, 2, 1);
  layout->addWidget(btnStore_, 2, 2);
  resize(398, 98);

  connect(close, &QPushButton::clicked, this, [this] { done(11); });
  connect(btnChange_, &QPushButton::clicked, this, [this] {
    SetEditing(!editing_);
    if (!editing_) ShowCurrent();
  });
  connect(btnStore_, &QPushButton::clicked, this, [this] { StoreClick(); });
  connect(edMAC_, &QLineEdit::textChanged, this, [this] { CheckEdit(); });

  TranslatorOf(this).Translate();
  ShowCurrent();
  SetEditing(false);
}

void TfrmMAC_Address::ShowCurrent() {
  if (port_.Real) ReadMacAddress(InstrumentIdentity.MAC);
  edMAC_->setText(Q(FormatMacAddress(InstrumentIdentity.MAC, true)));
  btnChange_->setEnabled(VersionAtLeast(InstrumentIdentity.SWVer, {3, 10, 6}));
}

void TfrmMAC_Address::SetEditing(bool on) {
  editing_ = on;
  btnChange_->setText(Q(GetLangStr(on ? "Cancel" : "Change")));
  lblNaim_->setText(Q(GetLangStr(on ? "NewMACAddr" : "CurrMAC_Addr")));
  edMAC_->setReadOnly(!on);
  CheckEdit();
}

void TfrmMAC_Address::CheckEdit() {
  const bool valid = ParseMacText(edMAC_->text().toStdString(), newMac_);
  btnStore_->setEnabled(valid && newMac_ != InstrumentIdentity.MAC);
  QPalette palette = this->palette();
  if (editing_) {
    palette.setColor(QPalette::Base, valid ? QColor(0, 255, 255) : QColor(255, 0, 0));
    palette.setColor(QPalette::Text, valid ? QColor(0, 0, 0) : QColor(255, 255, 0));
  }
  edMAC_->setPalette(palette);
}

void TfrmMAC_Address::StoreClick() {
  if (Dialogs().Ask(TMessageKind::Confirmation, MacWriteQuestion(newMac_), {TAnswer::OK, TAnswer::Cancel},
                    TAnswer::Cancel) != TAnswer::OK)
    return;
  if (WriteMacAddress(newMac_, port_.Real, port_.Query) == TMacWriteResult::Failed) return;
  ShowCurrent();
  SetEditing(false);
}

}  // namespace norv
