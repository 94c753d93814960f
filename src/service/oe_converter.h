#pragma once
// The optical-to-electrical converter of the optics option: which channel its electrical
// output feeds, the wavelength of the light and the conversion gain (V/W) of the selected
// calibration point, its dark level and the dark-level and gain calibrations.

#include <array>
#include <cstdint>
#include <memory>

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
  int Channel = 2;
  TOECalState State = TOECalState::Idle;
  bool Succeeded = false;
  double RememberedDarkLevel = 50;
  double MeasuredGain = kOEMissingGain;
  double AvgPowerZero = 0;
  double GainSum = 0;
  int GainCount = 0;
  std::unique_ptr<TOEDarkLevelSearch> Search;
};

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
// Starts a calibration on the converter's channel: false (the user told) when the output is
// connected to no channel or the user cancelled.
bool StartOECalibration(bool gainRun, bool askUser);
void OEAutoCalStep();
// Ends a run as the dialog's OK or Cancel does: the gain stored, or the dark level restored.
// A run that finishes by itself ends with OK and tells the user its outcome.
void EndOECalibration(bool ok);

void FillOEConvSlots();
void InstallOEConverter();

}  // namespace norv
