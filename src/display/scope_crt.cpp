#include "display/scope_crt.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <typeinfo>

#include "display/display_hooks.h"
#include "framework/traces/colour_model.h"
#include "framework/traces/display_sources.h"
#include "framework/util/errors.h"

namespace norv {

namespace {

constexpr uint32_t kWhiteOpaque = 0xFFFFFFFFu;
constexpr uint32_t kMaskEditColour = 0xFF0000FFu;
constexpr int kDisplaySourceDatabase = 14;
constexpr int kDisplaySourceEyeMarkers = 16;
constexpr int kDisplaySourceMaskTemplate = 18;
constexpr int kDisplaySourceMaskErrors = 19;
// Grade colours 1..5 at the start ("Displ:GradeClr5" .. "Displ:GradeClr1").
constexpr std::array<TColorRef, 6> kDefaultGradeColors = {0,        0x00AE00, 0xFF3131,
                                                          0x4A4AFF, 0x00CCFF, 0xFFFFFF};

std::string Numbered(const char* pattern, int n) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, n);
  return text;
}

int SignalSlot(TTraceId signal) { return TraceIndex(signal); }

}  // namespace

constinit TOwned<TScopeCRT> ScopeCRT;

TScopeCRT::TScopeCRT(const ITextRasteriser* text, ITimerFactory* timers, const IClock& clock)
    : text_(text),
      clock_(clock),
      screenColor_(GetDisplaySourceARGB(kDisplaySourceScreen) & 0xFFFFFFu),
      graticuleColor_(GetDisplaySourceARGB(kDisplaySourceGraticule) & 0xFFFFFFu),
      topText_(text),
      bottomText_(text, timers) {
  graticuleStyle_.fill(TGraticStyle::Grid);
  signalScreen_.fill(1);
  persistTime_.fill(2);
  refreshTime_.fill(2);
  gradeColors_ = kDefaultGradeColors;
  topText_.SetColor(screenColor_);
  topText_.SetBounds(10, 2, 530, 31);
  topText_.SetFontColor(0x00FFFF);
  topText_.SetVisible(false);
  bottomText_.SetColor(screenColor_);
  bottomText_.SetBounds(7, 35, 528, 81);
  bottomText_.SetFontColor(0xFFFFFF);
}

TScopeCRT::~TScopeCRT() {
  SetHintParent(nullptr);
  view_ = nullptr;
  for (int n = 1; n <= kMaxScreens; ++n) DestroyScreen(n);
}

// --- layout ---

void TScopeCRT::PlaceScreen(int left, int top, int height, int width) {
  left_ = left;
  top_ = top;
  panelWidth_ = std::max(0, width - 4);
  panelHeight_ = std::max(0, height - 4);
  ComputeLayout();
  RebuildScreens();
}

void TScopeCRT::ComputeLayout() { layout_ = norv::ComputeLayout(format_, panelWidth_, panelHeight_); }

void TScopeCRT::SetFormat(TScreenFormat format) {
  DisplayHooks.BreakAcquisition();
  format_ = format;
  ComputeLayout();
  RebuildScreens();
  if (YTScreenCount() < 2) {
    for (int s = 0; s < kDisplaySignalCount; ++s) SetSignalScreen(static_cast<TTraceId>(s), YTScreenCount());
  }
}

void TScopeCRT::RecreateSignalScreens() {
  for (int n = 1; n <= kMaxScreens; ++n) DestroyScreen(n);
  RebuildScreens();
}

void TScopeCRT::RebuildScreens() {
  for (int n = 1; n <= kMaxScreens; ++n) {
    TScreenSlot& slot = screens_[n - 1];
    const bool needed = n <= layout_.Count;
    const TScreenRect& r = layout_.Screens[n - 1];
    if (slot.Screen && (!needed || slot.Screen->Width() != r.Width || slot.Screen->Height() != r.Height ||
                        slot.Screen->IsXYScreen() != (n == layout_.XYScreenNo))) {
      DestroyScreen(n);
    }
    if (!needed) continue;
    if (!slot.Screen) {
      CreateScreen(n);
    } else if (slot.Screen->Left() != r.Left || slot.Screen->Top() != r.Top) {
      slot.Screen->MoveTo(r.Left, r.Top);
    }
  }
  PlaceStrips();
  KeepDatabaseOnItsScreen();
  if (view_ != nullptr) view_->LayoutChanged();
}

void TScopeCRT::SetHintParent(IHintParent* parent) {
  const bool detach = parent == nullptr && hintParent_ != nullptr;
  hintParent_ = parent;
  if (detach && HintStack() != nullptr) HintStack()->SetHintPlace(nullptr, 0, 0, 0);
  hintPlace_ = {};
  PlaceHints();
}

