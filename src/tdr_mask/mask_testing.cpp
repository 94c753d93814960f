#include "tdr_mask/mask_testing.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>

#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/traces/display_sources.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/link/link_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/program_folders.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_points.h"

namespace norv {

namespace {

TMaskState State;
const TProgramUnit StateUnit("mask test", ResetMaskState);
// Each record's columns and their mask words, kept from one acquisition to the next.
std::array<TMaskColumns, kRecordTraceCount> RecordColumns;

uint64_t& Counter(int index) { return State.Counters.at(static_cast<size_t>(index)); }
void Add(uint64_t& counter, uint64_t n) {
  counter =
      counter > std::numeric_limits<uint64_t>::max() - n ? std::numeric_limits<uint64_t>::max() : counter + n;
}
bool ActionSet(TMaskAction a) { return State.Action && (State.Action->GetMask() >> a & 1u) != 0; }
bool MarginsShown() { return CurrentMask().MarginPercent != 0; }

std::filesystem::path FailureFolder() { return DataFolders().MaskTestFilesDir; }

const char* Extension() {
  switch (GetIndex(State.FileFormat)) {
    case mffVerbose:
      return ".txt";
    case mffYOnly:
      return ".txty";
    default:
      return ".wfm";
  }
}

TColorRef ComparedColour() { return GetDisplaySourceRGB(MaskComparedTrace()); }

void WriteCell(const std::string& text, const TRect& rect) {
  if (ScopeCRT) ScopeCRT->BottomText().WriteLine(text, rect, -1, ComparedColour());
}

std::string Eng(uint64_t n) { return FloatToEngStr(vfEngineering, 5, true, static_cast<double>(n), false); }

// A stop by the run-until rule.
bool RunUntilReached() {
  const auto limit = [](const TIntEditHandler* edit) {
    return static_cast<uint64_t>(std::max<int64_t>(1, edit ? edit->Value() : 1));
  };
  switch (GetIndex(State.RunUntil)) {
    case mruFailedWfms:
      return limit(State.FailWfms) <= Counter(mcFailWfm);
    case mruFailedSmpls:
      return limit(State.FailSmpls) <= Counter(mcFailSmpl);
    case mruWfms:
      return limit(State.NWfms) <= Counter(mcAllWfm);
    case mruSamples:
      return limit(State.NSamples) <= Counter(mcAllSmpl);
    default:
      return false;
  }
}

}  // namespace

TMaskState& MaskSettings() { return State; }
void ResetMaskState() { State = {}; }

bool MaskTestOn() { return IsOn(State.Test); }
int GetMaskCompareSignal() { return GetIndex(State.CompareWith) == 1 ? 2 : 0; }
TTraceId MaskComparedTrace() { return static_cast<TTraceId>(GetMaskCompareSignal()); }
void ClearMaskTestCounters() { State.Counters = {}; }

namespace {

void CountHit(int recordIndex, uint32_t hits, int x, int y, uint64_t count) {
  State.FailedWaveform = true;
  Add(Counter(mcFailSmpl), count);
  for (int b = 0; b < 8; ++b)
    if ((hits >> b & 1u) != 0) Add(Counter(mcPoly + b), count);
  if (ScopeCRT)
    if (TMaskErrorLayer* layer = ScopeCRT->CreateMaskErrorLayer(static_cast<TTraceId>(recordIndex)))
      layer->MarkErrorPoint(x, y);
}

}  // namespace

void CountMaskHitsInRun(int recordIndex, int firstIndex, int pointCount, uint64_t count) {
  if (!MaskObj || recordIndex < 0 || recordIndex >= kRecordTraceCount) return;
  const TSignalObj& r = SignalObjs().At(recordIndex);
  TMaskColumns& columns = RecordColumns[static_cast<size_t>(recordIndex)];
  columns.Update(r, *MaskObj);
  CheckPointRun(r, firstIndex, pointCount);
  if (pointCount <= 0) return;
  // The heights and hit bits go in blocks that fit on the stack; points off the screen hit
  // nothing.
  constexpr int kBlock = 1024;
  constexpr size_t kPadded = kBlock + TMask_Obj::kBatchPadding;
  std::array<int32_t, kPadded> ys;
  std::array<uint8_t, kPadded> bits;
  std::array<uint64_t, kBlock / 64> hits;
  const int end = std::min(firstIndex + pointCount, columns.End());
  for (int first = std::max(firstIndex, columns.First()); first < end; first += kBlock) {
    const int n = std::min(kBlock, end - first);
    columns.Test(r, *MaskObj, first, n, ys.data(), bits.data(), hits.data());
    const int32_t* xs = columns.Xs(first);
    // Most points hit nothing: only those that hit are looked at.
    for (size_t w = 0; w < static_cast<size_t>(n + 63) / 64; ++w)
      for (uint64_t word = hits[w]; word != 0; word &= word - 1) {
        const size_t j = w * 64 + static_cast<size_t>(std::countr_zero(word));
        CountHit(recordIndex, bits[j], xs[j], ys[j], count);
      }
  }
}

void ShowMaskResults() {
  if (ScopeCRT) ScopeCRT->BottomText().Clear();
  if (!MaskObj) return;
  if (!AcqHooks.DatabaseRecording()) ClearMaskTestCounters();
  const TCurrentMask& mask = CurrentMask();
  State.ShownPolygonCount = mask.PolygonCount;
  State.ShownMargins = MarginsShown();
  if (mask.PolygonCount == 0 || !MaskTestOn() || !ScopeCRT) return;
  const auto label = [](const std::string& text, const TRect& rect) { WriteCell(text, rect); };
  if (State.ShownMargins) {
    label(GetLangStr("TotalWfms"), TNizText::GetMaskCellRect(1, 1, true));
    label(GetLangStr("FailedSamples"), TNizText::GetMaskCellRect(1, 2, true));
    label(GetLangStr("MaskHits"), TNizText::GetMaskCellRect(2, 2, true));
    label(GetLangStr("Margin"), TNizText::GetMaskCellRect(3, 1, true));
    label(Format_Dot("%d %%", mask.MarginPercent), TNizText::GetMaskCellRect(3, 1, false));
    label(GetLangStr("MarginHits"), TNizText::GetMaskCellRect(3, 2, true));
    // The strip has five rows: polygons beyond the third have no row of their own.
    for (int n = 1; n <= std::min<int>(mask.MarginPolygonCount, 3); ++n)
      for (int column = 1; column <= 3; ++column)
        label(FormatLangStr("InPolygonN", n), TNizText::GetMaskCellRect(column, n + 2, true));
  } else {
    label(GetLangStr("TotalWfms"), TNizText::GetMeasCellRect(0, true));
    label(GetLangStr("FailedSamples"), TNizText::GetMeasCellRect(1, true));
    for (int n = 1; n <= std::min<int>(mask.PolygonCount, 8); ++n)
      label(FormatLangStr("InPolygonN", n), TNizText::GetMeasCellRect(n + 1, true));
  }
}

void UpdateMaskHitTexts() {
  const TCurrentMask& mask = CurrentMask();
  if (!MaskObj || mask.PolygonCount == 0 || !MaskTestOn()) return;
  Add(Counter(mcAllWfm), 1);
  Add(Counter(mcAllSmpl),
      static_cast<uint64_t>(std::max(0, SignalObjs()[MaskComparedTrace()].GetShownCount())));
  const bool margins = State.ShownMargins;
  WriteCell(Eng(Counter(mcAllWfm)),
            margins ? TNizText::GetMaskCellRect(1, 1, false) : TNizText::GetMeasCellRect(0, false));
  if (State.FailedWaveform) {
    Add(Counter(mcFailWfm), 1);
    WriteCell(Eng(Counter(mcFailSmpl)) + " hits",
              margins ? TNizText::GetMaskCellRect(1, 2, false) : TNizText::GetMeasCellRect(1, false));
  }
  const std::string hits = " " + GetLangStr("Hits");
  if (margins) {
    const bool negative = mask.MarginPercent < 0;
    for (int n = 1; n <= std::min<int>(mask.MarginPolygonCount, 3); ++n) {
      const uint64_t inMask = Counter(mcPoly + n - 1), inMargin = Counter(mcPoly + n + 3);
      const uint64_t values[3] = {negative ? inMask : inMargin, inMask,
                                  negative ? inMargin : (inMargin >= inMask ? inMargin - inMask : 0)};
      for (int column = 1; column <= 3; ++column)
        WriteCell(Eng(values[column - 1]) + hits, TNizText::GetMaskCellRect(column, n + 2, false));
    }
  } else {
    for (int n = 1; n <= std::min<int>(mask.PolygonCount, 8); ++n)
      WriteCell(Eng(Counter(mcPoly + n - 1)) + hits, TNizText::GetMeasCellRect(n + 1, false));
  }
}

void MaskTestAfterAcquisition() {
  if (!MaskObj || !MaskTestOn()) return;
  const TCurrentMask& mask = CurrentMask();
  if (State.ShownPolygonCount != mask.PolygonCount || State.ShownMargins != MarginsShown()) ShowMaskResults();
  // A procedure's acquisitions are not the user's run's: neither counted, saved nor stopped.
  if (State.NewData && !ProcedureRunning()) {
    UpdateMaskHitTexts();
    if (RunUntilReached()) {
      State.Test->SetOnByProgram(false);
      // A remote client waits on the run ending as the page user does.
      StopRunAndSingle();
    }
    if (State.FailedWaveform) {
      if (ActionSet(maBeep)) LinkHooks.SystemBeep();
      if (ActionSet(maSave)) SaveFailedWaveform();
    }
  }
  State.FailedWaveform = false;
  State.NewData = false;
}

std::string MaskFileStem() {
  return State.FileStem.empty() ? (FailureFolder() / "Noname").string() : State.FileStem;
}

std::string NextMaskFileName() {
  const uint32_t n = State.FileCounter;
  return MaskFileStem() + (n == 0 ? std::string() : Format_Dot("-%.5d", n)) + Extension();
}

bool SaveFailedWaveform() {
  const std::string name = NextMaskFileName();
  std::error_code error;
  const std::filesystem::path path(name);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
  const auto format = GetIndex(State.FileFormat);
  const int record = GetMaskCompareSignal();
  const bool written = format == mffBinary ? AcqHooks.SaveWaveformBinary(record, name)
                                           : AcqHooks.SaveWaveformText(record, name, format == mffYOnly);
  // A file that could not be written was reported by the save routine; the name stays.
  if (written) State.FileCounter += 1;
  return written;
}

std::string MaskRemoteCommand(const std::string& rawParam) {
  const std::string param(TrimBlanks(rawParam));
  const std::string word = UpperAscii(param);
  std::string value;
  bool error = false;
  std::string head;
  const auto count = [&](const char* name, int index) {
    head = name;
    value = std::to_string(Counter(index));
  };
  const TCurrentMask& mask = CurrentMask();
  const bool margins = mask.MarginPercent != 0;
  if (word.starts_with("ALLWFM")) {
    count("ALLWFM", mcAllWfm);
  } else if (word.starts_with("FAILWFM")) {
    count("FAILWFM", mcFailWfm);
  } else if (word.starts_with("ALLSMPL")) {
    count("ALLSMPL", mcAllSmpl);
  } else if (word.starts_with("FAILSMPL")) {
    count("FAILSMPL", mcFailSmpl);
  } else if (word.size() >= 5 && word.starts_with("POLY") && word[4] >= '1' && word[4] <= '8') {
    const int n = word[4] - '0';
    const int polygons = margins ? mask.MarginPolygonCount : mask.PolygonCount;
    if (n > polygons || !MaskObj) {
      error = true;
      value = "BAD POLYGON'S NUMBER";
    } else if (margins) {
      // Mask polygon n counts in bit n-1, its margin polygon in bit n+3.
      const uint64_t inMask = Counter(mcPoly + n - 1), inMargin = Counter(mcPoly + n + 3);
      const std::string rest = word.substr(5, 3);
      head = word.substr(0, 5) + rest;
      if (rest == "MAR") {
        value = std::to_string(inMargin);
      } else if (rest == "ALL") {
        value = std::to_string(inMask + inMargin);
      } else {
        head = word.substr(0, 5);
        value = std::to_string(inMask);
      }
    } else {
      head = word.substr(0, 5);
      value = std::to_string(Counter(mcPoly + n - 1));
    }
  } else {
    error = true;
    value = "BAD PARAMETR";
  }
  if (!HeaderOn()) return value;
  return ":" + EchoedInput(error ? param : head) + " " + value;
}

void UpdateMaskMenuEnabling() {
  if (!State.Test) return;
  const THandler* axis = RootSpider ? RootSpider->FindHandler("Hist:Axis") : nullptr;
  const auto* axisRadio = dynamic_cast<const TRadioSwHandler*>(axis);
  const bool blocked = !MaskObj || (axisRadio && axisRadio->GetIndex() != 0);
  State.Test->SetDisabled(blocked);
  State.RunUntil->SetDisabled(blocked);
  State.Action->SetDisabled(blocked);
  State.SaveUser->SetDisabled(!MaskObj);
  State.EraseMask->SetDisabled(!MaskObj);
}

void SaveMaskUndo() {
  if (State.MaskObject) State.MaskObject->SaveUndo(false);
}

void InstallMaskTest() {
  AcqHooks.MaskCompareSignal.Set([] {
    return MaskObj && MaskTestOn() && !CurrentMask().EditorActive && !ProcedureRunning()
               ? GetMaskCompareSignal()
               : -1;
  });
  AcqHooks.RaiseMaskNewRecord.Set([] { State.NewData = true; });
  AcqHooks.CountMaskHitsInRun.Set([](int channel, int firstIndex, int count) {
    (void)channel;
    CountMaskHitsInRun(GetMaskCompareSignal(), firstIndex, count);
  });
  AcqHooks.MaskTestAfterAcquisition.Set(MaskTestAfterAcquisition);
  AcqHooks.RefreshAutomaskControls.Set(RefreshAutomaskControls);
  SetAnalysisSwitchOff(kMaskMenuId, [] {
    if (MaskTestOn()) State.Test->SetOnByProgram(false);
  });
}

}  // namespace norv
