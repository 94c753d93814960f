#include "framework/settings/procedure_setup.h"

#include <algorithm>
#include <utility>

#include "framework/settings/settings_recall.h"

namespace norv {

namespace {

// Every set-up alive (a handler freed or replaced is followed in all of them), the one
// begun or made last first.
TProcedureSetup* First = nullptr;
// The set-up the changes in progress belong to; none: they go to the undo ring.
TProcedureSetup* InScope = nullptr;
// A procedure ends because someone sets what it works on: the change goes on in the undo
// step it belongs to (a recall's lines all in one).
bool EndingBeforeAChange = false;

template <class Lines>
auto LineOf(Lines& lines, const THandler* handler) {
  return std::find_if(lines.begin(), lines.end(),
                      [handler](const TUndoLine& l) { return l.Handler == handler; });
}

}  // namespace

TProcedureSetup::TProcedureSetup() { Link(); }

TProcedureSetup::~TProcedureSetup() {
  Unlink();
  if (InScope == this) InScope = nullptr;
}

TProcedureSetup::TProcedureSetup(TProcedureSetup&& other) noexcept
    : OnGroundMoved(std::move(other.OnGroundMoved)),
      lines_(std::move(other.lines_)),
      ground_(std::move(other.ground_)),
      switches_(std::move(other.switches_)),
      running_(std::exchange(other.running_, false)),
      followed_(std::exchange(other.followed_, false)) {
  other.Drop();
  Link();
}

TProcedureSetup& TProcedureSetup::operator=(TProcedureSetup&& other) noexcept {
  if (this == &other) return *this;
  OnGroundMoved = std::move(other.OnGroundMoved);
  lines_ = std::move(other.lines_);
  ground_ = std::move(other.ground_);
  switches_ = std::move(other.switches_);
  running_ = std::exchange(other.running_, false);
  followed_ = std::exchange(other.followed_, false);
  other.Drop();
  return *this;
}

void TProcedureSetup::Link() {
  next_ = First;
  if (First) First->prev_ = this;
  First = this;
}

void TProcedureSetup::Unlink() {
  if (prev_)
    prev_->next_ = next_;
  else if (First == this)
    First = next_;
  if (next_) next_->prev_ = prev_;
  prev_ = next_ = nullptr;
}

void TProcedureSetup::Begin(TUndoSnapshot taken, bool followed) {
  std::erase_if(taken, [](const TUndoLine& l) { return l.Handler == nullptr; });
  Drop();
  lines_ = std::move(taken);
  running_ = true;
  followed_ = followed;
  Unlink();
  Link();
  OpenNextStep();
}

void TProcedureSetup::HoldGround(THandler* handler) {
  if (handler && LineOf(ground_, handler) == ground_.end()) ground_.push_back({{}, handler});
}

void TProcedureSetup::HoldSwitch(THandler* handler, std::string savedAs) {
  if (handler && LineOf(switches_, handler) == switches_.end())
    switches_.push_back({std::move(savedAs), handler});
}

bool TProcedureSetup::Holds(const THandler* handler) const {
  // The switch's own change ends the procedure through its callback.
  const auto of = [handler](const TUndoLine& l) { return l.Handler == handler; };
  return running_ && std::none_of(switches_.begin(), switches_.end(), of) &&
         (std::any_of(ground_.begin(), ground_.end(), of) || std::any_of(lines_.begin(), lines_.end(), of));
}

void TProcedureSetup::Forget(const THandler* handler) {
  std::erase_if(lines_, [handler](const TUndoLine& l) { return l.Handler == handler; });
}

void TProcedureSetup::ForgetSwitches() {
  for (const TUndoLine& line : switches_) Forget(line.Handler);
}

TUndoSnapshot TProcedureSetup::TakeLines() {
  // Once ended, what its outcome set is no set-up to give back.
  TUndoSnapshot own = running_ ? std::move(lines_) : TUndoSnapshot{};
  std::erase_if(own, [](const TUndoLine& l) { return l.Handler == nullptr; });
  Drop();
  return own;
}

void TProcedureSetup::Drop() {
  running_ = false;
  followed_ = false;
  lines_.clear();
  ground_.clear();
  switches_.clear();
}

void TProcedureSetup::GiveBack() {
  // Held in set-ups of their own: a handler replaced on the way is followed in both.
  TProcedureSetup back, written;
  back.lines_ = TakeLines();
  if (!back.lines_.empty())
    RecallSettings(
        [&](std::vector<std::string>& skipped) {
          const TProcedureScope own(written);
          ReplayUndoLines([&] { return &back.lines_; }, [&] { return &written.lines_; }, skipped);
        },
        TRecallTold::LogOnly);
  OpenNextStep();
}

void TProcedureSetup::Keep() {
  const TUndoSnapshot kept = TakeLines();
  OpenNextStep();
  for (const TUndoLine& line : kept) line.Handler->WriteUndoLine([&line] { return line.Text; });
  OpenNextStep();
}

void TProcedureSetup::OpenNextStep() {
  if (UndoBuffer && UndoBuffer->Enabled && !EndingBeforeAChange) UndoBuffer->BeginStep();
}

bool TProcedureSetup::ProcedureCodeRuns() { return InScope != nullptr; }

TProcedureSetup* TProcedureSetup::FollowedSetup() {
  if (InScope || HandlerState.ChangeDepth > 0) return InScope;
  for (TProcedureSetup* s = First; s; s = s->next_)
    if (s->running_ && s->followed_) return s;
  return nullptr;
}

bool TProcedureSetup::RecordChange(THandler& handler, const std::function<std::string()>& oldText) {
  if (!InScope) return false;
  // Also in an ended set-up's scope: a replay writes what it replaces there.
  TProcedureSetup& setup = *InScope;
  if (LineOf(setup.lines_, &handler) == setup.lines_.end()) setup.lines_.push_back({oldText(), &handler});
  return true;
}

void TProcedureSetup::BeforeSetByOther(const THandler& handler) {
  if (InScope) return;
  // Each ending may end or begin others: looked for afresh after each.
  for (int rounds = 0; rounds < 8; ++rounds) {
    TProcedureSetup* holder = nullptr;
    for (TProcedureSetup* s = First; s && !holder; s = s->next_)
      if (s->OnGroundMoved && s->Holds(&handler)) holder = s;
    if (!holder) return;
    // Told once: a procedure that does not end on it keeps its set-up running.
    const auto told = std::exchange(holder->OnGroundMoved, {});
    struct TEnding {
      bool saved = std::exchange(EndingBeforeAChange, true);
      ~TEnding() { EndingBeforeAChange = saved; }
    } ending;
    told(handler);
  }
}

std::optional<std::string> TProcedureSetup::ValueBeforeProcedures(const THandler& handler) {
  // The one begun first holds the value from before them all.
  std::optional<std::string> before;
  for (TProcedureSetup* s = First; s; s = s->next_) {
    if (!s->running_) continue;
    if (const auto line = LineOf(s->lines_, &handler); line != s->lines_.end()) before = line->Text;
    if (const auto line = LineOf(s->switches_, &handler); line != s->switches_.end() && !line->Text.empty())
      before = line->Text;
  }
  return before;
}

void TProcedureSetup::ReplaceHandler(const THandler* handler, THandler* replacement) {
  for (TProcedureSetup* s = First; s; s = s->next_) {
    // Lines keep their places: a set-up being given back is replayed by index.
    for (TUndoLine& line : s->lines_)
      if (line.Handler == handler) line.Handler = replacement;
    for (TUndoSnapshot* held : {&s->ground_, &s->switches_}) {
      for (TUndoLine& line : *held)
        if (line.Handler == handler) line.Handler = replacement;
      std::erase_if(*held, [](const TUndoLine& l) { return l.Handler == nullptr; });
    }
  }
}

TProcedureScope::TProcedureScope(TProcedureSetup* setup) : saved_(std::exchange(InScope, setup)) {}

TProcedureScope::~TProcedureScope() { InScope = saved_; }

TOutsideProcedures::TOutsideProcedures()
    : TProcedureScope(nullptr), savedDepth_(std::exchange(HandlerState.ChangeDepth, 0)) {}

TOutsideProcedures::~TOutsideProcedures() { HandlerState.ChangeDepth = savedDepth_; }

}  // namespace norv
