#pragma once
// The limit tests' side menu (menu 9): the test chosen, its activity, the run-until rule,
// the actions and the condition on the first page; the band and the judgement of the
// chosen test on the second, reached by "Conditions...".

namespace norv {

inline constexpr int kLimitMenuId = 9;

void RegisterLimitPage();

}  // namespace norv
