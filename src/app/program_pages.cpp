#include "app/program_pages.h"

#include "analysis/ui/derived_pages.h"
#include "display/ui/display_page.h"
#include "instrument/ui/instrument_pages.h"
#include "measure/ui/hist_page.h"
#include "measure/ui/limit_page.h"
#include "measure/ui/mark_page.h"
#include "measure/ui/meas_page.h"
#include "shell/ui/save_page.h"

namespace norv {

void RegisterProgramPages() {
  RegisterInstrumentPages();
  RegisterDisplayPages();
  RegisterMeasurePages();
  RegisterMarkPage();
  RegisterLimitPage();
  RegisterHistPage();
  RegisterSavePage();
  RegisterAnalysisPages();
}

}  // namespace norv
