#include "instrument/acquisition/acquisition_cycle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>

#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/traces/scale_change_flags.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_recovery.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/simulator/simulator.h"
#include "units/tdr_units.h"

namespace norv {

namespace {

constexpr double kStartWaitMsPerPoint = 0.005;
constexpr int kInactiveWaitFactor = 5;
constexpr double kHoldoffWaitMsPerSecond = 700;
constexpr double kPeakRatioStore = 2.2;  // above it a Peak record is stored as a peak record
constexpr double kDivisionsPerRecord = 10.24;

// The cycle being finished ran for a procedure (see ProcedureRunning).
constinit bool ProcedureCycle = false;

// A flag set for as long as the holder lives.
struct TFlagHeld {
  bool& flag;
  const bool was;
  TFlagHeld(bool& f, bool on) : flag(f), was(f) { flag = on; }
  ~TFlagHeld() { flag = was; }
  TFlagHeld(const TFlagHeld&) = delete;
  TFlagHeld& operator=(const TFlagHeld&) = delete;
};

// Records of a channel's display signals: Ch1, Ch1B2 for channel 2; Ch2, Ch2B2 for 3.
int ChannelRecordIndex(int channel, int step) { return (channel - 2) * 2 + step; }
TTraceId ChannelTrace(int channel) { return channel == 2 ? TTraceId::Ch1 : TTraceId::Ch2; }

const char* HorizontalUnitText(THorizontalUnit kind) {
  switch (kind) {
    case huBit:
      return "Bit";
    case huMetre:
      return "m";
    case huFoot:
      return "ft";
    case huInch:
      return "in";
    default:
      return "s";
  }
}

TAcqLayerKind LayerKindForStyle(std::string_view style) {
  if (style == "Vectors") return TAcqLayerKind::Vectors;
  if (style == "VarPersist" || style == "InfinPers") return TAcqLayerKind::Persistence;
  if (style == "VarGrayScal" || style == "InfGrayScal" || style == "VColorGrad" || style == "IColorGrad")
    return TAcqLayerKind::ColourGrade;
  return TAcqLayerKind::Dots;
}

// The shown axes of the waveform records, for the scale-change check.
class TRecordScales final : public ITraceScaleSource {
 public:
  int DisplayFormatIndex() const override { return AcqHooks.DisplayFormatIndex(); }
  bool IsTraceOn(TTraceId id) const override { return SignalsOn.IsOn(id); }
  TTraceScales ReadScales(TTraceId id) const override {
    const TSignalObj& r = SignalObjs()[id];
    TTraceScales s;
    s.FirstShownX = r.GetFirstShownX();
    s.SpanX = r.GetRecLen() * r.GetDX();
    s.XUnit = r.GetHorUnit();
    s.Offset = r.GetEffOffset();
    s.Scale = r.GetEffScale();
    s.YUnit = r.GetVertUnitTextFull();
    s.ShownCount = static_cast<uint16_t>(r.GetShownCount());
    return s;
  }
};

// Screen updates are held while a block's points are stored, and given back even when a
// store fails.
class TScreenUpdateHold {
 public:
  TScreenUpdateHold() { AcqHooks.SuspendScreenUpdates(); }
  ~TScreenUpdateHold() { AcqHooks.ResumeScreenUpdates(); }
  TScreenUpdateHold(const TScreenUpdateHold&) = delete;
  TScreenUpdateHold& operator=(const TScreenUpdateHold&) = delete;
};

}  // namespace

// --- simulator source -------------------------------------------------------------------

TSimulatorRecordSource::TSimulatorRecordSource(TSimulator& simulator) : sim_(simulator) {
  sim_.BindAcquiringFlag(Acquiring);
}
void TSimulatorRecordSource::SimStartRecord() { sim_.SimStartRecord(); }

size_t TSimulatorRecordSource::SimReadBlock(std::span<uint16_t> out) {
  size_t count = 0;
  for (size_t slot = 0; slot < out.size(); ++slot) {
    if (!sim_.SimRecordReady()) continue;
    const uint16_t word = sim_.SimNextSample();
    out[count++] = word;
    if (word == EndOfRecordWord) break;
  }
  return count;
}

// --- set-up -----------------------------------------------------------------------------

TAcquisitionCycle::TAcquisitionCycle(IClock& clock, ITimerFactory& timers)
    : clock_(clock),
      settings_(&defaults_),
      flagRegisterTimer_(timers.CreateTimer()),
      autoCalTimer_(timers.CreateTimer()) {
  flagRegisterTimer_->SetInterval(kFlagRegisterIntervalMs);
  flagRegisterTimer_->OnTimer = [] {
    if (HasPatSyncTrigOption()) AcqHooks.CheckPatternLockRate();
    AcqHooks.RefreshTriggerStatus(false);
  };
  autoCalTimer_->SetInterval(kAutoCalIntervalMs);
  autoCalTimer_->OnTimer = [this] {
    autoCalTimer_->SetEnabled(false);  // one shot
    AutoCalibrationDue = true;
  };
}

TAcquisitionCycle::~TAcquisitionCycle() {
  if (!linked_) return;
  LinkHooks.StartSimulatedRecord.Reset();
  LinkHooks.ClearAcqStarted.Reset();
  LinkHooks.AcquisitionOn.Reset();
  LinkHooks.ResetPointStore.Reset();
  LinkHooks.EnableFlagRegisterTimer.Reset();
}

void TAcquisitionCycle::ConnectToLink() {
  linked_ = true;
  LinkHooks.StartSimulatedRecord.Set([this] {
    if (sim_) sim_->SimStartRecord();
  });
  LinkHooks.ClearAcqStarted.Set([this] { ClearAcqStarted(); });
  LinkHooks.AcquisitionOn.Set([] { return RunFlag || SingleFlag; });
  LinkHooks.ResetPointStore.Set([this] { ResetPointStore(); });
  LinkHooks.EnableFlagRegisterTimer.Set([this] { flagRegisterTimer_->SetEnabled(true); });
}

void TAcquisitionCycle::ClearAcqStarted() {
  if (startingRecord_) return;
  acqStarted_ = false;
  // A record still coming in ends whole and is read on; one that has stopped coming is cut.
  if (!Acquiring && !recordWhole_) GiveBackCutRecords();
}

// --- run control ------------------------------------------------------------------------

void TAcquisitionCycle::SuspendAcquisition() {
  AcqSuspended = true;
  BreakAcquisition(false);
  flagRegisterTimer_->SetEnabled(true);
}

void TAcquisitionCycle::ResumeAcquisition() {
  AcqSuspended = false;
  flagRegisterTimer_->SetEnabled(false);
}

void TAcquisitionCycle::ResetPointStore() {
  if (startingRecord_) return;
  store_.ResetAverages();
  readCount_.fill(0);
}

// --- idle step --------------------------------------------------------------------------

bool TAcquisitionCycle::AcquisitionIdleStep() {
  auto wantsMore = [] { return (RunFlag || SingleFlag) && !CommFailure; };
  if (AcqSuspended || !GuiReady) return false;
  if (CommFailure) {
    ReportCommFailure("");
    if (recoveryWait_ < kRecoveryWaitPasses) {
      ++recoveryWait_;
      return wantsMore();
    }
  }
  if (Acquiring) {
    if (!ReadRecordBlock()) {
      Acquiring = false;
      CommFailure = true;
      recoveryWait_ = 0;
    } else {
      ClearCommFailure();
    }
    return wantsMore();
  }
  if (CommFailure) {
    RecoverLink();
    return wantsMore();
  }
  if (!RunFlag && !SingleFlag) {
    IdleWhenStopped();
    return false;
  }
  // Between two records every record is whole: a save or copy waits for one record, not
  // for the end of a long average or of an endless envelope.
  if (recordWhole_ && ServeRequests()) AcqHooks.RefreshMemoryTraces();
  AcqHooks.RefreshTriggerStatus(true);
  flagRegisterTimer_->SetEnabled(false);
  AcquisitionPhaseStep();
  return wantsMore();
}

void TAcquisitionCycle::RecoverLink() {
  if (!LinkAlive()) return;
  ReadIndivData();
  ResyncAfterLinkRecovery();
  AcqHooks.SendStateAfterConnect();
  CommFailure = false;
  ClearCommFailure();
  recoveryWait_ = 0;  // a later failure waits its passes again
}

// --- phase machine ----------------------------------------------------------------------

void TAcquisitionCycle::AcquisitionPhaseStep() {
  if (!acqStarted_) StartAcqCycle();
  if (acqStarted_ && !acqDataReady_) {
    if (HasChannelsToRead()) {
      SetAcqDataReady();
    } else {
      EndAcqCycle();
    }
  }
  if (acqDataReady_ && !acqRecordRead_) {
    interleaveStep_ = interleaveStep_ == 2 ? 0 : interleaveStep_ + 1;
    const bool select = interleaveStep_ == 0 || (interleaveStep_ == 1 && settings_->DualDelayActive());
    if (select) {
      SelectRecordToRead();
    } else {
      acqDataReady_ = false;
      CountReadPass();
    }
  }
  if (acqRecordRead_) {
    const bool secondChannelDue = recordSubStep_ == 1 && readKind_ == 2 && channelToRead_[1];
    if (recordSubStep_ == 0 || secondChannelDue) {
      ReadNextRecord();
    } else {
      acqRecordRead_ = false;
    }
  }
}

void TAcquisitionCycle::StartAcqCycle() {
  if (!SignalsOn.IsOn(TTraceId::Ch1) && !SignalsOn.IsOn(TTraceId::Ch2)) return;
  flagRegisterTimer_->SetEnabled(false);
  // A cycle broken before its end (a Run, a setting changed) saved nothing: it is not
  // counted, and this one takes its number.
  cycleCount_ = EndedCycleCounts();
  countsRestart_ = false;
  commonSettings_ = settings_->UseCommonAcqSettings();
  if (commonSettings_) {
    readCount_[0] = 0;
    readTarget_[0] = settings_->GetAcqCount(2);
    commonToRead_ = true;
    openCycleCounted_ = {1, 1};
  } else {
    for (int ch : {2, 3}) {
      const int s = Slot(ch);
      channelToRead_[s] = SignalsOn.IsOn(ChannelTrace(ch));
      openCycleCounted_[s] = channelToRead_[s] ? 1 : 0;
      readCount_[s] = 0;
      readTarget_[s] = settings_->GetAcqCount(ch);
    }
  }
  for (int s : {0, 1}) cycleCount_[s] += openCycleCounted_[s];
  acqStarted_ = true;
  acqDataReady_ = false;
  AcqCycleRunning = cycleOpen_ = true;
}

bool TAcquisitionCycle::HasChannelsToRead() const {
  return commonSettings_ ? commonToRead_ : channelToRead_[0] || channelToRead_[1];
}

void TAcquisitionCycle::SetAcqDataReady() {
  acqDataReady_ = true;
  acqRecordRead_ = false;
  interleaveStep_ = 2;
}

void TAcquisitionCycle::SelectRecordToRead() {
  if (commonSettings_ && commonToRead_) {
    readKind_ = ReadKindBoth;
  } else {
    readKind_ = channelToRead_[0] ? ReadKindCh1 : ReadKindCh2;
  }
  recordSubStep_ = 0;
  acqRecordRead_ = true;
}

void TAcquisitionCycle::ReadNextRecord() {
  if (++recordSubStep_ == 2) readKind_ = ReadKindCh2;  // channel 2 after channel 1
  store_.ClearLayers();
  if (readKind_ == ReadKindCh1 || readKind_ == ReadKindBoth) PrepareRecord(2, interleaveStep_);
  if (readKind_ == ReadKindCh2 || readKind_ == ReadKindBoth) PrepareRecord(3, interleaveStep_);
  StartRecord(readKind_);
}

void TAcquisitionCycle::CountReadPass() {
  if (commonSettings_) {
    ++readCount_[0];
    if (!CommFailure) {
      AcqHooks.ShowAcqStatus(2, false);
      AcqHooks.ShowAcqStatus(3, false);
    }
    if (readCount_[0] >= readTarget_[0]) commonToRead_ = false;
    return;
  }
  for (int ch : {2, 3}) {
    const int s = Slot(ch);
    if (!channelToRead_[s]) continue;
    ++readCount_[s];
    AcqHooks.ShowAcqStatus(ch, false);
    if (readCount_[s] >= readTarget_[s]) channelToRead_[s] = false;
  }
}

void TAcquisitionCycle::EndAcqCycle() {
  acqStarted_ = false;
  const bool acquiring = RunFlag || SingleFlag;
  if (SingleFlag && !AcqHooks.AutoscaleRunning()) {
    SingleFlag = false;
    AcqHooks.NotifyStopSingleSwitchers();
  }
  FinishAcqCycle(acquiring);
}

// --- record preparation -----------------------------------------------------------------

void TAcquisitionCycle::PrepareRecord(int channel, int step) {
  const int settingsChannel = commonSettings_ ? 2 : channel;
  const int index = ChannelRecordIndex(channel, step);
  const auto id = static_cast<TTraceId>(index);
  TSignalObj& record = SignalObjs().At(index);

  useInstrument_ = IsRealInstrument() && !settings_->IsSimulatorAssigned(channel);
  if (AcqHooks.AutoscaleRunning()) autoscalePending_ = true;

  IAcqLayer* layer = nullptr;
  TAcqLayerKind layerKind = TAcqLayerKind::Dots;
  if (settings_->IsSourceShown(id)) {
    layerKind = LayerKindForStyle(AcqHooks.TraceStyle(id));
    layer = AcqHooks.TraceLayer(id, layerKind);
  }
  const auto recLen =
      static_cast<uint16_t>(std::clamp(settings_->GetAcqRecLen(settingsChannel), 1, kMaxRecLen));
  KeepRecord(channel, index, recLen, layer, layerKind);

  freshRecord_[index] = true;
  record.MarkChanged();
  AcqHooks.RaiseMaskNewRecord();
  AcqHooks.RefreshTimeBaseReadouts();

  record.SetRecLen(recLen);
  PrepareVertical(channel, record, layer);
  PrepareHorizontal(channel, step, record);

  TPointStore::TChannelTarget& target = store_.Target(channel);
  target.MaskCompare = AcqHooks.MaskCompareSignal() == index;
  target.Record = &record;
  target.RecordIndex = index;
  target.Layer = layer;
  ChooseStoreMode(channel, settingsChannel, index);

  recLen_ = record.GetRecLen();
  store_.AcqPointIndex = 0;
  acqRecordRead_ = true;
}

void TAcquisitionCycle::PrepareVertical(int channel, TSignalObj& record, IAcqLayer* layer) {
  TDRReadoutFresh = true;
  record.SetVertUnit(settings_->GetChannelVertUnit(channel));
  int unit = settings_->GetTDRVertUnit(channel);
  if (unit < tvuVolt || unit > tvuGain) unit = tvuVolt;
  record.SetTdrUnitKind(static_cast<uint8_t>(unit));

  const TChannelScales scales = settings_->GetChannelScales(channel);
  const double attenuation = settings_->GetAttenuationFactor(channel);
  TPointStore::TChannelTarget& target = store_.Target(channel);
  target.Gain = kVoltsPerCode * attenuation;
  target.Offset = -scales.Offset * attenuation;

  const TTdrChannelSettings tdr = AcqHooks.TdrChannelSettings(channel);
  if (tdr.Mode != TTdrMode::Off) {
    const double sign = tdr.PolarPositive ? 1.0 : -1.0;
    const bool tdt = tdr.Mode == TTdrMode::TDT;
    record.SetTdrAmplitude(sign * (tdt ? tdr.RefTDTAmpl : tdr.RefAmpl));
    record.SetTdrBase(tdt ? tdr.RefTDTZero : tdr.BaseLine);
  }

  switch (unit) {
    case tvuRho:
      record.SetVertScale(scales.RhoScale);
      record.SetVertOffset(-scales.RhoOffset);
      break;
    case tvuOhm:
      record.SetVertScale(scales.OhmScale);
      record.SetVertOffset(-scales.OhmOffset);
      break;
    case tvuGain:
      record.SetVertScale(scales.GainScale);
      record.SetVertOffset(-scales.GainOffset);
      break;
    default:
      record.SetVertScale(scales.Scale * attenuation);
      record.SetVertOffset(-scales.Offset * attenuation);
      break;
  }
  if (layer) layer->SetSignalScale(record.GetRecLen(), record.GetVertOffset(), record.GetVertScale());
}

void TAcquisitionCycle::KeepRecord(int channel, int recordIndex, int recLen, IAcqLayer* layer,
                                   TAcqLayerKind layerKind) {
  const TSignalObj& record = SignalObjs().At(recordIndex);
  TKeptRecord& kept = kept_[Slot(channel)];
  kept.Held = true;
  kept.Index = recordIndex;
  kept.Header.AssignHeader(record);
  // An envelope pair may reach one point beyond an odd length.
  kept.Points.assign(record.StoredYData(), record.StoredYData() + std::min(recLen + 1, kMaxRecLen));
  kept.ChangedA = record.GetChangedA();
  kept.ChangedB = record.GetChangedB();
  kept.Fresh = freshRecord_[recordIndex];
  kept.AverageCount = store_.AcqAverageCount(recordIndex);
  kept.Layer = layer;
  kept.LayerKind = layerKind;
}

// A request waiting for a whole record (recordWhole_) still waits for the next: one after
// what broke the record.
void TAcquisitionCycle::GiveBackCutRecords() {
  for (TKeptRecord& kept : kept_) {
    if (!kept.Held) continue;
    kept.Held = false;
    TSignalObj& record = SignalObjs().At(kept.Index);
    record.AssignHeader(kept.Header);
    for (size_t i = 0; i < kept.Points.size(); ++i) record.SetY(static_cast<int>(i), kept.Points[i]);
    if (!kept.ChangedA) record.ClearChangedA();
    if (!kept.ChangedB) record.ClearChangedB();
    freshRecord_[kept.Index] = kept.Fresh;
    store_.SetAverageCount(kept.Index, kept.AverageCount);
    // Dots and vectors show one record: its points go back where they were, or away when
    // there was none. What the other styles gathered was acquired, and stays.
    IAcqLayer* layer = kept.Layer;
    if (!layer || kept.LayerKind == TAcqLayerKind::Persistence ||
        kept.LayerKind == TAcqLayerKind::ColourGrade)
      continue;
    const auto count = static_cast<size_t>(record.HasLength() ? record.GetRecLen() : 0);
    layer->SetSignalScale(static_cast<int>(count), record.GetVertOffset(), record.GetVertScale());
    std::vector<double> values(count);
    record.GetYs(values);
    layer->PutSamples(0, values);
  }
}

// A Peak record is sampled like a plain one at the set time base: the instrument has no
// request that fills a record over a doubled time base, and an unfilled record must never
// pass as a new one.
void TAcquisitionCycle::PrepareHorizontal(int channel, int step, TSignalObj& record) {
  tbDelay_ = settings_->GetRecordStartTime(channel, step == 1);
  const double timePerDiv = settings_->GetActiveTimeScale();
  const double dx = timePerDiv * kDivisionsPerRecord / record.GetRecLen();
  const double x0 = tbDelay_ - settings_->GetDeskew(channel);
  const THorizontalUnit unit = settings_->GetHorizontalUnitKind();
  record.SetHorUnit(HorizontalUnitText(unit));
  if (unit == huMetre || unit == huFoot || unit == huInch) record.SetPropagation(settings_->GetPropagation());
  record.SetX0(settings_->TimeToHorizontalUnit(x0));
  record.SetDX(settings_->TimeToHorizontalUnit(dx));
  record.SetSpectrum(false);
}

void TAcquisitionCycle::ChooseStoreMode(int channel, int settingsChannel, int recordIndex) {
  const bool firstOfCycle = readCount_[Slot(settingsChannel)] == 0;
  TAcqStoreMode mode = asmPlain;
  switch (settings_->GetAcqMode(settingsChannel)) {
    case TAcqMode::Sample:
      mode = asmPlain;
      break;
    case TAcqMode::AvgStab:
      mode = asmAverage;
      break;
    case TAcqMode::AvgMult:
      mode = asmAvgMult;
      break;
    case TAcqMode::AvgMedian:
      mode = asmAvgMedian;
      break;
    case TAcqMode::EnvMinMax:
      mode = firstOfCycle ? asmEnvStart : asmEnvWiden;
      break;
    case TAcqMode::EnvMax:
      mode = firstOfCycle ? asmPlain : asmKeepMax;
      break;
    case TAcqMode::EnvMin:
      mode = firstOfCycle ? asmPlain : asmKeepMin;
      break;
    case TAcqMode::Peak:
      mode = settings_->PeakIntervalRatio(settingsChannel) > kPeakRatioStore ? asmPeak : asmPlain;
      break;
  }
  store_.AcqStoreMode = mode;
  const int nAvgSetting = std::clamp(settings_->GetAcqNAvg(settingsChannel), 1, 65535);
  if (mode == asmAverage) {
    store_.AdvanceAverageCount(recordIndex, nAvgSetting);
    AcqHooks.ShowAcqStatus(channel, false);
  }
  // The instrument averages only in its own averaging modes.
  nAvg_ = mode == asmAvgMult || mode == asmAvgMedian ? static_cast<uint16_t>(nAvgSetting) : uint16_t{1};
}

// --- record start and stream ------------------------------------------------------------

void TAcquisitionCycle::StartRecord(uint8_t kind) {
  firstCode_ = kind == ReadKindBoth ? ReadKindCh1 : kind;
  lastCode_ = kind == ReadKindBoth ? ReadKindCh2 : kind;
  currentCode_ = firstCode_;
  overrunBeeped_ = false;
  recordWhole_ = false;
  {
    // The pattern-lock check of the start may drop the lock, and that change stops the
    // acquisition; nothing runs yet, so the cycle goes on rather than start again.
    const TFlagHeld starting(startingRecord_, true);
    StartAcquisition(kind, recLen_, nAvg_, tbDelay_, useInstrument_);
  }
  clock_.SleepMs(RecordStartWaitMs());
}

// The instrument needs a moment per point; longer while another program has the
// screen, and a hold-off adds its own.
int TAcquisitionCycle::RecordStartWaitMs() const {
  int ms = std::max(1, static_cast<int>(std::nearbyint(recLen_ * kStartWaitMsPerPoint)));
  if (!AcqHooks.ApplicationActive()) ms *= kInactiveWaitFactor;
  const double holdoffMs = settings_->GetTriggerHoldoff() * kHoldoffWaitMsPerSecond;
  if (std::isfinite(holdoffMs) && holdoffMs > 0) ms += static_cast<int>(std::min(holdoffMs, 1e6));
  return ms;
}

bool TAcquisitionCycle::ReadRecordBlock() {
  std::span<const uint16_t> words;
  if (useInstrument_) {
    if (!GetWaveData(words)) return false;
  } else if (sim_) {
    words = std::span<const uint16_t>(simBlock_.data(), sim_->SimReadBlock(simBlock_));
  }
  if (words.size() > kMaxBlockWords) throw EAssertion("ERROR!  Sample block too long");

  // Points are gathered per channel and stored as one run after the block.
  int sampleWords = 0;
  int points = 0;
  const int firstIndex = store_.AcqPointIndex;
  for (const uint16_t word : words) {
    if (word == FillerWord) continue;
    if (word == EndOfRecordWord) {
      Acquiring = false;
      recordWhole_ = true;
      for (TKeptRecord& kept : kept_) kept.Held = false;
      break;
    }
    ++sampleWords;
    pointWords_[currentCode_ - 2] = static_cast<int16_t>(word);
    if (currentCode_ != lastCode_) {
      currentCode_ = lastCode_;
      continue;
    }
    currentCode_ = firstCode_;
    if (firstIndex + points >= recLen_) {
      // Points beyond the record are dropped, and the block is still read for its end
      // word. One beep tells of the overlong record: a garbage stream is no concert.
      if (!overrunBeeped_) LinkHooks.SystemBeep();
      overrunBeeped_ = true;
      continue;
    }
    runCodes_[0][points] = pointWords_[0];
    runCodes_[1][points] = pointWords_[1];
    ++points;
  }
  if (points > 0) {
    TScreenUpdateHold hold;
    const auto run = [&](int slot) { return std::span<const int16_t>(runCodes_[slot].data(), points); };
    if (firstCode_ == ReadKindCh1) store_.StoreAcquiredPoints(2, run(0));
    if (lastCode_ == ReadKindCh2) store_.StoreAcquiredPoints(3, run(1));
    store_.AcqPointIndex = static_cast<uint16_t>(firstIndex + points);
  }
  if (settings_->TriggerStatusFromData()) AcqHooks.UpdateTriggerStatusFromData(sampleWords);
  return true;
}

// --- end of cycle -----------------------------------------------------------------------

void TAcquisitionCycle::FinishAcqCycle(bool acquiring) {
  IAcqSettings& s = *settings_;
  // A procedure's acquisition stays its own to the end of its cycle, also when the procedure
  // ends in it and gives the user's run back: the run's stop conditions and what the run
  // keeps (its saves, a recording) wait for the next.
  const TFlagHeld procedure(ProcedureCycle, TakesTheRun(RunningProcedure()));
  if (!ProcedureRunning() && s.RunUntilNAcq() && s.AcqReactSave()) AutoSaveRecord();
  // The steps of the user's procedure ask the user: they wait out a client's line, and
  // the acquisition they were given is asked for again.
  const bool stepsWait = ProcedureStepsWait();
  if (stepsWait && acquiring && !RunFlag && !SingleFlag) {
    SingleFlag = true;
    AcqHooks.NotifyStopSingleSwitchers();
  }
  if (autoscalePending_ && AcqHooks.AutoscaleRunning()) {
    if (!stepsWait) {
      autoscalePending_ = false;
      AcqHooks.AutoscaleStep();
    }
    StopWhenCountReached();
    CloseCycle();
    return;
  }
  if (!stepsWait) {
    AcqHooks.AutocalChannelsCheckInputs();
    AcqHooks.TDRChannelCalibrationStep();
    AcqHooks.NormalizationStep();
    AcqHooks.OEAutoCalStep();
    AcqHooks.PatternSearchStep();
    if (s.LowJitterOn()) AcqHooks.LowJitterAfterAcquisition();
  }
  if (AcqHooks.JitterMeasurementExists()) {
    // A procedure cutting into the analysis has the records to itself.
    if (!TakesTheRun(RunningProcedure())) AcqHooks.JitterMeasurementStep();
    StopWhenCountReached();
    CloseCycle();
    return;
  }
  if (!AcqHooks.DataBaseExist()) {
    UpdateDerivedSignals();
    AcqHooks.ReCalculateFuncAndSpectrGdeNado(false);
  }
  if (AcqHooks.DisplayFormatHasXY()) {
    XYSignalState = dssFresh;
    AcqHooks.CalcDerivedSignal(kXYDerivedIndex);
    AcqHooks.RedrawXYScreen();
  }
  for (uint8_t& state : DerivedSignalStates)
    if (state == dssFresh) state = dssDrawn;
  if (XYSignalState == dssFresh) XYSignalState = dssDrawn;

  FlagOfScalesChange.Check(TRecordScales{});
  if (AcqHooks.MarkType() == 3) {
    AcqHooks.ShowMarker(1);
    AcqHooks.ShowMarker(2);
  }
  if (TDRReadoutFresh) {
    TDRReadoutFresh = false;
    AcqHooks.ShowTDRExcessLC();
  }
  // A procedure's records are its own: the user's histogram and eye gather none of them.
  if (!ProcedureCycle) {
    if (AcqHooks.HistogramActive()) AcqHooks.UpdateHistogram(AcqHooks.HistAxis());
    AcqHooks.EyeMeasurementPass();
  }
  AcqHooks.MaskTestAfterAcquisition();
  // The waveform of a Single counts too; the recording is saved by IdleWhenStopped below
  // once the acquisition has stopped.
  if (AcqHooks.DatabaseRecording() && acquiring && !ProcedureRunning()) AcqHooks.AccumulateDatabaseRecord();
  RefreshScaleReadouts();
  StopWhenCountReached();
  if (HasPatSyncTrigOption() && s.PatternLockOn() && s.PattEyeLineOn()) AcqHooks.PatternScanStep();
  CloseCycle();
  IdleWhenStopped();
}

// The early exits of the finish (autoscale, jitter) end a counted run too, and close the
// cycle, so no flag stays set.
void TAcquisitionCycle::StopWhenCountReached() {
  const IAcqSettings& s = *settings_;
  if (ProcedureRunning() || !s.RunUntilNAcq() || s.GetNAcq() > std::max(cycleCount_[0], cycleCount_[1]))
    return;
  if (s.AcqReactBeep()) LinkHooks.SystemBeep();
  StopRunAndSingle();
}

void TAcquisitionCycle::CloseCycle() {
  if (!RunFlag) ResetAcqCounters();
  AcqCycleRunning = cycleOpen_ = false;
  openCycleCounted_ = {};
}

std::array<int, 2> TAcquisitionCycle::EndedCycleCounts() const {
  if (countsRestart_) return {};
  std::array<int, 2> counts = cycleCount_;
  if (cycleOpen_)
    for (int s : {0, 1}) counts[s] = std::max(0, counts[s] - openCycleCounted_[s]);
  return counts;
}

void TAcquisitionCycle::SetCycleCounts(const std::array<int, 2>& counts) {
  cycleCount_ = counts;
  // The cycle open now (the procedure's) is no part of them.
  openCycleCounted_ = {};
  countsRestart_ = false;
}

void TAcquisitionCycle::UpdateDerivedSignals() {
  for (int index = 0; index < kChannelRecordCount; ++index) {
    const bool on = SignalsOn.IsOn(static_cast<TTraceId>(index));
    if (!on) {
      DerivedSignalStates[index] = dssOff;
    } else if (freshRecord_[index]) {
      DerivedSignalStates[index] = dssOn;
    }
  }
  AcqHooks.SostaritjIliOtklFuncSpectrGdeNado();
  for (int index = 0; index < kChannelRecordCount; ++index) {
    if (freshRecord_[index] && SignalsOn.IsOn(static_cast<TTraceId>(index)))
      DerivedSignalStates[index] = dssFresh;
    freshRecord_[index] = false;
  }
  MoveChangedMemoriesOn();
}

void TAcquisitionCycle::AutoSaveRecord() {
  const TDialogsSuppressed quiet(settings_->AcqReactSaveOrigin());
  for (int ch : {2, 3}) {
    const TTraceId id = ChannelTrace(ch);
    // A channel switched off the screen is still acquired while its "Acquire" is on; the
    // run saves what the screen shows.
    if (!settings_->IsSourceShown(id)) continue;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%5.5d_Ch%d", cycleCount_[Slot(ch)], ch - 1);
    const std::string name = settings_->AutoSaveBaseName() + suffix;
    switch (settings_->GetAcqFileFormat()) {
      case TAcqFileFormat::Binary:
        AcqHooks.SaveWaveformBinary(TraceIndex(id), name + ".wfm");
        break;
      case TAcqFileFormat::Verbose:
        AcqHooks.SaveWaveformText(TraceIndex(id), name + ".txt", false);
        break;
      case TAcqFileFormat::YOnly:
        AcqHooks.SaveWaveformText(TraceIndex(id), name + ".txty", true);
        break;
    }
  }
}

void TAcquisitionCycle::ResetAcqCounters() {
  flagRegisterTimer_->SetEnabled(true);
  if (cycleCount_[0] == 0 && cycleCount_[1] == 0) return;
  AcqHooks.ShowAcqStatus(2, true);
  AcqHooks.ShowAcqStatus(3, true);
  cycleCount_.fill(0);
}

void TAcquisitionCycle::IdleWhenStopped() {
  if (!RunFlag && !SingleFlag) {
    // A stop breaks the cycle before its end, where the counts are cleared: a counted run
    // started later must count from one.
    cycleCount_.fill(0);
    // A stop breaks the cycle and a counted run stops after the cycle's accumulation, so a
    // recording ends here, with the acquisition, whichever way it stopped.
    if (AcqHooks.DatabaseRecording()) AcqHooks.SaveDatabaseFile();
  }
  AcqHooks.ApplyPendingLanguage();
  AcqHooks.RefreshMaskDisplay();
  if (AcqHooks.MarkType() != 0) {
    AcqHooks.ShowMarker(1);
    AcqHooks.ShowMarker(2);
  }
  AcqHooks.RefreshMemoryTraces();
  AcqHooks.RedrawDerivedSignals();
  ServeRequests();
  // Nor do the measurements and their statistics: the records it gives back at its end are
  // measured then.
  if (!ProcedureRunning()) AcqHooks.MeasurementPass();
  AcqHooks.TDRMeasurePass();
  // The automatic calibration waits for a procedure's end rather than be refused beside it.
  if (AutoCalibrationDue && !AutoCalibrationWaits()) {
    AutoCalibrationDue = false;
    AcqHooks.CheckAutoCalibration();
    autoCalTimer_->SetEnabled(true);
  }
  AcqHooks.UpdateMarkerReadout();
}

bool TAcquisitionCycle::ServeRequests() {
  const bool any = MemoCopyRequest || DiskSaveRequest || DiskLoadRequest;
  if (MemoCopyRequest) {
    MemoCopyRequest = false;
    AcqHooks.CopySelectedSourceToMemory();
  }
  if (DiskSaveRequest) {
    DiskSaveRequest = false;
    AcqHooks.SaveWaveformToDisk();
  }
  if (DiskLoadRequest) {
    DiskLoadRequest = false;
    AcqHooks.LoadWaveformFromDisk();
  }
  return any;
}

// --- the program's cycle ----------------------------------------------------------------

namespace {

constinit TOwned<TAcquisitionCycle> ProgramCycle;
constinit TOwned<TSimulatorRecordSource> ProgramSimSource;

}  // namespace

TAcquisitionCycle& CreateAcquisitionCycle(IClock& clock, ITimerFactory& timers) {
  ProgramCycle.reset();
  ProgramCycle = std::make_unique<TAcquisitionCycle>(clock, timers);
  if (!ProgramSimSource) ProgramSimSource = std::make_unique<TSimulatorRecordSource>(ProgramSimulator());
  ProgramCycle->SetSimSource(ProgramSimSource.get());
  ProgramCycle->SetSettings(ProgramAcqSettings());
  ProgramCycle->ConnectToLink();
  return *ProgramCycle;
}

void DestroyAcquisitionCycle() { ProgramCycle.reset(); }

bool AcquisitionCycleExists() { return static_cast<bool>(ProgramCycle); }

TAcquisitionCycle& AcquisitionCycle() {
  if (!ProgramCycle) throw EAssertion("ERROR!  Acquisition cycle not created");
  return *ProgramCycle;
}

void StopRun() {
  if (ProgramCycle) ProgramCycle->RestartCounts();
  RunFlag = false;
  AcqHooks.NotifyRunSwitchers();
}

void CountRunAfresh() {
  if (!ProgramCycle || !RunFlag || ProcedureRunning() || !ProgramCycle->Settings().RunUntilNAcq()) return;
  ProgramCycle->RestartCounts();
  ProgramCycle->ClearAcqStarted();
}

void StopRunAndSingle() {
  StopRun();
  SingleFlag = false;
  AcqHooks.NotifyStopSingleSwitchers();
}

bool ProcedureRunning() { return ProcedureCycle || TakesTheRun(RunningProcedure()); }

void RefreshScaleReadouts() {
  if (!FlagOfScalesChange.AnyChanged()) return;
  bool channelScales = false;
  for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch1B2, TTraceId::Ch2, TTraceId::Ch2B2})
    channelScales = channelScales || FlagOfScalesChange.ScaleChanged(id);
  if (channelScales) AcqHooks.NotifyChannelScales();
  AcqHooks.RefreshMarkerControls();
  AcqHooks.RefreshHistWindowControls(1);
  AcqHooks.RefreshHistWindowControls(2);
  AcqHooks.RefreshAutomaskControls();
  AcqHooks.RefreshZoomControls();
}

void CheckRecordScales() {
  FlagOfScalesChange.Check(TRecordScales{});
  RefreshScaleReadouts();
}

void SetRunFlag(bool on) {
  if (RunFlag == on) return;
  if (!on && ProgramCycle) ProgramCycle->RestartCounts();
  RunFlag = on;
  AcqHooks.NotifyRunSwitchers();
}

bool AcquisitionIdleStep() { return AcquisitionCycle().AcquisitionIdleStep(); }
void SuspendAcquisition() { AcquisitionCycle().SuspendAcquisition(); }
void ResumeAcquisition() { AcquisitionCycle().ResumeAcquisition(); }

}  // namespace norv
