#include "service/tdr_channel_calibration.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_access.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/simulator/simulator.h"
#include "shell/program_shell.h"
#include "shell/save/save_recall.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {

namespace {

TTdrChannelCalibration* Active = nullptr;
const TProgramUnit ActiveUnit("TDR channel calibration", [] { Active = nullptr; });

constexpr double kLeastAmplitude = 0.05;  // V
constexpr double kZeroWindow = 2e-9;      // s before the edge's middle
constexpr int kM4 = 3;
constexpr int kRefSavedNoticeMs = 7000;

TTraceId ChannelTrace(int channel) { return channel == 3 ? TTraceId::Ch2 : TTraceId::Ch1; }
std::string ChannelPrefix(int channel) { return channel == 3 ? "Ch2:" : "Ch1:"; }

double Mean(std::span<const double> v, size_t first, size_t last) {
  if (v.empty()) return 0;
  last = std::min(last, v.size() - 1);
  first = std::min(first, last);
  return std::accumulate(v.begin() + static_cast<ptrdiff_t>(first),
                         v.begin() + static_cast<ptrdiff_t>(last) + 1, 0.0) /
         static_cast<double>(last - first + 1);
}

// The record time at point i, minus half a point: where the edge passed.
double EdgeTime(const TSignalObj& rec, size_t i) {
  return rec.IndexToX(static_cast<double>(i)) - rec.GetDX() / 2;
}

// Point p of a 1024-point trace, in a trace of n points.
size_t TracePoint(size_t n, size_t p) { return n * p / 1024; }

}  // namespace

double CalibrationMeanLevel(std::span<const double> trace) {
  const size_t n = trace.size();
  return Mean(trace, TracePoint(n, 400), TracePoint(n, 600));
}

TTdrCalibrationValues StaticCalibrationEvaluation(double m1, std::span<const double> trace,
                                                  const TSignalObj& rec) {
  TTdrCalibrationValues r;
  const double m2 = CalibrationMeanLevel(trace);
  const double d = std::abs(m1 - m2);
  if (!(d > kLeastAmplitude)) {
    r.Code = tccNoTermination;
    return r;
  }
  const double s = m2 > m1 ? 1 : -1;
  const double threshold = (m1 + m2) * s / 2;
  size_t edge = 0;
  for (size_t i = 0; i < trace.size(); ++i)
    if (trace[i] * s > threshold) {
      edge = i;
      break;
    }
  r.RefAmpl = d;
  r.BaseLine = m1;
  r.RefPlane = EdgeTime(rec, edge);
  return r;
}

TTdrCalibrationValues NormalCalibrationEvaluation(std::vector<double> trace, bool negative,
                                                  const TSignalObj& rec) {
  TTdrCalibrationValues r;
  if (trace.empty()) {
    r.Code = tccSmallAmplitude;
    return r;
  }
  if (negative)
    for (double& v : trace) v = -v;
  const auto [minIt, maxIt] = std::minmax_element(trace.begin(), trace.end());
  const double lo = *minIt, hi = *maxIt;
  if (!(std::abs(hi - lo) > kLeastAmplitude)) {
    r.Code = tccSmallAmplitude;
    return r;
  }
  const double lowerThird = (2 * lo + hi) / 3, upperThird = (2 * hi + lo) / 3, middle = (lo + hi) / 2;
  if (trace.front() > lowerThird || trace.back() < upperThird) {
    r.Code = tccBadSlope;
    return r;
  }
  const auto reaching = [&](double level) {
    return static_cast<size_t>(
        std::find_if(trace.begin(), trace.end(), [&](double v) { return v >= level; }) - trace.begin());
  };
  const size_t c = reaching(middle);
  // The top level is the mean of points 400..600: with a later edge both levels would be
  // taken before the step, and their difference is no amplitude.
  if (c > TracePoint(trace.size(), 400)) {
    r.Code = tccSmallAmplitude;
    return r;
  }
  const double dx = rec.GetDX();
  const int w = std::clamp(dx > 0 ? NearestCode(kZeroWindow / dx) : 0, 0, static_cast<int>(c));
  const int h = (w + 1) / 2;
  const double zero = Mean(trace, c - static_cast<size_t>(w), c - static_cast<size_t>(h));
  const double top = CalibrationMeanLevel(trace);
  if (!(top - zero > kLeastAmplitude)) {
    r.Code = tccSmallAmplitude;
    return r;
  }
  r.TdtAmpl = top - zero;
  r.TdtZero = negative ? -zero : zero;
  r.RefPlane = EdgeTime(rec, std::min(reaching((zero + top) / 2), trace.size() - 1));
  return r;
}

