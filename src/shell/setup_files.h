#pragma once
// The setups the shell keeps: the user's default setup file, the factory default taken in
// memory at start-up, and the power-off setup written when the program closes. A setup
// file is the settings tree as text, one line per setting.
//
// Files are written whole to a temporary file beside the target and then renamed over
// it, so a crash while writing never leaves a damaged setup.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace norv {

enum class TSetupKind : uint8_t { Default = 0, Factory = 1, PowerOff = 2 };

// An instrument name as part of a file name: blanks and characters that cannot stand in a
// file name become '_'.
std::string InstrumentFileName(const std::string& instrument);
// "~SetpDefaultFor" or "~SetpPwrOffFor" + the current instrument + ".set".
std::filesystem::path SetupFilePath(TSetupKind kind);

// The factory default: a dump of every setting as registered and settled by the first
// apply of the start, before any setup is recalled.
void TakeFactoryDefaultSetup();

// Saves the current settings as that kind (the factory default is kept in memory, so
// saving it does nothing). Errors are shown ("File___NotSaved") when asked.
bool SaveSetup(TSetupKind kind, bool showErrors);
// Recalls the setup of that kind, as one undo step. Errors ("File___NotFound") when asked.
bool RecallSetup(TSetupKind kind, bool showErrors);

// Writes the settings to Path (temporary file, then rename); false on any failure, with
// the target left as it was. Loads them from it: a file of which no line names a setting is
// no setup and changes nothing; a line that cannot be recalled whole fails the load once
// the other lines are recalled. The text of an error, shown or not, goes to failure when
// given.
bool SaveSetupFile(const std::filesystem::path& path, bool showErrors, std::string* failure = nullptr);
bool LoadSetupFile(const std::filesystem::path& path, bool showErrors, std::string* failure = nullptr);

// While a setup is replayed, a line that cannot be recalled whole gives its reason here
// (the first one is kept), and the recall fails with it after its last line; false when no
// setup is replayed: the caller tells the failure itself.
bool FailSetupLine(const std::string& why);

}  // namespace norv
