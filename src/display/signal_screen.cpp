#include "display/signal_screen.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <string>

#include "display/display_math.h"
#include "display/screen_layer.h"
#include "display/signal_layers.h"

namespace norv {

TSignalScreen::TSignalScreen(const ITextRasteriser* text) : TScanLinesScreen(text) { UpdateLayerMasks(); }

TSignalScreen::~TSignalScreen() {
  // Layers outliving their screen must not call back into it.
  for (TScreenLayer* layer : layers_) {
    if (layer != nullptr && layer->GetScreen() == this) {
      layer->screen_ = nullptr;
      layer->ForgetPens();
    }
  }
}

void TSignalScreen::SetBounds(int left, int top, int width, int height) {
  TScanLinesScreen::SetBounds(left, top, width, height);
  occupancy_.assign(static_cast<size_t>(Width()) * Height(), 0);
  ++generation_;
}

void TSignalScreen::ThrowIndex(int index) {
  throw std::out_of_range("layer index " + std::to_string(index) + " outside 0..31");
}

void TSignalScreen::UpdateLayerMasks() {
  uint32_t front = 1u << onTop_;
  for (int i = 0; i < kLayerSlots; ++i) {
    cover_[i] = i == onTop_ ? 0 : front & ~translucentMask_;
    front |= 1u << i;
  }
  ++generation_;
}

void TColumnPen::MoveRunShowingEach(int oldFirst, int oldLast, int newFirst, int newLast,
                                    const uint16_t* skip, uint32_t colour) {
  const auto rows = [&](int from, int to, bool show) {
    for (int y = std::max(from, 0); y <= to; ++y) {
      if (skip[y] != 0) continue;
      if (show) {
        Show(y, colour);
      } else {
        Erase(y);
      }
    }
  };
  if (oldFirst != 0) {
    rows(oldFirst, std::min(newFirst - 1, oldLast), false);
    rows(std::max(newLast + 1, oldFirst), oldLast, false);
    rows(newFirst, std::min(oldFirst - 1, newLast), true);
    rows(std::max(oldLast + 1, newFirst), newLast, true);
  } else {
    rows(newFirst, newLast, true);
  }
}

uint32_t TSignalScreen::ComposedWord(uint32_t word, int x, int y) const {
  return TSLBMP::WordOf(ComposePixel(word, x, y));
}

void TSignalScreen::SetLayerObject(int index, TScreenLayer* layer) {
  CheckIndex(index);
  layers_[index] = layer;
  ++generation_;
}

TScreenLayer* TSignalScreen::LayerObject(int index) const {
  CheckIndex(index);
  return layers_[index];
}

void TSignalScreen::SetLayerTranslucent(int index, bool translucent) {
  CheckIndex(index);
  const uint32_t bit = 1u << index;
  if (((translucentMask_ & bit) != 0) == translucent) return;
  translucentMask_ ^= bit;
  UpdateLayerMasks();
  RecomposeAll();
}

void TSignalScreen::SetOnTopLayer(int index) {
  CheckIndex(index);
  if (index == onTop_) return;
  onTop_ = index;
  UpdateLayerMasks();
  RecomposeAll();
}

TColorRef TSignalScreen::BlendColors(TColorRef below, uint32_t top) {
  // Each byte is round(a t + (1 - a) b) with a = A / 255, that is (A t + (255 - A) b) / 255
  // to the nearest integer; that quotient never ends in exactly one half, so adding 127
  // before the division rounds it the same way.
  const uint32_t alpha = top >> 24;
  TColorRef result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t t = (top >> shift) & 0xFF;
    const uint32_t b = (below >> shift) & 0xFF;
    result |= ((alpha * t + (255 - alpha) * b + 127) / 255) << shift;
  }
  return result;
}

