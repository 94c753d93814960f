#pragma once
// The side-menu pages of the instrument settings: channels (menu 0), time base (2),
// trigger (3), acquisition (4) and the simulated instrument's generators (23). Each is a
// page description with a little behaviour of its own on top (which channel or generator
// the page shows, which controls a mode calls for).
//
//   RegisterInstrumentPages();   // once at start-up, before any side menu opens

#include <QLabel>
#include <functional>
#include <vector>

#include "controls/menu_pages.h"

namespace norv {

inline constexpr int kChannelMenu = 0;
inline constexpr int kTimeBaseMenu = 2;
inline constexpr int kTriggerMenu = 3;
inline constexpr int kAcquisitionMenu = 4;
inline constexpr int kGeneratorMenu = 23;

// A described menu whose ShowPage takes 1 .. PageCount and turns anything else into 1.
class TInstrumentMenu : public TDeclaredSideMenu {
  Q_OBJECT
 public:
  TInstrumentMenu(QWidget* owner, const TMenuDecl& decl, int helpContext);
  int FormHelpContext() const { return help_context_; }
  void ShowPage(int page) override;
  // A panel of the menu by name (EAssertion when there is none).
  TRC_RightMenuPanel& PanelNamed(const char* name) const;

 protected:
  // Runs after a page was shown.
  virtual void PageShown(int) {}
  // A plain text line at the top of a panel, above its first switcher.
  void AddPanelLabel(const char* panel, const char* name, const QString& text);
  // A button that turns to another page of the menu.
  void LinkToPage(const char* control, int page);

 private:
  void FitPanelLabels();

  int help_context_;
  std::vector<QLabel*> panel_labels_;
};

class TUsil_Form : public TInstrumentMenu {
  Q_OBJECT
 public:
  TUsil_Form(QWidget* owner, bool onLeft);
  // 2 (Ch1) or 3 (Ch2): the channel the page shows.
  int Channel() const;
  // The select control's change: group prefixes, captions, unit-system scale edits.
  void ChannelSelectUpdate();
  void AttenuationUnitsUpdate();

 private:
  bool on_left_;
};

class TTB_Form : public TInstrumentMenu {
  Q_OBJECT
 public:
  explicit TTB_Form(QWidget* owner);
  // The scale edits follow the horizontal unit kind.
  void UnitsUpdate();
};

class TTrig_Form : public TInstrumentMenu {
  Q_OBJECT
 public:
  explicit TTrig_Form(QWidget* owner);
  void AttenuationUnitsUpdate();
  // The pattern-sync page only with the trigger's pattern-sync option.
  void ShowPage(int page) override;

 protected:
  void PageShown(int page) override;
};

class TAcq_Form : public TInstrumentMenu {
  Q_OBJECT
 public:
  explicit TAcq_Form(QWidget* owner);
  // The channel whose settings page 1 shows: 2 or 3 (2 while both share Ch1's).
  int Channel() const;
  void ChannelSelectUpdate();
  void ModeUpdate();
  void IntervalColourUpdate();
};

class TGSS_Form : public TInstrumentMenu {
  Q_OBJECT
 public:
  explicit TGSS_Form(QWidget* owner);
  // "A" .. "D": the generator the pages show.
  char Generator() const;
  void GeneratorUpdate();
  void WaveformPageUpdate();
};

struct TInstrumentPagesState {
  // Opens the pattern-length list dialog (the trigger page's "Pattern Length List...").
  std::function<void()> ShowPatternLengthList;
};
TInstrumentPagesState& InstrumentPages();

// Registers the five menus for their ids and lets open pages follow their settings.
void RegisterInstrumentPages();

}  // namespace norv
