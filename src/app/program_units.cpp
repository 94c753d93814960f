#include "app/program_units.h"

#include "analysis/derived_settings.h"
#include "analysis/derived_signals.h"
#include "analysis/eye_engine.h"
#include "analysis/eye_settings.h"
#include "analysis/fft.h"
#include "analysis/jitter_settings.h"
#include "analysis/low_jitter.h"
#include "analysis/math_functions.h"
#include "analysis/trend.h"
#include "analysis/zoom.h"
#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/settings/node_access.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/startup/dispatchers.h"
#include "measure/autoscale/autoscale.h"
#include "measure/hist/hist_objects.h"
#include "measure/hist/hist_settings.h"
#include "measure/limits/limit_testing.h"
#include "measure/markers/markers.h"
#include "measure/meas_frame.h"
#include "measure/meas_labels.h"
#include "measure/meas_settings.h"
#include "measure/meas_slots.h"
#include "measure/meas_state.h"
#include "service/adjust_access.h"
#include "service/auto_calibration.h"
#include "service/calibration_settings.h"
#include "service/exit_sampler_settings.h"
#include "service/instrument_test_modes.h"
#include "service/oe_converter.h"
#include "service/tdr_channel_calibration.h"
#include "shell/save/save_recall.h"
#include "shell/shell_state.h"
#include "shell/upper_units.h"
#include "tdr_mask/generator_settings.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_editor.h"
#include "tdr_mask/mask_testing.h"
#include "tdr_mask/tdr_measure.h"
#include "tdr_mask/tdr_normalization.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {

namespace {

// The trend of a function from the measurement frame of its source record.
bool BuildTrend(int function, int kind, const TSignalObj& source, TSignalObj& result) {
  for (int id = 0; id < kRecordTraceCount; ++id) {
    const TTraceId trace = static_cast<TTraceId>(id);
    if (&SignalObjs()[trace] != &source) continue;
    const TMeasSource s = MeasSourceOf(trace);
    BuildLevelHistogram(s);
    CalcTopBase(s);
    CalcThresholds(s);
    return BuildTrendWaveform(function, kind, BuildCrossingTable(s), source.GetDX(), result);
  }
  return false;
}

// The strip under the screen after it was blanked (a colour change, "*ClrDispl"): the
// readout that is on writes its lines again.
void RedrawBottomStrip() {
  if (!ScopeCRT) return;
  ScopeCRT->BottomText().Clear();
  if (DisplayHooks.TdrMeasureOn()) ShowReflectParamLines();
  RedrawMeasurementLines();
  UpdateMarkerReadout();
  if (HistAxisOn()) UpdateHistogram(false);
  RebuildEyeParamLines();
}

}  // namespace

void FillProgramUnitSlots() {
  FillUpperUnitSlots();
  SetRegistrationRoutine(TRegistrationStep::Marks, RegisterMarkHandlers);
  SetApplyRoutine(TApplyStep::Marks, ApplyMarkSettings);
  SetRegistrationRoutine(TRegistrationStep::Meas, RegisterMeasHandlers);
  SetApplyRoutine(TApplyStep::Meas, ApplyMeasSettings);
  SetRegistrationRoutine(TRegistrationStep::Limits, RegisterLimitHandlers);
  SetApplyRoutine(TApplyStep::Limits, ApplyLimitSettings);
  SetRegistrationRoutine(TRegistrationStep::Math, RegisterMathHandlers);
  SetApplyRoutine(TApplyStep::FunctionMenus, UpdateAllFunctionMenus);
  SetRegistrationRoutine(TRegistrationStep::FFT, RegisterFFTHandlers);
  SetRegistrationRoutine(TRegistrationStep::Zoom, RegisterZoomHandlers);
  SetApplyRoutine(TApplyStep::Zooms, ResetAllZooms);
  SetRegistrationRoutine(TRegistrationStep::Hist, RegisterHistHandlers);
  SetApplyRoutine(TApplyStep::Hist, ApplyHistSettings);
  SetRegistrationRoutine(TRegistrationStep::Eye, RegisterEyeHandlers);
  SetApplyRoutine(TApplyStep::Eye, ApplyEyeSettings);
  SetRegistrationRoutine(TRegistrationStep::MaskResultObject, RegisterMaskResultObject);
  SetRegistrationRoutine(TRegistrationStep::Mask, RegisterMaskHandlers);
  SetApplyRoutine(TApplyStep::Mask, ApplyMaskSettings);
  FillCalibrationSlots();
  FillOEConvSlots();
  FillServiceTestSlots();
  SetRegistrationRoutine(TRegistrationStep::Generator, RegisterGeneratorHandlers);
  SetApplyRoutine(TApplyStep::Generators, SendAllGeneratorSettings);
  SetRegistrationRoutine(TRegistrationStep::TDR, RegisterTDRHandlers);
  SetApplyRoutine(TApplyStep::TDR, ApplyTDRSettings);
  SetRegistrationRoutine(TRegistrationStep::Jitter, RegisterJitterHandlers);
}

void InstallProgramUnits() {
  FillProgramUnitSlots();
  MeasHooks.WindowMeasFactor.Set(GetWindowMeasFactor);
  MeasHooks.WindowCoefficient.Set(GetWindowCoefficient);
  InstallMeasurements();
  InstallMarkers();
  InstallHistSettings();
  InstallEyeSettings();
  // The eye's optical parameters read the converter.
  EyeHooks.OpticalReadings.Set([] {
    return TEyeOptics{.PowerCode = static_cast<double>(GetDarkLevelCode()),
                      .DarkCode = OEConvState().AvgPowerZero,
                      .Factor = GetOEConversionGain(),
                      .ExtRatioCorrDb = ValueAt("FLASH:OECalibr:ERCorrFact")};
  });
  InstallLimitTests();
  InstallDerivedSignals();
  InstallZoom();
  MathHooks.BuildTrend.Set(BuildTrend);
  MathHooks.ResetTrend.Set(ResetTrend);
  InstallLowJitter();
  // What "*ClrDispl" and a language switch ask of the units above the shell.
  ShellHooks.ClearAnalyses.Set([] {
    if (ProgramFullHist) ProgramFullHist->Clear();
    ClearEyeMeasurement();
    ResetHisticons();
    ResetMeasStatistics();
    ClearMarkerValues();
    for (int function = 0; function < kTrendFunctionCount; ++function) ResetTrend(function);
    RestartDatabase();
    ClearMaskTestCounters();
    InvalidateReflectParamLabels();
  });
  ShellHooks.RedrawBottomStrip.Set(RedrawBottomStrip);
  DisplaySettingsHooks.RedrawBottomStrip.Set(RedrawBottomStrip);
  ShellHooks.ResetLimitAndDatabaseDisplay.Set([] {
    RestoreMeasurementLines();
    RemoveShownDatabase();
  });
  ShellHooks.RelabelAnalyses.Set([] {
    RelabelMeasurements();
    RelabelEyeParams();
  });
  InstallPatternSearch();
  InstallAutoscale();
  InstallMaskFeature();
  InstallMaskTest();
  InstallCalibration();
  InstallAdjustAccess();
  InstallAutoCalibration();
  InstallOEConverter();
  ShellHooks.ApplyExitSamplerSettings.Set(ApplyExitSamplerSettings);
  InstallGenerators();
  InstallTdr();
  InstallTdrChannelCalibration();
  InstallMaskEditor();
  InstallJitter();
}

}  // namespace norv
