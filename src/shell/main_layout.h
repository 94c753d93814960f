#pragma once
// Where the parts of the main window go for a client area of W x H pixels: the command
// row, the main menu (two rows of buttons at the bottom), the two side-menu panels with
// their captions, the scope screen and the permanent controls below it. Parts shrink away
// as the window gets small: the main menu at a height of 300 or less, the permanent
// controls at 250 or less, the right panel at a width of 640 or less, the left one at 250
// or less.

namespace norv {

// The main window's client size that SetDefaultWindowSize gives.
inline constexpr int kDefaultClientWidth = 792;
inline constexpr int kDefaultClientHeight = 575;
inline constexpr int kMainMenuWidth = 792;
inline constexpr int kMainMenuHeight = 49;
inline constexpr int kPermanentControlsHeight = 50;
inline constexpr int kSidePanelWidth = 111;
inline constexpr int kCaptionHeight = 21;

struct TRectI {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TRectI&) const = default;
};

struct TMainLayout {
  TRectI CommandRow;  // width: to the right edge
  bool MainMenuVisible = false;
  TRectI MainMenu;
  bool LeftPanelVisible = false, RightPanelVisible = false;
  TRectI LeftPanel, RightPanel;  // below their captions
  TRectI LeftCaption, RightCaption;
  TRectI Scope;
  bool PermanentVisible = false;
  TRectI Permanent;
};

// buttonRight: the right edge of the "System" button at the top left.
TMainLayout ComputeMainLayout(int width, int height, int buttonRight);

// Where SetDefaultWindowSize puts the window: re-centred on its centre with the default
// client size, kept on the screen with 50 pixels below it for the title bar and borders.
struct TWindowPlace {
  int Left = 0, Top = 0;
};
TWindowPlace DefaultWindowPlace(int left, int top, int clientWidth, int clientHeight, int screenWidth,
                                int screenHeight);

}  // namespace norv
