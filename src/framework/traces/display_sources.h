#pragma once
// The 22 display sources (traces and the screen's other drawn parts) with their layer
// indexes and colours. A colour is 0x00BBGGRR with the opacity percent in the top byte
// (0 = opaque).

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

inline constexpr int kDisplaySourceCount = 22;
// Indexes of the sources that are not traces.
inline constexpr int kDisplaySourceHistogram = 17;
inline constexpr int kDisplaySourceGraticule = 20;
inline constexpr int kDisplaySourceScreen = 21;

struct TDisplaySource {
  std::string Name;
  // The layer that draws the source on every signal screen.
  uint8_t LayerIndex = 0;
};

struct TDisplaySourcesState {
  std::array<TDisplaySource, kDisplaySourceCount> DisplaySources;
  // Set by the start-up once the settings tree and its colour nodes exist; from then on a
  // source's colour is the value of its colour node.
  bool ColorsReady = false;
  // Reads the colour node of a source (filled by the unit that registers the nodes).
  THook<uint32_t(int index)> DisplayColorNodeValue{"DisplaySourcesState.DisplayColorNodeValue"};
};

extern TDisplaySourcesState DisplaySourcesState;
inline constinit std::array<TDisplaySource, kDisplaySourceCount>& DisplaySources =
    DisplaySourcesState.DisplaySources;
inline constinit bool& ColorsReady = DisplaySourcesState.ColorsReady;
inline constinit THook<uint32_t(int index)>& DisplayColorNodeValue =
    DisplaySourcesState.DisplayColorNodeValue;

// Fills DisplaySources once; the names of the histogram, graticule and screen come from
// the language texts of "Histogram", "Graticule" and "Screen" at that moment.
void BuildDisplaySources(const TLangLookup& lang);

// The source's name without blanks and dots ("Ch1 B2" gives "Ch1B2"), used to name its
// colour setting; empty for an index outside 0..21.
std::string GetDisplaySourceIdent(int index);

// The built-in colour of each source, used until the colour settings exist.
uint32_t DefaultDisplayColor(int index);

// The colour with the opacity as an alpha byte (255 opaque) in the top byte. An index
// outside 0..21 has no source and gives opaque white.
uint32_t GetDisplaySourceARGB(int index);

// The display source of a trace: ids Ch1..S2 map to themselves, XY to 15, DB to 14, Hist to
// 17; Const, None and anything else have no colour source.
std::optional<int> TraceIdToColorIndex(TTraceId id);

// A trace's colour (ARGB as above); a trace without a colour source gets opaque white.
uint32_t GetDisplaySourceColor(TTraceId id);
uint32_t GetDisplaySourceColorOpaque(TTraceId id);
// Without the alpha byte.
uint32_t GetDisplaySourceRGB(TTraceId id);

}  // namespace norv
