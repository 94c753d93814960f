#pragma once
// Everything drawn on a signal screen is a layer: a cell buffer of the plot's size, a
// colour with opacity and an index that is its priority. A layer never paints: it tells
// its screen which cells it has and answers PixelColor when the screen composes.

#include <cstdint>
#include <string>
#include <vector>

#include "display/large_buffer.h"

namespace norv {

class TSignalScreen;
class TScreenLayer;

// EraseCell and RefreshCell of one layer in one plot column (layer coordinates), with
// what they share worked out once. It holds while the screen's generation stays (and the
// layer stays on that screen: a layer forgets its pens when it changes screens). Without
// a screen, or for a column outside the picture, it does nothing.
class TColumnPen {
 public:
  TColumnPen() = default;
  TColumnPen(TSignalScreen* screen, const TScreenLayer* layer, int index, int x);
  // Whether the pen was made for Screen as it is now, and for column X.
  bool Current(const TSignalScreen* screen) const;
  bool AimedAt(const TSignalScreen* screen, int x) const { return x_ == x && Current(screen); }
  int X() const { return x_; }
  // A current pen aimed at column X - 1 moves on to column X; false when it cannot.
  bool StepTo(int x);
  // EraseCell at row Y.
  void Erase(int y);
  // RefreshCell at row Y, where the layer's PixelColor is Colour: where no other layer
  // has a cell the pixel is composed without asking the layer.
  void Show(int y, uint32_t colour);
  // Moves the layer's vertical run from rows OldFirst..OldLast (none when OldFirst is 0)
  // to NewFirst..NewLast: Erase for the rows that leave it (upper part first), then Show
  // with Colour for the rows that join it (upper part first), leaving out the rows whose
  // entry in Skip (row 0's first) is not 0.
  void MoveRun(int oldFirst, int oldLast, int newFirst, int newLast, const uint16_t* skip, uint32_t colour);

 private:
  // MoveRun inside an update bracket (Deferred) or without a window.
  template <typename Deferred>
  void MoveRunRows(Deferred deferred, int oldFirst, int oldLast, int newFirst, int newLast,
                   const uint16_t* skip, uint32_t colour);
  // MoveRun outside an update bracket with a window: each pixel is shown as it changes.
  void MoveRunShowingEach(int oldFirst, int oldLast, int newFirst, int newLast, const uint16_t* skip,
                          uint32_t colour);
  // TSignalScreen::ComposeOne with the colour known.
  uint32_t AloneWord(uint32_t colour) const;
  uint32_t ComposedWord(uint32_t word, int y) const;
  void Put(int y, uint32_t pixel);

  TSignalScreen* screen_ = nullptr;
  uint64_t generation_ = 0;
  int x_ = -1;
  int column_ = 0;
  uint32_t* words_ = nullptr;  // null: nothing to do
  uint32_t* pixels_ = nullptr;
  size_t stride_ = 0;
  unsigned height_ = 0;
  uint32_t bit_ = 0;
  uint32_t cover_ = 0;
  uint32_t alone_ = 0;
  uint32_t background_ = 0;
  bool windowed_ = false;
  bool inWindow_ = false;
};

// Plot widths are kept within these bounds (per-column tables hold 4001 entries; one
// division of ten must be at least a pixel).
inline constexpr int kMaxPlotWidth = 4000;
inline constexpr int kMinPlotSide = 10;
// Columns left of the plot on a YT screen, where the traces' level markers sit.
inline constexpr int kMarkerStripWidth = 21;

class TScreenLayer {
 public:
  // Width and Height (the plot's) are clamped to kMinPlotSide..kMaxPlotWidth (width) and
  // kMinPlotSide..65535 (height).
  TScreenLayer(std::string name, int width, int height, int index, bool isXY);
  // Still registered, it erases itself and leaves its screen's slot, so the screen never
  // asks a freed layer for colours.
  virtual ~TScreenLayer();
  TScreenLayer(const TScreenLayer&) = delete;
  TScreenLayer& operator=(const TScreenLayer&) = delete;

  // Sets every cell to 0 without telling the screen.
  virtual void Clear();
  // Marks every present cell on the screen again and repaints it.
  virtual void Show();
  virtual void SetLayerColorAndOpacity(uint32_t colour);
  virtual uint32_t PixelColor(int x, int y) const = 0;
  // True when PixelColor gives Colour() at every cell (its override is then final), so
  // that the screen may compose the layer's colour once for all its cells.
  virtual bool SameColourEverywhere() const { return false; }
  // Removes the layer's cells from the screen and empties them.
  virtual void Hide();
  virtual void DragTo(int x, int y);
  virtual void StartDrag(int x, int y);
  // A present cell within Radius of (X, Y); left of the plot only trace layers can hit.
  virtual bool HitTest(int radius, int x, int y) const;
  // Whether the layer shows something at (X, Y) (X < 0: the level-marker strip).
  virtual bool CellPresent(int x, int y) const;

