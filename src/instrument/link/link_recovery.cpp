#include "instrument/link/link_recovery.h"

#include <optional>
#include <string>

#include "framework/settings/handler.h"
#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_hooks.h"

namespace norv {

namespace {

std::optional<int64_t> FailureSinceMs;
std::optional<uint32_t> FailureNoticeId;  // the notice on show

}  // namespace

void ReportCommFailure(std::string_view text) {
  const int64_t now = ProgramClock().NowMs();
  if (!FailureSinceMs) FailureSinceMs = now;
  if (now - *FailureSinceMs >= CommFailureNoticeDelayMs && !FailureNoticeId) {
    FailureNoticeId = PushHint(GetLangStr("CommunicationErr") + std::string(text), 0, THintKeep::Keep,
                               THintStyle::Warning);
  }
}

void ClearCommFailure() {
  FailureSinceMs.reset();
  if (FailureNoticeId) RemoveHint(*FailureNoticeId);
  FailureNoticeId.reset();
}

void ResyncAfterLinkRecovery() {
  LinkHooks.ResyncTrigger();
  LinkHooks.RefreshAcqSettings();
  LinkHooks.RefreshSysInfo();
  struct TForcedNotification {
    TForcedNotification() { ForceNotify = true; }
    ~TForcedNotification() { ForceNotify = false; }
  } forced;
  LinkHooks.RegisterAllCommandsSkip();
  LinkHooks.UpdateHelpMenuCaption();
  LinkHooks.ApplyAllSettings();
  LinkHooks.UpdateOptionButtons();
}

}  // namespace norv