void TScopeCRT::PlaceHints() {
  if (hintParent_ == nullptr || HintStack() == nullptr) return;
  // A new place shows the messages afresh and restarts the top one's time-out, so the
  // same place is not given again.
  const THintPlace place{HintStack(), layout_.TopTextVisible ? hintParent_ : nullptr, panelWidth_};
  if (place == hintPlace_) return;
  hintPlace_ = place;
  // Inside the panel's border of 2 pixels.
  HintStack()->SetHintPlace(place.Parent, 2, 2, panelWidth_);
}

void TScopeCRT::PlaceStrips() {
  PlaceHints();
  const bool topTextShown = layout_.TopTextVisible && !topText_.Visible();
  topText_.SetVisible(layout_.TopTextVisible);
  // Cells written while the line was hidden were not drawn: it is drawn whole again.
  if (topTextShown) {
    topText_.Clear();
    topText_.ResetTopText();
    topText_.RefreshTopText();
  }
  bottomText_.SetVisible(layout_.BottomStripVisible);
  if (bottomText_.Top() != layout_.BottomStripTop)
    bottomText_.MoveTo(bottomText_.Left(), layout_.BottomStripTop);
}

void TScopeCRT::CreateScreen(int n) {
  TScreenSlot& slot = screens_[n - 1];
  const TScreenRect& r = layout_.Screens[n - 1];
  slot.Screen = std::make_unique<TSignalScreen>(text_);
  TSignalScreen& screen = *slot.Screen;
  screen.SetXYScreen(n == layout_.XYScreenNo);
  screen.SetColor(screenColor_);
  screen.SetBounds(r.Left, r.Top, r.Width, r.Height);
  slot.Mouse = std::make_unique<TScreenMouse>(*this, screen);
  CreateGraticule(n);
  // The delayed-sweep windows colour traces of YT screens only.
  if (!screen.IsXYScreen()) {
    const auto& w = xWindow_[0];
    screen.SetXWindow(w[0], w[1], w[3], w[2]);
  }
}

void TScopeCRT::CreateGraticule(int n) {
  TScreenSlot& slot = screens_[n - 1];
  TSignalScreen& screen = *slot.Screen;
  slot.Graticule = std::make_unique<TGraticLayer>(Numbered("Grig_Scr%d", n), LayerWidth(screen),
                                                  screen.Height(), kGraticuleIndex, screen.IsXYScreen());
  slot.Graticule->SetSignalScreenAndRegisterSelfInIt(&screen);
  slot.Graticule->SetLayerColorAndOpacity(graticuleColor_ | kOpaque);
  slot.Graticule->SetVertDivisions(layout_.Screens[n - 1].Eighths);
  slot.Graticule->SetStyle(graticuleStyle_[n - 1]);
}

void TScopeCRT::DestroyScreen(int n) {
  TScreenSlot& slot = screens_[n - 1];
  if (!slot.Screen) return;
  if (view_ != nullptr) view_->ScreenDestroying(n);
  TSignalScreen* screen = slot.Screen.get();
  ForgetMouseLayers();
  screen->BeginUpdate();
  slot.Graticule.reset();
  for (int s = 0; s < kDisplaySignalCount; ++s) layers_.ForgetLayerOnScreen(static_cast<TTraceId>(s), screen);
  const auto onScreen = [&](auto& held) {
    if (held && held->GetScreen() == screen) held.reset();
  };
  for (auto& overlay : overlays_) onScreen(overlay);
  for (auto& annotation : annotations_) onScreen(annotation);
  onScreen(mask_);
  onScreen(maskEdit_);
  onScreen(maskError_);
  onScreen(zoomFrame_);
  screen->EndUpdate();
  slot.Mouse.reset();
  slot.Screen.reset();
}

TSignalScreen* TScopeCRT::Screen(int n) const {
  return n >= 1 && n <= kMaxScreens ? screens_[n - 1].Screen.get() : nullptr;
}

TGraticLayer* TScopeCRT::Graticule(int n) const {
  return n >= 1 && n <= kMaxScreens ? screens_[n - 1].Graticule.get() : nullptr;
}

TScreenMouse* TScopeCRT::Mouse(int n) const {
  return n >= 1 && n <= kMaxScreens ? screens_[n - 1].Mouse.get() : nullptr;
}

int TScopeCRT::ScreenNumber(const TSignalScreen* screen) const {
  for (int n = 1; n <= kMaxScreens; ++n) {
    if (screen != nullptr && screens_[n - 1].Screen.get() == screen) return n;
  }
  return 0;
}

void TScopeCRT::RepaintScreens() {
  for (const TScreenSlot& slot : screens_) {
    if (slot.Screen) slot.Screen->PaintAll();
  }
  topText_.PaintAll();
  bottomText_.PaintAll();
}

int TScopeCRT::LayerWidth(const TSignalScreen& screen) {
  return screen.IsXYScreen() ? screen.Width() : screen.Width() - kMarkerStripWidth;
}

// --- appearance ---

