#include "framework/language/hint_stack.h"

#include <algorithm>

#include "framework/settings/program_objects.h"
#include "framework/text/text_case.h"
#include "framework/util/errors.h"

namespace norv {

struct THintStack::THint {
  std::string text;
  uint32_t id;
  THintKeep keep;
  THintStyle style;
  int32_t timeoutMs;
  std::unique_ptr<IHintWindow> window;
};

namespace {

constexpr int32_t kShortestKeptRemainderMs = 100;

}  // namespace

THintStack::THintStack(IClock& clock, ITimerFactory& timers) : clock_(clock), timer_(timers.CreateTimer()) {
  timer_->SetEnabled(false);
  timer_->OnTimer = [this] { TimerTick(); };
}

THintStack::~THintStack() { timer_->OnTimer = nullptr; }

void THintStack::ArmTimer(int32_t timeoutMs) {
  timer_->SetEnabled(false);
  timer_->SetInterval(timeoutMs);
  timer_->SetEnabled(true);
}

uint32_t THintStack::PushHint(std::string_view text, int32_t timeoutMs, THintKeep keep, THintStyle style) {
  timer_->SetEnabled(false);
  auto same =
      std::find_if(hints_.begin(), hints_.end(), [&](const auto& h) { return SameTextAscii(h->text, text); });
  uint32_t id;
  if (same != hints_.end() && same + 1 == hints_.end()) {
    THint& top = **same;
    if (top.keep != keep || top.style != style)
      throw EAssertion("ERROR!  Status message pushed again with another keep flag or style");
    top.timeoutMs = timeoutMs;
    if (timeoutMs >= 1) ArmTimer(timeoutMs);
    return top.id;
  }
  if (same != hints_.end()) {
    // Lower in the stack: it moves to the top under its old id; the present top stays
    // under it whatever its keep flag.
    id = (*same)->id;
    hints_.erase(same);
  } else {
    DropTop();
    id = ++lastId_;
  }
  hints_.push_back(std::make_unique<THint>(THint{std::string(text), id, keep, style, timeoutMs, nullptr}));
  ShowEntry(hints_.size() - 1);
  return id;
}

void THintStack::DropTop() {
  if (hints_.empty()) return;
  THint& top = *hints_.back();
  if (top.keep == THintKeep::Keep) {
    if (top.timeoutMs < 1) return;  // kept without a time-out: stays
    int64_t remaining = top.timeoutMs - (clock_.NowMs() - shownAt_);
    if (remaining >= kShortestKeptRemainderMs) {
      top.timeoutMs = static_cast<int32_t>(remaining);
      return;
    }
  }
  hints_.pop_back();
}

void THintStack::DrawText(THint& hint) {
  bool warning = hint.style == THintStyle::Warning;
  hint.window->ShowText(hint.text, warning ? kHintWarningText : kHintNormalText,
                        warning ? kHintWarningBack : kHintNormalBack, left_, top_, width_);
}

void THintStack::ShowEntry(size_t index) {
  if (index >= hints_.size()) throw EAssertion("ERROR!  Status message index out of range");
  THint& hint = *hints_[index];
  if (parent_ && !hint.window) {
    hint.window = parent_->CreateHintWindow();
    DrawText(hint);
  }
  if (hint.timeoutMs > 0) {
    shownAt_ = clock_.NowMs();
    ArmTimer(hint.timeoutMs);
  }
}

void THintStack::DeleteTopAndShowNext() {
  timer_->SetEnabled(false);
  hints_.pop_back();
  if (!hints_.empty()) ShowEntry(hints_.size() - 1);
}

void THintStack::TimerTick() {
  // A tick that arrives with nothing left to time out is stale and harmless.
  if (hints_.empty()) {
    timer_->SetEnabled(false);
    return;
  }
  DeleteTopAndShowNext();
}

void THintStack::RemoveHint(uint32_t id) {
  auto it = std::find_if(hints_.begin(), hints_.end(), [&](const auto& h) { return h->id == id; });
  if (it == hints_.end()) return;
  if (it + 1 == hints_.end()) {
    DeleteTopAndShowNext();
  } else {
    hints_.erase(it);
  }
}

uint32_t THintStack::ReplaceHint(uint32_t id, std::string_view text, int32_t timeoutMs, THintKeep keep,
                                 THintStyle style) {
  if (hints_.empty() || hints_.back()->id != id || hints_.back()->keep != keep ||
      hints_.back()->style != style)
    return PushHint(text, timeoutMs, keep, style);
  THint& top = *hints_.back();
  timer_->SetEnabled(false);
  // The entry takes the new text, so that showing the stack again shows what is current.
  top.text = std::string(text);
  if (top.window) DrawText(top);
  if (timeoutMs > 0) {
    top.timeoutMs = timeoutMs;
    shownAt_ = clock_.NowMs();
    ArmTimer(timeoutMs);
  }
  return id;
}

void THintStack::SetHintPlace(IHintParent* parent, int left, int top, int width) {
  for (auto& h : hints_) h->window.reset();
  parent_ = parent;
  left_ = left;
  top_ = top;
  width_ = width;
  if (!parent_ || hints_.empty()) return;
  // Windows are stacked in stack order; only the top's time-out runs.
  for (size_t i = 0; i + 1 < hints_.size(); ++i) {
    int32_t timeout = hints_[i]->timeoutMs;
    hints_[i]->timeoutMs = 0;
    ShowEntry(i);
    hints_[i]->timeoutMs = timeout;
  }
  ShowEntry(hints_.size() - 1);
}

std::vector<THintStack::TEntryView> THintStack::Entries() const {
  std::vector<TEntryView> out;
  for (const auto& h : hints_)
    out.push_back({h->text, h->id, h->keep, h->style, h->timeoutMs, h->window != nullptr});
  return out;
}

bool THintStack::TimerArmed() const { return timer_->Enabled(); }
int THintStack::TimerIntervalMs() const { return timer_->Interval(); }

namespace {
constinit TOwned<THintStack> ProgramHintStack;
}  // namespace

void InstallHintStack(std::unique_ptr<THintStack> stack) { ProgramHintStack = std::move(stack); }
THintStack* HintStack() { return ProgramHintStack.get(); }

uint32_t PushHint(std::string_view text, int32_t timeoutMs, THintKeep keep, THintStyle style) {
  return HintStack() ? HintStack()->PushHint(text, timeoutMs, keep, style) : 0;
}

void RemoveHint(uint32_t id) {
  if (HintStack()) HintStack()->RemoveHint(id);
}

uint32_t ReplaceHint(uint32_t id, std::string_view text, int32_t timeoutMs, THintKeep keep,
                     THintStyle style) {
  return HintStack() ? HintStack()->ReplaceHint(id, text, timeoutMs, keep, style) : 0;
}

}  // namespace norv
