#pragma once
// The units above the shell. The shell lies below them in the layer order, so it cannot
// name them: the program's entry point hands InstallProgramUnits to the start-up, which
// calls it once the shell's own units are prepared. Tests that sweep the whole tree fill
// the same slots, so both see one tree.

namespace norv {

// Every registration and apply step of the units that exist, the shell's included.
void FillProgramUnitSlots();
// The slots, and the hooks by which the acquisition, the screen and the spectra reach the
// measurements, markers and histograms, and by which "*ClrDispl" and a language switch reach
// them.
void InstallProgramUnits();

}  // namespace norv