void TScopeCRT::SetGraticuleStyle(int n, TGraticStyle style) {
  if (n < 1 || n > kMaxScreens) return;
  graticuleStyle_[n - 1] = style;
  if (TGraticLayer* g = Graticule(n)) g->SetStyle(style);
}

void TScopeCRT::SetOnTopLayer(int index) {
  for (const TScreenSlot& slot : screens_) {
    if (slot.Screen) slot.Screen->SetOnTopLayer(index);
  }
}

void TScopeCRT::SetBackgroundColor(int which, TColorRef color) {
  color &= 0xFFFFFFu;
  if (which == 0) {
    if (color == graticuleColor_) return;
    graticuleColor_ = color;
    for (const TScreenSlot& slot : screens_) {
      if (slot.Graticule) slot.Graticule->SetLayerColorAndOpacity(color | kOpaque);
    }
    return;
  }
  if (color == screenColor_) return;
  screenColor_ = color;
  for (const TScreenSlot& slot : screens_) {
    if (slot.Screen) slot.Screen->SetColor(color);
  }
  topText_.SetColor(color);
  bottomText_.SetColor(color);
  if (view_ != nullptr) view_->BackgroundChanged();
}

void TScopeCRT::ApplyDisplaySourceColor(int source) {
  const uint32_t colour = GetDisplaySourceARGB(source);
  if (source == kDisplaySourceGraticule || source == kDisplaySourceScreen) {
    SetBackgroundColor(source == kDisplaySourceGraticule ? 0 : 1, colour);
    return;
  }
  TScreenLayer* layer = nullptr;
  if (source >= 0 && source < kRecordTraceCount) {
    layer = layers_.GetLayer(static_cast<TTraceId>(source));
  } else if (source == 15) {
    layer = layers_.GetLayer(TTraceId::XY);
  } else if (source == kDisplaySourceEyeMarkers) {
    layer = dynamic_cast<T_Eye_ParamLayer*>(overlays_[0].get());
  } else if (source == kDisplaySourceDatabase) {
    layer = layers_.GetLayer(TTraceId::DB);
  } else if (source == kDisplaySourceHistogram) {
    layer = layers_.GetLayer(TTraceId::Hist);
  } else if (source == kDisplaySourceMaskTemplate) {
    layer = mask_.get();
  } else if (source == kDisplaySourceMaskErrors) {
    layer = maskError_.get();
  }
  if (layer == nullptr) return;
  layer->SetLayerColorAndOpacity(colour);
  if (auto* grade = dynamic_cast<TColorGrSignalLayer*>(layer);
      grade != nullptr && source < kRecordTraceCount) {
    SetGradeColours(*grade, static_cast<TTraceId>(source));
  }
  if (auto* db = dynamic_cast<TDatabaseLayer*>(layer)) StyleDatabaseLayer(*db);
}

void TScopeCRT::SetXWindow(double width1, double start1, double start2, double width2) {
  const std::array<double, 4> w = {width1, start1, width2, start2};
  if (w == xWindow_[0]) return;
  xWindow_[0] = w;
  for (const TScreenSlot& slot : screens_) {
    if (slot.Screen && !slot.Screen->IsXYScreen()) slot.Screen->SetXWindow(width1, start1, start2, width2);
  }
}

// --- display signals ---

void TScopeCRT::SetSignalScreen(TTraceId signal, int n) {
  const int s = SignalSlot(signal);
  if (s >= kDisplaySignalCount) return;
  n = std::clamp(n, 0, YTScreenCount());
  if (signalScreen_[s] != 0 && signalScreen_[s] != n) {
    if (IsRecordTrace(signal)) {
      DeleteSignalLayer(signal);
    } else if (signal == TTraceId::Hist) {
      DeleteHistLayer();
    }
  }
  signalScreen_[s] = static_cast<uint8_t>(n);
  if (signal == TTraceId::DB) KeepDatabaseOnItsScreen();
}

int TScopeCRT::SignalScreenOf(TTraceId signal) const {
  const int s = SignalSlot(signal);
  return s < kDisplaySignalCount ? signalScreen_[s] : 0;
}

TSignalScreen* TScopeCRT::ScreenOfSignal(TTraceId signal) const {
  if (signal == TTraceId::XY) return layout_.XYScreenNo != 0 ? Screen(layout_.XYScreenNo) : nullptr;
  const int n = SignalScreenOf(signal);
  if (n < 1 || n > YTScreenCount()) return nullptr;
  TSignalScreen* screen = Screen(n);
  return screen != nullptr && !screen->IsXYScreen() ? screen : nullptr;
}

bool TScopeCRT::IsSignalOnScreen(TTraceId signal, int n) const {
  const TScreenLayer* layer = layers_.GetLayer(signal);
  return layer != nullptr && layer->GetScreen() != nullptr && layer->GetScreen() == Screen(n);
}

