#pragma once
// The jitter side menu (menu 18): switching the analysis on and its source on the main
// page, the results to show, the plot windows and format, and the sampling level and
// unit, each on a page of its own. Its main-menu button stays disabled without the
// instrument's jitter option; the menu works wherever it is opened.

#include "analysis/jitter_settings.h"
#include "analysis/ui/jitter_graph.h"

namespace norv {

// Registers the menu's form with the side menus and fills the plot windows' hooks; their
// surfaces are shown by the widgets `surfaces` makes.
void RegisterJitterPage(TSurfaceWidgetFactory surfaces);

}  // namespace norv
