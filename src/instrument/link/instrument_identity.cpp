#include "instrument/link/instrument_identity.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <limits>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "framework/text/ini_file.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_hooks.h"

namespace norv {

TIdentityState IdentityState;

namespace {

const TProgramUnit IdentityUnit("instrument identity", [] { IdentityState = {}; });

constexpr int DemoBlocks = 4;
constexpr uint8_t DemoDefaultModel = 4;
constexpr uint16_t DemoMinYear = 2009;
constexpr uint16_t YearBase = 2000;

const char* const ModelNames[] = {"Vexilor Norv-L0",  "Vexilor Norv-L1",  "Vexilor Norv-L2",
                                  "Vexilor Norv-L0E", "Vexilor Norv-L1E", "Vexilor Norv-L2E",
                                  "Vexilor Norv-L3E", "Vexilor Norv-L4E", "Vexilor Norv-K0"};
constexpr uint8_t ModelCount = 9;
constexpr uint8_t LastLxxModel = 8;

bool IsKnownModel(uint8_t model) { return model >= 1 && model <= ModelCount; }

bool HasOption(uint8_t bit) {
  return IsKnownModel(InstrumentIdentity.ModelCode) && (InstrumentIdentity.Options & bit) != 0;
}

bool FitsIn(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

bool IsBlank(char c) { return c == ' '; }

// Reads up to maxCount numbers at text[pos..] into numbers (the rest -1): digits, then any
// run of the separators, again while a digit follows. A number beyond the 16-bit range
// ends the reading and stays -1.
template <size_t N>
void ReadVersionNumbers(std::string_view text, size_t& pos, std::string_view separators,
                        std::array<int16_t, N>& numbers) {
  numbers.fill(-1);
  auto isDigit = [&](size_t i) {
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
  };
  for (size_t k = 0; k < N && isDigit(pos); ++k) {
    int32_t value = 0;
    for (; isDigit(pos); ++pos) {
      value = value * 10 + (text[pos] - '0');
      if (value > std::numeric_limits<int16_t>::max()) return;
    }
    numbers[k] = static_cast<int16_t>(value);
    while (pos < text.size() && separators.find(text[pos]) != std::string_view::npos) ++pos;
  }
}

void SkipToDigit(std::string_view text, size_t& pos) {
  while (pos < text.size() && !std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
}

TSHW_Ver DemoVersion() {
  TSHW_Ver ver;
  ver.Text = "11.1.1 (20 Jan 2008)";
  ver.Num = {11, 1, 1, -1};
  ver.Date = {2008, 1, 20};
  return ver;
}

std::array<uint8_t, 6> BuiltInMac(uint8_t first) {
  return {first, 0x55, 0x01, 0x7E, 0x08, static_cast<uint8_t>(InstrumentIdentity.SerialNo & 0xFF)};
}

// Reads the five fields of "Info:IndivData?" into id, each only when it is a number in its
// range; false at the first field that is missing, not a number or out of range.
bool ParseIndivData(std::string_view reply, TInstrumentIdentity& id) {
  static constexpr int32_t High[5] = {255, 255, 255, 65535 - YearBase, 65535};
  size_t pos = 0;
  for (int k = 0; k < 5; ++k) {
    while (pos < reply.size() && IsBlank(reply[pos])) ++pos;
    size_t end = std::min(reply.find(' ', pos), reply.size());
    int32_t value;
    if (!ParseReplyInt(reply.substr(pos, end - pos), value) || !FitsIn(value, 0, High[k])) return false;
    switch (k) {
      case 0:
        id.IndivBlock = static_cast<uint8_t>(value);
        break;
      case 1:
        id.ModelCode = FlashCodeToModel(static_cast<uint8_t>(value));
        break;
      case 2:
        id.Options = static_cast<uint8_t>(255 - value);
        break;
      case 3:
        id.Year = static_cast<uint16_t>(value + YearBase);
        break;
      case 4:
        id.SerialNo = static_cast<uint16_t>(value);
        break;
    }
    pos = end;
  }
  return true;
}

using TDemoBlock = std::array<int32_t, 4>;  // flash code, option code, year - 2000, serial
constexpr const char* DemoBlockKeys[4] = {"ModelFlashCode", "OptionCode", "Year", "SerNo"};

std::string DemoBlockKey(int block, int field) {
  return Format_Dot("Block %d %s", block, DemoBlockKeys[field]);
}

std::string DemoSection(const std::string& name) { return name + " Instrument"; }

constexpr TDemoBlock AbsentDemoBlock{255, 255, 255, 65535};
constexpr TDemoBlock EmptyDemoBlock{0, 0, 0, 0};

}  // namespace

bool ReadIndivData() {
  if (!IsInstrumentConnected()) {
    if (LinkKind == TLinkKind::Demo) ReadDemoUnit(LinkHooks.CurrentInstrumentName());
    return true;
  }
  const std::string reply = QueryCommand(IndivDataQuery);
  if (IsTimeoutReply(reply)) return false;

  TInstrumentIdentity& id = InstrumentIdentity;
  id.IndivBlock = 0;
  id.ModelCode = 0;
  const bool valid = ParseIndivData(reply, id);
  if (id.IndivBlock > 254 && !IdentityState.OldFirmwareShown) {
    IdentityState.OldFirmwareShown = true;
    LinkHooks.ShowMessage("Блок индив. данных = 255; Надо перепрошить FW v3.10.4 or later");
  }
  if (!valid || id.IndivBlock == 0 || id.IndivBlock > 254) {
    id.IndivBlock = 0;
    id.Options = 0;
    id.SerialNo = 0;
    id.Year = YearBase;
  }

  id.SWVer.Text = QueryCommand("Info:GetVer:SW?");
  ParseVersionText(id.SWVer);
  id.FPGAVer.Text = "0." + std::to_string(QueryInt("Info:GetVer:FPGAFW"));
  ParseVersionText(id.FPGAVer);
  if (HasLANOption()) ReadMacAddress(id.MAC);
  ProductNameHook.Set(GetProductName);
  return true;
}

void ReadDemoUnit(const std::string& name) {
  TIniFile_Dot ini(ProgramDir() / DemoUnitsFileName);
  const std::string section = DemoSection(name);
  // A value out of its range reads as absent.
  auto readBlock = [&](int n) {
    TDemoBlock block;
    for (int k = 0; k < 4; ++k) {
      const int32_t value = ini.ReadInteger(section, DemoBlockKey(n, k), AbsentDemoBlock[k]);
      block[k] = FitsIn(value, 0, AbsentDemoBlock[k]) ? value : AbsentDemoBlock[k];
    }
    return block;
  };

  int blockNo = 1;
  TDemoBlock block{};
  bool found = false;
  try {
    block = readBlock(1);
    found = block != AbsentDemoBlock;
    if (block == EmptyDemoBlock) {
      found = false;
      for (int n = 2; n <= DemoBlocks && !found; ++n) {
        block = readBlock(n);
        found = block != EmptyDemoBlock;
        blockNo = n;
      }
    }
  } catch (const EIniFileError& e) {
    // The simulator goes on as the default model; the file is left as it is.
    found = false;
    LinkHooks.ShowMessage(e.what());
  }

  TInstrumentIdentity& id = InstrumentIdentity;
  if (found) {
    id.ModelCode = FlashCodeToModel(static_cast<uint8_t>(block[0]));
    if (id.ModelCode <= 3) id.ModelCode = static_cast<uint8_t>(id.ModelCode + 3);
    id.Year = std::max<uint16_t>(static_cast<uint16_t>(block[2] + YearBase), DemoMinYear);
    id.IndivBlock = static_cast<uint8_t>(blockNo);
    id.Options = static_cast<uint8_t>(255 - block[1]);
    id.SerialNo = static_cast<uint16_t>(block[3]);
  } else {
    id.IndivBlock = 0;
    id.ModelCode = DemoDefaultModel;
    id.Options = 0;
    id.Year = DemoMinYear;
    id.SerialNo = 1;
  }
  id.SWVer = DemoVersion();
  id.FPGAVer = DemoVersion();
  id.FPGAVer.Date[0] = -1;
  id.MAC = BuiltInMac(0x0A);
  ProductNameHook.Set(GetProductName);
}

void WriteDemoUnit(const std::string& name, int block, int modelFlashCode, int optionCode, int year,
                   int serNo, bool eraseFirst) {
  TIniFile_Dot ini(ProgramDir() / DemoUnitsFileName);
  const std::string section = DemoSection(name);
  if (eraseFirst) ini.EraseSection(section);
  const TDemoBlock values{modelFlashCode, optionCode, year, serNo};
  for (int k = 0; k < 4; ++k) ini.WriteInteger(section, DemoBlockKey(block, k), values[k]);
}

void ParseVersionText(TSHW_Ver& ver) {
  const std::string_view text = ver.Text;
  size_t pos = 0;
  SkipToDigit(text, pos);
  ReadVersionNumbers(text, pos, " ,-._", ver.Num);
  pos = std::min(text.find('(', pos), text.size());
  ver.Date.fill(-1);
  if (text.size() - pos > 5) {
    SkipToDigit(text, pos);
    ReadVersionNumbers(text, pos, " ,-._/", ver.Date);
  }
}

bool VersionAtLeast(const TSHW_Ver& ver, std::initializer_list<int> required) {
  size_t i = 0;
  for (int need : required) {
    if (i == ver.Num.size()) break;
    const int have = ver.Num[i++];
    if (have != need) return need < have;
  }
  return true;
}

uint8_t FlashCodeToModel(uint8_t flashCode) {
  if (flashCode >= 1 && flashCode <= 3) return flashCode;
  return static_cast<uint8_t>(259 - flashCode);
}

// The mapping is its own inverse.
uint8_t ModelToFlashCode(uint8_t model) { return FlashCodeToModel(model); }

bool IsLxxModel() {
  return InstrumentIdentity.ModelCode >= 1 && InstrumentIdentity.ModelCode <= LastLxxModel;
}
bool IsKxxModel() { return InstrumentIdentity.ModelCode == ModelCount; }

bool HasClockRecoveryOption() { return HasOption(OptClockRecoveryTrig); }
bool NewTimingLogic() {
  return VersionAtLeast(InstrumentIdentity.SWVer, {3, 7, 4}) &&
         VersionAtLeast(InstrumentIdentity.FPGAVer, {0, 3});
}

bool HasPatSyncTrigOption() { return HasOption(OptPatSyncTrig); }
bool HasGeneratorsOption() { return HasOption(OptGenerators); }
bool HasTDROption() { return HasOption(OptGenerators); }
bool HasOpticsOption() { return HasOption(OptOptics); }
bool HasLANOption() { return HasOption(OptLAN); }
bool JitterOptionAvailable() { return false; }
bool NeverTrue() { return false; }
bool AlwaysFalseSuoData() { return false; }

std::string ModelName(uint8_t model, uint16_t serialNo, bool showCode) {
  if (serialNo == 42) model = static_cast<uint8_t>(model + 3);
  std::string text = IsKnownModel(model) ? ModelNames[model - 1] : "Unknown Model";
  if (showCode) text += Format_Dot("  (%d)", ModelToFlashCode(model));
  return text;
}

std::string OptionName(uint8_t model, int bit, bool showCode) {
  if (bit == BasicOptions) return showCode ? " Basic  (255)" : "";
  if (bit <= 0 || bit > 128 || (bit & (bit - 1)) != 0) throw EAssertion("OptionNum must be power 2");
  static constexpr const char* Keys[8] = {"optClockRecoveryTrig",
                                          "optPatSyncTrig",
                                          "optGenerators",
                                          "optOptics",
                                          "optTDT",
                                          "optJitter",
                                          nullptr,
                                          "optLAN"};
  const char* key = Keys[std::countr_zero(static_cast<unsigned>(bit))];
  std::string text = (model >= 1 && model <= LastLxxModel && key) ? GetLangStr(key) : "";
  if (showCode) text += Format_Dot("  (~%.2x)", bit);
  return text;
}

std::string OptionNamesText(uint8_t model, uint8_t options, bool showCode) {
  std::string text;
  for (int bit = 1; bit <= 128; bit <<= 1) {
    if (options & bit) text += " + " + OptionName(model, bit, showCode);
  }
  return text;
}

std::string SerialNumberText() {
  const TInstrumentIdentity& id = InstrumentIdentity;
  if (id.SerialNo <= 1000) return Format_Dot("%.4d", id.SerialNo);
  if (!VersionAtLeast(id.SWVer, {3, 12})) {
    LinkHooks.ShowMessage("Bad FW Fersion for S/N > 1000");
    return Format_Dot("%.4d", id.SerialNo);
  }
  const char* prefix;
  switch (id.ModelCode) {
    case 4:
    case 8:
      prefix = "QX301 / %d";
      break;
    case 5:
      prefix = "QX302 / %d";
      break;
    case 6:
      prefix = "QX303 / %d";
      break;
    case 7:
      prefix = "QX304 / %d";
      break;
    default:
      prefix = "??? / %d";
      LinkHooks.ShowMessage("Bad Model for S/N > 1000");
  }
  return Format_Dot(prefix, id.SerialNo - 1000);
}

bool ParseMacAddress(std::string_view text, std::array<uint8_t, 6>& mac) {
  std::string blanks(text);
  for (char& c : blanks) {
    if (c == '.') c = ' ';
  }
  mac.fill(255);
  size_t pos = 0;
  for (size_t k = 0; k < mac.size(); ++k) {
    while (pos < blanks.size() && IsBlank(blanks[pos])) ++pos;
    size_t end = blanks.size();
    if (k + 1 < mac.size()) {
      end = blanks.find(' ', pos);
      if (end == std::string::npos) return false;
    }
    int32_t value;
    if (!ParseReplyInt(std::string_view(blanks).substr(pos, end - pos), value) || !FitsIn(value, 0, 255))
      return false;
    mac[k] = static_cast<uint8_t>(value);
    pos = end;
  }
  return true;
}

void ReadMacAddress(std::array<uint8_t, 6>& mac) {
  if (VersionAtLeast(InstrumentIdentity.SWVer, {3, 9, 4})) {
    ParseMacAddress(QueryCommand("Info:TCPIP:GETMAC?"), mac);
  } else {
    mac = BuiltInMac(0x05);
  }
}

std::string GetProductName() {
  if (InstrumentIdentity.Year == 2008) return "Vexilor Norv";
  return ModelName(InstrumentIdentity.ModelCode, InstrumentIdentity.SerialNo, false);
}

std::string GetProductKind() { return GetLangStr("SamplingOscilloscope"); }

double BandwidthGHz(bool wide) { return wide ? 12.0 : 8.0; }

std::string BuildMainCaption(bool connected) {
  if (!connected) return "Tarvel Technology.    Instrument not connected";
  return "Tarvel Technology    " + GetProductName() + "    " + GetProductKind() + " 12 GHz";
}

}  // namespace norv
