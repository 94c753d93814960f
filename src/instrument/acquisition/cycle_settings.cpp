#include "instrument/acquisition/cycle_settings.h"

#include "framework/settings/handler.h"
#include "instrument/settings/setting_rules.h"
#include "units/tdr_units.h"

namespace norv {

namespace {

constexpr int kPeakRecLen = 512;  // "SHADOW:Acq:LNonChanged"

}  // namespace

bool TDefaultAcqSettings::IsSourceShown(TTraceId id) const {
  if (!SignalsOn.IsOn(id)) return false;
  switch (id) {
    case TTraceId::Ch1:
    case TTraceId::Ch1B2:
      return Channel(2).Display;
    case TTraceId::Ch2:
    case TTraceId::Ch2B2:
      return Channel(3).Display;
    default:
      return true;
  }
}

bool TDefaultAcqSettings::UseCommonAcqSettings() const {
  const TChannel& ch1 = Channel(2);
  const TChannel& ch2 = Channel(3);
  const bool bothEqual = SignalsOn.IsOn(TTraceId::Ch1) && SignalsOn.IsOn(TTraceId::Ch2) &&
                         ch1.Deskew == ch2.Deskew && ch1.Simulated == ch2.Simulated;
  return SimultaneousSampling && bothEqual;
}

int TDefaultAcqSettings::GetAcqRecLen(int channel) const {
  const TChannel& c = Effective(channel);
  return c.Mode == TAcqMode::Peak ? kPeakRecLen : c.RecLen;
}

int TDefaultAcqSettings::GetAcqCount(int channel) const {
  const TChannel& c = Effective(channel);
  return AcquisitionCount(c.Mode, c.NAvg, c.NEnv);
}

double TDefaultAcqSettings::PeakIntervalRatio(int channel) const {
  return GetActiveTimeScale() / 25 / Effective(channel).PkInterval;
}

double TDefaultAcqSettings::TimeToHorizontalUnit(double seconds) const {
  switch (HorUnit) {
    case huBit:
      return seconds * BitRate;
    case huMetre:
      return TimeToMetres(seconds, PropagationFactor, PathDivisor);
    case huFoot:
      return TimeToFeet(seconds, PropagationFactor, PathDivisor);
    case huInch:
      return TimeToInches(seconds, PropagationFactor, PathDivisor);
    default:
      return seconds;
  }
}

double TDefaultAcqSettings::GetRecordStartTime(int channel, bool secondWindow) const {
  const double deskew = Channel(channel).Deskew;
  if (!ModeB) return deskew;
  return ScaleA * (Delay + (secondWindow ? DeltaDelay : 0)) + deskew;
}

}  // namespace norv