std::vector<TTraceId> TScopeCRT::ZoomableTracesOn(int n) const {
  std::vector<TTraceId> traces;
  for (int s = 0; s < kRecordTraceCount; ++s) {
    const auto id = static_cast<TTraceId>(s);
    if (id != TTraceId::Ch1B2 && id != TTraceId::Ch2B2 && IsSignalOnScreen(id, n)) traces.push_back(id);
  }
  return traces;
}

uint32_t TScopeCRT::TraceColour(TTraceId signal) const { return GetDisplaySourceRGB(signal) | kOpaque; }

std::array<TColorRef, 6> TScopeCRT::GradeColoursOf(TTraceId signal, int kind) const {
  static constexpr double kLightness[] = {0, 60, 90, 140, 195, 230};
  std::array<TColorRef, 6> colours{};
  for (int k = 1; k <= TColorGrSignalLayer::kGrades; ++k)
    colours[k] = kind == 1 ? AdjustColorHLS(GetDisplaySourceRGB(signal), kLightness[k]) : gradeColors_[k];
  return colours;
}

void TScopeCRT::SetGradeColours(TColorGrSignalLayer& layer, TTraceId signal) {
  const std::array<TColorRef, 6> colours = GradeColoursOf(signal, gradeKind_[SignalSlot(signal)]);
  for (int k = 1; k <= TColorGrSignalLayer::kGrades; ++k) layer.SetGradeColour(k, colours[k]);
}

void TScopeCRT::SetPersistTime(TTraceId signal, double seconds) {
  const int s = SignalSlot(signal);
  if (s >= kDisplaySignalCount) return;
  persistTime_[s] = seconds;
  if (auto* layer = dynamic_cast<TPersistSignalLayer*>(layers_.GetLayer(signal)))
    layer->SetPersistTime(seconds);
}

void TScopeCRT::SetRefreshTime(TTraceId signal, double seconds) {
  const int s = SignalSlot(signal);
  if (s >= kDisplaySignalCount) return;
  refreshTime_[s] = seconds;
  if (auto* layer = dynamic_cast<TColorGrSignalLayer*>(layers_.GetLayer(signal)))
    layer->SetRefreshTime(seconds);
}

void TScopeCRT::SetGradeKind(TTraceId signal, int kind) {
  const int s = SignalSlot(signal);
  if (s >= kDisplaySignalCount) return;
  gradeKind_[s] = static_cast<uint8_t>(kind == 1 ? 1 : 0);
  if (auto* layer = dynamic_cast<TColorGrSignalLayer*>(layers_.GetLayer(signal)))
    SetGradeColours(*layer, signal);
}

void TScopeCRT::SetGradeColor(int grade, TColorRef color) {
  if (grade < 1 || grade > TColorGrSignalLayer::kGrades) return;
  gradeColors_[grade] = color & 0xFFFFFFu;
  for (int s = 0; s <= TraceIndex(TTraceId::DB); ++s) {
    SetGradeKind(static_cast<TTraceId>(s), gradeKind_[s]);
  }
  if (auto* db = dynamic_cast<TDatabaseLayer*>(layers_.GetLayer(TTraceId::DB))) StyleDatabaseLayer(*db);
}

double TScopeCRT::PersistTime(TTraceId signal) const {
  const int s = SignalSlot(signal);
  return s < kDisplaySignalCount ? persistTime_[s] : 0;
}

double TScopeCRT::RefreshTime(TTraceId signal) const {
  const int s = SignalSlot(signal);
  return s < kDisplaySignalCount ? refreshTime_[s] : 0;
}

int TScopeCRT::GradeKind(TTraceId signal) const {
  const int s = SignalSlot(signal);
  return s < kDisplaySignalCount ? gradeKind_[s] : 0;
}

TGraticStyle TScopeCRT::GraticuleStyle(int n) const {
  return n >= 1 && n <= kMaxScreens ? graticuleStyle_[n - 1] : TGraticStyle::None;
}

void TScopeCRT::AgePersistLayers() {
  clock_.Refresh();
  for (int s = 0; s <= TraceIndex(TTraceId::XY); ++s) {
    if (auto* layer = dynamic_cast<TPersistSignalLayer*>(layers_.GetLayer(static_cast<TTraceId>(s)))) {
      layer->AgePoints();
    }
  }
}

// --- factories ---

template <typename Held>
void TScopeCRT::Free(std::unique_ptr<Held>& slot) {
  if (!slot) return;
  ForgetMouseLayers();
  slot.reset();
}

void TScopeCRT::ForgetMouseLayers() {
  for (const TScreenSlot& slot : screens_) {
    if (slot.Mouse) slot.Mouse->ForgetLayers();
  }
}

template <typename Layer, typename Held>
Layer* TScopeCRT::Reuse(std::unique_ptr<Held>& slot, const TSignalScreen* screen, const TLinkedLayer& link) {
  if (slot && screen != nullptr && typeid(*slot) == typeid(Layer) && slot->GetScreen() == screen &&
      slot->LinkedLayer().SameAs(link)) {
    return static_cast<Layer*>(slot.get());
  }
  Free(slot);
  return nullptr;
}

