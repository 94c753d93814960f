#include "units/tdr_units.h"

#include <cmath>
#include <limits>

namespace norv {

double ReflectionToOhms(double rho) {
  if (rho <= 0.9999) return kTdrReferenceOhms * (1 + rho) / (1 - rho);
  if (rho < 1.0001) return kTdrOpenCircuitOhms;
  return kTdrOpenCircuitOhms - kTdrReferenceOhms * (1 + rho) / (1 - rho);
}

double OhmsToReflection(double ohms) {
  if (ohms >= kTdrOpenCircuitOhms + 1) ohms = kTdrOpenCircuitOhms - ohms;
  const double denominator = ohms + kTdrReferenceOhms;
  if (denominator == 0) return std::numeric_limits<double>::infinity();
  return (ohms - kTdrReferenceOhms) / denominator;
}

double PropagationFactor(bool byDielectricConstant, double dielectricConstant, double velocityFactor) {
  if (!byDielectricConstant) return velocityFactor;
  if (!(dielectricConstant > 0)) return 1.0;
  return 1.0 / std::sqrt(dielectricConstant);
}

namespace {

double TimeToDistance(double seconds, double factor, double divisor, double metresPerUnit) {
  if (divisor == 0) return 0;
  return factor * kTdrSpeedOfLight * seconds / metresPerUnit / divisor;
}

double DistanceToTime(double distance, double factor, double divisor, double metresPerUnit) {
  if (factor == 0) return 0;
  return divisor * metresPerUnit * distance / kTdrSpeedOfLight / factor;
}

}  // namespace

double TimeToMetres(double s, double f, double d) { return TimeToDistance(s, f, d, 1.0); }
double TimeToFeet(double s, double f, double d) { return TimeToDistance(s, f, d, kMetresPerFoot); }
double TimeToInches(double s, double f, double d) { return TimeToDistance(s, f, d, kMetresPerInch); }
double MetresToTime(double m, double f, double d) { return DistanceToTime(m, f, d, 1.0); }
double FeetToTime(double ft, double f, double d) { return DistanceToTime(ft, f, d, kMetresPerFoot); }
double InchesToTime(double in, double f, double d) { return DistanceToTime(in, f, d, kMetresPerInch); }

}  // namespace norv
