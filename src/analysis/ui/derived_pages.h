#pragma once
// The side menus of the derived traces: the math functions F1-F4 (menu 10) and the
// spectra S1, S2 (menu 11). Each shows one panel for the function or spectrum chosen on
// it; the panel's controls follow the choice.

namespace norv {

inline constexpr int kMathMenuId = 10;
inline constexpr int kFFTMenuId = 11;

// Registers both menus; the program calls it once at start-up.
void RegisterAnalysisPages();

}  // namespace norv
