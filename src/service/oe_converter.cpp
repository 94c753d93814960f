#include "service/oe_converter.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/node_access.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/settings/value_text.h"
#include "framework/text/dot_number.h"
#include "framework/traces/trace_names.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"
#include "instrument/startup/dispatchers.h"
#include "service/calibration_settings.h"
#include "shell/program_shell.h"

namespace norv {

namespace {

TOEConvState State;
// A calibration run, from its set-up to its end; its destination is its ground too.
TProcedureLife Life(TProcedure::OEDarkLevel);
const TProgramUnit OEConvUnit("oe converter", [] {
  Life.Abandon();
  ResetOEConvState();
});

enum TDest : uint8_t { kDestNone = 0, kDestCh1 = 1, kDestCh2 = 2 };
enum TAttenUnit : uint8_t { kAttenOff = 0, kAttenRatio = 1 };
constexpr uint8_t kDimensWatt = 1;
constexpr uint8_t kWaveLenUser = 3;
constexpr TStepRule kOEScaleRule = static_cast<TStepRule>(6);
constexpr int kFirstStatPoint = 2, kLastStatPoint = 500;
constexpr int kGainValuesNeeded = 12000;
constexpr int kAvgZeroReadings = 300;

int DestChannel(uint8_t dest) { return dest == kDestCh1 ? 2 : dest == kDestCh2 ? 3 : 0; }
// Without the converter nothing is connected, whatever a setup recalled there holds.
int DestChannel() { return HasOpticsOption() ? DestChannel(GetIndex(State.Dest)) : 0; }

TChannelNodes& ChannelNodes(int channel) { return ChannelSettings().Nodes[channel == 3 ? 1 : 0]; }

std::array<TOEPoint, kOEUserPoints> UserPoints() {
  std::array<TOEPoint, kOEUserPoints> points{};
  for (int i = 0; i < kOEUserPoints; ++i)
    if (State.UserWavelength[i] && State.UserGain[i])
      points[i] = {State.UserWavelength[i]->GetValue(), State.UserGain[i]->GetValue()};
  return points;
}

// The simulated converter follows the channel, the gain and the dark level.
void UpdateSimulatedConverter() {
  for (int channel : {2, 3}) {
    TSimOpticalInput input;
    input.On = IsOEOutputOnChannel(channel);
    // The dark level is searched with the light taken away, as the user is asked to.
    input.LightConnected = State.Run.State == TOECalState::Idle || State.Run.GainRun;
    input.Gain = GetOEConversionGain();
    input.DarkLevel = State.DarkLvl ? State.DarkLvl->GetValue() : 50.0;
    ProgramSimulator().SimSetOpticalInput(channel, input);
  }
}

void RefreshRanking() {
  State.Ranking = RankOEUserPoints(UserPoints());
  if (!State.UserWaveLen || !State.WaveLen) return;
  uint32_t disabled = 0;
  for (int rank = State.Ranking.Count; rank < kOEUserPoints; ++rank) disabled |= GetMaskForButtinNr(rank);
  State.UserWaveLen->SetDisabledMask(disabled);
  if (State.Ranking.Count == 0) {
    State.WaveLen->SetDisabledMask(GetMaskForButtinNr(kWaveLenUser));
    if (State.WaveLen->GetIndex() == kWaveLenUser) State.WaveLen->SetIndexByProgram(0);
  } else {
    State.WaveLen->SetDisabledMask(0);
  }
  OEConvHooks.UserPointsChanged();
}

// A constant node sends its value and takes a differing answer back; a failed query is no
// answer and leaves the node as it is.
void SendOEConstant(TDoubleEditHandler& node, const std::string& command, double tolerance) {
  FlashChange().SetCalibrationChanged(true);
  // A recall sets the instrument's own values: nothing to send back.
  if (!IsInstrumentConnected() || State.SettingFromFlash) return;
  const double value = node.GetValue();
  const double answer = QueryFloatArg(command, value);
  if (answer == QueryFloatFailure || !std::isfinite(answer)) {
    ReportNoAnswer(command);
    return;
  }
  if (std::fabs(answer - value) > tolerance)
    node.SetValueByProgram(std::clamp(answer, node.GetMin(), node.GetMax()));
}

// A user point without a valid wavelength cannot be calibrated.
void EnableGainCalibrationFor(int point) {
  const bool wavelengthValid = IsValidOEWavelength(State.UserWavelength[point]->GetValue());
  if (State.Power) State.Power->SetDisabled(!wavelengthValid);
  if (THandler* gain = RootSpider->FindHandler("FLASH:OECalibr:AutoCalGain"))
    gain->SetDisabled(!wavelengthValid);
}

void OnUserPointChange(int point, TDoubleEditHandler& node, const std::string& command) {
  SendOEConstant(node, command, 1e-10);
  if (State.SettingFromFlash) return;
  RefreshRanking();
  if (State.PointNum) State.PointNum->SetIndexByProgram(static_cast<uint8_t>(point));
  EnableGainCalibrationFor(point);
  ApplyOEConversion();
}

void ResetChannelFromConverter(int channel) {
  TChannelNodes& n = ChannelNodes(channel);
  n.AttenUnit->SetIndexByProgram(kAttenOff);
  TDoubleEditHandler& scale = *n.Scale[0];
  // The channel's own limits, so that its whole volt range is reachable again.
  const TOEScaleLimits& limits = State.ChannelLimits[channel == 3 ? 1 : 0];
  scale.SetCoarseRule(static_cast<TStepRule>(limits.CoarseRule));
  scale.SetMax(limits.Max);
  scale.SetMin(limits.Min);
  n.Offset[0]->SetValueByProgram(0);
  scale.SetValueByProgram(0.2);
}

void ConnectChannelToConverter(int channel) {
  TChannelNodes& n = ChannelNodes(channel);
  n.AttenUnit->SetIndexByProgram(kAttenRatio);
  n.AttenDimens->SetIndexByProgram(kDimensWatt);
  TDoubleEditHandler& scale = *n.Scale[0];
  scale.SetCoarseRule(kOEScaleRule);
  n.Offset[0]->SetValueByProgram(-3.0 * scale.GetValue());
  ApplyOEConversion();
  scale.SetValueByProgram(0.0002 / GetAttenuationFactor(channel));
}

// The user's cable question: it stands on the ground of the O/E calibrations.
TProcedureLife CableQuestion(TProcedure::OEConnection);
const TProgramUnit CableQuestionUnit("oe cable question", [] { CableQuestion.Abandon(); });

// The destination goes back to `previous`; the restore must not run its handler again.
void RestoreDest(uint8_t previous) {
  State.RestoringDest = true;
  State.Dest->SetIndexByProgram(previous);
  State.RestoringDest = false;
}

// The user is asked to move the cable from `previous` to the destination set now: true for
// an OK while that change stands. While the question stands no O/E calibration starts; a
// way out (the close, an instrument switch) puts the destination back, and someone else's
// change of it stands: the answer then does nothing.
bool CableConnected(const std::string& text, uint8_t previous) {
  const uint8_t dest = GetIndex(State.Dest);
  const auto stands = [=] { return GetIndex(State.Dest) == dest && State.PreviousDest == previous; };
  const auto withdraw = [=] {
    if (stands()) RestoreDest(previous);
  };
  if (!CableQuestion.Start(withdraw, {}, true)) return false;
  CableQuestion.OnCancel = withdraw;
  const TAnswer answer =
      CableQuestion.Ask(TMessageKind::Confirmation, text, {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK);
  if (answer == TAnswer::OK && stands()) {
    CableQuestion.End();
    return true;
  }
  CableQuestion.Cancel({});
  return false;
}

void OnDestChange(THandler& h) {
  if (State.RestoringDest || !HasOpticsOption()) return;
  const uint8_t previous = State.PreviousDest;
  const uint8_t dest = GetIndex(State.Dest);
  if (dest == previous) return;
  const std::string text = dest != kDestNone
                               ? FormatLangStr("ConnectElectricalOutput", DestChannel(dest) - 1)
                               : FormatLangStr("DisconnectElectricalOutput", DestChannel(previous) - 1);
  // A recalled output is connected without the cable question; the recall's warning names
  // it. A client's question answers itself.
  if (!RecallHoldsBack(h)) {
    if (!DialogsSuppressed()) {
      if (!CableConnected(text, previous)) return;
    } else if (Dialogs().Ask(TMessageKind::Confirmation, text, {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK) ==
               TAnswer::Cancel) {
      RestoreDest(previous);
      return;
    }
  }
  State.PreviousDest = dest;
  if (previous != kDestNone) ResetChannelFromConverter(DestChannel(previous));
  if (dest != kDestNone) ConnectChannelToConverter(DestChannel(dest));
  UpdateSimulatedConverter();
  SettingsHooks.RefreshSamplingRateCells();
}

TDoubleEditHandler* AddOEDouble(const std::string& path, double value, std::string_view unit, double min,
                                double mid, double max, double resolution, double fine, double coarse,
                                uint8_t digits, THandlerEvent onChange = {}, TEditGetText getText = {}) {
  return RootSpider->AddDoubleEdit({.Path = path,
                                    .Value = value,
                                    .Unit = unit,
                                    .Digits = digits,
                                    .Min = min,
                                    .Mid = mid,
                                    .Max = max,
                                    .CoarseRule = srLinear,
                                    .CoarseStep = coarse,
                                    .FineRule = srLinear,
                                    .FineStep = fine,
                                    .Tolerance = resolution,
                                    .OnChange = std::move(onChange),
                                    .OnGetText = std::move(getText)});
}

// The text starts empty: a valid value is written as the node would write it itself.
TEditGetText UndefinedUnless(bool (*valid)(double)) {
  return [valid](const TEditHandler& h, std::string& text, double value) {
    text = valid(value)
               ? FloatToEngStr(h.GetFormatMode(), h.GetDigits(), false, value, false) + h.GetUnitText()
               : GetLangStr("Undefined");
  };
}

void RegisterConverterNodes() {
  TSpider& root = *RootSpider;
  State.Dest = root.AddRadioSw(0, "OEConv:Dest", "OEConv,Ch1,Ch2", OnDestChange);
  State.WaveLen = root.AddRadioSw(0, "OEConv:WaveLen", "WL1,WL2,WL3,WLUserDef", [](THandler&) {
    if (State.UserWaveLen) State.UserWaveLen->SetDisabled(GetIndex(State.WaveLen) != kWaveLenUser);
    ApplyOEConversion();
  });
  State.UserWaveLen = root.AddRadioSw(0, "OEConv:UserWaveLen", "WL1,WL2,WL3,WL4,WL5,WL6,WL7,WL8",
                                      [](THandler&) { ApplyOEConversion(); });
  State.UserWaveLen->SetDisabled(true);
  // Registered before the "FLASH:OECalibr:" nodes: the tree takes "OECalibr" as the longer
  // form of "OE", so those nodes live under "Flash:OE:" and answer to both spellings.
  State.ConversionGain = AddOEDouble("Flash:OE:ConversionGain", 1, "V/ W", 0.001, 1, 1000, 0.0001, 0.0001,
                                     0.01, 4, [](THandler&) { UpdateSimulatedConverter(); });
}

// A client's run has ended when its command answers: one that failed answers so.
void OECalibrationCommand(bool gainRun, const THandler& h) {
  RunFailingCommand([&] {
    return StartOECalibration(gainRun, h.GetWhoChangedRaw() == wcvSwitcher) && State.LastRunSucceeded;
  });
}

void RegisterCalibrationNodes() {
  TSpider& root = *RootSpider;
  root.AddRightCommand("FLASH:OECalibr:AutoDarkLvl", [](THandler& h) { OECalibrationCommand(false, h); });
  State.DarkLvl =
      AddOEDouble("FLASH:OECalibr:DarkLvl", 50, "%", 0, 50, 100, 0.001, 0.005, 0.25, 6, [](THandler&) {
        SendOEConstant(*State.DarkLvl, "OE:DarkLevel", 0.001);
        UpdateSimulatedConverter();
      });
  State.PointNum = root.AddRadioSw(0, "FLASH:OECalibr:PointNum", "1,2,3,4,5,6,7,8");
  State.Power =
      AddOEDouble("FLASH:OECalibr:Power", 0.0003, "W", 1e-6, 0.0003, 0.00065, 1e-7, 5e-7, 2.5e-5, 4);
  root.AddRightCommand("FLASH:OECalibr:AutoCalGain", [](THandler& h) { OECalibrationCommand(true, h); });
  AddOEDouble("FLASH:OECalibr:ERCorrFact", 0, "dB", -5, 0, 5, 0.02, 0.1, 0.5, 4);
  root.AddRightCommand("FLASH:OECalibr:StoreFCorr", {})->SetDisabled(true);
  root.AddRightCommand("FLASH:OECalibr:RecallFCorr", {});
  root.AddRightCommand("FLASH:OECalibr:RclFactFCorr", {});
  root.AddRadioSw(0, "FLASH:OECalibr:BitRatePoint", "BRP1,BRP2,BRP3,BRP4,BRP5");
  root.AddRadioSw(0, "FLASH:OECalibr:PatternLen", "7,15,23,31");
}

void RegisterPointNodes() {
  TSpider& root = *RootSpider;
  for (int i = 0; i < kOEFactoryPoints; ++i) {
    const std::string n(1, static_cast<char>('1' + i));
    State.FactoryWavelength[i] =
        AddOEDouble("Shadow:Adjust:OEWaveLen" + n, 1e-6, "m", 7.8e-7, 1.31e-6, 1.55e-6, 1e-10, 5e-10, 1e-8, 4,
                    [i, n](THandler&) {
                      SendOEConstant(*State.FactoryWavelength[i], "OE:FP" + n + "WLEN", 1e-10);
                      ApplyOEConversion();
                    });
    State.FactoryGain[i] = AddOEDouble("Shadow:Adjust:OEGain" + n, 1, "V/ W", 0.001, 1, 1000, 0.0001, 0.0001,
                                       0.01, 4, [i, n](THandler&) {
                                         SendOEConstant(*State.FactoryGain[i], "OE:FP" + n + "GAIN", 1e-10);
                                         ApplyOEConversion();
                                       });
  }
  for (int i = 0; i < kOEUserPoints; ++i) {
    const std::string n(1, static_cast<char>('1' + i));
    const std::string base = "Shadow:OECalibr" + n;
    State.UserWavelength[i] = AddOEDouble(
        base + ":Wavelength", 7.795e-7, "m", 7.795e-7, 1.31e-6, 1.55e-6, 1e-10, 5e-10, 1e-8, 4,
        [i, n](THandler&) { OnUserPointChange(i, *State.UserWavelength[i], "OE:UP" + n + "WLEN"); },
        UndefinedUnless(IsValidOEWavelength));
    State.UserGain[i] = AddOEDouble(
        base + ":Gain", 1, "V/ W", 0.00099, 1, 1000, 1e-5, 0.0001, 0.01, 4,
        [i, n](THandler&) { OnUserPointChange(i, *State.UserGain[i], "OE:UP" + n + "GAIN"); },
        UndefinedUnless(IsValidOEGain));
  }
  root.AddRadioSw(0, "Shadow:Adjust:FreqCorPoint", "1,2,3,4,5");
  AddOEDouble("Shadow:Adjust:ERBitRate", 1e8, "b/s", 1e8, 1e9, 4e10, 1e6, 1e7, 1e8, 4);
  root.AddRadioSw(0, "Shadow:Adjust:PattLenght", "7,15,23,31");
  AddOEDouble("Shadow:Adjust:ERCorrFact", 0, "dB", -5, 0, 5, 0.02, 0.1, 0.5, 4);
}

// The points of the converter's channel that the calibrations gather.
std::vector<double> StatisticsPoints(int channel) {
  const TSignalObj& record = SignalObjs()[channel == 3 ? TTraceId::Ch2 : TTraceId::Ch1];
  const int last = std::min<int>(kLastStatPoint, record.GetRecLen() - 1);
  std::vector<double> values;
  for (int i = kFirstStatPoint; i <= last; ++i) values.push_back(record.GetStoredY(i));
  return values;
}

void FinishRun(bool success) {
  State.Run.Succeeded = success;
  State.Run.State = TOECalState::Finish;
}

void DarkLevelStep() {
  TOECalibrationRun& run = State.Run;
  const std::vector<double> values = StatisticsPoints(run.Channel);
  const TOEDarkLevelSearch::TResult result =
      run.Search->AddRecord(values.data(), static_cast<int>(values.size()));
  run.Progress = run.Search->Progress();
  switch (result) {
    case TOEDarkLevelSearch::TResult::Waiting:
      return;
    case TOEDarkLevelSearch::TResult::Moved:
      State.DarkLvl->SetValueByProgram(run.Search->Level());
      return;
    case TOEDarkLevelSearch::TResult::Done:
      run.State = TOECalState::AvgPowerZero;
      return;
    case TOEDarkLevelSearch::TResult::Failed:
      FinishRun(false);
      return;
  }
}

void AvgPowerZeroStep() {
  double sum = 0;
  for (int i = 0; i < kAvgZeroReadings; ++i) sum += GetDarkLevelCode();
  State.Run.AvgPowerZero = sum / kAvgZeroReadings;
  State.Run.Progress = kAvgZeroReadings / 6 + 50;
  FinishRun(true);
}

// The trace's noise, from the steps between neighbouring points: light modulated by a
// pattern changes level only at its edges, so the median step stays the noise's (for
// Gaussian noise of deviation s the median step is 0.6745 * sqrt(2) * s).
double NoiseOfSteps(std::vector<double>& steps) {
  if (steps.empty()) return 0;
  const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), middle, steps.end());
  return *middle / (0.6745 * std::sqrt(2.0));
}

// The light is the level above the dark zero; it must stand clearly above the trace's noise.
// A trace that never varies shows no converter at all (an input without signal, or one
// driven past its range), whatever level it reads.
bool SeesLight(TOECalibrationRun& run) {
  const TStat& values = run.GainValues;
  return values.Max() > values.Min() && values.Mean() > 3 * NoiseOfSteps(run.GainSteps);
}

void GainStep() {
  TOECalibrationRun& run = State.Run;
  const std::vector<double> values = StatisticsPoints(run.Channel);
  for (size_t i = 0; i < values.size(); ++i) {
    run.GainValues.Add(1, values[i]);
    if (i > 0) run.GainSteps.push_back(std::abs(values[i] - values[i - 1]));
  }
  const int64_t count = run.GainValues.Count();
  if (count == 0) return;
  run.MeasuredGain = run.GainValues.Mean() / State.Power->GetValue();
  run.Progress = static_cast<int>(std::min<int64_t>(count / 120, 100));
  if (count < kGainValuesNeeded) return;
  run.NoLight = !SeesLight(run);
  FinishRun(!run.NoLight && run.MeasuredGain > 20.0);
}

// --- the calibration set-up: settings by program, all the run's own ---

// "Off": the first item of a choice, or an on/off setting off.
void SetOffAt(std::string_view path) {
  SetIndexAt(path, 0);
  SetOnAt(path, false);
}

void EnterCalibrationSetup(int channel) {
  SetOnAt("Ch1:Display"_node, false);
  SetOnAt("Ch2:Display"_node, false);
  SetOnAt(channel == 3 ? "Ch2:Display"_node : "Ch1:Display"_node, true);
  for (const std::string_view path :
       {"Ch1:Atten:Unit"_node, "Ch2:Atten:Unit"_node, "Acq:Ch1:Mode"_node, "Acq:Ch2:Mode"_node,
        "Displ:Format"_node, "Displ:Ch1:Style"_node, "Displ:Ch2:Style"_node})
    SetIndexAt(path, 0);
  for (const std::string_view path :
       {"Spectr1:Display"_node, "Spectr2:Display"_node, "F1:Display"_node, "F2:Display"_node,
        "F3:Display"_node, "F4:Display"_node, "Hist:Axis"_node, "Limit:TestOn"_node, "Meas:Display"_node,
        "Mark:Type"_node, "Mask:Test"_node})
    SetOffAt(path);
  SetIndexAt("Trig:Source"_node, TrigSourceIntClock);
  SetValueAt("Trig:IntRate"_node, 1.012e-5);
  SetValueAt("Trig:Holdoff"_node, 5e-6);
  SetIndexAt("Acq:FitTo"_node, 0);  // Multi
  for (const double length : {128.0, 512.0}) {
    SetValueAt("Acq:Ch1:RecLen"_node, length);
    SetValueAt("Acq:Ch2:RecLen"_node, length);
  }
  if (ScopeCRT) ScopeCRT->TopText().RefreshTopText();
}

// The flag-register poll and the auto-calibration timer stand still during a run.
void StopTimers(TOECalibrationRun& run) {
  if (!AcquisitionCycleExists()) return;
  TAcquisitionCycle& cycle = AcquisitionCycle();
  run.SavedFlagTimer = cycle.FlagRegisterReadingTimer().Enabled();
  cycle.FlagRegisterReadingTimer().SetEnabled(false);
  cycle.AutoCalTimer().SetEnabled(false);
}

void RestartTimers(const TOECalibrationRun& run) {
  if (!AcquisitionCycleExists()) return;
  TAcquisitionCycle& cycle = AcquisitionCycle();
  cycle.FlagRegisterReadingTimer().SetEnabled(run.SavedFlagTimer);
  cycle.AutoCalTimer().SetEnabled(GuiReady);
}

std::string ValueText(double value, uint8_t digits, const char* unit) {
  return FloatToEngStr(vfEngineering, digits, false, value, false) + unit;
}

}  // namespace

std::string OEWavelengthText(double metres) { return ValueText(metres, 4, "m"); }

std::string OEPointText(const TOEPoint& point) {
  return point.Valid() ? OEWavelengthText(point.Wavelength) : GetLangStr("Empty");
}

std::array<std::string, kOEFactoryPoints> OEFactoryWavelengthTexts() {
  std::array<std::string, kOEFactoryPoints> texts;
  for (int i = 0; i < kOEFactoryPoints; ++i)
    texts[i] = OEWavelengthText(State.FactoryWavelength[i] ? State.FactoryWavelength[i]->GetValue() : 0);
  return texts;
}

std::vector<std::string> OERankedUserPointTexts() {
  const std::array<TOEPoint, kOEUserPoints> points = UserPoints();
  std::vector<std::string> texts;
  for (int rank = 0; rank < State.Ranking.Count; ++rank)
    texts.push_back(OEPointText(points[State.Ranking.Table[rank]]));
  return texts;
}

std::array<std::string, kOEUserPoints> OEUserPointTexts() {
  const std::array<TOEPoint, kOEUserPoints> points = UserPoints();
  std::array<std::string, kOEUserPoints> texts;
  for (int i = 0; i < kOEUserPoints; ++i) texts[i] = OEPointText(points[i]);
  return texts;
}

std::string OEDarkLevelText(double percent) {
  return FloatToStrF_Dot(percent, TFloatFormat::ffGeneral, 6, 0) + "%";
}
std::string OEZeroErrorText(double volts) { return ValueText(volts, 3, "V"); }
std::string OEAvgPowerZeroText(double code) { return FloatToStrF_Dot(code, TFloatFormat::ffGeneral, 5, 0); }
std::string OEGainText(double voltsPerWatt) { return ValueText(voltsPerWatt, 5, "V/ W"); }

std::string OECalibrationOutcome(const TOECalibrationRun& run) {
  if (run.Succeeded) return GetLangStr("CalibrationComplete");
  std::string text = GetLangStr("CalibrationFailed");
  if (run.NoLight) text += "\r\n" + GetLangStr("OE_NoSteadyLight");
  return text;
}

TOEConvState& OEConvState() { return State; }
void ResetOEConvState() { State = {}; }

bool IsValidOEWavelength(double metres) { return metres > 7.797e-7 && metres <= 2e-6; }
bool IsValidOEGain(double voltsPerWatt) { return voltsPerWatt > 0.0009995 && voltsPerWatt < 1000.5; }

TOERanking RankOEUserPoints(const std::array<TOEPoint, kOEUserPoints>& points) {
  TOERanking ranking;
  std::array<bool, kOEUserPoints> taken{};
  for (;;) {
    int best = -1;
    for (int i = 0; i < kOEUserPoints; ++i)
      if (!taken[i] && points[i].Valid() && (best < 0 || points[i].Wavelength < points[best].Wavelength))
        best = i;
    if (best < 0) break;
    taken[best] = true;
    ranking.Table[ranking.Count++] = best;
  }
  return ranking;
}

int TOEDarkLevelSearch::ValuesNeeded() const {
  if (step_ > 0.02) return 2000;
  return static_cast<int>(std::min<double>(std::lround(40 / step_), 65535));
}

TOEDarkLevelSearch::TResult TOEDarkLevelSearch::AddRecord(const double* values, int count) {
  for (int i = 0; i < count; ++i) sum_ += values[i];
  count_ += std::max(count, 0);
  if (count_ < ValuesNeeded()) return TResult::Waiting;
  lastMean_ = sum_ / count_;
  sum_ = 0;
  count_ = 0;
  const int sign = lastMean_ > 0 ? 1 : -1;
  bool done = false;
  if (previousSign_ != 0 && sign != previousSign_) {
    step_ /= 2;
    progress_ = NearestCode(std::log(10 / step_) * 11);
    done = step_ < 0.002;
  }
  previousSign_ = sign;
  if (done) return TResult::Done;
  const double next = level_ + sign * step_;
  if (next < 0.1 || next > 99.9) return TResult::Failed;
  level_ = next;
  return TResult::Moved;
}

double GetOEConversionGain() {
  double gain = 0;
  const uint8_t choice = GetIndex(State.WaveLen);
  if (choice < kOEFactoryPoints) {
    if (State.FactoryGain[choice]) gain = State.FactoryGain[choice]->GetValue();
  } else {
    const int rank = GetIndex(State.UserWaveLen);
    if (rank < State.Ranking.Count && State.UserGain[State.Ranking.Table[rank]])
      gain = State.UserGain[State.Ranking.Table[rank]]->GetValue();
  }
  return gain <= 0.0001 ? kOEMissingGain : gain;
}

bool IsOEOutputOnChannel(int channel) { return State.Dest && DestChannel() == channel && channel != 0; }

TOEFlashConstants OEFlashConstants() {
  TOEFlashConstants c;
  if (State.DarkLvl) c.DarkLevel = State.DarkLvl->GetValue();
  for (int i = 0; i < kOEFactoryPoints; ++i)
    if (State.FactoryWavelength[i])
      c.Factory[i] = {State.FactoryWavelength[i]->GetValue(), State.FactoryGain[i]->GetValue()};
  c.User = UserPoints();
  return c;
}

void SetOEFlashConstants(const TOEFlashConstants& c) {
  if (!State.DarkLvl) return;
  const auto set = [](TDoubleEditHandler* node, double value) {
    node->SetValueByProgram(std::clamp(value, node->GetMin(), node->GetMax()));
  };
  const bool was = std::exchange(State.SettingFromFlash, true);
  set(State.DarkLvl, c.DarkLevel);
  for (int i = 0; i < kOEFactoryPoints; ++i) {
    set(State.FactoryWavelength[i], c.Factory[i].Wavelength);
    set(State.FactoryGain[i], c.Factory[i].Gain);
  }
  for (int i = 0; i < kOEUserPoints; ++i) {
    set(State.UserWavelength[i], c.User[i].Wavelength);
    set(State.UserGain[i], c.User[i].Gain);
  }
  State.SettingFromFlash = was;
  RefreshRanking();
  EnableGainCalibrationFor(GetIndex(State.PointNum));
  ApplyOEConversion();
}

void ApplyOEConversion() {
  if (!State.ConversionGain) return;
  const double gain = GetOEConversionGain();
  State.ConversionGain->SetValueByProgram(
      std::clamp(gain, State.ConversionGain->GetMin(), State.ConversionGain->GetMax()));
  const int channel = DestChannel();
  if (channel != 0 && !ChannelSettings().Nodes[0].AttenRatio) return;
  if (channel != 0) {
    TChannelNodes& n = ChannelNodes(channel);
    n.AttenRatio->SetValueByProgram(1 / gain);
    // The converter's output in volts: from its gain alone, not from the unit the channel
    // shows it in, which a setup may set before or after the output is connected.
    n.Scale[0]->SetMax(0.0004 * gain);
    n.Scale[0]->SetMin(1e-6 * gain);
  }
  UpdateSimulatedConverter();
}

void RegisterOEConvCommands() {
  if (State.Registered && RootSpider->FindHandler("OEConv:Dest") == State.Dest) return;
  State = {};
  RegisterConverterNodes();
  RegisterCalibrationNodes();
  RegisterPointNodes();
  RefreshRanking();
  for (int slot : {0, 1})
    if (const TDoubleEditHandler* scale = ChannelSettings().Nodes[slot].Scale[0])
      State.ChannelLimits[slot] = {scale->GetMin(), scale->GetMax(), scale->GetCoarseRule()};
  State.Registered = true;
}

void ApplyOEConvSettings() {
  if (!State.Dest) return;
  State.PreviousDest = GetIndex(State.Dest);
  State.UserWaveLen->SetDisabled(GetIndex(State.WaveLen) != kWaveLenUser);
  RefreshRanking();
  ApplyOEConversion();
}

bool StartOECalibration(bool gainRun, bool askUser) {
  const TProcedure procedure = gainRun ? TProcedure::OEGain : TProcedure::OEDarkLevel;
  if (RefusedBesideProcedure(procedure) || State.Run.State != TOECalState::Idle) return false;
  const int channel = DestChannel();
  if (channel == 0) {
    Dialogs().Inform(
        TMessageKind::Information,
        "ELECTRICAL OUTPUT of the O/E CONVERTER\r\nis not connected to any of the CHANNEL INPUT.");
    return false;
  }
  // Only while work with an instrument runs (the undo ring records), as every procedure.
  if (!UndoBuffer || !UndoBuffer->Enabled) return false;
  Life.SetKind(procedure);
  if (!Life.Start()) return false;
  // Its destination is its ground from its question on: moved meanwhile, it ends first.
  Life.HoldGround(State.Dest);
  // Every way out ends it as its window's Cancel does.
  Life.OnCancel = [] { EndOECalibration(false); };
  const std::string text = FormatLangStr(gainRun ? "OE_CalibrReady1" : "OE_CalibrReady2", channel - 1);
  if (askUser && Life.Ask(TMessageKind::Confirmation, text, {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK) !=
                     TAnswer::OK) {
    Life.Cancel({});
    return false;
  }
  TOECalibrationRun& run = State.Run;
  run = {};
  run.GainRun = gainRun;
  run.Point = GetIndex(State.PointNum);
  run.Channel = channel;
  run.AutoClose = !askUser;
  run.RememberedDarkLevel = State.DarkLvl->GetValue();
  run.AvgPowerZero = State.AvgPowerZero;
  StopTimers(run);
  {
    const TProcedureScope own(Life.Setup());
    EnterCalibrationSetup(channel);
  }
  if (gainRun) {
    run.State = TOECalState::Gain;
  } else {
    run.State = TOECalState::DarkLevel;
    run.Search = std::make_unique<TOEDarkLevelSearch>(run.RememberedDarkLevel);
  }
  UpdateSimulatedConverter();
  // For a remote client the run has ended before its command answers, and what it tells
  // goes to the log as every message of that command does.
  const bool quiet = DialogsSuppressed();
  run.WindowOpen = !quiet && OEConvHooks.OpenCalibrationWindow.IsSet() && OEConvHooks.OpenCalibrationWindow();
  // Every acquisition from now on steps the run.
  SetRunFlag(true);
  if (quiet && !IdleStepsUntil([] { return State.Run.State == TOECalState::Idle; })) {
    EndOECalibration(false);
    ThrowIfClosing();
  }
  return true;
}

void OEAutoCalStep() {
  TOECalibrationRun& run = State.Run;
  if (run.State == TOECalState::Finish || run.State == TOECalState::Cancel || run.State == TOECalState::Idle)
    return;
  {
    // The dark levels the run tries are its set-up too.
    const TProcedureScope own(Life.Setup());
    if (run.State == TOECalState::DarkLevel)
      DarkLevelStep();
    else if (run.State == TOECalState::AvgPowerZero)
      AvgPowerZeroStep();
    else
      GainStep();
  }
  if (run.WindowOpen) OEConvHooks.RefreshCalibrationWindow();
  if (run.State != TOECalState::Finish || (run.WindowOpen && !run.AutoClose)) return;
  // Nobody is asked: the run ends with its outcome.
  const bool success = run.Succeeded;
  const bool told = !run.WindowOpen;
  const std::string text = OECalibrationOutcome(run);
  EndOECalibration(success);
  if (told) Life.Tell(success ? TMessageKind::Information : TMessageKind::Error, text);
}

void EndOECalibration(bool ok) {
  TOECalibrationRun& run = State.Run;
  if (run.State == TOECalState::Idle) return;
  // Only a finished, successful run has a result to keep.
  ok = ok && run.State == TOECalState::Finish && run.Succeeded;
  TOECalibrationRun ended = std::move(run);
  run = {};
  State.LastRunSucceeded = ok;
  if (ended.WindowOpen) OEConvHooks.CloseCalibrationWindow();
  // The set-up goes back first (the dark level with it), and the run to where it stood;
  // the result is set after it, as the run's own outcome.
  Life.End();
  const TProcedureScope own(Life.Setup());
  if (ended.GainRun) {
    if (ok) {
      TDoubleEditHandler& gain = *State.UserGain[ended.Point];
      gain.SetValueByProgram(std::clamp(ended.MeasuredGain, gain.GetMin(), gain.GetMax()));
    }
  } else if (ok) {
    State.AvgPowerZero = ended.AvgPowerZero;
    State.DarkLvl->SetValueByProgram(ended.Search->Level());
  } else {
    State.DarkLvl->SetValueByProgram(ended.RememberedDarkLevel);
  }
  RestartTimers(ended);
  ApplyOEConversion();
  if (ScopeCRT) ScopeCRT->TopText().RefreshTopText();
}

void FillOEConvSlots() {
  SetRegistrationRoutine(TRegistrationStep::OEConv, RegisterOEConvCommands);
  SetApplyRoutine(TApplyStep::OEConv, ApplyOEConvSettings);
}

void InstallOEConverter() {
  SettingsHooks.OEOutputOnChannel.Set(IsOEOutputOnChannel);
  AcqHooks.OEAutoCalStep.Set(OEAutoCalStep);
}

}  // namespace norv
