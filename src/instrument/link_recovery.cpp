#include "instrument/link_recovery.h"

#include <optional>
#include <string>

#include "instrument/command_link.h"
#include "instrument/link_hooks.h"

namespace norv {

namespace {

std::optional<int64_t> FailureSinceMs;
bool FailureShown = false;
int FailureMessageId = -1;

constexpr int WarningStyle = 1;

}  // namespace

void ReportCommFailure(std::string_view text) {
  const int64_t now = LinkClock().NowMs();
  if (!FailureSinceMs) FailureSinceMs = now;
  if (now - *FailureSinceMs >= CommFailureNoticeDelayMs && !FailureShown && FailureMessageId < 0) {
    FailureShown = true;
    FailureMessageId = LinkHooks.PushHint(LinkHooks.LangText("CommunicationErr") + std::string(text), 0, true, WarningStyle);
  }
}

void ClearCommFailure() {
  FailureSinceMs.reset();
  if (!FailureShown) return;
  if (FailureMessageId >= 0) LinkHooks.RemoveHint(FailureMessageId);
  FailureMessageId = -1;
  FailureShown = false;
}

void ResyncAfterLinkRecovery() {
  LinkHooks.ResyncTrigger();
  LinkHooks.RefreshAcqSettings();
  LinkHooks.RefreshSysInfo();
  struct TForcedNotification {
    TForcedNotification() { LinkHooks.SetForceNotify(true); }
    ~TForcedNotification() { LinkHooks.SetForceNotify(false); }
  } forced;
  LinkHooks.RegisterAllCommandsSkip();
  LinkHooks.UpdateHelpMenuCaption();
  LinkHooks.ApplyAllSettings();
  LinkHooks.UpdateOptionButtons();
}

}  // namespace norv
