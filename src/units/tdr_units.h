#pragma once
// The formulas of the TDR/TDT units: reflection coefficient and impedance, time and
// distance along the line. Pure functions of their arguments, so the waveform record
// and the time base can use them without depending on the TDR settings.

namespace norv {

inline constexpr double kTdrSpeedOfLight = 299792500.0;  // m/s, the instrument's rounded value
inline constexpr double kMetresPerFoot = 0.3048;
inline constexpr double kMetresPerInch = 0.0254;
inline constexpr double kTdrReferenceOhms = 50.0;
inline constexpr double kTdrOpenCircuitOhms = 1000000.0;

// Vertical unit of a TDR/TDT channel.
enum TTdrVertUnit : unsigned char { tvuVolt = 0, tvuRho = 1, tvuOhm = 2, tvuGain = 3 };

// 50 (1 + rho) / (1 - rho); an open line (rho within 1e-4 of 1) is one million Ohm, and
// above that the negative fraction is mirrored above one million so the curve keeps rising.
double ReflectionToOhms(double rho);
// The inverse of ReflectionToOhms. Z = -50 (or its mirror, one million and fifty) is the
// end of the open-line branch and gives +infinity.
double OhmsToReflection(double ohms);

// Velocity factor: 1 / sqrt(dielectric constant) when the line is described by its
// dielectric constant, else the velocity factor itself. A dielectric constant that is not
// positive describes no line; it gives 1 (vacuum) instead of a division by zero.
double PropagationFactor(bool byDielectricConstant, double dielectricConstant, double velocityFactor);
// The relative dielectric constant of a line of that velocity factor, 1 / factor squared;
// a factor that is not positive gives 1 (vacuum).
inline double PropagationOfFactor(double factor) { return factor > 0 ? 1.0 / (factor * factor) : 1.0; }
// Two-way path in TDR (the reflection travels the line twice), one-way in TDT.
inline double TdrPathDivisor(bool isTdrMode) { return isTdrMode ? 2.0 : 1.0; }

// Distance along the line from the travel time t and back; factor is the velocity factor,
// divisor the path divisor. A factor of 0 maps every distance to time 0.
double TimeToMetres(double seconds, double factor, double divisor);
double TimeToFeet(double seconds, double factor, double divisor);
double TimeToInches(double seconds, double factor, double divisor);
double MetresToTime(double metres, double factor, double divisor);
double FeetToTime(double feet, double factor, double divisor);
double InchesToTime(double inches, double factor, double divisor);

}  // namespace norv
