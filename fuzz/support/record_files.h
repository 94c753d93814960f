#pragma once
// The waveform record's file forms on in-memory streams, as the shell writes and reads
// them on files opened in binary mode.

#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "instrument/record/signal_obj.h"

namespace norv::fuzz {

enum class TRecordForm { Binary, Text, TextYOnly };

inline std::optional<std::string> SaveRecord(const TSignalObj& record, TRecordForm form) {
  std::ostringstream out(std::ios::binary);
  const bool saved = form == TRecordForm::Binary ? record.SaveToBinaryFile(out)
                                                 : record.SaveToTextFile(out, form == TRecordForm::TextYOnly);
  if (!saved) return std::nullopt;
  return out.str();
}

inline bool LoadRecord(TSignalObj& record, std::string_view bytes, TRecordForm form) {
  std::istringstream in(std::string(bytes), std::ios::binary);
  return form == TRecordForm::Binary ? record.LoadFromBinaryFile(in) : record.LoadFromTextFile(in);
}

// The check every harness makes of a record it loaded: it saves in every form, each
// saved file loads again (".txty" is written only, never read), and after one round of
// tidying the file no longer changes from one save and load to the next.
void RequireSavesLoadAgain(const TSignalObj& loaded, std::string_view loadedAs);

}  // namespace norv::fuzz