template <typename Layer>
Layer* TScopeCRT::SignalLayer(TTraceId signal, const char* prefix) {
  if (!IsRecordTrace(signal)) return nullptr;
  TSignalScreen* screen = ScreenOfSignal(signal);
  if (TScreenLayer* held = layers_.GetLayer(signal)) {
    if (typeid(*held) == typeid(Layer) && held->GetScreen() == screen && screen != nullptr) {
      return static_cast<Layer*>(held);
    }
    DeleteSignalLayer(signal);
  }
  if (screen == nullptr) return nullptr;
  const int s = SignalSlot(signal);
  auto layer = std::make_unique<Layer>(prefix + GetTraceShortName(signal), LayerWidth(*screen),
                                       screen->Height(), SignalLayerIndexTable[s], false);
  layer->SetTraceId(signal);
  if constexpr (std::is_base_of_v<TComplicatedSignalLayer, Layer>) layer->SetClock(&clock_);
  layer->SetSignalScreenAndRegisterSelfInIt(screen);
  layer->SetLayerColorAndOpacity(TraceColour(signal));
  if constexpr (std::is_same_v<Layer, TPersistSignalLayer>) layer->SetPersistTime(persistTime_[s]);
  if constexpr (std::is_same_v<Layer, TColorGrSignalLayer>) {
    layer->SetRefreshTime(refreshTime_[s]);
    SetGradeColours(*layer, signal);
  }
  Layer* made = layer.get();
  layers_.SetLayer(signal, std::move(layer));
  return made;
}

TSimpleSignalLayer* TScopeCRT::GetDotLayer(TTraceId s) {
  return SignalLayer<TSimpleSignalLayer>(s, "Dot_Layer_");
}
TVectorSignalLayer* TScopeCRT::GetVectorLayer(TTraceId s) {
  return SignalLayer<TVectorSignalLayer>(s, "Vect_Layer_");
}
TPersistSignalLayer* TScopeCRT::GetPersistLayer(TTraceId s) {
  return SignalLayer<TPersistSignalLayer>(s, "Pers.Layer_");
}
TColorGrSignalLayer* TScopeCRT::GetColorGradeLayer(TTraceId s) {
  return SignalLayer<TColorGrSignalLayer>(s, "ColorGrad.Layer_");
}

TParentSignalLayer* TScopeCRT::GetStyledLayer(TTraceId signal, TDisplayStyle style) {
  switch (style) {
    case TDisplayStyle::Dots:
      return GetDotLayer(signal);
    case TDisplayStyle::Vectors:
      return GetVectorLayer(signal);
    case TDisplayStyle::VarPersist:
    case TDisplayStyle::InfinPers:
      return GetPersistLayer(signal);
    default:
      return GetColorGradeLayer(signal);
  }
}

template <typename Layer>
Layer* TScopeCRT::XYLayer(const char* name) {
  if (layout_.XYScreenNo == 0 || Screen(layout_.XYScreenNo) == nullptr)
    throw EAssertion("XY-Screen is absent");
  TSignalScreen* screen = Screen(layout_.XYScreenNo);
  if (TScreenLayer* held = layers_.GetLayer(TTraceId::XY)) {
    if (typeid(*held) == typeid(Layer) && held->GetScreen() == screen) return static_cast<Layer*>(held);
    DeleteXYLayer();
  }
  const int s = SignalSlot(TTraceId::XY);
  auto layer =
      std::make_unique<Layer>(name, screen->Width(), screen->Height(), SignalLayerIndexTable[s], true);
  if constexpr (std::is_base_of_v<TComplicatedSignalLayer, Layer>) layer->SetClock(&clock_);
  layer->SetSignalScreenAndRegisterSelfInIt(screen);
  layer->SetLayerColorAndOpacity(TraceColour(TTraceId::XY));
  if constexpr (std::is_same_v<Layer, TPersistSignalLayer>) layer->SetPersistTime(persistTime_[s]);
  if constexpr (std::is_same_v<Layer, TColorGrSignalLayer>) {
    layer->SetRefreshTime(refreshTime_[s]);
    SetGradeColours(*layer, TTraceId::XY);
  }
  Layer* made = layer.get();
  layers_.SetLayer(TTraceId::XY, std::move(layer));
  return made;
}

TSimpleSignalLayer* TScopeCRT::GetDotXYLayer() { return XYLayer<TSimpleSignalLayer>("Dot_XY-Layer"); }
TPersistSignalLayer* TScopeCRT::GetPersistXYLayer() {
  return XYLayer<TPersistSignalLayer>("Persist_XY-Layer");
}
TColorGrSignalLayer* TScopeCRT::GetColorGradeXYLayer() {
  return XYLayer<TColorGrSignalLayer>("ColorGrad_XY-Layer");
}

