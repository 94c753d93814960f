#pragma once
// A probe for the start-up benchmark: when the environment names a file in
// NORV_STARTUP_PROBE, the program writes there the monotonic clock (ns) at which the first
// record of both channels was drawn, and its resident memory (kB) once 100 records have
// been drawn, and then closes as its close box does. Without the variable it does nothing.

namespace norv {

class TMorda_fr;

void InstallStartupProbe(TMorda_fr& window);

}  // namespace norv
