#pragma once
// The shared vocabulary of the displayable traces: their identifiers, fixed short
// names (used in setting names, so never translated) and localised display names.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "framework/util/hook.h"

namespace norv {

// The order is the signal source list "Ch1,Ch1B2,Ch2,Ch2B2,F1,...,S2,XY,DB,Hist,Const,None".
// Ids Ch1..S2 are the fourteen waveform records.
// clang-format off
enum class TTraceId : uint8_t {
  Ch1, Ch1B2, Ch2, Ch2B2,
  F1, F2, F3, F4,
  M1, M2, M3, M4,
  S1, S2,
  XY, DB, Hist, Const, None
};
// clang-format on

inline constexpr int kTraceIdCount = 19;
inline constexpr int kRecordTraceCount = 14;

constexpr int TraceIndex(TTraceId id) { return static_cast<int>(id); }
// True for the ids that have a waveform record (Ch1..S2).
constexpr bool IsRecordTrace(TTraceId id) { return TraceIndex(id) < kRecordTraceCount; }
// Checked entry for ids that come from files, replies or commands (0..18).
std::optional<TTraceId> TraceIdFromInt(int value);

// The fixed short name: "Ch1".."S2", "DB", "Hist", "Const", "None"; "???" for XY and any
// value outside the list.
std::string GetTraceShortName(TTraceId id);

struct TTraceNamesState {
  // Localised short names by trace id; filled by BuildTraceNames, "None" stays empty.
  std::array<std::string, kTraceIdCount> TraceNames;
  // Sets a waveform record's long title (filled by the waveform records' owner).
  THook<void(TTraceId, const std::string&)> SetRecordTitleHook{"TraceNamesState.SetRecordTitleHook"};
};

extern TTraceNamesState TraceNamesState;
inline constinit std::array<std::string, kTraceIdCount>& TraceNames = TraceNamesState.TraceNames;
inline constinit THook<void(TTraceId, const std::string&)>& SetRecordTitleHook =
    TraceNamesState.SetRecordTitleHook;

// The name a trace is shown by: its localised name, the short name before they are built.
std::string TraceDisplayName(TTraceId id);

// Gives the current language's text of a key.
using TLangLookup = std::function<std::string(const std::string& key)>;

// Rebuilds TraceNames and the records' titles from the language texts of the keys "Ch",
// "Channel", "Fn", "Mn", "Sn", "Function", "MemoryZona", "Spectrum", "Histogram" and
// "Constant". Run at start-up and after every language switch.
void BuildTraceNames(const TLangLookup& lang);

// Formats a translated pattern of one number ("F%d") as FormatLangStr does; a pattern that
// does not fit one integer, or has no place for it, is replaced by the English one.
std::string FormatNumbered(const std::string& pattern, int number, const std::string& englishPattern);

// Channel selections 2 and 3 stand for channel 1 and channel 2.
constexpr int ChannelSelectionToNumber(int selection) { return selection - 1; }
constexpr int OtherChannelSelection(int selection) { return selection == 2 ? 3 : 2; }
constexpr int MemoryIndexToNumber(int index) { return index + 1; }
constexpr int FunctionIndexToNumber(int index) { return index + 1; }

// "Rectangular", "Hamming", "Hanning", "Flattop", "Blackman-Harris", "Kaiser-Bessel" for
// 0..5; nothing for another index.
std::optional<std::string> GetFFTWindowName(int index);

}  // namespace norv
