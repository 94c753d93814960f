#pragma once
// Settings reached by their path and set by program, as the procedures that drive the
// instrument (autoscale, calibrations) do. A path that names no node of the kind, or an
// index outside the choice, changes nothing and reads as 0 or off.

#include <cstdint>
#include <string_view>

namespace norv {

class THandler;

THandler* NodeAt(std::string_view path);

int IndexAt(std::string_view path);
void SetIndexAt(std::string_view path, int index);
bool IsOnAt(std::string_view path);
void SetOnAt(std::string_view path, bool on);
double ValueAt(std::string_view path);
// An integer edit takes the nearest code.
void SetValueAt(std::string_view path, double value);

// The nearest 32-bit code of a value, saturated; NaN gives 0.
int32_t NearestCode(double x);

}  // namespace norv
