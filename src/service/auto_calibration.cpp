#include "service/auto_calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_access.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/clock.h"
#include "framework/util/dialog_service.h"
#include "framework/util/statistics.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/timebase_settings.h"
#include "service/calibration_settings.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"

namespace norv {

TAutocalHooks AutocalHooks;

namespace {

TAutoCalibrationState State;
// A run of the time-base and channel calibrations; the channel run's set-up is its set-up.
TProcedureLife Life(TProcedure::AutoCalibration);
const TProgramUnit AutoCalibrationUnit("auto calibration", [] {
  Life.Abandon();
  ResetAutoCalibration();
});

constexpr double kWarmUpPoints[4] = {0, 5, 15, 30};  // minutes after start
constexpr int64_t kStartOffsetMs = 86;               // 1e-6 day before the first check
constexpr int32_t kSimulatedCoarseCode = 30667;
constexpr int32_t kSimulatedFineCodeLxx = 18333, kSimulatedFineCodeKxx = 36387;

struct TStage {
  int Stage;
  int Base;
  double Factor;
  int SimulatedTicks;
};
constexpr TStage kStages[] = {{0, 0, 0, 0},      {1, 0, 0.4, 100},        {10, 40, 0.2, 100},
                              {20, 60, 1.0, 3},  {30, 63, 3.0 / 13, 65},  {110, 78, 0, 0},
                              {120, 78, 1.0, 3}, {130, 81, 3.0 / 13, 65}, {200, 96, 1.0, 1}};

const TStage* FindStage(int stage) {
  for (const TStage& s : kStages)
    if (s.Stage == stage) return &s;
  return nullptr;
}

void SetAutocalResult(int value) {
  if (TIntEditHandler* h = CalibrationState().AutocalResult) h->SetValueByProgram(value);
}
int AutocalResult() { return NearestCode(GetFloatValue(CalibrationState().AutocalResult)); }

void RepaintScreens() {
  if (ScopeCRT) ScopeCRT->RepaintScreens();
}

// Asked for the run: an answer after its end (a Stop, the close) is its Cancel.
bool Confirmed(const std::string& text) {
  return Life.Ask(TMessageKind::Confirmation, text, {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK) ==
         TAnswer::OK;
}

bool WithDialog(bool hookSet) { return hookSet && !DialogsSuppressed(); }

// A run's own writes of constants mark nothing: it marks them changed at its success, so a
// failed or cancelled run leaves the flags as others' changes set them. While the
// adjustment page is open the calibration flag carries the adjustment flag with it: both
// are set back.
template <class F>
void Unmarked(F&& write) {
  TFlashChange& flags = FlashChange();
  const bool calibration = flags.CalibrationChanged, adjustment = flags.AdjustmentChanged;
  write();
  flags.SetCalibrationChanged(calibration);
  flags.SetAdjustmentChanged(adjustment);
}

// What the run under way gives back at its failure or Cancel: what it wrote itself, once.
std::function<void()> PendingGiveBack;
void GiveBackOnce() {
  if (const std::function<void()> giveBack = std::exchange(PendingGiveBack, {})) giveBack();
}

// The constants a run works on, from its question to its end, are its ground: someone
// else's change ends it (saying why), its own writes go back, and then the change stands.
TProcedureSetup ConstantsGround;
struct TConstantsGround {
  explicit TConstantsGround(const std::vector<THandler*>& constants) {
    ConstantsGround.Begin();
    for (THandler* h : constants) ConstantsGround.HoldGround(h);
    Life.AlsoHolds(ConstantsGround);
  }
  ~TConstantsGround() {
    ConstantsGround.Drop();
    PendingGiveBack = {};
  }
  TConstantsGround(const TConstantsGround&) = delete;
  TConstantsGround& operator=(const TConstantsGround&) = delete;
};

// --- time base ---

std::vector<THandler*> TimeBaseConstantNodes() {
  std::vector<THandler*> nodes;
  for (std::string_view path : {"FLASH:Calibr:CoarseTB"_node, "FLASH:Calibr:FineTB"_node})
    if (const TConstantNode* c = FindConstant(path)) nodes.push_back(c->Handler);
  return nodes;
}

// The reply line as a code; -1 when it is no number.
int32_t CodeOfReply(const std::string& reply) {
  int32_t value = 0;
  return ParseReplyInt(reply, value) ? value : -1;
}

void RunTimeBase(uint8_t reason, bool ask) {
  if (ask && !Confirmed(CalibrationReasonText(reason) + "\r\n" + GetLangStr("TBCalibrPerform") +
                        GetLangStr("CalibrPerform2")))
    return;
  RepaintScreens();
  const TConstantNode* coarse = FindConstant("FLASH:Calibr:CoarseTB"_node);
  const TConstantNode* fine = FindConstant("FLASH:Calibr:FineTB"_node);
  if (!coarse || !fine) return;
  const double coarseBefore = coarse->Value(), fineBefore = fine->Value();
  const auto wrote = [=] { return coarse->Value() != coarseBefore || fine->Value() != fineBefore; };
  PendingGiveBack = [=] {
    Unmarked([&] {
      if (coarse->Value() != coarseBefore) coarse->SetByProgram(coarseBefore);
      if (fine->Value() != fineBefore) fine->SetByProgram(fineBefore);
    });
  };
  SetAutocalResult(kAutocalRunning);
  TTimeBaseRun& run = State.TimeBase;
  run = {};
  run.AutoClose = !ask;
  bool ok = false;
  if (WithDialog(AutocalHooks.ShowTimeBaseDialog.IsSet())) {
    ok = AutocalHooks.ShowTimeBaseDialog(run);
  } else {
    MeasureTimeBase(run);
    ok = run.Success;
  }
  // Ended meanwhile (a Stop, its ground moved): an OK keeps nothing.
  if (ok && Life.Running()) {
    PendingGiveBack = {};
    if (wrote()) FlashChange().SetCalibrationChanged(true);
    SetAutocalResult(kAutocalSucceeded);
    return;
  }
  SetAutocalResult(kAutocalFailed);
  GiveBackOnce();
}

// --- channels ---

const TConstantNode* SrdNode(int i) {
  return FindConstant(i == 0 ? "Flash:Calibr:Strobe:SRD1"_node : "Flash:Calibr:Strobe:SRD2"_node);
}

// The commands of the constants the instrument's channel calibration sets.
std::vector<std::string> ChannelConstantCommands() {
  std::vector<std::string> commands = {"Calibr:Sampler:SRD1", "Calibr:Sampler:SRD2"};
  for (const TChannelBandGroup& group : CalibrationState().Groups) {
    commands.push_back(group.Prefix + "PlusD");
    commands.push_back(group.Prefix + "MinusD");
  }
  return commands;
}

void RememberChannelConstants(TChannelRun& run) {
  for (int i : {0, 1})
    if (const TConstantNode* c = SrdNode(i)) run.RememberedSrd[i] = c->Value();
  for (size_t g = 0; g < 4; ++g) {
    const TChannelBandGroup& group = CalibrationState().Groups[g];
    if (group.BridgeVolt && group.Balance)
      run.RememberedBridge[g] = {group.BridgeVolt->GetValue(), group.Balance->GetValue()};
  }
  // The nodes hold the codes only to their resolution: the instrument's own codes are kept,
  // so that a failed run leaves it exactly as it was; a code it does not tell is the node's.
  run.RememberedCodes.clear();
  if (!IsInstrumentConnected()) return;
  const std::vector<std::string> commands = ChannelConstantCommands();
  for (size_t i = 0; i < commands.size(); ++i) {
    int32_t code = QueryInt(commands[i]);
    if (code == QueryIntFailure) {
      if (i < 2) {
        code = CodeFromSrd(run.RememberedSrd[i]);
      } else {
        const TBridgeCodes codes = CodesFromBridge(run.RememberedBridge[(i - 2) / 2]);
        code = i % 2 == 0 ? codes.PlusD : codes.MinusD;
      }
    }
    run.RememberedCodes.emplace_back(commands[i], code);
  }
}

// The nodes of the constants the instrument's channel calibration sets: its ground.
std::vector<THandler*> ChannelConstantNodes() {
  std::vector<THandler*> nodes;
  for (int i : {0, 1})
    if (const TConstantNode* c = SrdNode(i)) nodes.push_back(c->Handler);
  for (const TChannelBandGroup& group : CalibrationState().Groups)
    nodes.insert(nodes.end(), {group.BridgeVolt, group.Balance});
  return nodes;
}

// Sets the nodes without sending them (the caller decides what the instrument gets) and
// without marking them changed.
void SetChannelConstantsQuietly(const std::array<double, 2>& srd,
                                const std::array<TBridgeValues, 4>& bridge) {
  TCalibrationState& cal = CalibrationState();
  const bool was = cal.Quiet;
  cal.Quiet = true;
  Unmarked([&] {
    for (int i : {0, 1})
      if (const TConstantNode* c = SrdNode(i)) c->SetByProgram(srd[i]);
    for (size_t g = 0; g < 4; ++g) {
      TChannelBandGroup& group = cal.Groups[g];
      if (!group.BridgeVolt || !group.Balance) continue;
      group.BridgeVolt->SetValueByProgram(
          std::clamp(bridge[g].BridgeVolt, group.BridgeVolt->GetMin(), group.BridgeVolt->GetMax()));
      group.Balance->SetValueByProgram(
          std::clamp(bridge[g].Balance, group.Balance->GetMin(), group.Balance->GetMax()));
    }
  });
  cal.Quiet = was;
}

// The constants the instrument's calibration found; false (the user told) when one did
// not answer, and then no node is set.
bool ReadBackChannelConstants() {
  std::array<double, 2> srd{};
  std::array<TBridgeValues, 4> bridge{};
  const auto read = [](const std::string& command, int32_t& code) {
    code = QueryInt(command);
    if (code != QueryIntFailure) return true;
    ReportNoAnswer(command);
    return false;
  };
  for (int i : {0, 1}) {
    int32_t code = 0;
    if (!read(i == 0 ? "Calibr:Sampler:SRD1" : "Calibr:Sampler:SRD2", code)) return false;
    srd[i] = SrdFromCode(code);
  }
  for (size_t g = 0; g < 4; ++g) {
    TBridgeCodes codes;
    const std::string& prefix = CalibrationState().Groups[g].Prefix;
    if (!read(prefix + "PlusD", codes.PlusD) || !read(prefix + "MinusD", codes.MinusD)) return false;
    bridge[g] = BridgeFromCodes(codes);
  }
  SetChannelConstantsQuietly(srd, bridge);
  return true;
}

// The instrument's calibration may have moved its working constants, and its read-back the
// nodes: they get the values from before the run, and nothing else is touched. Someone
// else's change of one comes after this (it ends the run first).
void RestoreChannelConstants(const TChannelRun& run) {
  SetChannelConstantsQuietly(run.RememberedSrd, run.RememberedBridge);
  if (!run.Started || !IsInstrumentConnected()) return;
  for (const auto& [command, code] : run.RememberedCodes)
    if (QueryIntArg(command, code) == QueryIntFailure) ReportNoAnswer(command);
}

void SendStartAutocal(int32_t argument) { SendIntCommand("CALIBR:SAMPLER:STARTAUTOCAL", argument); }

// The set-up goes back once the inputs are checked; the run goes on in the instrument.
void UndoChannelSetup() { Life.Setup().GiveBack(); }

void ChangedChannelRun() { AutocalHooks.ChannelRunChanged(); }

void EndChannelPolling(bool success, const std::string& failureNote = {}) {
  TChannelRun& run = State.Channels;
  if (success && IsInstrumentConnected()) success = ReadBackChannelConstants();
  if (!success) run.StatusText = GetLangStr("ErrorCode_") + run.StatusText + failureNote;
  run.Phase = success ? TChannelCalPhase::Succeeded : TChannelCalPhase::Failed;
  if (run.AutoClose) {
    run.CloseRequested = true;
    run.CloseOk = success;
  }
  ChangedChannelRun();
}

// Cancel at any point: the pending check and the set-up are given back, a calibration
// under way is aborted.
void CancelChannelRun(TChannelRun& run) {
  if (State.InputCheckPending) {
    State.InputCheckPending = false;
    SingleFlag = false;
    AcqHooks.NotifyStopSingleSwitchers();
    BreakAcquisition(true);
  }
  UndoChannelSetup();
  if (run.Started && IsInstrumentConnected()) SendStartAutocal(-1);
  if (!run.Ended()) run.Phase = TChannelCalPhase::Failed;
}

bool RunChannelsWithoutDialog() {
  BeginChannelCalibration();
  if (!IdleStepsUntil([] { return !State.InputCheckPending; })) {
    ThrowIfClosing();
    return false;
  }
  while (ChannelCalibrationTick()) ProgramClock().SleepMs(kChannelStatusPollMs);
  return State.Channels.Phase == TChannelCalPhase::Succeeded;
}

void RunChannels(uint8_t reason, bool ask) {
  // Ended during the time base's run (a Stop, the close).
  if (!Life.Running()) return;
  if (ask && !Confirmed(CalibrationReasonText(reason) + "\r\n" + GetLangStr("ChCalibrPerform") +
                        GetLangStr("CalibrPerform2")))
    return;
  TChannelRun& run = State.Channels;
  run = {};
  run.AutoClose = !ask;
  State.InputCheckPending = false;
  SetAutocalResult(kAutocalRunning);
  RememberChannelConstants(run);
  PendingGiveBack = [] { RestoreChannelConstants(State.Channels); };
  StopRunAndSingle();
  BreakAcquisition(true);
  bool ok = false;
  try {
    if (WithDialog(AutocalHooks.ShowChannelsDialog.IsSet()))
      ok = AutocalHooks.ShowChannelsDialog(run);
    else
      ok = RunChannelsWithoutDialog();
  } catch (...) {
    // No check may stay pending for a later acquisition, nor a set-up in place.
    CancelChannelRun(run);
    SetAutocalResult(kAutocalFailed);
    throw;
  }
  ok = ok && run.Phase == TChannelCalPhase::Succeeded;
  if (ok) {
    PendingGiveBack = {};
    FlashChange().SetCalibrationChanged(true);
    SetAutocalResult(kAutocalSucceeded);
  } else {
    CancelChannelRun(run);
    if (run.Busy < 1 || run.Busy > 3 || AutocalResult() != run.Busy) SetAutocalResult(kAutocalFailed);
    GiveBackOnce();
  }
  run.Phase = ok ? TChannelCalPhase::Succeeded : TChannelCalPhase::Failed;
}

bool FreeOfSignal(int channel) {
  const TSignalObj& record = SignalObjs()[channel == 2 ? TTraceId::Ch1 : TTraceId::Ch2];
  TStat stat;
  for (int i = 0; i < record.GetRecLen(); ++i) stat.Add(1, record.GetStoredY(i));
  const double a = GetAttenuationFactor(channel);
  return std::fabs(stat.Mean()) / a <= 0.2 && stat.StdDev() / a <= 0.005;
}

// A guard that keeps CalibrationBusy set for a run, also when it raises.
struct TBusyScope {
  TBusyScope() { State.CalibrationBusy = true; }
  ~TBusyScope() { State.CalibrationBusy = false; }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;
};

}  // namespace

TAutoCalibrationState& AutoCalibration() { return State; }
void ResetAutoCalibration() { State = {}; }

TChannelCalStatus DecodeChannelCalStatus(int32_t status) {
  const int64_t magnitude = std::llabs(int64_t{status});
  const int stage = static_cast<int>(magnitude & 0xFFFF);
  return {status < 0 ? -stage : stage, static_cast<int>(magnitude >> 16)};
}

int ChannelCalProgress(int32_t status) {
  const TChannelCalStatus s = DecodeChannelCalStatus(status);
  if (s.Stage < 0) return 0;
  const TStage* stage = FindStage(s.Stage);
  if (!stage) return 100;
  return stage->Base + NearestCode(s.Sub * stage->Factor);
}

std::string ChannelCalStatusText(int32_t status) {
  const TChannelCalStatus s = DecodeChannelCalStatus(status);
  if (s.Stage == kChannelCalDone) return "OK";
  char text[48];
  std::snprintf(text, sizeof text, "%s%d.%d", status < 0 ? "-" : " ", std::abs(s.Stage), s.Sub);
  return text;
}

int32_t TSimulatedChannelCal::Poll() {
  constexpr size_t kDoneIndex = std::size(kStages);
  if (stage_ >= kDoneIndex) return kChannelCalDone;
  const TStage& stage = kStages[stage_];
  const int32_t status = static_cast<int32_t>((counter_ << 16) | stage.Stage);
  counter_ += std::max(1, stage.SimulatedTicks / 10);
  if (counter_ >= stage.SimulatedTicks) {
    ++stage_;
    counter_ = 0;
  }
  return status;
}

bool CalibrationBusy() { return State.CalibrationBusy || State.AutoRunQueued; }

bool WarmUpCalibrationDue(double minutes) {
  bool due = false;
  for (size_t i = 0; i < std::size(kWarmUpPoints); ++i) {
    if (kWarmUpPoints[i] <= minutes + 0.1 && !State.WarmUpDone[i]) {
      State.WarmUpDone[i] = true;
      due = true;
    }
  }
  return due;
}

std::string CalibrationReasonText(uint8_t reason) {
  switch (reason) {
    case kCalReasonPowerOn:
      return FormatLangStr("PowerOnCal", static_cast<int>(NearestCode(State.LastCalibrationMinutes)));
    case kCalReasonTemperature:
      return FormatLangStr("TempChangeCal", ValueAt("Util:TempChange"_node));
    case kCalReasonPeriod:
      return FormatLangStr("PeriodCal", ValueAt("Util:CalPeriod"_node));
    default:
      return {};
  }
}

void CheckAutoCalibration() {
  const auto* when = dynamic_cast<const TCheckSwHandler*>(NodeAt("Util:CalibrWhen"_node));
  const uint32_t bits = when ? when->GetMask() : 0;
  const int64_t now = ProgramClock().NowMs();
  if (!State.Started) {
    State.Started = true;
    State.StartMs = now - kStartOffsetMs;
  }
  const double minutes = static_cast<double>(now - State.StartMs) / 60000.0;
  // A reply that is no reading leaves the last temperature and starts nothing by it.
  bool read = true;
  if (IsInstrumentConnected()) {
    const std::optional<double> reading = QueryInstrumentTemperature(false);
    read = reading.has_value();
    if (read) State.CurrentTemperature = *reading;
  } else {
    State.SimulatedTemperature += (50 - State.SimulatedTemperature) / 200;
    State.CurrentTemperature = State.SimulatedTemperature;
  }
  const double t = State.CurrentTemperature;
  CalibrationState().Temperature = t;

  uint8_t reason = kCalReasonNone;
  if ((bits & 1) && WarmUpCalibrationDue(minutes))
    reason = kCalReasonPowerOn;
  else if ((bits & 4) && read &&
           std::fabs(t - State.LastCalibrationTemperature) + 0.1 >= ValueAt("Util:TempChange"_node))
    reason = kCalReasonTemperature;
  else if ((bits & 2) &&
           ValueAt("Util:CalPeriod"_node) * 60 < std::fabs(minutes - State.LastCalibrationMinutes) + 0.1)
    reason = kCalReasonPeriod;
  if (reason == kCalReasonNone) return;
  State.LastCalibrationMinutes = minutes;
  State.LastCalibrationTemperature = t;
  if (!AutoCalibrationAllowed() || LinkKind == TLinkKind::None || !AutocalHooks.MainWindowActive()) return;
  State.AutoRunQueued = true;
  AutocalHooks.AfterIdlePass([reason] {
    State.AutoRunQueued = false;
    SetAutoCalibrationTimerEnabled(false);
    struct TEnd {
      ~TEnd() { SetAutoCalibrationTimerEnabled(true); }
    } end;
    RunCalibration(kCalibrateBoth, reason, true);
  });
}

void RunCalibration(uint8_t kind, uint8_t reason, bool ask) {
  // The automatic run waits for another procedure's end rather than be refused beside it,
  // and cuts into the jitter analysis, which is the user's run.
  const bool automatic = reason != kCalReasonNone;
  // Not a second run while a run's dialog is open, even one whose life has ended (a Stop
  // during its question): one asked for is refused (the automatic one has that run stand
  // for it).
  if (State.CalibrationBusy) {
    if (!automatic) TellRefusedBeside(TProcedure::AutoCalibration, TProcedure::AutoCalibration);
    return;
  }
  if (automatic && AutoCalibrationWaits()) {
    AutoCalibrationDue = true;
    return;
  }
  if (!Life.Start({}, {}, automatic)) return;
  // Every way out ends it as its dialog's Cancel does: an instrument's calibration under way
  // is aborted, then its own writes go back (before someone else's change of one stands).
  Life.OnCancel = [] {
    TChannelRun& run = State.Channels;
    if (run.Phase != TChannelCalPhase::Idle && !run.Ended()) {
      CancelChannelRun(run);
      run.CloseRequested = true;
      run.CloseOk = false;
      ChangedChannelRun();
    }
    GiveBackOnce();
  };
  const TBusyScope busy;
  try {
    if (kind == kCalibrateTimeBase || kind == kCalibrateBoth) {
      const TConstantsGround ground(TimeBaseConstantNodes());
      RunTimeBase(reason, ask);
    }
    if (kind == kCalibrateChannels || kind == kCalibrateBoth) {
      const TConstantsGround ground(ChannelConstantNodes());
      RunChannels(reason, ask);
    }
  } catch (...) {
    Life.End();
    throw;
  }
  Life.End();
  RepaintScreens();
}

void MeasureTimeBase(TTimeBaseRun& run, const std::function<void()>& onFineTimeout) {
  const bool connected = IsInstrumentConnected();
  run.Coarse = connected ? CodeOfReply(QueryCommand("CALIBR:TB:MEASTGUN?")) : kSimulatedCoarseCode;
  if (connected) {
    std::string reply;
    for (int attempt = 1; attempt <= 3; ++attempt) {
      reply = QueryCommand("CALIBR:TB:MEASGainDAC?");
      if (!IsTimeoutReply(reply)) break;
      run.FineTimeouts = attempt;
      if (onFineTimeout) onFineTimeout();
    }
    run.Fine = CodeOfReply(reply);
  } else {
    run.Fine = IsKxxModel() ? kSimulatedFineCodeKxx : kSimulatedFineCodeLxx;
  }
  run.Success = run.Coarse > 0 && run.Fine > 0;
  run.Measured = true;
  Unmarked([&] {
    if (run.Coarse > 0)
      if (const TConstantNode* c = FindConstant("FLASH:Calibr:CoarseTB"_node))
        c->SetByProgram(CoarseTBFromCode(run.Coarse));
    if (run.Fine > 0)
      if (const TConstantNode* c = FindConstant("FLASH:Calibr:FineTB"_node)) c->SetByProgram(run.Fine);
  });
}

void BeginChannelCalibration() {
  TChannelRun& run = State.Channels;
  const TProcedureScope own(Life.Setup());
  for (const auto& [display, band, offset, mode, recLen] :
       {std::tuple{"Ch1:Display"_node, "Ch1:Band"_node, "Ch1:Offset"_node, "Acq:Ch1:Mode"_node,
                   "Acq:Ch1:RecLen"_node},
        std::tuple{"Ch2:Display"_node, "Ch2:Band"_node, "Ch2:Offset"_node, "Acq:Ch2:Mode"_node,
                   "Acq:Ch2:RecLen"_node}}) {
    SetOnAt(display, true);
    SetIndexAt(band, 0);
    SetValueAt(offset, 0);
    SetIndexAt(mode, 0);
    SetValueAt(recLen, 1024);
  }
  SetIndexAt("Acq:FitTo"_node, 0);
  SetIndexAt("TB:Units"_node, 0);
  SetIndexAt("TB:Mode"_node, 0);
  if (NodeAt("TB:ScaleA"_node)) SetTimeBaseScale(false, 1e-7);
  SetIndexAt("Trig:Source"_node, 2);
  SetValueAt("Trig:IntRate"_node, 1.1e-5);
  run.Phase = TChannelCalPhase::WaitingForAcquisition;
  State.InputCheckPending = true;
  LinkHooks.ResetPointStore();
  LinkHooks.ClearAcqStarted();
  SingleFlag = true;
  AcqHooks.NotifyStopSingleSwitchers();
}

std::string SignalLeftText(int busy) {
  return GetLangStr("YouDidntRemoveSignal") +
         (busy == 3 ? GetLangStr("sFromBothChannels") : FormatLangStr("FromTheChannel_n", busy)) +
         GetLangStr("CalibrationCanceled");
}

void AutocalChannelsCheckInputs() {
  if (!State.InputCheckPending) return;
  State.InputCheckPending = false;
  TChannelRun& run = State.Channels;
  run.Busy = (FreeOfSignal(2) ? 0 : 1) + (FreeOfSignal(3) ? 0 : 2);
  UndoChannelSetup();
  if (IsInstrumentConnected() && run.Busy > 0) {
    if (!run.AutoClose) Life.Tell(TMessageKind::Warning, SignalLeftText(run.Busy));
    SetAutocalResult(run.Busy);
    run.Phase = TChannelCalPhase::Failed;
    run.CloseRequested = true;
    run.CloseOk = false;
    ChangedChannelRun();
    return;
  }
  if (IsInstrumentConnected())
    SendStartAutocal(0);
  else
    State.Simulated.Reset();
  run.Started = true;
  run.Phase = TChannelCalPhase::Polling;
  ChangedChannelRun();
}

bool ChannelCalibrationTick() {
  TChannelRun& run = State.Channels;
  if (run.Phase != TChannelCalPhase::Polling) return false;
  const int32_t status =
      IsInstrumentConnected() ? QueryInt("CALIBR:SAMPLER:STATUSACAL") : State.Simulated.Poll();
  run.UnchangedPolls = run.Polls > 0 && status == run.Status ? run.UnchangedPolls + 1 : 0;
  ++run.Polls;
  run.Status = status;
  run.Progress = ChannelCalProgress(status);
  run.StatusText = ChannelCalStatusText(status);
  if (status < 0 || status == kChannelCalDone) {
    EndChannelPolling(status == kChannelCalDone);
    return false;
  }
  if (run.UnchangedPolls + 1 >= kChannelStatusStallPolls || run.Polls >= kChannelCalibrationMaxPolls) {
    // The instrument's calibration has stopped answering with progress: it is aborted.
    if (IsInstrumentConnected()) SendStartAutocal(-1);
    EndChannelPolling(false, " (no progress)");
    return false;
  }
  ChangedChannelRun();
  return true;
}

void SetAutoCalibrationTimerEnabled(bool enabled) { AcquisitionCycle().AutoCalTimer().SetEnabled(enabled); }

void InstallAutoCalibration() {
  AcqHooks.AutocalChannelsCheckInputs.Set(AutocalChannelsCheckInputs);
  AcqHooks.CheckAutoCalibration.Set(CheckAutoCalibration);
}

}  // namespace norv
