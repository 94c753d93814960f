#pragma once
// Joins the channel, time-base, trigger and acquisition settings to the command link, the
// sample stream and the instrument identity: the facts the settings ask through their
// hooks, and the record settings, pattern-lock checks and resynchronisation the link asks
// of them. Called once at start-up.

namespace norv {

void InstallInstrumentSettings();

}  // namespace norv
