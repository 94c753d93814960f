#pragma once
// The side-menu page of the Measure button: ten panels bound to the "Meas:" nodes, one
// shown at a time; the per-source panels follow "Meas:DisplSrc".

namespace norv {

inline constexpr int kMeasureMenuId = 8;

// Registers the page for the Measure button; the program calls it once at start-up.
void RegisterMeasurePages();

}  // namespace norv
