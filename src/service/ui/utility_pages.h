#pragma once
// The utility family of side menus, which replace each other on one panel: the utility
// page (menu 20), the calibration page (21), the adjustment page (22, behind the access
// code) and the simulator's demo-signal page (23). The utility main-menu button opens the
// page the panel showed last (PanelAltMenu); "Back" and the links between the pages change
// it and reopen the panel.
//
//   RegisterUtilityPages();   // once at start-up, with the other side menus

#include <QDialog>
#include <cstdint>

#include "controls/side_menu.h"

namespace norv {

inline constexpr int kCalibrMenuId = kUtilityMenu + 1;
inline constexpr int kAdjustMenuId = kUtilityMenu + 2;

// Pages of the family by their PanelAltMenu value.
enum TUtilityAlt : uint8_t { uaUtility = 0, uaCalibration = 1, uaAdjustment = 2, uaDemoSignal = 3 };

// Pages of the calibration and adjustment menus.
enum TCalibrPage { cpMain = 1, cpChannels = 2, cpTimeBase = 3 };
enum TAdjustPage {
  apMain = 1,
  apChannels = 2,
  apStrobe = 3,
  apFindSrd = 4,
  apTimeBase = 5,
  apTrigger = 6,
  apOEConverter = 7,
  apWavelengthGain = 8,
  apFreqCorrection = 9
};

// The utility page's "Adjustment..." on a panel: the access dialog unless access was
// granted in this run, then the page when it is.
void OpenAdjustmentPage(int panel);

// When the automatic calibration runs: period, temperature change and the occasions, with
// the automatic check paused while it is open.
class TCalibrateStatus : public QDialog {
  Q_OBJECT
 public:
  explicit TCalibrateStatus(QWidget* owner = nullptr);
};
// Shows it modally; the automatic check waits meanwhile.
void ShowCalibrationStatus(QWidget* owner);

void RegisterUtilityPages();

}  // namespace norv
