#include "measure/limits/limit_strip.h"

#include <memory>

#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/traces/display_sources.h"
#include "support/fake_clock.h"

namespace norv::test {

namespace {
FakeClock clock;
TBlockFont font;
}  // namespace

void CreateBlockFontScreen() {
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
}

int StripCharacters(int line, int column, uint32_t colour) {
  const TRect r = TNizText::GetLineCellRect(line, column);
  const TSLBMP& image = ScopeCRT->BottomText().Image();
  int columns = 0;
  for (int x = r.Left; x < r.Right; ++x) {
    bool inked = false;
    for (int y = r.Top; y < r.Bottom && y < image.Height(); ++y)
      inked = inked || (image.Pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    columns += inked;
  }
  return columns / 4;
}

int StripCharacters(int line, int column, TTraceId source) {
  return StripCharacters(line, column, GetDisplaySourceRGB(source));
}

}  // namespace norv::test
