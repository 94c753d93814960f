// ".txt" waveform files (the verbose text form): a file that loads must save in every
// form, and each saved file must load again.

#include "instrument/record/signal_obj.h"
#include "support/fuzz_program.h"
#include "support/record_files.h"

using namespace norv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 300000) return 0;
  TSignalObj record;
  if (!fuzz::LoadRecord(record, fuzz::AsText(data, size), fuzz::TRecordForm::Text)) return 0;
  fuzz::RequireSavesLoadAgain(record, ".txt");
  return 0;
}