THistLayer* TScopeCRT::GetHistLayer() {
  TSignalScreen* screen = ScreenOfSignal(TTraceId::Hist);
  if (TScreenLayer* held = layers_.GetLayer(TTraceId::Hist)) {
    if (held->GetScreen() == screen && screen != nullptr) return static_cast<THistLayer*>(held);
    DeleteHistLayer();
  }
  if (screen == nullptr) return nullptr;
  auto layer = std::make_unique<THistLayer>("Hist Layer", LayerWidth(*screen), screen->Height(),
                                            kHistLayerIndex, screen->IsXYScreen());
  layer->SetSignalScreenAndRegisterSelfInIt(screen);
  layer->SetLayerColorAndOpacity(GetDisplaySourceARGB(kDisplaySourceHistogram));
  THistLayer* made = layer.get();
  layers_.SetLayer(TTraceId::Hist, std::move(layer));
  return made;
}

TDatabaseLayer* TScopeCRT::GetDatabaseLayer() {
  TSignalScreen* screen = ScreenOfSignal(TTraceId::DB);
  if (TScreenLayer* held = layers_.GetLayer(TTraceId::DB)) {
    if (held->GetScreen() == screen && screen != nullptr) return static_cast<TDatabaseLayer*>(held);
    DeleteDatabaseLayer();
  }
  if (screen == nullptr) return nullptr;
  auto layer = std::make_unique<TDatabaseLayer>("DataBase Layer", LayerWidth(*screen), screen->Height(),
                                                SignalLayerIndexTable[SignalSlot(TTraceId::DB)]);
  layer->SetSignalScreenAndRegisterSelfInIt(screen);
  layer->SetLayerColorAndOpacity(TraceColour(TTraceId::DB));
  StyleDatabaseLayer(*layer);
  TDatabaseLayer* made = layer.get();
  layers_.SetLayer(TTraceId::DB, std::move(layer));
  return made;
}

void TScopeCRT::StyleDatabaseLayer(TDatabaseLayer& layer) {
  const TDisplayStyle s = databaseStyle_;
  const bool grey = s == TDisplayStyle::VarGrayScal || s == TDisplayStyle::InfGrayScal;
  const bool colour = s == TDisplayStyle::VColorGrad || s == TDisplayStyle::IColorGrad;
  if (grey || colour) layer.SetGradeColours(GradeColoursOf(TTraceId::DB, grey ? 1 : 0));
  layer.SetGraded(grey || colour);
}

void TScopeCRT::ShowDatabase(std::function<uint32_t(int x, int y)> hits) {
  databaseHits_ = std::move(hits);
  RedrawDatabase();
}

void TScopeCRT::RemoveDatabase() {
  databaseHits_ = nullptr;
  DeleteDatabaseLayer();
}

void TScopeCRT::SetDatabaseStyle(TDisplayStyle style) {
  databaseStyle_ = style;
  if (auto* db = dynamic_cast<TDatabaseLayer*>(layers_.GetLayer(TTraceId::DB))) StyleDatabaseLayer(*db);
}

void TScopeCRT::KeepDatabaseOnItsScreen() {
  if (!databaseHits_) return;
  const TScreenLayer* held = layers_.GetLayer(TTraceId::DB);
  if (held != nullptr && held->GetScreen() == ScreenOfSignal(TTraceId::DB)) return;
  RedrawDatabase();
}

void TScopeCRT::RedrawDatabase() {
  if (!databaseHits_) return;
  if (TDatabaseLayer* layer = GetDatabaseLayer()) layer->DrawDatabase(databaseHits_);
}

template <typename Layer>
Layer* TScopeCRT::Overlay(int slot, TTraceId signal, const std::string& name, bool singleSlot) {
  if (slot != 1 && slot != 2) throw EAssertion("??? Bad marker Number !!!");
  TSignalScreen* screen = ScreenOfSignal(signal);
  const TLinkedLayer link = TLinkedLayer::To(layers_, signal);
  if (Layer* kept = Reuse<Layer>(overlays_[slot - 1], screen, link)) return kept;
  if (singleSlot) {
    Free(overlays_[0]);
    Free(overlays_[1]);
  }
  if (screen == nullptr || layers_.GetLayer(signal) == nullptr) return nullptr;
  auto layer = std::make_unique<Layer>(name, LayerWidth(*screen), screen->Height(), OverlayIndex(slot),
                                       screen->IsXYScreen());
  layer->SetLinkedLayer(link);
  layer->SetIsFirst(slot == 1);
  layer->SetSignalScreenAndRegisterSelfInIt(screen);
  layer->SetLayerColorAndOpacity(TraceColour(signal));
  Layer* made = layer.get();
  overlays_[slot - 1] = std::move(layer);
  return made;
}

