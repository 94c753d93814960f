#pragma once
// The screen control with a block font for the limit tests' strip checks. Kept in a file
// of its own: the screen control and the measurement state each declare a label type.

#include <cstdint>

#include "framework/traces/trace_names.h"

namespace norv::test {

void CreateBlockFontScreen();
// Characters written in the source's colour into a cell of a statistics line (the block
// font fills four pixels of a row per character).
int StripCharacters(int line, int column, TTraceId source);
// The same in any colour (line -1: the header).
int StripCharacters(int line, int column, uint32_t colour);

}  // namespace norv::test
