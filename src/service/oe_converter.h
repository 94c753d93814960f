#pragma once
// The optical-to-electrical converter of the optics option: which channel its electrical
// output feeds, the wavelength of the light and the conversion gain (V/W) of the selected
// calibration point, its dark level and the dark-level and gain calibrations.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/util/hook.h"
#include "framework/util/statistics.h"

namespace norv {

class TRadioSwHandler;
class TDoubleEditHandler;

inline constexpr int kOEFactoryPoints = 3;
inline constexpr int kOEUserPoints = 8;
// The gain used when the selected point has none.
inline constexpr double kOEMissingGain = 400.0;

bool IsValidOEWavelength(double metres);
bool IsValidOEGain(double voltsPerWatt);

struct TOEPoint {
  double Wavelength = 0;
  double Gain = 0;
  bool Valid() const { return IsValidOEWavelength(Wavelength) && IsValidOEGain(Gain); }
};

// The valid user points by ascending wavelength (ties keep the lower point number).
// Table[rank] is the point index 0..7; entries from Count on hold 0.
struct TOERanking {
  int Count = 0;
  std::array<int, kOEUserPoints> Table{};
};
TOERanking RankOEUserPoints(const std::array<TOEPoint, kOEUserPoints>& points);

// The dark-level search: the level moves by a step that halves at every sign change of the
// converter channel's mean, until the step is below 0.002 %.
class TOEDarkLevelSearch {
 public:
  enum class TResult : uint8_t { Waiting, Moved, Done, Failed };
  explicit TOEDarkLevelSearch(double level) : level_(level) {}
  // Adds one record's values (volts); once enough are gathered, decides the next level.
  TResult AddRecord(const double* values, int count);
  double Level() const { return level_; }
  double Step() const { return step_; }
  double LastMean() const { return lastMean_; }
  int Progress() const { return progress_; }

