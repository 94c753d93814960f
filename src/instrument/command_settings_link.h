#pragma once
// The settings senders' path to the instrument through the command link. The program
// installs it at start: SetSettingsLink(&CommandSettingsLink()).

#include "instrument/setting_senders.h"

namespace norv {

ISettingsLink& CommandSettingsLink();

}  // namespace norv
