#pragma once
// The TDR/TDT side menu (menu 17): the mode and the way to the channel, horizontal,
// correction and measurement pages.

namespace norv {

void RegisterTdrPage();

}  // namespace norv
