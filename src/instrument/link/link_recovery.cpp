#include "instrument/link/link_recovery.h"

#include <optional>
#include <string>

#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_hooks.h"

namespace norv {

namespace {

struct TLinkRecoveryState {
  std::optional<int64_t> FailureSinceMs;
  std::optional<uint32_t> FailureNoticeId;  // the notice on show
};
TLinkRecoveryState Recovery;
const TProgramUnit LinkRecoveryUnit("link recovery", [] { Recovery = {}; });

}  // namespace

void ReportCommFailure(std::string_view text) {
  const int64_t now = ProgramClock().NowMs();
  if (!Recovery.FailureSinceMs) Recovery.FailureSinceMs = now;
  if (now - *Recovery.FailureSinceMs >= CommFailureNoticeDelayMs && !Recovery.FailureNoticeId) {
    Recovery.FailureNoticeId =
        PushHint(GetLangStr("CommunicationErr") + std::string(text), 0, THintKeep::Keep, THintStyle::Warning);
  }
}

void ClearCommFailure() {
  Recovery.FailureSinceMs.reset();
  if (Recovery.FailureNoticeId) RemoveHint(*Recovery.FailureNoticeId);
  Recovery.FailureNoticeId.reset();
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
