#pragma once
// The settings senders' path to the instrument through the command link: theirs unless
// another link is put in its place (SetSettingsLink, for tests).

#include "instrument/settings/setting_senders.h"

namespace norv {

ISettingsLink& CommandSettingsLink();

}  // namespace norv
