#pragma once
// The instrument's network settings: the TCP/IP dialog (stored values, new values, store)
// and the MAC address dialog it opens.

#include <QDialog>

#include "instrument/startup/lan_addresses.h"
#include "instrument/startup/mac_address.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace norv {

// The connected instrument as the program reaches it.
TLanPort ProgramLanPort();

class TTcpIpFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TTcpIpFrm(TLanPort port = ProgramLanPort(), QWidget* owner = nullptr);

 private:
  void ShowStoredAddresses();
  void SetNewView(bool on);
  void StoreClick();

  TLanPort port_;
  QGroupBox *gbStoredParameters_ = nullptr, *gbNewParameters_ = nullptr;
  QLabel *lblTarvelIP_ = nullptr, *lblTarvelMask_ = nullptr, *lblTarvelGateway_ = nullptr;
  QLineEdit *edMyIP_ = nullptr, *edSubMask_ = nullptr, *edGateway_ = nullptr;
  QPushButton* btnSetTcpIpParameters_ = nullptr;
};

class TfrmMAC_Address : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmMAC_Address(TLanPort port = ProgramLanPort(), QWidget* owner = nullptr);

 private:
  void ShowCurrent();
  void SetEditing(bool on);
  void CheckEdit();
  void StoreClick();

  TLanPort port_;
  bool editing_ = false;
  TMacAddress newMac_{};
  QLabel* lblNaim_ = nullptr;
  QLineEdit* edMAC_ = nullptr;
  QPushButton *btnChange_ = nullptr, *btnStore_ = nullptr;
};

}  // namespace norv
