#pragma once
// The texts of the About box and of the instrument information window, and the
// information report sent to the maker's service.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "instrument/link/instrument_identity.h"

namespace norv {

// "3.12.1  (2012, May 3)": the numbers up to the first missing one, then the date.
std::string FormatVersion(const TSHW_Ver& ver);
// The program's own version record and its file version "major.minor.release.build".
TSHW_Ver ProgramVersionRecord();
std::string ProgramFileVersion();
// "%4.2f°C".
std::string FormatTemperature(double celsius);

// The report: its general part (identity and a fresh temperature), then the adjustment and
// calibration parts, lines ended by CR LF.
std::string BuildInfoReport(double temperature);

// The file that keeps the folder of the last report, in the user's own folder of the
// temporary folder (PrivateTempDir()); empty when there is none, and then nothing is kept.
std::filesystem::path InfoFileDirIni();
std::string ReadInfoFileDir();
void WriteInfoFileDir(const std::string& folder);

// "Save Info File": warns of unstored calibration constants, asks where, writes the report and keeps its
// folder. False when cancelled or when the file could not be written ("Error Creating File " + name).
bool SaveInfoFile(double temperature);

}  // namespace norv
