#pragma once
// The setting vocabulary of the instrument protocol: one sender per instrument setting.
// Each builds the command text for a value and hands it to the command link. The record
// geometry senders (time base, delay, channels, record length, averages) keep the value
// last sent and send only on a change; their caches are cleared after every connection,
// which also forces the other settings out again. They, and the channel compensation,
// also tell the built-in simulator, so demo mode follows the same settings.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norv {

// The path from the senders to the instrument. The program's one goes through the command
// link; tests put a recording one in its place.
class ISettingsLink {
 public:
  virtual ~ISettingsLink() = default;
  // One command line (the link appends the line end). Unless keepAcquisition, a running
  // acquisition is stopped first.
  virtual void Send(const std::string& command, bool keepAcquisition) = 0;
  // Sends a query and gives its reply line ("Timeout" when none came).
  virtual std::string Query(const std::string& command, bool keepAcquisition) = 0;
};

ISettingsLink& SettingsLink();
// nullptr puts the command link back.
void SetSettingsLink(ISettingsLink* link);

// "Ch1" for channel code 2, "Ch2" for any other code.
std::string ChannelPrefix(int channel);

// --- caches of the senders that send only on a change ---
struct TSenderCaches {
  double TimeDiv = 2e20;
  double Delay = 2e20;
  uint8_t AcqChannels = 0;
  int32_t RecLen = 0;
  int32_t NAvg = 0;
  uint8_t AvgMode = 0;  // 1 Norm, 2 Avg
};

inline constexpr uint8_t SamplingModeNone = 2;

// What the senders remember between calls. The link they send through is not part of it:
// it is installed (SetSettingsLink) and stays over a reset.
struct TSettingSendersState {
  TSenderCaches SenderCaches;
  // The fit-to mode last sent by "Acq:SmplMode": 0 SIMPLE, 1 LFFB, 2 none yet.
  uint8_t SamplingModeByte = SamplingModeNone;
  // Counters of the main window's statistics commands.
  std::array<uint16_t, 4> UnusedCounters{};
};
TSettingSendersState& SettingSenders();
// Back to the start state: empty caches, no fit-to mode sent.
void ResetSettingSendersState();

// Forgets what the caches hold after a (re)connection, so the next record settings go out
// again. The averaging mode goes with the count: the first average command after a
// connection must carry its mode.
void ResetSenderCachesAfterConnect();

// After every (re)connection: the channel compensations, then the hold-off, the time base
// and the trigger source are moved away and back so that their commands and everything
// that hangs on them go out again; the caches are forgotten and the fit-to mode is sent.
void SendStateAfterConnect();

// --- trigger ---
void SendTrigHoldOff(double seconds);
void SendTrigIntRate(double seconds);
// 0 DIRECT, 1 HF, 2 INT, 3 CDR, 4 Advanced.
void SendTrigSource(int index);
void SendTrigMode(bool triggered);
void SendTrigLevel(double volts);
void SendTrigSlope(bool negative);
void SendTrigHister(bool highSensitivity);
// True when the instrument reports a trigger ("TRIG_ON").
bool QueryTrigOn(bool keepAcquisition);

// --- acquisition and time base ---
// 0 SIMPLE, 1 LFFB.
void SendSmplMode(int mode);
void SendRecLen(int32_t n, bool keepAcquisition);
void SendNAvg(int32_t n, bool keepAcquisition);
void SendTimeDiv(double secondsPerDiv);
void SendTbDelay(bool keepAcquisition, double seconds);
// Channel set code: 2 Ch1, 3 Ch2, 4 both (any other code is sent as Ch1).
void SendAcqChannels(int code, bool keepAcquisition);

// --- channels ---
void SendChannelBand(int channel, bool narrow);
void SendChannelComp(int channel, double volts);

// --- generators (only with the generators option) ---
// 0 Off, 1 TDRTDT, 2 CoarseTB, 3 Pulse, 4 NRZ, 5 RZ.
void SendGenMode(int mode);
void SendGenPeriod(int32_t n);
// The simulator takes the step delay also without the option.
void SendGenStepDly(int32_t n);
void SendGenDelay(int32_t n);
void SendGenWidth(int32_t n);
// 0 p2e7m1, 1 p2e10m1, 2 p2e11m1, 3 p2e15m1.
void SendGenLength(int index);
void SendGenTrigger(bool pattern);
// Output 0 or 1 ("Gen:Out1:", "Gen:Out2:").
void SendGenPolarity(int output, bool negative);
void SendGenDeskew(int output, int32_t n);
// 0 Pos, 1 Neg, 2 Var.
void SendGenOffsetMode(int output, int mode);
// The instrument answers this one; the answer is read and dropped.
void SendGenOffset(int output, int32_t n);
// Gives the instrument the positive (or negative) zero constant n of the output and reads
// the constant it keeps; nothing without the option or when the reply is no integer (a
// time-out included).
std::optional<int32_t> QueryGenZero(int output, bool negative, int32_t n);

// --- pattern lock (only with the pattern-sync option; the callers check it) ---
void SendPatternLength(int32_t n);
void SendPatternDelay(int32_t n);
void SendPatternOn(bool on);
void SendPatternAddDelay(bool on);
// The pattern clock the instrument measures (Hz); an unreadable reply gives
// PatternRateUnreadable. Only a query between records may keep the acquisition: a
// record's stream shares the link with the reply.
inline constexpr double PatternRateUnreadable = -22222.0;
double QueryPatternTrigFreq(bool keepAcquisition);

// --- information ---
// Degrees Celsius. A reply that is no number gives 0; without a real instrument a random
// value 20..39.75.
double ReadInstrumentTemperature(bool keepAcquisition);
// The real instrument's reading; none when its reply is no number.
std::optional<double> QueryInstrumentTemperature(bool keepAcquisition);
// A sample code 85..114 used as dark level by the O/E and eye units.
int GetDarkLevelCode();

// Zeroes the counters of the main window's statistics commands.
void ClearUnusedCounters();

}  // namespace norv
