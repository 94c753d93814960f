#pragma once
// Noticing and recovering from a failed instrument link. The acquisition cycle reports a
// failure on every idle pass while it lasts; the user sees a notice only once the failure
// has lasted CommFailureNoticeDelayMs. After the link answers again and the identity has
// been read anew, the whole instrument state is sent again.

#include <string_view>

namespace norv {

inline constexpr int CommFailureNoticeDelayMs = 5000;

// Notes the failure; once it has lasted long enough, shows "CommunicationErr" followed by
// text as a kept status message (once until ClearCommFailure).
void ReportCommFailure(std::string_view text);
// The failure is over: forgets its start and takes the notice away.
void ClearCommFailure();
// Re-sends the instrument state after the link has come back.
void ResyncAfterLinkRecovery();

}  // namespace norv
