#pragma once
// The side menu of the Display button: four pages over the "Displ:" settings. Page 1 the
// style of the selected trace with its persistence or refresh time, page 2 the screen
// format, the screen of each waveform, the graticule and the XY axes, page 3 the display
// colours, page 4 the colour-grade scale. The style and time controls follow the trace
// chosen on page 1 and, while a database is shown, the style binds the database style.
//
//   RegisterDisplayPages();              // once at start-up, after the display settings
//   ShowSideMenu(kDisplayMenuId, kRightPanel);

namespace norv {

inline constexpr int kDisplayMenuId = 5;

// Registers the menu for its id and lets the display settings reach the open pages.
void RegisterDisplayPages();

}  // namespace norv
