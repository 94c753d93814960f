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
uint64_t BegunSetups = 0;

TUndoSnapshot::iterator LineOf(TUndoSnapshot& lines, const THandler* handler) {
  return std::find_if(lines.begin(), lines.end(),
                      [handler](const TUndoLine& l) { return l.Handler == handler; });
}

bool Holds(const std::vector<const THandler*>& list, const THandler* handler) {
  return std::find(list.begin(), list.end(), handler) != list.end();
}

}  // namespace

TProcedureSetup::TProcedureSetup() { Link(); }

TProcedureSetup::~TProcedureSetup() {
  Unlink();
  if (InScope == this) InScope = nullptr;
}

TProcedureSetup::TProcedureSetup(TProcedureSetup&& other) noexcept
    : lines_(std::move(other.lines_)),
      moved_(std::move(other.moved_)),
      running_(std::exchange(other.running_, false)),
      begun_(other.begun_) {
  other.lines_.clear();
  other.moved_.clear();
  Link();
}

TProcedureSetup& TProcedureSetup::operator=(TProcedureSetup&& other) noexcept {
  if (this == &other) return *this;
  lines_ = std::move(other.lines_);
  moved_ = std::move(other.moved_);
  running_ = std::exchange(other.running_, false);
  begun_ = other.begun_;
  other.lines_.clear();
  other.moved_.clear();
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

void TProcedureSetup::Begin(TUndoSnapshot taken) {
  std::erase_if(taken, [](const TUndoLine& l) { return l.Handler == nullptr; });
  lines_ = std::move(taken);
  moved_.clear();
  running_ = true;
  begun_ = ++BegunSetups;
  Unlink();
  Link();
  OpenNextStep();
}

TUndoSnapshot TProcedureSetup::TakeOwnLines() {
  TUndoSnapshot own;
  // Once ended, what its outcome set is no set-up to give back.
  if (running_)
    for (TUndoLine& line : lines_)
      if (line.Handler && !Holds(moved_, line.Handler)) own.push_back(std::move(line));
  Drop();
  return own;
}

void TProcedureSetup::Drop() {
  running_ = false;
  lines_.clear();
  moved_.clear();
}

void TProcedureSetup::GiveBack() {
  // Held in set-ups of their own: a handler replaced on the way is followed in both.
  TProcedureSetup back, written;
  back.lines_ = TakeOwnLines();
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
  const TUndoSnapshot kept = TakeOwnLines();
  OpenNextStep();
  for (const TUndoLine& line : kept) line.Handler->WriteUndoLine([&line] { return line.Text; });
  OpenNextStep();
}

void TProcedureSetup::OpenNextStep() {
  if (UndoBuffer && UndoBuffer->Enabled) UndoBuffer->BeginStep();
}

bool TProcedureSetup::AnyRunning() {
  for (const TProcedureSetup* s = First; s; s = s->next_)
    if (s->running_) return true;
  return false;
}

bool TProcedureSetup::RecordChange(THandler& handler, const std::function<std::string()>& oldText) {
  if (!InScope) return false;
  TProcedureSetup& setup = *InScope;
  const auto line = LineOf(setup.lines_, &handler);
  if (line == setup.lines_.end()) {
    setup.lines_.push_back({oldText(), &handler});
  } else if (Holds(setup.moved_, &handler)) {
    // It sets again what someone else set meanwhile: that value is the one to give back.
    line->Text = oldText();
    std::erase(setup.moved_, &handler);
  }
  return true;
}

uint64_t TProcedureSetup::BegunCount() { return BegunSetups; }

std::optional<std::string> TProcedureSetup::NoteChangedMeanwhile(const THandler& handler, uint64_t begunBy) {
  if (InScope) return std::nullopt;
  std::optional<std::string> before;
  for (TProcedureSetup* s = First; s; s = s->next_) {
    if (!s->running_ || s->begun_ > begunBy) continue;
    const auto line = LineOf(s->lines_, &handler);
    if (line == s->lines_.end() || Holds(s->moved_, &handler)) continue;
    if (!before) before = line->Text;
    s->moved_.push_back(&handler);
  }
  return before;
}

void TProcedureSetup::ReplaceHandler(const THandler* handler, THandler* replacement) {
  for (TProcedureSetup* s = First; s; s = s->next_) {
    // Lines keep their places: a set-up being given back is replayed by index.
    for (TUndoLine& line : s->lines_)
      if (line.Handler == handler) line.Handler = replacement;
    if (replacement)
      std::replace(s->moved_.begin(), s->moved_.end(), handler, static_cast<const THandler*>(replacement));
    else
      std::erase(s->moved_, handler);
  }
}

TProcedureScope::TProcedureScope(TProcedureSetup* setup) : saved_(std::exchange(InScope, setup)) {}

TProcedureScope::~TProcedureScope() { InScope = saved_; }

}  // namespace norv