  void SetSignalScreenAndRegisterSelfInIt(TSignalScreen* screen);
  // Erases the layer from its screen, leaves its slot and unbinds it; the cells stay.
  void UnregisterFromScreen();
  TSignalScreen* GetScreen() const { return screen_; }
  void BeginScreenUpdate();
  void EndScreenUpdate();
  // Inline, defined in signal_screen.h: they run for every pixel a layer changes.
  inline void DrawPixel(int x, int y);
  inline void RefreshPixel(int x, int y);
  inline void ErasePixel(int x, int y);
  // RefreshPixel where the layer's PixelColor is known to be Colour.
  inline void ShowPixel(int x, int y, uint32_t colour);
  // The pixel calls for cells of column X: one pen for a trace's points, one for its
  // vertical runs, each aimed again when the column or the screen changes.
  inline TColumnPen& PointPen(int x);
  // Starts loading what a change of cell (X, Y) of the plot touches: the cell, and the
  // screen's occupancy word and pixel. It changes nothing.
  [[gnu::always_inline]] inline void PrefetchCell(int x, int y) const;
  inline TColumnPen& RunPen(int x);
  // Erases every pixel of the layer (strip included) from the screen; cells stay.
  void EraseFromScreen();
  void Redraw();

  const std::string& Name() const { return name_; }
  int Index() const { return index_; }
  bool IsXY() const { return isXY_; }
  bool Grabbable() const { return grabbable_; }
  int Width() const { return width_; }
  int MaxX() const { return maxX_; }
  int MaxY() const { return maxY_; }
  int CentreRow() const { return centreRow_; }
  uint32_t Colour() const { return colour_; }
  uint16_t Cell(int x, int y) const { return cells_[CellIndex(x, y)]; }
  int DragStartX() const { return dragStartX_; }
  int DragStartY() const { return dragStartY_; }

 protected:
  // Column after column, as the screen's occupancy: a trace's points move within their
  // column and its lines are vertical runs, so the cells a record changes lie together.
  size_t CellIndex(int x, int y) const { return static_cast<size_t>(x) * (maxY_ + 1) + y; }
  bool InPlot(int x, int y) const { return x >= 0 && y >= 0 && x <= maxX_ && y <= maxY_; }
  uint16_t& CellRef(int x, int y) { return cells_[CellIndex(x, y)]; }
  uint16_t& CellAt(size_t cellIndex) { return cells_[cellIndex]; }
  // Sets the cell to 1 and draws it, or to 0 and erases it.
  void PutCell(int x, int y, bool present);
  // Erases every set entry of a per-cell buffer from the screen and clears it.
  template <typename Buffer>
  void EraseMarked(Buffer& marks) {
    for (int x = 0; x <= maxX_; ++x) {
      for (int y = 0; y <= maxY_; ++y) {
        auto& mark = marks[CellIndex(x, y)];
        if (mark == 0) continue;
        ErasePixel(x, y);
        mark = 0;
      }
    }
  }
  // Hit test of the level-marker strip (strip column, row); none in the base.
  virtual bool StripHit(int radius, int x, int y) const;
  void SetGrabbable(bool grabbable) { grabbable_ = grabbable; }
  // Pens go with the screen they were made for: it may be freed and another made at its
  // address.
  void ForgetPens() { pointPen_ = runPen_ = TColumnPen(); }

 private:
  friend class TSignalScreen;  // a screen that goes away detaches its layers

  std::string name_;
  bool grabbable_ = false;
  TSignalScreen* screen_ = nullptr;
  bool isXY_;
  int index_;
  int width_;
  int maxX_;
  int maxY_;
  int centreRow_;
  TLargeBuffer<uint16_t> cells_;
  TColumnPen pointPen_;
  TColumnPen runPen_;
  uint32_t colour_ = 0;
  int dragStartX_ = 0;
  int dragStartY_ = 0;
};

// Graticule styles, in the order of the display setting.
enum class TGraticStyle : uint8_t { Grid = 0, Frame = 1, Axis = 2, Off = 3, None = 4 };

class TGraticLayer : public TScreenLayer {
 public:
  using TScreenLayer::TScreenLayer;
  // Vertical divisions of the screen (1..); set before the first SetStyle.
  void SetVertDivisions(int divisions) { divisions_ = divisions < 1 ? 1 : divisions; }
  int VertDivisions() const { return divisions_; }
  // Builds and redraws the pattern when the style changes.
  void SetStyle(TGraticStyle style);
  TGraticStyle Style() const { return style_; }
  uint32_t PixelColor(int x, int y) const final;
  bool SameColourEverywhere() const override { return true; }

 private:
  void BuildPattern();
  void Mark(int x, int y);

  TGraticStyle style_ = TGraticStyle::None;
  int divisions_ = 8;
};

// The rubber-band zoom frame.
class TFrameLayer : public TScreenLayer {
 public:
  using TScreenLayer::TScreenLayer;
  // The second corner is kept one pixel inside the border; the first is taken as given.
  void SetFrame(int x1, int y1, int x2, int y2);
  uint32_t PixelColor(int x, int y) const final;
  bool SameColourEverywhere() const override { return true; }
  int FrameLeft() const { return left_; }
  int FrameRight() const { return right_; }
  int FrameTop() const { return top_; }
  int FrameBottom() const { return bottom_; }

 private:
  void Outline(bool draw);

  int left_ = 0;
  int right_ = 0;
  int top_ = 0;
  int bottom_ = 0;
};

}  // namespace norv
