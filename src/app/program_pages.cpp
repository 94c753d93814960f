#include "app/program_pages.h"

namespace norv {

void RegisterProgramPages() {
  // One call per subsystem's pages, in the order of the main-menu codes.
}

}  // namespace norv
