#pragma once
// Limit tests under "Limit:" and "Limit1:" .. "Limit4:": after every measurement pass the
// results of the first four measurement slots are judged against a band (upper and lower
// limit, or centre and delta); a condition over the judged tests triggers the actions
// (beep, save the waveforms of the sources concerned, stop the run), and a run-until rule
// stops the run after a number of failures or tested waveforms. The counts go to the
// slots' statistics lines of the bottom strip and answer "Limit1:Res" .. "Limit4:Res".

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

class TRadioSwHandler;
class TOnOffHandler;
class TCheckSwHandler;
class TIntEditHandler;
class TDoubleEditHandler;
class TGpibStringHandler;
class THandler;

inline constexpr int kLimitTestCount = 4;

// Item orders of the nodes.
enum TLimitRunUntil : uint8_t { lruStopBtn, lruFailures, lruWfm };
enum TLimitAction : uint8_t { laBeep, laSave, laStop };
enum TLimitIf : uint8_t { liAnyFail, liAllPass, liAllFail, liAnyPass };
enum TLimitFileFormat : uint8_t { lfBinary, lfVerbose, lfYOnly };
enum TLimitMode : uint8_t { lmCenter, lmLimit };
enum TLimitCenterMode : uint8_t { lcCurrMean, lcUserDef };
enum TLimitDelta : uint8_t { ldStdDev, ldUserDef, ldUserPerc };
enum TLimitFailWhen : uint8_t { lfwOutside, lfwInside, lfwAlways };
enum TLimitNotFound : uint8_t { lnfIgnore, lnfFail, lnfPass };
// The judgement of one slot.
enum class TLimitResult : uint8_t { Pass, Fail, Ignored };

struct TLimitTestNodes {
  TOnOffHandler* Activ = nullptr;
  TRadioSwHandler* Mode = nullptr;
  TDoubleEditHandler* UpLimit = nullptr;
  TDoubleEditHandler* LowLimit = nullptr;
  TRadioSwHandler* CenterMode = nullptr;
  TDoubleEditHandler* CenterVal = nullptr;
  TRadioSwHandler* Delta = nullptr;
  TDoubleEditHandler* StdDev = nullptr;
  TDoubleEditHandler* UserDef = nullptr;
  TDoubleEditHandler* UserPerc = nullptr;
  TRadioSwHandler* FailWhen = nullptr;
  TRadioSwHandler* NotFound = nullptr;
  TGpibStringHandler* Res = nullptr;
  // Statistics have set the editors' range and steps.
  bool Ranged = false;
};

// What the limit tests need from the units around them; each does nothing until filled.
struct TLimitHooks {
  // The measurement lines of the bottom strip are written again (their header shows the
  // tested and failure columns while the test is on).
  THook<void()> ShowMeasurementLines{"LimitHooks.ShowMeasurementLines"};
};
extern TLimitHooks LimitHooks;

struct TLimitState {
  TRadioSwHandler* NPar = nullptr;  // the test shown on the page
  TOnOffHandler* TestOn = nullptr;
  TRadioSwHandler* RunUntil = nullptr;
  TIntEditHandler* Failures = nullptr;
  TIntEditHandler* NWfms = nullptr;
  TCheckSwHandler* Action = nullptr;
  TRadioSwHandler* If = nullptr;
  TRadioSwHandler* FileFormat = nullptr;
  TGpibStringHandler* FileName = nullptr;
  std::array<TLimitTestNodes, kLimitTestCount> Tests{};

  // Since the test was switched on; wide, since "Limit:NWfms" goes to a million.
  uint32_t TestedCount = 0;
  uint32_t FailCount = 0;

  // Failure files: stem (folder and name, no extension; empty: the folder + "Noname"),
  // the files written since the stem was set, and the folder (empty: the program's limit
  // test files folder).
  std::string FileStem;
  uint32_t SaveCounter = 0;
  std::filesystem::path Folder;
};
TLimitState& LimitSettings();
void ResetLimitState();

// --- registration and start-up ---
void RegisterLimitHandlers();
// After a recall or the default setup: the slots, then each test's activity, brought to
// effect.
void ApplyLimitSettings();
// Fills the measurement pass's hooks.
void InstallLimitTests();

// --- the pass ---
// Judges the used slots, runs the actions and the run-until rule; nothing while
// "Limit:TestOn" is off.
void RunLimitTest();

// The band of a test: Limit mode the two limits; Center mode the centre (the statistics'
// mean for CurrMean while the slot has values, else CenterVal) plus and minus the delta.
struct TLimitBand {
  double Low, High;
};
TLimitBand LimitBand(int test);
// One slot's value judged by test `test` (0..3) and its band.
TLimitResult JudgeLimitValue(int test, double value, const TLimitBand& band);

// --- the slots ---
// The tests follow the used measurement slots: tests beyond them are disabled, the chosen
// test is lowered, the editors of active tests re-ranged.
void UpdateLimitTestSlots();
// The number of slots that can carry a test: the used slots, at most four, 0 while the
// measurement display is off.
int LimitSlotCount();
// Test n's settings all copied to test `to` (a measurement slot moved down).
void CopyLimitSettings(int from, int to);
// A test back to its start values, switched off (a new measurement came to its slot).
void ResetLimitTest(int test);
// Slot `slot` went and the later slots moved down: the tests move with them.
void LimitSlotRemoved(int slot);
// "Limit:TestOn" and every test's "Activ" off (the measurements left Statistic display).
void SwitchOffLimitTests();
// While the test is off, lines that still show its counts become measurement lines again
// (before a run starts or stops).
void RestoreMeasurementLines();
// The limit, centre and delta editors re-ranged from the slot's statistics; a test whose
// limits were never set takes mean +- 3 standard deviations.
void ReconfigureLimitEditors(int slot);
// The test owning a per-test node; "UNKNOWN Handler" for any other.
int LimitTestOfHandler(const THandler& handler);
bool LimitTestOn();
bool LimitTestActive(int test);

// Writes a count into a cell of a statistics line of the bottom strip, in the source's
// colour.
void WriteLimitCount(int line, int column, uint32_t count, TTraceId source);

// --- failure files ---
// The stem in use: the one set, else the folder + "Noname".
std::string LimitFileStem();
// The name the next failure file gets: stem, "-" and the five-digit counter from the
// second file on, and the extension of "Limit:FileFormat".
std::string NextLimitFileName();
// Writes the source's record to the next file name; false (with a message) when it
// cannot be written.
bool LimitSaveWaveform(TTraceId source);
// "Limit:FileName": a path sets the stem (a folder in it becomes the folder) and restarts
// the counter; an empty one gives the default stem; the query answers NextLimitFileName.
void LimitFileNameCommand(const std::string& param, bool isQuery, uint8_t flag, std::string& reply);

}  // namespace norv