 private:
  int ValuesNeeded() const;
  double level_;
  double step_ = 2.0;
  int previousSign_ = 0;
  double sum_ = 0;
  int count_ = 0;
  double lastMean_ = 0;
  int progress_ = 0;
};

// One O/E calibration run, stepped once per finished acquisition.
enum class TOECalState : uint8_t { Idle, DarkLevel, AvgPowerZero, Gain, Finish, Cancel };
struct TOECalibrationRun {
  bool GainRun = false;
  int Point = 0;  // the user point a gain run calibrates: the one chosen when it started
  int Channel = 2;
  TOECalState State = TOECalState::Idle;
  bool Succeeded = false;
  // Started by command: the run ends by itself; started by a control, the user ends it.
  bool AutoClose = false;
  bool WindowOpen = false;
  double RememberedDarkLevel = 50;
  double MeasuredGain = kOEMissingGain;
  double AvgPowerZero = 0;
  // The converter channel's values a gain run has gathered, the steps between neighbouring
  // points (their noise), and whether they showed no light: a level not above that noise.
  TStat GainValues;
  std::vector<double> GainSteps;
  bool NoLight = false;
  int Progress = 0;  // 0..100
  std::unique_ptr<TOEDarkLevelSearch> Search;
  // What the calibration set-up stopped, given back at the end.
  bool SavedFlagTimer = false;
};

// The factory points of a converter of the kind the simulator stands for (850, 1310 and
// 1550 nm with an InGaAs detector); without an instrument they are the file's defaults.
inline constexpr std::array<TOEPoint, kOEFactoryPoints> kOEDemoFactoryPoints{
    {{8.5e-7, 200}, {1.31e-6, 450}, {1.55e-6, 500}}};

// The converter's flash constants: its dark level (%), the factory points and the user points.
struct TOEFlashConstants {
  double DarkLevel = 50;
  std::array<TOEPoint, kOEFactoryPoints> Factory{};
  std::array<TOEPoint, kOEUserPoints> User{};
};
TOEFlashConstants OEFlashConstants();
// Sets the nodes from a recall, each clamped into its range: nothing is sent back to the
// instrument, and the ranking and the gain in use follow once at the end.
void SetOEFlashConstants(const TOEFlashConstants& constants);

// The calibration window ("Calibration O/E Converter") of the run under way.
struct TOEConvHooks {
  // Shows the window for the run just started; false when none could be shown.
  THook<bool()> OpenCalibrationWindow{"OEConvHooks.OpenCalibrationWindow"};
  // The run's values or its outcome changed.
  THook<void()> RefreshCalibrationWindow{"OEConvHooks.RefreshCalibrationWindow"};
  // The run has ended: the window goes without ending it again.
  THook<void()> CloseCalibrationWindow{"OEConvHooks.CloseCalibrationWindow"};
  // A user point changed: the lists of points are rebuilt.
  THook<void()> UserPointsChanged{"OEConvHooks.UserPointsChanged"};
};
inline TOEConvHooks OEConvHooks;

// A wavelength as a list shows it ("1.31 um").
std::string OEWavelengthText(double metres);
// A point's wavelength text, or "Empty" for a point that is not valid.
std::string OEPointText(const TOEPoint& point);
// The factory wavelengths, the ranked valid user points (rank order), and user points
// 1..8 in their own order.
std::array<std::string, kOEFactoryPoints> OEFactoryWavelengthTexts();
std::vector<std::string> OERankedUserPointTexts();
std::array<std::string, kOEUserPoints> OEUserPointTexts();

// The texts of the window's values: the dark level (%), the zero error (V), the average
// power zero and the measured gain (V/W).
std::string OEDarkLevelText(double percent);
std::string OEZeroErrorText(double volts);
std::string OEAvgPowerZeroText(double code);
std::string OEGainText(double voltsPerWatt);
// A finished run's outcome, with the reason of a failure that has one.
std::string OECalibrationOutcome(const TOECalibrationRun& run);

// A channel's volt scale limits of its own, given back when the converter leaves it.
struct TOEScaleLimits {
  double Min = 0.001, Max = 0.255;
  uint8_t CoarseRule = 4;
};

struct TOEConvState {
  TRadioSwHandler* Dest = nullptr;
  TRadioSwHandler* WaveLen = nullptr;
  TRadioSwHandler* UserWaveLen = nullptr;
  TDoubleEditHandler* ConversionGain = nullptr;
  TDoubleEditHandler* DarkLvl = nullptr;
  TRadioSwHandler* PointNum = nullptr;
  TDoubleEditHandler* Power = nullptr;
  std::array<TDoubleEditHandler*, kOEFactoryPoints> FactoryWavelength{};
  std::array<TDoubleEditHandler*, kOEFactoryPoints> FactoryGain{};
  std::array<TDoubleEditHandler*, kOEUserPoints> UserWavelength{};
  std::array<TDoubleEditHandler*, kOEUserPoints> UserGain{};
  TOERanking Ranking;
  std::array<TOEScaleLimits, 2> ChannelLimits{};
  // The destination before the change being handled, and a restore under way.
  uint8_t PreviousDest = 0;
  bool RestoringDest = false;
  // The average-power zero measured by the last dark-level calibration.
  double AvgPowerZero = 0;
  TOECalibrationRun Run;
  // The outcome of the last run that ended.
  bool LastRunSucceeded = false;
  // A recall is setting the constants: no user point is chosen, nothing is sent.
  bool SettingFromFlash = false;
  bool Registered = false;
};
TOEConvState& OEConvState();
void ResetOEConvState();

void RegisterOEConvCommands();
void ApplyOEConvSettings();
double GetOEConversionGain();
bool IsOEOutputOnChannel(int channel);
// The gain of the selected point into "Flash:OE:ConversionGain" and the converter's
// channel's attenuation and scale limits.
void ApplyOEConversion();
// Starts a calibration on the converter's channel: the program goes into the calibration
// set-up, the window opens and the acquisition runs. False when the output is connected to
// no channel (the user told), the user cancelled, or no work with an instrument runs (no
// undo ring records).
bool StartOECalibration(bool gainRun, bool askUser);
void OEAutoCalStep();
// Ends a run as the window's OK or Cancel does: the set-up taken back, then the gain stored
// (OK after a gain run) or the found dark level kept (OK after a dark-level run). A run
// that finishes with auto close or without a window ends by itself; without a window the
// user is told its outcome.
void EndOECalibration(bool ok);

void FillOEConvSlots();
void InstallOEConverter();

}  // namespace norv
