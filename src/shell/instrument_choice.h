#pragma once
// The instrument the program starts with. Until the instrument list and its start-up
// dialogs join, the choice knows two entries: "Absent" (no instrument) and the simulator
// "Default Demo"; every other choice starts the simulator too, and says so.

#include <string>
#include <vector>

namespace norv {

// The command line's choice: its first argument unless that is a switch, with "_" read as
// a blank ("Default_Demo"); empty when there is none.
std::string InstrumentNameFromCommandLine(const std::vector<std::string>& args);

// Chooses and connects the start instrument and sets CurrentInstrumentName and the link
// kind. False when the user chose to end the program.
bool SelectAndConnectInstrumentAtStart(const std::vector<std::string>& args);

}  // namespace norv
