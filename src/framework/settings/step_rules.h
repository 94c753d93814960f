#pragma once
// Stepping and rounding rules of numeric settings: how an arrow press moves a value and
// how a typed value is snapped (to a multiple of a step, the 1-2-5 sequence, a power of
// two or the dB sequence 0, 6, 10, 15, 20, 26 ...).

#include <cstdint>

namespace norv {

enum TStepRule : uint8_t {
  srNone = 0,             // no step
  srQuantised = 1,        // to the next multiple of the step
  srLinear = 2,           // plus or minus the step
  srRelative = 3,         // by a 1-2-5 rounded fraction (the step) of the value
  sr1_2_5 = 4,            // 1, 2, 5, 10, 20 ...
  srPowerOfTwo = 5,       // 1, 2, 4, 8 ...; linear by the fine step below it
  srDoubling = 6,         // times or divided by two
  srDb = 7,               // 0, 6, 10, 15, 20, 26 ...
  sr1_2_5OnFineGrid = 8,  // 1-2-5, kept on the grid of the fine step
};

enum TStepMode : uint8_t { smCoarse = 0, smFine = 1 };

// Nearest integer, halves to even (2.5 gives 2, 3.5 gives 4).
double RoundHalfEven(double x);

// v rounded to a multiple of q; v itself when q is about zero or v / q is too large.
double CorrectNewValStep(double q, double v);
// The nearest value of the 1-2-5 sequence (1.5..3.5 -> 2, 3.5..7 -> 5, 7..15 -> 10 in each
// decade). Values below 1e-30, zero and negative values give 0.
double CorrectNewVal1_2_5(double v);
// The power of two p with 0.75 p <= v <= 1.5 p. Values up to 1e-32, zero and negative
// values give 0.
double CorrectNewValPow2(double v);
// The nearest value of the dB sequence ... 0, 6, 10, 15, 20, 26, 30 ..., sign kept.
double CorrectNewValDb(double v);

// One step of `rule` with its `step` from v. tolerance: the value's resolution; fineStep:
// the fine step (the power-of-two rule steps linearly by it below it; the fine-grid rule
// rounds to it); quantiseToFine: values are kept on the fine grid. The result is not yet
// clamped. Rules that multiply (1-2-5, doubling, fine-grid 1-2-5) cannot move a value at
// or below zero and leave it.
double StepByRule(TStepRule rule, double step, double v, bool up, double tolerance, double fineStep,
                  bool quantiseToFine);

// A typed value snapped by a coarse rule: multiples of the step, 1-2-5, powers of two or
// dB; other rules, and values at or below zero under the multiplying rules, stay.
double RoundByRule(TStepRule rule, double step, double v);

}  // namespace norv