THistWindowLayer* TScopeCRT::CreateHistWindowLayer(TTraceId signal) {
  if (layers_.GetLayer(TTraceId::Hist) == nullptr) {
    Free(overlays_[0]);
    Free(overlays_[1]);
    return nullptr;
  }
  return Overlay<THistWindowLayer>(1, signal, "HistWind Layer", true);
}

T_X_MarkerLayer* TScopeCRT::CreateXMarkerLayer(int slot, TTraceId signal) {
  return Overlay<T_X_MarkerLayer>(slot, signal, Numbered("X_Mrk%d Layer", slot), false);
}
T_Y_MarkerLayer* TScopeCRT::CreateYMarkerLayer(int slot, TTraceId signal) {
  return Overlay<T_Y_MarkerLayer>(slot, signal, Numbered("Y_Mrk%d Layer", slot), false);
}
T_XY_MarkerLayer* TScopeCRT::CreateXYMarkerLayer(int slot, TTraceId signal) {
  return Overlay<T_XY_MarkerLayer>(slot, signal, Numbered("XY_Mrk%d Layer", slot), false);
}
T_Meas_ParamLayer* TScopeCRT::CreateMeasParamLayer(TTraceId signal) {
  return Overlay<T_Meas_ParamLayer>(1, signal, "Meas Params Layer", true);
}
T_FFT_Meas_ParamLayer* TScopeCRT::CreateFFTMeasParamLayer(TTraceId signal) {
  return Overlay<T_FFT_Meas_ParamLayer>(1, signal, "Meas Params Layer", true);
}
T_Eye_ParamLayer* TScopeCRT::CreateEyeParamLayer(TTraceId signal) {
  return Overlay<T_Eye_ParamLayer>(1, signal, "Eye Params Layer", true);
}
T_TDR_MarginsLayer* TScopeCRT::CreateTDRMarginsLayer(TTraceId signal) {
  return Overlay<T_TDR_MarginsLayer>(1, signal, "TDR Meas Margins Layer", true);
}

TMarkerLayer* TScopeCRT::OverlayLayer(int slot) const {
  return slot == 1 || slot == 2 ? overlays_[slot - 1].get() : nullptr;
}

TAnnotationLayer* TScopeCRT::AnnotationLayer(int slot) const {
  return slot == 1 || slot == 2 ? annotations_[slot - 1].get() : nullptr;
}

TAnnotationLayer* TScopeCRT::GetAnnotationLayer(int slot, TTraceId signal) {
  if (slot != 1 && slot != 2) throw EAssertion("??? Bad Annotation Number !!!");
  TSignalScreen* screen = ScreenOfSignal(signal);
  const TLinkedLayer link = TLinkedLayer::To(layers_, signal);
  if (auto* kept = Reuse<TAnnotationLayer>(annotations_[slot - 1], screen, link)) return kept;
  if (screen == nullptr) return nullptr;
  auto layer = std::make_unique<TAnnotationLayer>(Numbered("Ann.Lyr%d_", slot) + GetTraceShortName(signal),
                                                  LayerWidth(*screen), screen->Height(),
                                                  AnnotationIndex(slot), screen->IsXYScreen(), text_);
  layer->SetLinkedLayer(link);
  layer->SetIsFirst(slot == 1);
  layer->SetSignalScreenAndRegisterSelfInIt(screen);
  layer->SetLayerColorAndOpacity(kWhiteOpaque);
  TAnnotationLayer* made = layer.get();
  annotations_[slot - 1] = std::move(layer);
  return made;
}

TMaskLayer* TScopeCRT::CreateMaskLayer(TTraceId signal) {
  TSignalScreen* screen = ScreenOfSignal(signal);
  if (screen != nullptr && screen->IsXYScreen()) screen = nullptr;
  const TLinkedLayer link = TLinkedLayer::To(layers_, signal);
  if (auto* kept = Reuse<TMaskLayer>(mask_, screen, link)) return kept;
  DeleteMaskErrorLayer();
  if (screen == nullptr) return nullptr;
  mask_ = std::make_unique<TMaskLayer>("Mask Layer", LayerWidth(*screen), screen->Height(), kMaskLayerIndex,
                                       false, text_);
  mask_->SetLinkedLayer(link);
  mask_->SetSignalScreenAndRegisterSelfInIt(screen);
  mask_->SetLayerColorAndOpacity(GetDisplaySourceARGB(kDisplaySourceMaskTemplate));
  return mask_.get();
}

bool TScopeCRT::HasMaskLayer(TTraceId signal) const {
  return mask_ != nullptr && mask_->GetScreen() == ScreenOfSignal(signal);
}

