#include "framework/traces/display_sources.h"

#include <algorithm>
#include <cmath>

#include "framework/settings/program_objects.h"

namespace norv {

TDisplaySourcesState DisplaySourcesState;
const TProgramUnit DisplaySourcesUnit("display sources", [] { DisplaySourcesState = {}; });

namespace {

constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

constexpr std::array<uint32_t, kDisplaySourceCount> kDefaultColors = {
    0x0080FFFF, 0x0000AFAF, 0x00FFFF80, 0x00AFAF00,  // Ch1, Ch1 B2, Ch2, Ch2 B2
    0x00D78FE0, 0x00D7FF00, 0x00608FFF, 0x00D7C0AF,  // F1-F4
    0x008050F0, 0x0080B0B0, 0x00C020F0, 0x00C0C0B0,  // M1-M4
    0x0080F0B0, 0x00B0F000,                          // S1, S2
    0x00FFFFFF, 0x00FFFFFF, 0x008080FF,              // Database, XY, Eye Markers
    0x320000FF, 0x16FFFFFF, 0x000000FF,              // Histogram, Mask Template, Mask Errors
    0x004F6F00, 0x001F1F00};                         // Graticule, Screen

bool IsSourceIndex(int index) { return index >= 0 && index < kDisplaySourceCount; }

uint32_t SourceColorValue(int index) {
  if (ColorsReady && DisplayColorNodeValue.IsSet()) return DisplayColorNodeValue(index);
  return kDefaultColors[index];
}

}  // namespace

void BuildDisplaySources(const TLangLookup& lang) {
  if (!DisplaySources[0].Name.empty()) return;
  const auto set = [](int index, std::string name, int layer) {
    DisplaySources[index] = {std::move(name), static_cast<uint8_t>(layer)};
  };
  set(0, "Ch1", 8);
  set(1, "Ch1 B2", 9);
  set(2, "Ch2", 10);
  set(3, "Ch2 B2", 11);
  for (int n = 1; n <= 4; ++n) {
    set(3 + n, "F" + std::to_string(n), 15 + n);
    set(7 + n, "M" + std::to_string(n), 19 + n);
  }
  set(12, "S1", 24);
  set(13, "S2", 25);
  set(14, "Database", 26);
  set(15, "XY", 8);  // drawn by Ch1's layer
  set(16, "Eye Markers", 4);
  set(kDisplaySourceHistogram, lang("Histogram"), 6);
  set(18, "Mask Template", 27);
  set(19, "Mask Errors", 5);
  set(kDisplaySourceGraticule, lang("Graticule"), 30);
  set(kDisplaySourceScreen, lang("Screen"), 55);
}

std::string GetDisplaySourceIdent(int index) {
  if (!IsSourceIndex(index)) return {};
  std::string ident = DisplaySources[index].Name;
  std::erase_if(ident, [](char c) { return c == ' ' || c == '.'; });
  return ident;
}

uint32_t DefaultDisplayColor(int index) { return IsSourceIndex(index) ? kDefaultColors[index] : 0x00FFFFFF; }

uint32_t GetDisplaySourceARGB(int index) {
  if (!IsSourceIndex(index)) return kOpaqueWhite;
  const uint32_t color = SourceColorValue(index);
  const uint32_t opacity = std::min<uint32_t>(color >> 24, 100);
  // The percent scaled to 0..255 on exact values, so 50 % gives 128.
  const uint32_t alpha = opacity == 0 ? 255 : static_cast<uint32_t>(std::nearbyint(opacity * 255 / 100.0));
  return alpha << 24 | (color & 0xFFFFFF);
}

std::optional<int> TraceIdToColorIndex(TTraceId id) {
  switch (id) {
    case TTraceId::XY:
      return 15;
    case TTraceId::DB:
      return 14;
    case TTraceId::Hist:
      return kDisplaySourceHistogram;
    default:
      break;
  }
  if (IsRecordTrace(id)) return TraceIndex(id);
  return std::nullopt;
}

uint32_t GetDisplaySourceColor(TTraceId id) {
  const auto index = TraceIdToColorIndex(id);
  return index ? GetDisplaySourceARGB(*index) : kOpaqueWhite;
}

uint32_t GetDisplaySourceColorOpaque(TTraceId id) { return GetDisplaySourceColor(id) | 0xFF000000; }

uint32_t GetDisplaySourceRGB(TTraceId id) { return GetDisplaySourceColor(id) & 0x00FFFFFF; }

}  // namespace norv
