// ".wfm" waveform files: a file that loads must save in every form, and each saved file
// must load again.

#include "instrument/record/signal_obj.h"
#include "support/fuzz_program.h"
#include "support/record_files.h"

using namespace norv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TSignalObj record;
  if (!fuzz::LoadRecord(record, fuzz::AsText(data, size), fuzz::TRecordForm::Binary)) return 0;
  fuzz::RequireSavesLoadAgain(record, ".wfm");
  return 0;
}
