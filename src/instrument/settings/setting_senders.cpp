#include "instrument/settings/setting_senders.h"

#include <cmath>
#include <utility>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "framework/util/numeric_utils.h"
#include "instrument/link/command_link.h"
#include "instrument/link/command_settings_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"

namespace norv {

namespace {

ISettingsLink* CurrentLink = nullptr;  // the command link

constinit TSettingSendersState State;
const TProgramUnit StateUnit("setting senders", ResetSettingSendersState);

// Differences below this are rounding noise of values that were once equal.
constexpr double TimeCacheTolerance = 1e-15;

void Send(const std::string& command, bool keep = false) { SettingsLink().Send(command, keep); }
void SendFloat(std::string_view command, double value, bool keep = false) {
  Send(std::string(command) + ' ' + FloatCommandText(value), keep);
}
void SendInt(std::string_view command, int32_t value) {
  Send(std::string(command) + ' ' + std::to_string(value));
}
void SendOnOff(std::string_view command, bool on) { Send(std::string(command) + (on ? " On" : " Off")); }

std::string GenOutPrefix(int output) { return output == 0 ? "Gen:Out1:" : "Gen:Out2:"; }

template <size_t N>
const char* Pick(const char* const (&names)[N], int index) {
  return names[index >= 0 && static_cast<size_t>(index) < N ? index : 0];
}

}  // namespace

TSettingSendersState& SettingSenders() { return State; }
void ResetSettingSendersState() { State = {}; }

ISettingsLink& SettingsLink() { return CurrentLink ? *CurrentLink : CommandSettingsLink(); }
void SetSettingsLink(ISettingsLink* link) { CurrentLink = link; }

std::string ChannelPrefix(int channel) { return channel == 2 ? "Ch1" : "Ch2"; }

void ResetSenderCachesAfterConnect() {
  State.SenderCaches.Delay = -1.0;
  State.SenderCaches.AcqChannels = 0;
  State.SenderCaches.RecLen = 0;
  State.SenderCaches.NAvg = 0;
  State.SenderCaches.AvgMode = 0;
}

namespace {

// Sets a value by program to `away` and back. A value that could not move (its limits
// held it) runs its change action directly, so that its command still goes out.
void MoveAwayAndBack(TDoubleEditHandler& h, double away) {
  const double held = h.GetFloatValue();
  h.SetValueByProgram(away);
  const bool moved = h.GetFloatValue() != held;
  h.SetValueByProgram(held);
  if (!moved && h.OnChange) h.OnChange(h);
}

}  // namespace

void SendStateAfterConnect() {
  for (int channel : {2, 3}) {
    if (const auto* offset = ChannelSettings().Nodes[channel == 2 ? 0 : 1].Offset[0]) {
      SendChannelComp(channel, -offset->GetFloatValue());
    }
  }
  const TTriggerSettingsState& trig = TriggerSettings();
  if (trig.Holdoff) MoveAwayAndBack(*trig.Holdoff, trig.Holdoff->GetFloatValue() >= 1.2e-5 ? 1e-5 : 1.4e-5);
  const TTimeBaseSettingsState& tb = TimeBaseSettings();
  if (tb.ScaleA[huTime] && tb.ScaleB[huTime] && tb.Delay && tb.DeltaDel) {
    const double a = GetTimeScaleA();
    const double b = GetTimeScaleB();
    const double d = tb.Delay->GetFloatValue();
    // The second delay's range follows the scales and the delay: moved away with them, it is
    // clamped and has to come back too.
    const double delta = tb.DeltaDel->GetFloatValue();
    // The other units' scales too: converted from the time scales on the way, they would come
    // back through the time scale's rounding and lose digits (160 m bits as 159.999 m).
    std::vector<std::pair<TDoubleEditHandler*, double>> units;
    for (int k = huBit; k <= huInch; ++k)
      for (TDoubleEditHandler* scale : {tb.ScaleA[k], tb.ScaleB[k]})
        units.emplace_back(scale, scale->Value());
    const double away = a >= 1e-9 ? 8e-10 : 1.2e-9;
    tb.ScaleA[huTime]->SetValueByProgram(away);
    tb.ScaleB[huTime]->SetValueByProgram(away);
    tb.Delay->SetValueByProgram(0.0);
    tb.ScaleA[huTime]->SetValueByProgram(a);
    tb.ScaleB[huTime]->SetValueByProgram(b);
    tb.Delay->SetValueByProgram(d);
    tb.DeltaDel->SetValueByProgram(delta);
    for (const auto& [scale, value] : units) scale->SetValueByProgram(value);
  }
  ResendTriggerSource();
  ResetSenderCachesAfterConnect();
  if (State.SamplingModeByte != SamplingModeNone) SendSmplMode(State.SamplingModeByte);
}

void SendTrigHoldOff(double seconds) { SendFloat("Trig:HoldOff", seconds); }
void SendTrigIntRate(double seconds) { SendFloat("Trig:IntRate", seconds); }

void SendTrigSource(int index) {
  static const char* const names[] = {"DIRECT", "HF", "INT", "CDR", "Advanced"};
  Send(std::string("Trig:Source ") + Pick(names, index));
}

void SendTrigMode(bool triggered) { Send(std::string("Trig:Mode ") + (triggered ? "Trig" : "Free")); }
void SendTrigLevel(double volts) { SendFloat("Trig:Level", volts); }
void SendTrigSlope(bool negative) { Send(std::string("Trig:Slope ") + (negative ? "Neg" : "Pos")); }
void SendTrigHister(bool highSensitivity) {
  Send(std::string("Trig:Hister ") + (highSensitivity ? "HighSens" : "Norm"));
}

bool QueryTrigOn(bool keepAcquisition) {
  return SettingsLink().Query("Trig:GetTrigOn?", keepAcquisition) == "TRIG_ON";
}

void SendSmplMode(int mode) { Send(std::string("Acq:SmplMode ") + (mode == 1 ? "LFFB" : "SIMPLE")); }

void SendRecLen(int32_t n, bool keepAcquisition) {
  if (n == State.SenderCaches.RecLen) return;
  State.SenderCaches.RecLen = n;
  Send("Acq:RecLen " + std::to_string(n), keepAcquisition);
  ProgramSimulator().SimSetRecLen(n);
}

void SendNAvg(int32_t n, bool keepAcquisition) {
  if (n == State.SenderCaches.NAvg) return;
  State.SenderCaches.NAvg = n;
  std::string command = "Acq:NAvg " + std::to_string(n);
  const uint8_t mode = n == 1 ? 1 : 2;
  if (mode != State.SenderCaches.AvgMode) {
    State.SenderCaches.AvgMode = mode;
    command += mode == 1 ? ";Mode Norm" : ";Mode Avg";
  }
  Send(command, keepAcquisition);
  ProgramSimulator().SimSetNAvg(n);
}

void SendTimeDiv(double secondsPerDiv) {
  if (!(std::abs(secondsPerDiv - State.SenderCaches.TimeDiv) > TimeCacheTolerance)) return;
  State.SenderCaches.TimeDiv = secondsPerDiv;
  SendFloat("TB:TIMEDIV", secondsPerDiv);
  ProgramSimulator().SimSetTimeDiv(secondsPerDiv);
}

void SendTbDelay(bool keepAcquisition, double seconds) {
  if (!(std::abs(seconds - State.SenderCaches.Delay) > TimeCacheTolerance)) return;
  State.SenderCaches.Delay = seconds;
  SendFloat("TB:DELAY", seconds, keepAcquisition);
  ProgramSimulator().SimSetDelay(seconds);
}

void SendAcqChannels(int code, bool keepAcquisition) {
  if (code == State.SenderCaches.AcqChannels) return;
  State.SenderCaches.AcqChannels = static_cast<uint8_t>(code);
  const char* name = code == 4 ? "Both" : code == 3 ? "Ch2" : "Ch1";
  Send(std::string("Acq:Channels ") + name, keepAcquisition);
  ProgramSimulator().SimSetChannels(code);
}

void SendChannelBand(int channel, bool narrow) {
  Send(ChannelPrefix(channel) + ":Band " + (narrow ? "Narrow" : "Full"));
}

void SendChannelComp(int channel, double volts) {
  SendFloat(ChannelPrefix(channel) + ":Comp", volts);
  // The channel's offset setting is the negated compensation.
  ProgramSimulator().SimSetChannelOffset(channel, -volts);
}

void SendGenMode(int mode) {
  static const char* const names[] = {"Off", "TDRTDT", "CoarseTB", "Pulse", "NRZ", "RZ"};
  if (HasGeneratorsOption()) Send(std::string("Gen:Mode ") + Pick(names, mode));
}

void SendGenPeriod(int32_t n) {
  if (HasGeneratorsOption()) SendInt("Gen:Period", n);
}

void SendGenStepDly(int32_t n) {
  if (HasGeneratorsOption()) SendInt("Gen:StepDly", n);
  ProgramSimulator().SimSetStepDly(n);
}

void SendGenDelay(int32_t n) {
  if (HasGeneratorsOption()) SendInt("Gen:Delay", n);
}

void SendGenWidth(int32_t n) {
  if (HasGeneratorsOption()) SendInt("Gen:Width", n);
}

void SendGenLength(int index) {
  static const char* const names[] = {"p2e7m1", "p2e10m1", "p2e11m1", "p2e15m1"};
  if (HasGeneratorsOption()) Send(std::string("Gen:Length ") + Pick(names, index));
}

void SendGenTrigger(bool pattern) {
  if (HasGeneratorsOption()) Send(std::string("Gen:Trigger ") + (pattern ? "Pattern" : "Clock"));
}

void SendGenPolarity(int output, bool negative) {
  if (HasGeneratorsOption()) Send(GenOutPrefix(output) + "Polarity " + (negative ? "Neg" : "Pos"));
}

void SendGenDeskew(int output, int32_t n) {
  if (HasGeneratorsOption()) SendInt(GenOutPrefix(output) + "Deskew", n);
}

void SendGenOffsetMode(int output, int mode) {
  // The instrument's table names the positive mode with a trailing comma.
  static const char* const names[] = {"Pos,", "Neg", "Var"};
  if (HasGeneratorsOption()) Send(GenOutPrefix(output) + "OfsMode " + Pick(names, mode));
}

void SendGenOffset(int output, int32_t n) {
  if (HasGeneratorsOption()) {
    SettingsLink().Query(GenOutPrefix(output) + "Offset? " + std::to_string(n), false);
  }
}

std::optional<int32_t> QueryGenZero(int output, bool negative, int32_t n) {
  if (!HasGeneratorsOption()) return std::nullopt;
  const std::string reply = SettingsLink().Query(
      GenOutPrefix(output) + (negative ? "NegZero" : "PosZero") + "? " + std::to_string(n), false);
  int32_t value = 0;
  // The link's failure value is no answer either.
  if (!ParseReplyInt(reply, value) || value == QueryIntFailure) return std::nullopt;
  return value;
}

void SendPatternLength(int32_t n) { SendInt("Pattern:Length", n); }
void SendPatternDelay(int32_t n) { SendInt("Pattern:Delay", n); }
void SendPatternOn(bool on) { SendOnOff("Pattern:On", on); }
void SendPatternAddDelay(bool on) { SendOnOff("Pattern:AddDelay", on); }

double QueryPatternTrigFreq(bool keepAcquisition) {
  double rate = PatternRateUnreadable;
  if (!TryStrToFloat_Dot(SettingsLink().Query("Pattern:TrigFreq?", keepAcquisition), rate))
    return PatternRateUnreadable;
  return rate;
}

double ReadInstrumentTemperature(bool keepAcquisition) {
  if (!IsRealInstrument()) return 20.0 + ProgramRandom().UniformInt(80) / 4.0;
  return QueryInstrumentTemperature(keepAcquisition).value_or(0.0);
}

std::optional<double> QueryInstrumentTemperature(bool keepAcquisition) {
  double degrees = 0.0;
  if (!TryStrToFloat_Dot(SettingsLink().Query("Info:GetTemp?", keepAcquisition), degrees))
    return std::nullopt;
  return degrees;
}

int GetDarkLevelCode() { return ProgramRandom().UniformInt(30) + 85; }

void ClearUnusedCounters() { State.UnusedCounters.fill(0); }

}  // namespace norv
