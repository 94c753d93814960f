#pragma once
// The look shared by every control: the program's font and the colours of the classic
// 3-D controls. The controls name the system colours they were designed with; this one
// table says which role of the Qt palette stands for each.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QWidget>
#include <cstdint>

namespace norv {

enum class TSysColor : uint8_t {
  BtnFace,          // face of buttons and panels
  BtnHighlight,     // light edge of a 3-D frame
  BtnShadow,        // dark edge of a 3-D frame
  ActiveCaption,    // caption strip of the control with the focus
  InactiveCaption,  // caption strip of the others; greyed texts
  CaptionText,      // text on either caption strip
  Highlight,        // chosen list row
  HighlightText,
};

// The palette role of a system colour (active group).
QPalette::ColorRole SysColorRole(TSysColor color);
QColor SysColor(const QPalette& palette, TSysColor color);

// Liberation Sans at 11 pixels without antialiasing: metric-compatible with the face the
// controls' captions were sized for, and the same pixels on every machine.
QFont ProgramFont();

// The narrow face of the same size.
QFont NarrowFont(const QFont& font);

// The font `text` is drawn in where it has `room` pixels: `font` when the text fits, else
// the narrow face of the same size, else the narrow face a pixel smaller at a time, down to
// kSmallestFittingPixels (a text too long even then keeps that size).
inline constexpr int kSmallestFittingPixels = 9;
QFont FittingFont(const QFont& font, const QString& text, int room);

// The width a window needs for its whole title beside the icon and buttons of a title bar
// (in a bold face a little larger than the controls'), and a window kept at least that wide.
int TitleBarWidth(const QString& title);
void KeepTitleWhole(QWidget& window);

// The program's icon: its windows, the About box and the desktop entry show it.
QIcon ProgramIcon();

// 0x00BBGGRR as a Qt colour.
QColor ColorFromBgr(uint32_t color);

}  // namespace norv
