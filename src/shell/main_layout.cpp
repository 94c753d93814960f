#include "shell/main_layout.h"

#include <algorithm>

namespace norv {

TMainLayout ComputeMainLayout(int w, int h, int buttonRight) {
  TMainLayout l;
  l.CommandRow = {buttonRight + 8, 0, std::max(0, w - buttonRight - 8), h > 150 ? 20 : 1};

  l.MainMenuVisible = h > 300;
  if (w > kMainMenuWidth) {
    l.MainMenu = {(w - kMainMenuWidth + 1) / 2, h - kMainMenuHeight, kMainMenuWidth, kMainMenuHeight};
  } else {
    l.MainMenu = {0, h - kMainMenuHeight, w, kMainMenuHeight};
  }

  const int top = h > 150 ? 24 : 4;
  const int avail = h - top - (l.MainMenuVisible ? kMainMenuHeight : 0);

  // The pages of the side menus; each caption sits in the gap above its page. Where the
  // window is too low for that gap, the page starts below the caption rather than under it.
  int panelTop = avail < 441 ? top + std::max(0, avail - 410) : top + 30;
  int panelHeight = std::min(avail - (panelTop - top), 460);
  const int captionTop = std::max(top, panelTop - kCaptionHeight - 4);
  if (const int overlap = captionTop + kCaptionHeight + 1 - panelTop; overlap > 0) {
    panelTop += overlap;
    panelHeight -= overlap;
  }
  panelHeight = std::max(0, panelHeight);
  l.LeftPanelVisible = w > 250;
  l.RightPanelVisible = w > 640;
  l.LeftCaption = {6, captionTop, kSidePanelWidth, kCaptionHeight};
  l.RightCaption = {w - 117, captionTop, kSidePanelWidth, kCaptionHeight};
  l.LeftPanel = {6, panelTop, kSidePanelWidth, panelHeight};
  l.RightPanel = {w - 117, panelTop, kSidePanelWidth, panelHeight};

  const int left = 4 + (l.LeftPanelVisible ? 120 : 0);
  const int width = w - 4 - (l.LeftPanelVisible ? 120 : 0) - (l.RightPanelVisible ? 120 : 0);
  l.PermanentVisible = h > 250;
  l.Permanent = {left, top + avail - kPermanentControlsHeight, width, kPermanentControlsHeight};
  const int scopeHeight = std::max(34, l.PermanentVisible ? avail - kPermanentControlsHeight : avail);
  l.Scope = {left, top, width, scopeHeight - 2};
  return l;
}

TWindowPlace DefaultWindowPlace(int left, int top, int clientWidth, int clientHeight, int screenWidth,
                                int screenHeight) {
  TWindowPlace p{left + (clientWidth - kDefaultClientWidth) / 2,
                 top + (clientHeight - kDefaultClientHeight) / 2};
  if (p.Left + kDefaultClientWidth > screenWidth) p.Left = screenWidth - kDefaultClientWidth;
  if (p.Top + kDefaultClientHeight + 50 > screenHeight) p.Top = screenHeight - kDefaultClientHeight - 50;
  p.Left = std::max(0, p.Left);
  p.Top = std::max(0, p.Top);
  return p;
}

}  // namespace norv
