#include "instrument/settings/setting_rules.h"

#include <algorithm>
#include <cmath>

#include "framework/text/dot_number.h"
#include "framework/util/numeric_utils.h"

namespace norv {

namespace {

int Round(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

double TimeBaseModelMaximum(bool realInstrument, bool newTimingLogic) {
  return !realInstrument || newTimingLogic ? TimeBaseMaxNew : TimeBaseMaxOld;
}

double TimeBaseResolution(double scaleA) { return std::max(scaleA / 10000.0, TimeBaseMin); }

double DelayMaximum(double scaleA, double scaleB) { return std::max(0.0, 10.0 - 10.0 * scaleB / scaleA); }

double DeltaDelayMaximum(double scaleA, double scaleB, double delay) {
  return 10.0 - 10.0 * scaleB / scaleA - delay;
}

TTimeBaseWindows TimeBaseWindowMarks(double scaleA, double scaleB, double delay, double deltaDelay) {
  TTimeBaseWindows marks;
  marks.Start1 = Round(delay * 400.0);
  marks.Start2 = Round((delay + deltaDelay) * 400.0);
  marks.Width = Round(scaleB * 4000.0 / scaleA);
  return marks;
}

std::optional<std::vector<uint16_t>> ParseSamplerCalCurve(std::string_view text) {
  std::vector<uint32_t> numbers;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    uint32_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] != ' '; ++i, ++digits) {
      const char c = text[i];
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return std::nullopt;
      }
      if (digits >= 5) return std::nullopt;  // beyond FFFF in any case
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    numbers.push_back(value);
  }
  if (numbers.empty()) return std::nullopt;
  const uint32_t count = numbers.front();
  if (count < 2 || count > 64 || numbers.size() != count + 1) return std::nullopt;
  std::vector<uint16_t> values;
  for (size_t k = 1; k < numbers.size(); ++k) {
    if (numbers[k] > 0xFFFF) return std::nullopt;
    values.push_back(static_cast<uint16_t>(numbers[k]));
  }
  return values;
}

std::string FormatSamplerCalCurve(const std::vector<uint16_t>& values) {
  std::string text = Format_Dot("%x", static_cast<int64_t>(values.size()));
  for (uint16_t v : values) text += Format_Dot(" %x", static_cast<int64_t>(v));
  return text;
}

double HoldoffMaximum(bool realInstrument, bool newTimingLogic) {
  return realInstrument && !newTimingLogic ? HoldoffMaxOld : HoldoffMaxNew;
}

double MinimumHoldoff(bool fitToSingle, bool firmwareBefore3_10_2) {
  return fitToSingle && firmwareBefore3_10_2 ? 5e-5 : 5e-6;
}

double HoldoffLimit(double scaleA, double minimumHoldoff) {
  return std::max(HoldoffDivisions * scaleA, minimumHoldoff);
}

std::optional<double> HoldoffAfterLimitChange(double holdoff, double limit, bool follows) {
  if (holdoff < limit || (follows && holdoff > limit)) return limit;
  return std::nullopt;
}

bool HoldoffFollowsAfterEdit(double holdoff, double scaleA) {
  return std::abs(holdoff - HoldoffDivisions * scaleA) < 0.01 * scaleA;
}

bool HoldoffFollowsExactly(double holdoff, double scaleA) {
  return std::abs(holdoff - HoldoffDivisions * scaleA) <= 1e-15;
}

double AttenuationFactor(int unitIndex, double ratio, double db) {
  switch (unitIndex) {
    case 1:
      return ratio;
    case 2:
      return DbToRatio(db);
    default:
      return 1.0;
  }
}

TPatternLimits PatternDelayLimits(int32_t length, int32_t extDivider, int32_t intDivider) {
  TPatternLimits limits;
  limits.Divider = std::max(1, extDivider) * std::max(1, intDivider);
  const int64_t l = length;
  limits.IsPrbs = l >= 1 && l < 32768 && ((l + 1) & l) == 0;
  const int64_t period = limits.IsPrbs ? 2 * l : l;
  int64_t maxDelay;
  if (limits.IsPrbs) {
    maxDelay = l - 1;
  } else {
    maxDelay = l / limits.Divider;
    if (l % limits.Divider == 0) --maxDelay;
  }
  maxDelay = std::min(maxDelay, period - 7);
  limits.MaxDelay = static_cast<int32_t>(std::max<int64_t>(maxDelay, 0));
  return limits;
}

int32_t PatternLengthCommandValue(int32_t length) { return length <= 32767 ? 2 * length : length; }

int32_t PatternDelayToInstrument(int32_t delay, int32_t length, int32_t divider, bool isPrbs) {
  if (!isPrbs || length <= 0) return delay;
  const int64_t l = length;
  const int64_t d = std::max(1, divider);
  const int64_t extra = l + 1 < d ? (delay % (d / (l + 1))) * l : 0;
  const int64_t shifted =
      std::llround(static_cast<double>(delay + extra) * static_cast<double>(l + 1) / static_cast<double>(d));
  return static_cast<int32_t>(shifted % l);
}

int32_t NextScanDelay(int32_t lastDelay, int32_t startBit, int32_t scanBits) {
  return lastDelay >= startBit + scanBits - 1 ? startBit : lastDelay + 1;
}

int32_t PatternPrescaler(double rate, int32_t measuredPrescaler) {
  if (rate < 2.51e8) return 1;
  if (rate < 5.02e8) return 2;
  if (rate < 1.004e9) return 4;
  return measuredPrescaler;
}

int32_t TriggerSourceFactor(int sourceIndex) {
  switch (sourceIndex) {
    case 1:
      return 32;
    case 3:
      return 4;
    default:
      return 1;
  }
}

int AcquiredSetCode(bool ch1, bool ch2) { return ch1 && ch2 ? 4 : ch2 ? 3 : 2; }

int32_t AcquisitionCount(TAcqMode mode, int32_t nAvg, int32_t nEnv) {
  if (mode == TAcqMode::AvgStab) return nAvg;
  if (mode >= TAcqMode::EnvMinMax && mode <= TAcqMode::EnvMin)
    return nEnv >= 0 && nEnv <= 6000 ? nEnv : EndlessEnvelope;
  return 1;
}

}  // namespace norv
