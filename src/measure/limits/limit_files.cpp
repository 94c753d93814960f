// The failure files of the limit tests (their names and the writing of a source's record)
// and the counts in the bottom strip. Kept apart from the measurement state, whose label
// type the screen control declares again.

#include <sstream>

#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/traces/display_sources.h"
#include "framework/util/file_io.h"
#include "instrument/link/link_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/program_folders.h"
#include "measure/limits/limit_testing.h"

namespace norv {

namespace {

std::filesystem::path Folder() {
  const TLimitState& s = LimitSettings();
  return s.Folder.empty() ? DataFolders().LimitTestFilesDir : s.Folder;
}

const char* Extension() {
  switch (GetIndex(LimitSettings().FileFormat)) {
    case lfVerbose:
      return ".txt";
    case lfYOnly:
      return ".txty";
    default:
      return ".wfm";
  }
}

}  // namespace

void WriteLimitCount(int line, int column, uint32_t count, TTraceId source) {
  if (ScopeCRT)
    ScopeCRT->BottomText().WriteLine(Format_Dot("%5d", count), TNizText::GetLineCellRect(line, column), -1,
                                     GetDisplaySourceRGB(source));
}

std::string LimitFileStem() {
  const TLimitState& s = LimitSettings();
  return s.FileStem.empty() ? (Folder() / "Noname").string() : s.FileStem;
}

std::string NextLimitFileName() {
  const uint32_t n = LimitSettings().SaveCounter;
  return LimitFileStem() + (n == 0 ? std::string() : Format_Dot("-%.5d", n)) + Extension();
}

bool LimitSaveWaveform(TTraceId source) {
  if (!IsRecordTrace(source)) return false;
  const std::filesystem::path name = NextLimitFileName();
  if (const std::string refused = WhyFileRefused(name); !refused.empty()) {
    LinkHooks.ShowMessage(refused);
    return false;
  }
  std::ostringstream out(std::ios::binary);
  const TSignalObj& record = SignalObjs()[source];
  const auto format = GetIndex(LimitSettings().FileFormat);
  const bool written =
      (format == lfBinary ? record.SaveToBinaryFile(out) : record.SaveToTextFile(out, format == lfYOnly)) &&
      WriteFileAtomically(name, std::move(out).str());
  if (!written) {
    LinkHooks.ShowMessage(FormatLangStr("File___NotSaved", name.string()));
    return false;
  }
  LimitSettings().SaveCounter += 1;
  return true;
}

void LimitFileNameCommand(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  TLimitState& s = LimitSettings();
  if (isQuery) {
    reply = NextLimitFileName();
    return;
  }
  const std::string_view param = TrimBlanks(rawParam);
  if (param.empty()) {
    if (s.FileStem.empty()) s.FileStem = LimitFileStem();
    return;
  }
  s.FileStem = ConfinedStem(param, s.Folder, DataFolders().LimitTestFilesDir, "-00000.txty");
  s.SaveCounter = 0;
}

}  // namespace norv
