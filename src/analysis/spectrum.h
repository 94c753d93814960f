#pragma once
// The spectra S1 and S2: the windowed FFT of a time record, kept as a complex record of
// all N bins (real parts in Y, imaginary parts in Im) with a frequency axis.

#include <string>

#include "instrument/record/signal_obj.h"

namespace norv {

// Throws EFFTLength unless n is a power of two from 2 to the 4096 points a record holds.
void CheckRecordFFTLength(int n);

// The horizontal unit of a spectrum of a record whose horizontal unit is `unit`: "s"
// gives "Hz", "m" "1/m", "Bit" none, anything else "1/ft".
std::string SpectrumHorUnit(const std::string& unit);

// Fills `result` with the spectrum of `source` under window kind `window` (0..5): the
// source's values as displayed (reflection units converted), multiplied by the window,
// transformed; bin spacing 1 / (N dX). A source length that cannot be transformed throws
// EFFTLength, a window outside 0..5 std::out_of_range; both leave `result` unchanged.
void CalcSpectrum(TSignalObj& result, const TSignalObj& source, int window);

// A spectrum's calculation as the derived-signal pass runs it, without the settings,
// zoom and drawing: a complex source is refused with the message returned (the source's
// display name + "FFTErr1"); otherwise `result` is computed, its largest magnitude (and
// suppression threshold) updated and marked changed, and the text is empty.
std::string CalcSpectrumOf(TSignalObj& result, const TSignalObj& source, const std::string& sourceName,
                           int window);

}  // namespace norv
