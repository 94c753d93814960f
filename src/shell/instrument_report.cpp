#include "shell/instrument_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "framework/language/language.h"
#include "framework/text/ini_file.h"
#include "framework/util/dialog_service.h"
#include "framework/util/file_io.h"
#include "framework/util/program_dir.h"
#include "instrument/startup/mac_address.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kInfoFileDirSection = "Global";
constexpr const char* kInfoFileDirKey = "InfoFileDir";
constexpr const char* kTempFolderDefault = "%TEMP%";

std::string Line(const std::string& text) { return text + "\r\n"; }

}  // namespace

std::string FormatVersion(const TSHW_Ver& ver) {
  std::string text;
  for (size_t i = 0; i < ver.Num.size() && ver.Num[i] >= 0; ++i)
    text += (i > 0 ? "." : "") + std::to_string(ver.Num[i]);
  if (ver.Date[0] < 0) return text;
  text += "  (" + std::to_string(ver.Date[0]);
  if (ver.Date[1] < 0) return text + ")";
  const int month = ver.Date[1];
  text += ", " + (month >= 1 && month <= 12 ? std::string(kMonths[month - 1]) : std::to_string(month));
  if (ver.Date[2] < 0) return text + ")";
  return text + " " + std::to_string(ver.Date[2]) + ")";
}

TSHW_Ver ProgramVersionRecord() {
  TSHW_Ver ver{.Text = kProgramVersionText};
  ParseVersionText(ver);
  return ver;
}

std::string ProgramFileVersion() {
  const TSHW_Ver ver = ProgramVersionRecord();
  std::string text;
  for (size_t i = 0; i < ver.Num.size(); ++i)
    text += (i > 0 ? "." : "") + std::to_string(ver.Num[i] < 0 ? 0 : ver.Num[i]);
  return text;
}

std::string FormatTemperature(double celsius) {
  char text[32];
  std::snprintf(text, sizeof text, "%4.2f", celsius);
  return std::string(text) + "\u00B0C";
}

std::string BuildInfoReport(double temperature) {
  const TInstrumentIdentity& id = InstrumentIdentity;
  std::string report = Line("\tGENERAL") + Line(std::string(28, '-')) + Line("");
  report += Line("Model: " + ModelName(id.ModelCode, id.SerialNo, false));
  report += Line("Options: " + OptionNamesText(id.ModelCode, id.Options, false));
  report += Line("Year: " + std::to_string(id.Year));
  report += Line("Serial Number: " + SerialNumberText());
  report += Line("FPGA FW Version: " + FormatVersion(id.FPGAVer));
  report += Line("FW Version: " + FormatVersion(id.SWVer));
  report += Line("SW Version: " + FormatVersion(ProgramVersionRecord()));
  if (HasLANOption()) {
    std::string mac = FormatMacAddress(id.MAC, true);
    std::transform(mac.begin(), mac.end(), mac.begin(), [](unsigned char c) { return std::tolower(c); });
    report += Line("MAC Address: " + mac);
  }
  report += Line("Temperature: " + FormatTemperature(temperature));
  return report + ShellHooks.InfoReportConstants();
}

std::filesystem::path InfoFileDirIni() {
  // Not in the shared temporary folder itself, where another user could make it first.
  const std::filesystem::path folder = PrivateTempDir();
  return folder.empty() ? folder : folder / "VexilorNorv_InfoFileDir.ini";
}

std::string ReadInfoFileDir() {
  const std::filesystem::path file = InfoFileDirIni();
  if (file.empty()) return kTempFolderDefault;
  TIniFile_Dot ini(file);
  return ini.ReadString(kInfoFileDirSection, kInfoFileDirKey, kTempFolderDefault);
}

void WriteInfoFileDir(const std::string& folder) {
  const std::filesystem::path file = InfoFileDirIni();
  if (file.empty()) return;
  TIniFile_Dot ini(file);
  ini.WriteString(kInfoFileDirSection, kInfoFileDirKey, folder);
}

bool SaveInfoFile(double temperature) {
  if (ShellHooks.CalibrationChanged() &&
      Dialogs().Ask(TMessageKind::Warning, GetLangStr("lostWhenSaveInfoFile"), {TAnswer::OK, TAnswer::Cancel},
                    TAnswer::OK) != TAnswer::OK)
    return false;
  std::string folder = ReadInfoFileDir();
  if (folder == kTempFolderDefault) folder = TempDir().string();
  const std::optional<TFileChoice> choice = Dialogs().ChooseFile({.Save = true,
                                                                  .Title = GetLangStr("SaveInfoFileAs"),
                                                                  .Filter = "Text file (*.txt)|*.txt",
                                                                  .FileName = "VexilorNorv_Info",
                                                                  .Folder = folder});
  if (!choice) return false;
  std::filesystem::path file = choice->FileName;
  if (!file.has_extension()) file += ".txt";
  if (!WriteFileAtomically(file, BuildInfoReport(temperature))) {
    Dialogs().Inform(TMessageKind::Error, "Error Creating File " + file.string());
    return false;
  }
  WriteInfoFileDir(file.parent_path().string());
  return true;
}

}  // namespace norv
