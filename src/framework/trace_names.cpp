#include "framework/trace_names.h"

namespace norv {

std::array<std::string, kTraceIdCount> TraceNames;
THook<void(TTraceId, const std::string&)> SetRecordTitleHook;

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

namespace {

// The text with one "%d" replaced by the number and "%%" by "%"; nothing when the
// pattern holds anything else after a '%' or not exactly one "%d".
std::optional<std::string> FormatOneNumber(const std::string& pattern, int number) {
  std::string result;
  int conversions = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      result += pattern[i];
      continue;
    }
    if (i + 1 >= pattern.size()) return std::nullopt;
    const char next = pattern[++i];
    if (next == '%') {
      result += '%';
    } else if (next == 'd') {
      result += std::to_string(number);
      ++conversions;
    } else {
      return std::nullopt;
    }
  }
  if (conversions != 1) return std::nullopt;
  return result;
}

}  // namespace

std::string FormatNumbered(const std::string& pattern, int number, const std::string& englishPattern) {
  if (auto text = FormatOneNumber(pattern, number)) return *text;
  return FormatOneNumber(englishPattern, number).value_or(englishPattern);
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
