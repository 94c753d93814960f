#pragma once
// Who the instrument is: model, installed options, year, serial number, firmware and
// logic versions and MAC address. Read from the instrument after every connection and
// link recovery; a demo instrument takes it from "DemoUnits.ini". The option checks and
// VersionAtLeast decide menus and commands everywhere.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace norv {

// A version text and its numbers; a missing number is -1.
struct TSHW_Ver {
  std::string Text;
  std::array<int16_t, 4> Num{};   // the version proper
  std::array<int16_t, 3> Date{};  // the date part
};

struct TInstrumentIdentity {
  uint8_t IndivBlock = 0;  // block of individual data the instrument reports; 0 = none valid
  uint8_t ModelCode = 0;   // 1..9 (ModelName)
  uint8_t Options = 0;     // installed option bits
  uint16_t Year = 0;
  uint16_t SerialNo = 0;
  TSHW_Ver SWVer;    // firmware
  TSHW_Ver FPGAVer;  // logic
  std::array<uint8_t, 6> MAC{};
};

struct TIdentityState {
  TInstrumentIdentity InstrumentIdentity;
  // The request for newer firmware has been shown (once per run).
  bool OldFirmwareShown = false;
};

extern TIdentityState IdentityState;
inline constinit TInstrumentIdentity& InstrumentIdentity = IdentityState.InstrumentIdentity;

// Option bits.
inline constexpr uint8_t OptClockRecoveryTrig = 1;
inline constexpr uint8_t OptPatSyncTrig = 2;
inline constexpr uint8_t OptGenerators = 4;  // also TDR/TDT
inline constexpr uint8_t OptOptics = 8;
inline constexpr uint8_t OptTDT = 16;
inline constexpr uint8_t OptJitter = 32;
inline constexpr uint8_t OptLAN = 128;
inline constexpr uint8_t BasicOptions = 255;  // the name " Basic" in OptionName

inline constexpr const char* DemoUnitsFileName = "DemoUnits.ini";
// The query of the individual data, also the first question after a connection.
inline constexpr std::string_view IndivDataQuery = "Info:IndivData?";

// Fills InstrumentIdentity from the connected instrument (or, for a demo instrument, from
// "DemoUnits.ini"). False only when the instrument did not answer; the identity is then
// unchanged. Individual data that is incomplete or out of range is reset to "none".
bool ReadIndivData();
// The identity of the demo instrument Name.
void ReadDemoUnit(const std::string& name);
// Writes block 1..4 of Name's section of "DemoUnits.ini", erasing the section first when
// asked. Year counts from 2000.
void WriteDemoUnit(const std::string& name, int block, int modelFlashCode, int optionCode, int year,
                   int serNo, bool eraseFirst);

void ParseVersionText(TSHW_Ver& ver);
// Compares the numbers of ver with required from the first on; equal numbers go on, the
// first difference decides, all equal gives true. A missing number is below every one.
bool VersionAtLeast(const TSHW_Ver& ver, std::initializer_list<int> required);
// Firmware 3.7.4 and logic 0.3 or later: the longer time bases and hold-offs.
bool NewTimingLogic();

uint8_t FlashCodeToModel(uint8_t flashCode);
uint8_t ModelToFlashCode(uint8_t model);
bool IsLxxModel();
bool IsKxxModel();

bool HasClockRecoveryOption();
bool HasPatSyncTrigOption();
bool HasGeneratorsOption();
bool HasTDROption();
bool HasOpticsOption();
bool HasLANOption();
// Checks that are never true.
bool JitterOptionAvailable();
bool NeverTrue();
bool AlwaysFalseSuoData();

// The model's name; serial number 42 names the model three places on. With showCode the
// flash code follows as "  (code)".
std::string ModelName(uint8_t model, uint16_t serialNo, bool showCode);
// The name of one option bit (a power of two, or BasicOptions); EAssertion otherwise.
std::string OptionName(uint8_t model, int bit, bool showCode);
// " + " and the name of every set bit, lowest first.
std::string OptionNamesText(uint8_t model, uint8_t options, bool showCode);
std::string SerialNumberText();

// Six decimal numbers 0..255 separated by blanks or dots. False when one is missing or not
// such a number; the bytes read before it are kept, the rest are 255.
bool ParseMacAddress(std::string_view text, std::array<uint8_t, 6>& mac);
void ReadMacAddress(std::array<uint8_t, 6>& mac);

std::string GetProductName();
std::string GetProductKind();
double BandwidthGHz(bool wide);
std::string BuildMainCaption(bool connected);

}  // namespace norv
