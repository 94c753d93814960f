#include "framework/util/hook.h"

namespace norv {

namespace {
constinit THookBase* wired_hooks = nullptr;
}  // namespace

THookBase::THookBase(TWired wired) : wired_(wired.Name) { Enlist(); }

THookBase::THookBase(const THookBase& other) : wired_(other.wired_) {
  if (wired_) Enlist();
}

THookBase::~THookBase() {
  if (!wired_) return;
  if (prev_)
    prev_->next_ = next_;
  else
    wired_hooks = next_;
  if (next_) next_->prev_ = prev_;
}

void THookBase::Enlist() {
  next_ = wired_hooks;
  if (next_) next_->prev_ = this;
  wired_hooks = this;
}

std::vector<std::string> WiredHookNames(bool unfilledOnly) {
  std::vector<std::string> names;
  for (const THookBase* hook = wired_hooks; hook; hook = hook->next_)
    if (!unfilledOnly || !hook->IsSet()) names.emplace_back(hook->wired_);
  return names;
}

}  // namespace norv