TMaskEditLayer* TScopeCRT::CreateMaskEditLayer(TTraceId signal) {
  TSignalScreen* screen = ScreenOfSignal(signal);
  if (screen != nullptr && screen->IsXYScreen()) screen = nullptr;
  const TLinkedLayer link = TLinkedLayer::To(layers_, signal);
  if (auto* kept = Reuse<TMaskEditLayer>(maskEdit_, screen, link)) return kept;
  if (screen == nullptr) return nullptr;
  maskEdit_ = std::make_unique<TMaskEditLayer>("Mask Edit Layer", LayerWidth(*screen), screen->Height(),
                                               kMaskEditLayerIndex, false);
  maskEdit_->SetLinkedLayer(link);
  maskEdit_->SetSignalScreenAndRegisterSelfInIt(screen);
  maskEdit_->SetLayerColorAndOpacity(kMaskEditColour);
  return maskEdit_.get();
}

TMaskErrorLayer* TScopeCRT::CreateMaskErrorLayer(TTraceId signal) {
  TSignalScreen* screen = ScreenOfSignal(signal);
  const TLinkedLayer link = TLinkedLayer::To(layers_, signal);
  if (auto* kept = Reuse<TMaskErrorLayer>(maskError_, screen, link)) return kept;
  if (screen == nullptr) return nullptr;
  maskError_ = std::make_unique<TMaskErrorLayer>("MaskError Layer", LayerWidth(*screen), screen->Height(),
                                                 kMaskErrorLayerIndex, screen->IsXYScreen());
  maskError_->SetLinkedLayer(link);
  maskError_->SetIsFirst(true);
  maskError_->SetSignalScreenAndRegisterSelfInIt(screen);
  maskError_->SetLayerColorAndOpacity(GetDisplaySourceARGB(kDisplaySourceMaskErrors) | kOpaque);
  return maskError_.get();
}

TFrameLayer* TScopeCRT::GetZoomFrameLayer(TSignalScreen* screen) {
  const int n = ScreenNumber(screen);
  if (n == 0) throw EAssertion("Scr not found");
  if (screen->IsXYScreen()) throw EAssertion("For XY - nizzja!");
  if (zoomFrame_ && zoomFrame_->GetScreen() == screen) return zoomFrame_.get();
  DeleteZoomFrame(false);
  zoomFrame_ = std::make_unique<TFrameLayer>("Frame_Layer", LayerWidth(*screen), screen->Height(),
                                             kZoomFrameIndex, false);
  zoomFrame_->SetSignalScreenAndRegisterSelfInIt(screen);
  zoomFrame_->SetLayerColorAndOpacity(kWhiteOpaque);
  Mouse(n)->SetZoomArmed(true);
  return zoomFrame_.get();
}

// --- deletion ---

void TScopeCRT::DeleteSignalLayer(TTraceId signal) {
  if (!IsRecordTrace(signal) || layers_.GetLayer(signal) == nullptr) return;
  const TLinkedLayer link = TLinkedLayer::To(layers_, signal);
  for (auto& overlay : overlays_) {
    if (overlay && overlay->LinkedLayer().SameAs(link)) Free(overlay);
  }
  ForgetMouseLayers();
  layers_.ClearLayer(signal);
}

void TScopeCRT::DeleteXYLayer() {
  ForgetMouseLayers();
  layers_.ClearLayer(TTraceId::XY);
}

void TScopeCRT::DeleteDatabaseLayer() {
  ForgetMouseLayers();
  layers_.ClearLayer(TTraceId::DB);
}

void TScopeCRT::DeleteHistLayer() {
  ForgetMouseLayers();
  layers_.ClearLayer(TTraceId::Hist);
}

void TScopeCRT::DeleteMarkerLayer(int slot) {
  if (slot != 1 && slot != 2) throw EAssertion("??? Bad marker Number !!!");
  Free(overlays_[slot - 1]);
}

void TScopeCRT::DeleteAnnotationLayer(int slot) {
  if (slot != 1 && slot != 2) throw EAssertion("??? Bad Annot. Number !!!");
  Free(annotations_[slot - 1]);
}

void TScopeCRT::DeleteMaskErrorLayer() { Free(maskError_); }

void TScopeCRT::DeleteMaskLayer() {
  DeleteMaskErrorLayer();
  Free(mask_);
}

void TScopeCRT::DeleteMaskEditLayer() { Free(maskEdit_); }

void TScopeCRT::DeleteZoomFrame(bool clearBand) {
  if (!zoomFrame_) return;
  if (TScreenMouse* mouse = Mouse(ScreenNumber(zoomFrame_->GetScreen()))) {
    if (clearBand) mouse->CancelRubberBand();
    mouse->SetZoomArmed(false);
  }
  Free(zoomFrame_);
}

void TScopeCRT::SignalSwitchedOff(TTraceId signal) {
  if (IsRecordTrace(signal)) {
    DeleteSignalLayer(signal);
  } else if (signal == TTraceId::XY) {
    DeleteXYLayer();
  } else if (signal == TTraceId::Hist) {
    DeleteHistLayer();
  }
}

}  // namespace norv
