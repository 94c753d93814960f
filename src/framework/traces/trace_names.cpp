#include "framework/traces/trace_names.h"

#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"

namespace norv {

TTraceNamesState TraceNamesState;
const TProgramUnit TraceNamesUnit("trace names", [] { TraceNamesState = {}; });

std::optional<TTraceId> TraceIdFromInt(int value) {
  if (value < 0 || value >= kTraceIdCount) return std::nullopt;
  return static_cast<TTraceId>(value);
}

std::string GetTraceShortName(TTraceId id) {
  static constexpr const char* kNames[kTraceIdCount] = {"Ch1", "Ch1B2", "Ch2",  "Ch2B2", "F1",  "F2", "F3",
                                                        "F4",  "M1",    "M2",   "M3",    "M4",  "S1", "S2",
                                                        "???", "DB",    "Hist", "Const", "None"};
  const int index = TraceIndex(id);
  return index < kTraceIdCount ? kNames[index] : "???";
}

std::string TraceDisplayName(TTraceId id) {
  const int index = TraceIndex(id);
  const std::string& name = index < kTraceIdCount ? TraceNames[static_cast<size_t>(index)] : std::string();
  return name.empty() ? GetTraceShortName(id) : name;
}

std::string FormatNumbered(const std::string& pattern, int number, const std::string& englishPattern) {
  // Without a place for the number every trace of the group would get the same name.
  const std::string& usable = pattern.find('%') == std::string::npos ? englishPattern : pattern;
  try {
    return FormatOr_Dot(usable, englishPattern, number);
  } catch (const EConvertError&) {
    return englishPattern;
  }
}

void BuildTraceNames(const TLangLookup& lang) {
  const std::string ch = lang("Ch");
  const std::string channel = lang("Channel");
  static constexpr const char* kChannelSuffix[4] = {"1", "1 B2", "2", "2 B2"};
  for (int i = 0; i < 4; ++i) {
    TraceNames[i] = ch + kChannelSuffix[i];
    SetRecordTitleHook(static_cast<TTraceId>(i), channel + " " + kChannelSuffix[i]);
  }
  // The long titles append the number instead of formatting the translated word, so a
  // '%' in a translation cannot disturb them.
  const auto numberedGroup = [&](int firstId, int count, const char* shortKey, const char* english,
                                 const char* longKey) {
    const std::string shortPattern = lang(shortKey);
    const std::string longWord = lang(longKey);
    for (int n = 1; n <= count; ++n) {
      const int id = firstId + n - 1;
      TraceNames[id] = FormatNumbered(shortPattern, n, english);
      SetRecordTitleHook(static_cast<TTraceId>(id), longWord + " " + std::to_string(n));
    }
  };
  numberedGroup(TraceIndex(TTraceId::F1), 4, "Fn", "F%d", "Function");
  numberedGroup(TraceIndex(TTraceId::M1), 4, "Mn", "M%d", "MemoryZona");
  numberedGroup(TraceIndex(TTraceId::S1), 2, "Sn", "S%d", "Spectrum");
  TraceNames[TraceIndex(TTraceId::XY)] = "X/Y";
  TraceNames[TraceIndex(TTraceId::DB)] = "DB";
  TraceNames[TraceIndex(TTraceId::Hist)] = lang("Histogram");
  TraceNames[TraceIndex(TTraceId::Const)] = lang("Constant");
}

std::optional<std::string> GetFFTWindowName(int index) {
  static constexpr const char* kNames[] = {"Rectangular", "Hamming",         "Hanning",
                                           "Flattop",     "Blackman-Harris", "Kaiser-Bessel"};
  if (index < 0 || index >= static_cast<int>(std::size(kNames))) return std::nullopt;
  return kNames[index];
}

}  // namespace norv
