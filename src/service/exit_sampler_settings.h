#pragma once
// At the program's end a connected instrument's sampler is left in its stand-alone state:
// strobe and linearisation on their defaults, no time-base correction, no added jitter.

namespace norv {

// Sets the closing flag; with a real instrument breaks a running acquisition and, with
// firmware 3.7.4 and logic 0.3 or later, sends the four "STENDSAMPL:" settings.
void ApplyExitSamplerSettings();

}  // namespace norv
