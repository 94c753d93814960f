#include "shell/instrument_choice.h"

#include <iostream>

#include "framework/text/text_case.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "shell/shell_state.h"

namespace norv {

std::string InstrumentNameFromCommandLine(const std::vector<std::string>& args) {
  if (args.empty() || args[0].empty() || args[0][0] == '-') return {};
  std::string name = args[0];
  for (char& c : name)
    if (c == '_') c = ' ';
  return name;
}

bool SelectAndConnectInstrumentAtStart(const std::vector<std::string>& args) {
  const std::string wanted = InstrumentNameFromCommandLine(args);
  LinkHooks.CurrentInstrumentName.Set([] { return CurrentInstrumentName; });
  if (SameTextAscii(wanted, kAbsentInstrument)) {
    CurrentInstrumentName = kAbsentInstrument;
    LinkKind = TLinkKind::None;
    return true;
  }
  if (!wanted.empty() && !SameTextAscii(wanted, kDemoInstrument))
    std::cerr << kApplicationTitle << ": \"" << wanted << "\" is no instrument known here; starting with \""
              << kDemoInstrument << "\"\n";
  CurrentInstrumentName = kDemoInstrument;
  LinkKind = TLinkKind::Demo;
  return true;
}

}  // namespace norv
