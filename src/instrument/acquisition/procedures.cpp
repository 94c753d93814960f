#include "instrument/acquisition/procedures.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>
#include <vector>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_recall.h"
#include "framework/util/idle_pass.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"

namespace norv {

namespace {

constexpr const char* kNameKeys[] = {"",
                                     "procAutoscale",
                                     "procAutoCalibration",
                                     "procTdrChannelCalibration",
                                     "procTdrCorrection",
                                     "procOEDarkLevel",
                                     "procOEGain",
                                     "procPatternSearch",
                                     "procLowJitterReference",
                                     "procJitterAnalysis",
                                     "procOEConnection"};

// The lives running, the first started first: a procedure cuts only into the jitter
// analysis, so there are two at most. Never destroyed: the lives are objects of units whose
// order of destruction at the program's end is not known.
std::vector<TProcedureLife*>& Lives = *new std::vector<TProcedureLife*>;
// Messages of the user's procedures that came while a client's line ran.
struct TWaitingMessage {
  TMessageKind Kind;
  std::string Text;
};
std::vector<TWaitingMessage> WaitingMessages;
const TProgramUnit LivesUnit("procedures", [] {
  Lives.clear();
  WaitingMessages.clear();
});

// A question that stands on procedures' ground: it neither sets nor acquires anything.
bool OnlyAsks(TProcedure procedure) { return procedure == TProcedure::OEConnection; }

// A client's line runs: dialogs are suppressed for its scope.
bool ClientLineRuns() { return DialogState.Suppressed; }

// What a procedure's acquisitions write over of what the screen shows: the channels'
// records and those computed from them. The memories are the user's own store.
constexpr std::array kShownRecordTraces = {TTraceId::Ch1, TTraceId::Ch1B2, TTraceId::Ch2, TTraceId::Ch2B2,
                                           TTraceId::F1,  TTraceId::F2,    TTraceId::F3,  TTraceId::F4,
                                           TTraceId::S1,  TTraceId::S2};

std::vector<TSignalObj> TakeShownRecords() {
  std::vector<TSignalObj> records;
  records.reserve(kShownRecordTraces.size());
  for (const TTraceId id : kShownRecordTraces) records.push_back(SignalObjs()[id]);
  return records;
}

// The same axes, units and points: a record nothing was written over.
bool SameRecord(const TSignalObj& a, const TSignalObj& b) {
  const auto points = [](const double* data) { return std::span<const double>(data, kMaxRecLen); };
  return a.GetRecLen() == b.GetRecLen() && a.HasLength() == b.HasLength() &&
         a.IsSpectrum() == b.IsSpectrum() && a.GetX0() == b.GetX0() && a.GetDX() == b.GetDX() &&
         a.GetHorUnit() == b.GetHorUnit() && a.GetVertUnit() == b.GetVertUnit() &&
         a.GetVertScale() == b.GetVertScale() && a.GetVertOffset() == b.GetVertOffset() &&
         a.GetTdrUnitKind() == b.GetTdrUnitKind() && a.GetTdrAmplitude() == b.GetTdrAmplitude() &&
         a.GetTdrBase() == b.GetTdrBase() &&
         std::ranges::equal(points(a.StoredYData()), points(b.StoredYData())) &&
         std::ranges::equal(points(a.StoredImData()), points(b.StoredImData()));
}

void GiveShownRecordsBack(const std::vector<TSignalObj>& records) {
  if (records.size() != kShownRecordTraces.size()) return;
  // A record the procedure's acquisition still fills would go on writing over them.
  if (Acquiring) BreakAcquisition(false);
  bool any = false;
  for (size_t k = 0; k < records.size(); ++k) {
    TSignalObj& record = SignalObjs()[kShownRecordTraces[k]];
    if (SameRecord(record, records[k])) continue;
    record = records[k];
    // Measured and drawn again as the record it is.
    record.MarkChanged();
    any = true;
  }
  if (!any) return;
  AcqHooks.RedrawRecordsGivenBack();
  if (AcqHooks.DisplayFormatHasXY()) AcqHooks.RedrawXYScreen();
  CheckRecordScales();
}

}  // namespace

TProcedure RunningProcedure() { return Lives.empty() ? TProcedure::None : Lives.back()->Kind(); }

TProcedureLife* RunningLife() { return Lives.empty() ? nullptr : Lives.back(); }

std::string ProcedureName(TProcedure procedure) {
  return GetLangStr(kNameKeys[static_cast<size_t>(procedure)]);
}

bool TakesTheRun(TProcedure procedure) {
  return procedure != TProcedure::None && procedure != TProcedure::JitterAnalysis && !OnlyAsks(procedure);
}

bool AutoCalibrationWaits() {
  const TProcedure running = RunningProcedure();
  return running != TProcedure::None && running != TProcedure::JitterAnalysis;
}

bool RefusedBesideProcedure(TProcedure starting, const std::function<void()>& withdraw) {
  const TProcedure running = RunningProcedure();
  // The jitter analysis runs on the pattern lock, which the autoscale switches off: that
  // ends the analysis as the autoscale starts.
  if (running == TProcedure::None ||
      (running == TProcedure::JitterAnalysis && starting == TProcedure::Autoscale))
    return false;
  if (withdraw) withdraw();
  TellRefusedBeside(starting, running);
  return true;
}

void TellRefusedBeside(TProcedure starting, TProcedure running) {
  FailCommand(FormatLangStr("CannotStartBesideProcedure", ProcedureName(starting), ProcedureName(running)));
}

std::string MovedText(const THandler& moved) {
  const std::string path = HandlerPath(&moved);
  return FormatLangStr("ProcGroundMoved", path.empty() ? "?" : path);
}

std::string CancelledText(TProcedure procedure, const std::string& why) {
  return FormatLangStr("ProcCancelled", ProcedureName(procedure), why);
}

// --- a procedure's life -----------------------------------------------------------------

TProcedureLife::TProcedureLife(TProcedure kind) : kind_(kind) {}

TProcedureLife::~TProcedureLife() { Unregister(); }

bool TProcedureLife::Start(const std::function<void()>& withdraw, TUndoSnapshot taken,
                           bool intoJitterAnalysis) {
  // Asked for again while it runs, it is refused as one beside it, naming itself.
  const bool cutsIn = !running_ && intoJitterAnalysis && RunningProcedure() == TProcedure::JitterAnalysis;
  if (!cutsIn && RefusedBesideProcedure(kind_, withdraw)) return false;
  client_ = DialogsSuppressed();
  running_ = true;
  token_ = std::make_shared<int>();
  runSetMeanwhile_ = false;
  cancelReason_.clear();
  savedRun_ = RunFlag;
  savedSingle_ = SingleFlag;
  countsSaved_ = AcquisitionCycleExists();
  if (countsSaved_) savedCounts_ = AcquisitionCycle().EndedCycleCounts();
  Register();
  if (TakesTheRun(kind_)) shownRecords_ = TakeShownRecords();
  // A question sets nothing: no set-up (nor undo step) of its own.
  if (OnlyAsks(kind_)) return true;
  setup_.Begin(std::move(taken), true);
  AlsoHolds(setup_);
  return true;
}

void TProcedureLife::AlsoHolds(TProcedureSetup& setup) {
  setup.OnGroundMoved = [this](const THandler& moved) { Cancel(MovedText(moved)); };
}

void TProcedureLife::Abandon() {
  running_ = false;
  token_.reset();
  shownRecords_.clear();
  setup_.Drop();
  Unregister();
}

void TProcedureLife::Register() {
  if (std::find(Lives.begin(), Lives.end(), this) == Lives.end()) Lives.push_back(this);
}

void TProcedureLife::Unregister() { std::erase(Lives, this); }

TAnswer TProcedureLife::Ask(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
                            TAnswer defaultAnswer) const {
  const TAnswer escape = buttons.empty() ? defaultAnswer : buttons.back();
  if (!running_) return escape;
  const std::weak_ptr<int> life = token_;
  const TDialogsSuppressed quiet(client_);
  const TAnswer answer = Dialogs().Ask(kind, text, buttons, defaultAnswer);
  return life.expired() ? escape : answer;
}

void TProcedureLife::Tell(TMessageKind kind, const std::string& text) const {
  if (!client_ && ClientLineRuns()) {
    WaitingMessages.push_back({kind, text});
    return;
  }
  const TDialogsSuppressed quiet(client_);
  Dialogs().Inform(kind, text);
}

void TProcedureLife::AskThen(TMessageKind kind, std::string text, std::vector<TAnswer> buttons,
                             TAnswer defaultAnswer, std::function<void(TAnswer)> then) {
  std::weak_ptr<int> life = token_;
  OutsideIdlePass([this, life, kind, text = std::move(text), buttons = std::move(buttons), defaultAnswer,
                   then = std::move(then)] {
    if (life.expired()) return;
    const TAnswer answer = Ask(kind, text, buttons, defaultAnswer);
    if (life.expired()) return;
    // What the answer sets up is the procedure's own, as its step's is.
    const TProcedureScope own(setup_);
    then(answer);
  });
}

bool TProcedureLife::SetUp(const std::function<void()>& setUp, const std::function<void()>& withdraw,
                           const THandler& endsOn) {
  if (!running_) return false;
  {
    struct TSettingUp {
      TProcedureLife& life;
      ~TSettingUp() { life.settingUp_ = false; }
    } settingUp{*this};
    settingUp_ = true;
    endedSettingUp_ = false;
    const TProcedureScope own(setup_);
    setUp();
  }
  if (!endedSettingUp_) return true;
  // The switch that started it goes off with the withdrawal, not back on with the set-up.
  setup_.ForgetSwitches();
  End();
  if (withdraw) withdraw();
  FailCommand(FormatLangStr("ProcEndedBySetUp", ProcedureName(kind_), HandlerPath(&endsOn)));
  return false;
}

void TProcedureLife::End(bool keepSetup) {
  if (!running_) return;
  if (settingUp_) {
    endedSettingUp_ = true;
    return;
  }
  running_ = false;
  token_.reset();
  if (!OnlyAsks(kind_)) {
    if (keepSetup)
      setup_.Keep();
    else
      setup_.GiveBack();
    GiveRunBack();
  }
  Unregister();
  // The records go with the set-up: a set-up kept is the procedure's result, and so are
  // the records it took with it.
  const std::vector<TSignalObj> shown = std::exchange(shownRecords_, {});
  if (!keepSetup) GiveShownRecordsBack(shown);
}

void TProcedureLife::GiveRunBack() {
  const bool countsTaken = countsSaved_ && TakesTheRun(kind_) && AcquisitionCycleExists();
  if (runSetMeanwhile_) {
    // A run started meanwhile counts from its own first cycle, not on from the procedure's.
    if (countsTaken) AcquisitionCycle().RestartCounts();
    return;
  }
  SingleFlag = savedSingle_;
  AcqHooks.NotifyStopSingleSwitchers();
  SetRunFlag(savedRun_);
  // The user's run goes on counting where it stood: its saves are numbered on. (The
  // jitter analysis's acquisitions were the run's own.)
  if (savedRun_ && countsTaken) AcquisitionCycle().SetCycleCounts(savedCounts_);
}

void TProcedureLife::Cancel(const std::string& why) {
  if (!running_) return;
  if (settingUp_) {
    endedSettingUp_ = true;
    return;
  }
  cancelReason_ = why;
  if (OnCancel) OnCancel();
  End();
  if (!why.empty()) Tell(TMessageKind::Warning, CancelledText(kind_, why));
}

// --- the ways out -----------------------------------------------------------------------

void NoteRunSetByActor() {
  if (TProcedureSetup::ProcedureCodeRuns()) return;
  for (TProcedureLife* life : Lives) life->runSetMeanwhile_ = true;
  // A run started again while it runs counts from its first cycle, as one started stopped.
  if (AcquisitionCycleExists()) AcquisitionCycle().RestartCounts();
}

void CancelProcedureForStop() {
  if (TProcedureSetup::ProcedureCodeRuns()) return;
  if (TProcedureLife* life = RunningLife(); life && TakesTheRun(life->Kind()))
    life->Cancel(GetLangStr("ProcStopped"));
}

void CancelAllProcedures(const std::string& why) {
  // The innermost first: the one it cut into gets its ground back before it ends.
  for (int guard = 0; guard < 8 && !Lives.empty(); ++guard) {
    TProcedureLife* life = Lives.back();
    life->Cancel(why);
    // A life that would not end leaves the registry all the same.
    std::erase(Lives, life);
  }
}

bool ProcedureStepsWait() {
  const TProcedureLife* life = RunningLife();
  return life && TakesTheRun(life->Kind()) && !life->ForClient() && ClientLineRuns();
}

void TellWaitingProcedureMessages() {
  if (WaitingMessages.empty() || ClientLineRuns()) return;
  std::vector<TWaitingMessage> waiting = std::exchange(WaitingMessages, {});
  for (const TWaitingMessage& m : waiting) Dialogs().Inform(m.Kind, m.Text);
}

}  // namespace norv
