#pragma once
// The screen area: up to four signal screens (one of them may be the XY screen) laid out
// for the chosen format, the status line above them and the text strip below. It assigns
// each of the 17 display signals to a screen and is the one factory and registry of every
// layer: it makes a layer of the right class on the right screen when a feature asks,
// replaces it when the style or the screen changes and frees it when the trace goes off.
// Single layers are owned here and referred to by their slot, never by a pointer kept
// elsewhere.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/accum_layers.h"
#include "display/annotation_layer.h"
#include "display/bottom_text.h"
#include "display/database_layer.h"
#include "display/layers_of_signals.h"
#include "display/mask_layers.h"
#include "display/overlay_layers.h"
#include "display/scope_layout.h"
#include "display/screen_mouse.h"
#include "display/signal_layers.h"
#include "display/signal_screen.h"
#include "display/top_text.h"
#include "framework/language/hint_stack.h"
#include "framework/settings/program_objects.h"

namespace norv {

// Layer index (priority) of each display signal.
inline constexpr std::array<uint8_t, kDisplaySignalCount> SignalLayerIndexTable = {
    8, 9, 10, 11, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 8, 26, 6};
inline constexpr int kGraticuleIndex = 30;
inline constexpr int kHistLayerIndex = 6;
inline constexpr int kMaskLayerIndex = 27;
inline constexpr int kMaskEditLayerIndex = 7;
inline constexpr int kMaskErrorLayerIndex = 5;
inline constexpr int kZoomFrameIndex = 0;
// Overlay slot 1 and 2, annotation slot 1 and 2.
constexpr int OverlayIndex(int slot) { return slot == 1 ? 4 : 3; }
constexpr int AnnotationIndex(int slot) { return slot; }

// Display styles in the order of the style setting.
enum class TDisplayStyle : uint8_t {
  Dots,
  Vectors,
  VarPersist,
  InfinPers,
  VarGrayScal,
  InfGrayScal,
  VColorGrad,
  IColorGrad
};

// Told when screens come and go, so the window side keeps one view per surface.
class IScopeView {
 public:
  virtual ~IScopeView() = default;
  virtual void ScreenDestroying(int n) = 0;
  // After every layout: screens made, moved or resized; strips placed or hidden.
  virtual void LayoutChanged() = 0;
  // The panel's colour changed: the margins between the surfaces show it.
  virtual void BackgroundChanged() = 0;
};

class TScopeCRT {
 public:
  // Timers: the bottom strip's throttles (none: every write drawn at once). Clock: the
  // persistence clock's time.
  TScopeCRT(const ITextRasteriser* text, ITimerFactory* timers, const IClock& clock);
  ~TScopeCRT();
  TScopeCRT(const TScopeCRT&) = delete;
  TScopeCRT& operator=(const TScopeCRT&) = delete;

  void SetView(IScopeView* view) { view_ = view; }
  // Where the status messages show: over the panel's top, across its width, while the
  // status line has room; on a lower panel they wait on their stack. nullptr detaches.
  void SetHintParent(IHintParent* parent);

