#include "framework/util/hook.h"

namespace norv {

namespace {
constinit THookBase* all_hooks = nullptr;
}  // namespace

THookBase::THookBase(const char* name, THookKind kind) : name_(name), kind_(kind) {
  next_ = all_hooks;
  if (next_) next_->prev_ = this;
  all_hooks = this;
}

THookBase::~THookBase() {
  if (prev_)
    prev_->next_ = next_;
  else
    all_hooks = next_;
  if (next_) next_->prev_ = prev_;
}

std::vector<THookEntry> ListHooks() {
  std::vector<THookEntry> hooks;
  for (const THookBase* hook = all_hooks; hook; hook = hook->next_)
    hooks.push_back({hook->name_, hook->kind_, hook->IsSet()});
  return hooks;
}

}  // namespace norv
