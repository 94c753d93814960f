#pragma once
// The About box (fading in and out) and the instrument information window with the
// instrument's live temperature, the report for the maker's service and, without an
// instrument, the choice of the simulated model.

#include <QDialog>
#include <QTimer>

#include "framework/util/hook.h"

class QLabel;
class QPushButton;

namespace norv {

class TSysInfoFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TSysInfoFrm(QWidget* owner = nullptr);
  ~TSysInfoFrm() override;
  // Reads the identity and the temperature again (after a link recovery).
  void RefreshInfo();
  QString TemperatureText() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void ShowTemperature();

  QTimer timer1_;
  QLabel *lblModel_, *lblOption_, *lblYear_, *lbSerialNumber_, *lbFPGA_FWVersion_, *lbFWVersion_,
      *lbShellSWVersion_, *pnTB_Temperature_;
  QPushButton* btnChangeModel_;
};

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutForm(QWidget* owner = nullptr);
  // The fade is done and the box may close.
  bool Faded() const { return closing_ && alpha_ < 21; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override { close(); }

 private:
  void Tick();

  QTimer timer1_;
  int alpha_ = 22;
  bool closing_ = false;
};

struct TAboutHooks {
  // The instrument's TCP/IP settings dialog (the instrument layer's).
  THook<void()> ShowTcpIpProperties{"AboutHooks.ShowTcpIpProperties"};
};
extern TAboutHooks AboutHooks;

// Fills the About entry and the refresh of the information window.
void InstallAboutBox();

}  // namespace norv
