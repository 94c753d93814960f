#pragma once
// Synthetic records on Ch1/Ch2 and one measurement evaluated through its slot, with the
// window tables of the analysis subsystem filled in as the program does at start-up.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "analysis/fft.h"
#include "framework/settings/program_objects.h"
#include "measure/meas_routines.h"
#include "measure/meas_state.h"

namespace norv::test {

class MeasFixture : public testing::Test {
 public:
  static constexpr double kDx = 1e-9, kX0 = 5e-9, kScale = 0.4;  // V per division

  void SetUp() override { Fresh(); }
  void TearDown() override { FreshProgramState(); }

  static void Fresh() {
    FreshProgramState();
    MeasHooks.SourceShown.Set([](TTraceId) { return true; });
    MeasHooks.WindowMeasFactor.Set(&GetWindowMeasFactor);
    MeasHooks.WindowCoefficient.Set(&GetWindowCoefficient);
  }

  // The value at the centre of level-histogram cell c (four screen codes per cell).
  static double Cell(double c) { return (4 * c + 1.5 - 512) * kScale * 8 / 1024; }

  static TSignalObj& Fill(TTraceId id, const std::function<double(int)>& value, int n = 4096) {
    TSignalObj& r = SignalObjs()[id];
    r.SetRecLen(static_cast<uint16_t>(n));
    r.SetSpectrum(false);
    r.SetDX(kDx);
    r.SetX0(kX0);
    r.SetHorUnit("s");
    r.SetVertUnit("V");
    r.SetVertScale(kScale);
    r.SetVertOffset(0);
    for (int i = 0; i < n; ++i) r.SetY(i, value(i));
    r.MarkChanged();
    return r;
  }

  static TMeasSourceSettings& Settings(TTraceId id) { return MeasState.Settings.at(static_cast<size_t>(id)); }
  static TMeasFrame& Frame(TTraceId id) { return MeasState.Frames.at(static_cast<size_t>(id)); }

  // Slot 0 holds the measurement; both sources get their frame, the slot its value.
  static TParameterOfMeas& Measure(uint8_t group, uint8_t index, TTraceId source = TTraceId::Ch1,
                                   TTraceId source2 = TTraceId::Ch2) {
    MeasState.MeasParams = {};
    MeasState.MeasParams[0] = std::make_unique<TParameterOfMeas>(source, index, group, source2);
    MeasState.MeasParamCount = 1;
    if (IsDualGroup(group)) MeasureSource(source2, mrNewData);
    MeasureSource(source, mrNewData);
    return *MeasState.MeasParams[0];
  }
};

}  // namespace norv::test