// --- the procedure ---

TTdrChannelCalibration::TTdrChannelCalibration(int channel, bool tdr, bool autoClose)
    : channel_(channel == 3 ? 3 : 2), tdr_(tdr), autoClose_(autoClose) {}

TTdrChannelCalibration::~TTdrChannelCalibration() {
  // Its window is going: nothing is told any more.
  OnUpdate = nullptr;
  OnClose = nullptr;
  Finish(false);
}

bool TTdrChannelCalibration::Start() {
  if (!life_.Start()) {
    outcome_ = TTdrCalibrationOutcome::Cancelled;
    finished_ = true;
    return false;
  }
  TTdrChannelNodes& nodes = TdrChannel(channel_);
  life_.HoldGround(TdrSettings().Mode);
  life_.HoldGround(nodes.Destination);
  life_.HoldGround(nodes.Polar);
  // What it stores: someone else's value ends it, and stands.
  for (THandler* h : nodes.References(tdr_)) life_.HoldGround(h);
  // Every way out ends it as its window's Cancel does.
  life_.OnCancel = [this] {
    if (outcome_ == TTdrCalibrationOutcome::Running) outcome_ = TTdrCalibrationOutcome::Cancelled;
    Finish(false);
    Close(false);
  };
  // The user at the screen is asked first, on its ground: an answer after a way out starts
  // nothing.
  if (!autoClose_ &&
      life_.Ask(TMessageKind::Confirmation,
                FormatLangStr(tdr_ ? "TDRChCalibrPerform" : "TDTChCalibrPerform", channel_ - 1),
                {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK) != TAnswer::OK) {
    life_.Cancel({});
    return false;
  }
  const TProcedureScope own(life_.Setup());
  // One acquisition at a time, each asked for by a step.
  StopRun();
  const std::string ch = ChannelPrefix(channel_), other = ChannelPrefix(channel_ == 2 ? 3 : 2);
  SetOnAt(ch + "Display", true);
  SetOnAt(other + "Display", false);
  SetOnAt(other + "Acquire", false);
  SetIndexAt(ch + "Band", 0);
  SetValueAt(ch + "Offset", 0);
  SetIndexAt("TDR:" + ch + "VertScale", 0);
  SetIndexAt("TDR:" + ch + "VertTDTScale", 0);
  SetIndexAt("Acq:" + ch + "Mode", 0);
  SetValueAt("Acq:" + ch + "RecLen", 1024);
  SetIndexAt("TB:Units", 0);
  SetIndexAt("TB:Mode", 0);
  SetValueAt("TB:ScaleA", 1e-8);
  Active = this;
  SingleFlag = true;
  return true;
}

void TTdrChannelCalibration::Step() {
  if (outcome_ != TTdrCalibrationOutcome::Running) return;
  const TProcedureScope own(life_.Setup());
  const TSignalObj& rec = SignalObjs()[ChannelTrace(channel_)];
  const size_t n = rec.GetRecLen();
  ++counter_;
  // The sums follow the record's own length; a record of another length starts them over.
  if (sum_.size() != n) {
    sum_.assign(n, 0.0);
    counter_ = 1;
  }
  progress_ = NearestCode(counter_ * 100.0 / kAverages);
  if (tdr_) progress_ = (progress_ + 1) / 2 + (secondPhase_ ? 50 : 0);
  if (counter_ <= kAverages)
    for (size_t i = 0; i < n; ++i) sum_[i] += rec.GetStoredY(static_cast<int>(i));
  if (counter_ < kAverages) {
    SingleFlag = true;
    Update();
    return;
  }
  for (double& v : sum_) v /= kAverages;
  if (tdr_ && !secondPhase_) {
    firstLevel_ = CalibrationMeanLevel(sum_);
    Update();
    // The simulator's line is opened as the user is asked to open the real one.
    ProgramSimulator().SetSimTDRCircuit(channel_, TSimTdrCircuit::Open);
    // No acquisition is asked for until the user answers.
    life_.AskThen(TMessageKind::Confirmation, GetLangStr("TDRChCalibrContinue"),
                  {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK, [this](TAnswer answer) {
                    if (answer != TAnswer::OK) {
                      outcome_ = TTdrCalibrationOutcome::Cancelled;
                      Close(false);
                      return;
                    }
                    secondPhase_ = true;
                    sum_.clear();
                    counter_ = 0;
                    SingleFlag = true;
                  });
    return;
  }
  Evaluate(rec);
}

void TTdrChannelCalibration::Evaluate(const TSignalObj& rec) {
  const bool negative = TdrChannel(channel_).Polar->GetIndex() == 1;
  values_ = tdr_ ? StaticCalibrationEvaluation(firstLevel_, sum_, rec)
                 : NormalCalibrationEvaluation(sum_, negative, rec);
  outcome_ = values_.Code == tccSuccess ? TTdrCalibrationOutcome::Succeeded : TTdrCalibrationOutcome::Failed;
  Update();
  if (autoClose_) Close(outcome_ == TTdrCalibrationOutcome::Succeeded);
}

std::string TTdrChannelCalibration::ErrorText() const {
  if (outcome_ != TTdrCalibrationOutcome::Failed) return {};
  switch (values_.Code) {
    case tccSmallAmplitude:
      return GetLangStr("TDR_Ch_Cal_Er_1");
    case tccBadSlope:
      return GetLangStr("TDR_Ch_Cal_Er_2");
    default:
      return GetLangStr("TDR_Ch_Cal_Er_3");
  }
}

void TTdrChannelCalibration::Update() const {
  if (OnUpdate) OnUpdate();
}

void TTdrChannelCalibration::Close(bool ok) {
  if (OnClose) OnClose(ok);
}

void TTdrChannelCalibration::Finish(bool ok) {
  if (finished_) return;
  finished_ = true;
  if (Active == this) Active = nullptr;
  life_.End();
  // Only a calibration that reached its values stores them: a Cancel or a failure keeps
  // the channel's reference as it was.
  if (!ok || outcome_ != TTdrCalibrationOutcome::Succeeded) return;
  const TProcedureScope own(life_.Setup());
  TTdrChannelNodes& n = TdrChannel(channel_);
  if (tdr_) {
    n.RefAmpl->SetValueByProgram(values_.RefAmpl);
    n.BaseLine->SetValueByProgram(values_.BaseLine);
  } else {
    n.RefTDTAmpl->SetValueByProgram(values_.TdtAmpl);
    n.RefTDTZero->SetValueByProgram(values_.TdtZero);
  }
  n.RefPlane->SetValueByProgram(values_.RefPlane);
}

bool TTdrChannelCalibration::Conclude(bool accepted) {
  const bool ok = accepted && outcome_ == TTdrCalibrationOutcome::Succeeded;
  // The reference is made of the calibration's own record, before its end puts the user's
  // record back.
  if (ok && !tdr_) SaveReferenceToMemory();
  Finish(ok);
  return ok;
}

void TTdrChannelCalibration::SaveReferenceToMemory() {
  if (sum_.empty()) return;
  const TTraceId trace = ChannelTrace(channel_);
  TSignalObj& rec = SignalObjs()[trace];
  const double sign = TdrChannel(channel_).Polar->GetIndex() == 1 ? -1 : 1;
  const size_t n = std::min<size_t>(sum_.size(), kMaxRecLen);
  rec.SetRecLen(static_cast<uint16_t>(n));
  for (size_t i = 0; i < n; ++i) rec.SetY(static_cast<int>(i), sign * sum_[i]);
  CopySourceToMemory(trace, kM4);
  PushHint(GetLangStr("RefSavedIntiMem4"), kRefSavedNoticeMs, THintKeep::Drop, THintStyle::Normal);
}

bool RunTdrChannelCalibrationWithoutWindow(int channel, bool tdr) {
  TTdrChannelCalibration calibration(channel, tdr, true);
  bool closed = false, accepted = false;
  calibration.OnClose = [&](bool ok) {
    closed = true;
    accepted = ok;
  };
  try {
    if (!calibration.Start()) return false;
    if (!IdleStepsUntil([&] { return closed; })) ThrowIfClosing();
  } catch (...) {
    calibration.Finish(false);
    throw;
  }
  const bool ok = calibration.Conclude(accepted);
  // What the window's title and error line would have shown goes to the log instead.
  if (ok) {
    Dialogs().Inform(TMessageKind::Information, GetLangStr("CalibrationComplete"));
  } else if (calibration.Outcome() == TTdrCalibrationOutcome::Failed) {
    Dialogs().Inform(TMessageKind::Error, GetLangStr("CalibrationFailed") + ": " + calibration.ErrorText());
  }
  return ok;
}

void InstallTdrChannelCalibration() {
  AcqHooks.TDRChannelCalibrationStep.Set([] {
    if (Active) Active->Step();
  });
}

}  // namespace norv