  // --- layout ---
  void PlaceScreen(int left, int top, int height, int width);
  void SetFormat(TScreenFormat format);
  TScreenFormat Format() const { return format_; }
  void RecreateSignalScreens();
  const TScreenLayout& Layout() const { return layout_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int PanelWidth() const { return panelWidth_; }
  int PanelHeight() const { return panelHeight_; }
  int ScreenCount() const { return layout_.Count; }
  int XYScreenNo() const { return layout_.XYScreenNo; }
  int YTScreenCount() const { return layout_.YTScreenCount(); }
  // Screen 1..4, or nullptr.
  TSignalScreen* Screen(int n) const;
  TGraticLayer* Graticule(int n) const;
  TScreenMouse* Mouse(int n) const;
  // The number of a screen (0 when it is none of them).
  int ScreenNumber(const TSignalScreen* screen) const;
  int GraticuleSplit() const { return GraticuleSplitOf(format_); }
  int GraticuleSplitAlt() const { return GraticuleSplitAltOf(format_); }
  TVerhText& TopText() { return topText_; }
  TNizText& BottomText() { return bottomText_; }
  void RepaintScreens();

  // --- appearance ---
  void SetGraticuleStyle(int n, TGraticStyle style);
  void SetOnTopLayer(int index);
  // Which 0: graticule colour; 1: screen background.
  void SetBackgroundColor(int which, TColorRef color);
  TColorRef ScreenColor() const { return screenColor_; }
  TColorRef GraticuleColor() const { return graticuleColor_; }
  // A display source's colour (Part of the display sources) to its layer or background.
  void ApplyDisplaySourceColor(int source);
  // Delayed-sweep windows in screen units, passed to every YT screen.
  void SetXWindow(double width1, double start1, double start2, double width2);

  // --- display signals ---
  void SetSignalScreen(TTraceId signal, int n);
  int SignalScreenOf(TTraceId signal) const;
  bool IsSignalOnScreen(TTraceId signal, int n) const;
  bool HasSignalLayer(TTraceId signal) const { return layers_.GetLayer(signal) != nullptr; }
  TScreenLayer* GetSignalLayer(TTraceId signal) const { return layers_.GetLayer(signal); }
  TLayersOfSignals& LayersOfSignals() { return layers_; }
  // Ch1..S2 shown on screen N except the B2 traces: what a zoom frame zooms.
  std::vector<TTraceId> ZoomableTracesOn(int n) const;

  void SetPersistTime(TTraceId signal, double seconds);
  void SetRefreshTime(TTraceId signal, double seconds);
  // 1: grey scale from the trace colour; 0: the five grade colours.
  void SetGradeKind(TTraceId signal, int kind);
  void SetGradeColor(int grade, TColorRef color);
  // What the signal's next persistence or colour-grade layer is given.
  double PersistTime(TTraceId signal) const;
  double RefreshTime(TTraceId signal) const;
  int GradeKind(TTraceId signal) const;
  TGraticStyle GraticuleStyle(int n) const;
  // Ages every persistence layer at the present time.
  void AgePersistLayers();
  const TPersistenceClock& Clock() const { return clock_; }

  // --- the shown colour-grade database ---
  // Draws the database whose counters Hits(X, Y) gives (screen units) on the database
  // trace's screen, and draws it again whenever its screen is made anew or moved, until
  // RemoveDatabase.
  void ShowDatabase(std::function<uint32_t(int x, int y)> hits);
  void RemoveDatabase();
  // The persistence styles draw the database flat, the grey-scale styles in grades of
  // the database colour and the colour-grade styles in the five grade colours.
  void SetDatabaseStyle(TDisplayStyle style);

  // --- layer factories: the layer, or nullptr when it cannot exist ---
  TSimpleSignalLayer* GetDotLayer(TTraceId signal);
  TVectorSignalLayer* GetVectorLayer(TTraceId signal);
  TPersistSignalLayer* GetPersistLayer(TTraceId signal);
  TColorGrSignalLayer* GetColorGradeLayer(TTraceId signal);
  // The layer class of a display style.
  TParentSignalLayer* GetStyledLayer(TTraceId signal, TDisplayStyle style);
  // Throw EAssertion without an XY screen.
  TSimpleSignalLayer* GetDotXYLayer();
  TPersistSignalLayer* GetPersistXYLayer();
  TColorGrSignalLayer* GetColorGradeXYLayer();
  THistLayer* GetHistLayer();
  // The layer of the database trace on its screen, in the database style.
  TDatabaseLayer* GetDatabaseLayer();
  THistWindowLayer* CreateHistWindowLayer(TTraceId signal);
  T_X_MarkerLayer* CreateXMarkerLayer(int slot, TTraceId signal);
  T_Y_MarkerLayer* CreateYMarkerLayer(int slot, TTraceId signal);
  T_XY_MarkerLayer* CreateXYMarkerLayer(int slot, TTraceId signal);
  T_Meas_ParamLayer* CreateMeasParamLayer(TTraceId signal);
  T_FFT_Meas_ParamLayer* CreateFFTMeasParamLayer(TTraceId signal);
  T_Eye_ParamLayer* CreateEyeParamLayer(TTraceId signal);
  T_TDR_MarginsLayer* CreateTDRMarginsLayer(TTraceId signal);
  TAnnotationLayer* GetAnnotationLayer(int slot, TTraceId signal);
  TMaskLayer* CreateMaskLayer(TTraceId signal);
  TMaskEditLayer* CreateMaskEditLayer(TTraceId signal);
  TMaskErrorLayer* CreateMaskErrorLayer(TTraceId signal);
  // Throws EAssertion for the XY screen or a screen that is none of these.
  TFrameLayer* GetZoomFrameLayer(TSignalScreen* screen);

  // The single layers as they are now (nullptr when absent).
  TMarkerLayer* OverlayLayer(int slot) const;
  TAnnotationLayer* AnnotationLayer(int slot) const;
  TMaskLayer* MaskLayer() const { return mask_.get(); }
  TMaskEditLayer* MaskEditLayer() const { return maskEdit_.get(); }
  TMaskErrorLayer* MaskErrorLayer() const { return maskError_.get(); }
  TFrameLayer* ZoomFrameLayer() const { return zoomFrame_.get(); }
  // The mask layer stands on the screen that shows signal.
  bool HasMaskLayer(TTraceId signal) const;
  bool HasMaskEditLayer() const { return maskEdit_ != nullptr; }

  // --- deletion ---
  void DeleteSignalLayer(TTraceId signal);
  void DeleteXYLayer();
  void DeleteHistLayer();
  void DeleteDatabaseLayer();
  void DeleteMarkerLayer(int slot);
  void DeleteAnnotationLayer(int slot);
  void DeleteMaskErrorLayer();
  void DeleteMaskLayer();
  void DeleteMaskEditLayer();
  void DeleteZoomFrame(bool clearBand);
  // A trace switched off: its layer goes.
  void SignalSwitchedOff(TTraceId signal);

 private:
  struct TScreenSlot {
    std::unique_ptr<TSignalScreen> Screen;
    std::unique_ptr<TGraticLayer> Graticule;
    std::unique_ptr<TScreenMouse> Mouse;
  };
  void ComputeLayout();
  void RebuildScreens();
  void CreateScreen(int n);
  void CreateGraticule(int n);
  void DestroyScreen(int n);
  void PlaceStrips();
  TSignalScreen* ScreenOfSignal(TTraceId signal) const;
  // Plot size of a layer on Screen.
  static int LayerWidth(const TSignalScreen& screen);
  uint32_t TraceColour(TTraceId signal) const;
  void SetGradeColours(TColorGrSignalLayer& layer, TTraceId signal);
  // Grades 1..5 of Kind (1: grey scale of Signal's colour; 0: the grade colours).
  std::array<TColorRef, 6> GradeColoursOf(TTraceId signal, int kind) const;
  // The database layer takes the database style and colours.
  void StyleDatabaseLayer(TDatabaseLayer& layer);
  // Draws the shown database again when its layer is missing or on another screen.
  void KeepDatabaseOnItsScreen();
  void RedrawDatabase();
  template <typename Layer>
  Layer* SignalLayer(TTraceId signal, const char* prefix);
  template <typename Layer>
  Layer* XYLayer(const char* name);
  template <typename Layer>
  Layer* Overlay(int slot, TTraceId signal, const std::string& name, bool singleSlot);
  // The layer in Slot when it is a Layer on Screen linked to Link; else the slot is freed.
  template <typename Layer, typename Held>
  Layer* Reuse(std::unique_ptr<Held>& slot, const TSignalScreen* screen, const TLinkedLayer& link);
  template <typename Held>
  void Free(std::unique_ptr<Held>& slot);
  void ForgetMouseLayers();

  void PlaceHints();

  IScopeView* view_ = nullptr;
  IHintParent* hintParent_ = nullptr;
  struct THintPlace {
    const THintStack* Stack = nullptr;
    IHintParent* Parent = nullptr;
    int Width = -1;
    bool operator==(const THintPlace&) const = default;
  } hintPlace_;
  const ITextRasteriser* text_;
  TPersistenceClock clock_;
  int left_ = 0, top_ = 0, panelWidth_ = 0, panelHeight_ = 0;
  TScreenFormat format_ = TScreenFormat::YT;
  TScreenLayout layout_;
  std::array<TScreenSlot, kMaxScreens> screens_;
  std::array<TGraticStyle, kMaxScreens> graticuleStyle_{};
  TColorRef screenColor_;
  TColorRef graticuleColor_;
  std::array<std::array<double, 4>, 1> xWindow_{};
  TVerhText topText_;
  TNizText bottomText_;

  TLayersOfSignals layers_;
  std::array<uint8_t, kDisplaySignalCount> signalScreen_{};
  std::array<uint8_t, kDisplaySignalCount> gradeKind_{};
  std::array<double, kDisplaySignalCount> persistTime_{};
  std::array<double, kDisplaySignalCount> refreshTime_{};
  std::array<TColorRef, 6> gradeColors_{};
  std::function<uint32_t(int x, int y)> databaseHits_;
  TDisplayStyle databaseStyle_ = TDisplayStyle::InfGrayScal;

  std::array<std::unique_ptr<TMarkerLayer>, 2> overlays_;
  std::array<std::unique_ptr<TAnnotationLayer>, 2> annotations_;
  std::unique_ptr<TMaskLayer> mask_;
  std::unique_ptr<TMaskEditLayer> maskEdit_;
  std::unique_ptr<TMaskErrorLayer> maskError_;
  std::unique_ptr<TFrameLayer> zoomFrame_;
};

// The screen area of the program, made by the main window when it first lays itself out.
extern TOwned<TScopeCRT> ScopeCRT;

}  // namespace norv