TColorRef TSignalScreen::ComposeMany(uint32_t word, int x, int y) const {
  // Walk: the on-top layer first, then the others from index 0; the walk ends at the
  // first opaque colour, blended with the rearmost translucent colour seen before it.
  uint32_t kept = 0;
  const auto visit = [&](int i, TColorRef& out) {
    const TScreenLayer* layer = layers_[i];
    if (layer == nullptr) return false;
    const uint32_t colour = (i == kWindowedLayerA || i == kWindowedLayerB) && InXWindow(x)
                                ? kXWindowColour
                                : layer->PixelColor(x, y);
    if (colour == 0) return false;
    if ((colour & kOpaque) == kOpaque) {
      out = kept != 0 ? BlendColors(colour & 0xFFFFFFu, kept) : colour & 0xFFFFFFu;
      return true;
    }
    kept = colour;
    return false;
  };
  TColorRef result = 0;
  const uint32_t onTopBit = 1u << onTop_;
  if ((word & onTopBit) && visit(onTop_, result)) return result;
  for (uint32_t rest = word & ~onTopBit; rest != 0; rest &= rest - 1) {
    if (visit(std::countr_zero(rest), result)) return result;
  }
  return kept != 0 ? BlendColors(Color(), kept) : kNoColour;
}

void TSignalScreen::RecomposeAll() {
  if (Width() == 0) return;
  BeginUpdate();
  const int left = PlotLeft();
  // Where a layer of one colour everywhere is alone, the pixel is that colour composed
  // once (the X windows recolour their layers by column, so those are left out).
  std::array<uint32_t, kLayerSlots> alone{};  // pixel words, 0 = compose each pixel
  for (int index = 0; index < kLayerSlots; ++index) {
    const TScreenLayer* layer = layers_[index];
    if (layer == nullptr || !layer->SameColourEverywhere() || index == kWindowedLayerA ||
        index == kWindowedLayerB)
      continue;
    alone[index] = TSLBMP::WordOf(ComposeOne(index, 0, 0));
  }
  bool any = false;
  const uint32_t* word = occupancy_.data();
  const size_t stride = static_cast<size_t>(Width());
  for (int column = 0; column < Width(); ++column) {
    uint32_t* pixel = Image().Row(0) + column;
    for (int y = 0; y < Height(); ++y, ++word, pixel += stride) {
      if (*word == 0) continue;
      const uint32_t single = (*word & (*word - 1)) == 0 ? alone[std::countr_zero(*word)] : 0;
      *pixel = single != 0 ? single : TSLBMP::WordOf(ComposePixel(*word, column - left, y));
      any = true;
    }
  }
  if (any) GrowDirty(0, 0, Width() - 1, Height() - 1);
  EndUpdate();
}

void TSignalScreen::ColorChanged() {
  ++generation_;
  TScanLinesScreen::ColorChanged();
  RecomposeAll();
}

void TSignalScreen::SetXWindow(double width1, double start1, double start2, double width2) {
  const double k = (Width() - 22) / kScreenUnitsX;
  const int lo = 1;
  const int hi = std::max(lo, Width() - 23);
  const auto place = [&](TXWindow& w, double width, double start) {
    w.On = width != 0;
    const int begin = RoundClamped(start * k, -1, 1 << 20, 0);
    const int end = begin + RoundClamped(width * k, -(1 << 20), 1 << 20, 0);
    w.Start = std::clamp(begin, lo, hi);
    w.End = std::clamp(end, lo, hi);
  };
  place(windows_[0], width1, start1);
  place(windows_[1], width2, start2);
  ++generation_;
  for (int index : {kWindowedLayerA, kWindowedLayerB}) {
    if (auto* trace = dynamic_cast<TParentSignalLayer*>(layers_[index])) trace->Redraw();
  }
}

int TSignalScreen::XWindowHit(int x, int tolerance) const {
  const TXWindow& w2 = windows_[1];
  if (w2.On && w2.Start - tolerance <= x && x <= w2.End + tolerance) return 2;
  const TXWindow& w1 = windows_[0];
  if (w1.On && w1.Start - tolerance <= x && x <= w1.End + tolerance) return 1;
  return 0;
}

TScreenLayer* TSignalScreen::HitLayer(int index, int radius, int y, int x) const {
  TScreenLayer* layer = LayerObject(index);
  if (layer == nullptr || !layer->Grabbable()) return nullptr;
  return layer->HitTest(radius, x, y) ? layer : nullptr;
}

}  // namespace norv
