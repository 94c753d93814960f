#include "tdr_mask/mask_catalogue.h"

#include <algorithm>
#include <system_error>

#include "display/display_hooks.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/text/ini_file.h"
#include "framework/text/text_case.h"
#include "framework/util/file_io.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/startup/program_folders.h"
#include "shell/shell_state.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

TListOfStandards TheStandards;
TListOfMasksInCurrentStandard TheMasks;

// Sorted so that every scan sees the same order whatever the file system gives.
std::vector<fs::path> ListEntries(const fs::path& folder, bool folders) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    const bool isFolder = it->is_directory(typeError);
    if (isFolder != folders) continue;
    if (!folders && !SameTextAscii(it->path().extension().string(), ".msk")) continue;
    found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Folders named in [RANGE] of "StandardMasks.ini" come first, in its order.
void ApplyRangeOrder(const fs::path& standardDir, std::vector<std::string>& folders) {
  try {
    TMemIniFile_Dot ini(standardDir / "StandardMasks.ini");
    size_t front = 0;
    for (size_t key = 1; key <= folders.size(); ++key) {
      const std::string name = ini.ReadString("RANGE", std::to_string(key), "Not Found");
      if (name == "Not Found") break;
      const auto it = std::find(folders.begin() + static_cast<std::ptrdiff_t>(front), folders.end(), name);
      if (it == folders.end()) continue;
      std::rotate(folders.begin() + static_cast<std::ptrdiff_t>(front), it, it + 1);
      ++front;
    }
  } catch (const EIniFileError&) {
    // An unreadable order file leaves the folders by name.
  }
}

std::string StandardNameOf(const fs::path& folder) {
  try {
    const fs::path file = folder / "Standard.ini";
    TMemIniFile_Dot ini(file);
    std::string name = ini.ReadString("COMMON", "Standard Name", "");
    if (!name.empty()) return name;
    name = folder.filename().string();
    // A folder linked in from outside is read but not written.
    if (!WhyFileRefused(file).empty()) return name;
    ini.WriteString("COMMON", "Standard Name", name);
    ini.UpdateFile();
    return name;
  } catch (const EIniFileError&) {
    return folder.filename().string();
  }
}

// The masks of a folder by bit rate, equal rates by name; with firstOnly the first found.
std::vector<TMaskEntry> MasksOf(const fs::path& folder, bool firstOnly) {
  std::vector<TMaskEntry> entries;
  for (const fs::path& file : ListEntries(folder, false)) {
    if (entries.size() >= TListOfMasksInCurrentStandard::kMaxCount) break;
    TMaskEntry entry;
    if (!ReadStandardMaskHeader(file, entry)) continue;
    entries.push_back(std::move(entry));
    if (firstOnly) break;
  }
  std::stable_sort(entries.begin(), entries.end(), [](const TMaskEntry& a, const TMaskEntry& b) {
    return a.BitRate != b.BitRate ? a.BitRate < b.BitRate : a.MaskName < b.MaskName;
  });
  return entries;
}

int NumberOf(const std::string& folder) {
  for (const TStandardEntry& e : TheStandards.Items)
    if (e.FolderName == folder) return e.Number;
  return -1;
}

int RowOf(const std::vector<TMaskEntry>& masks, const std::string& file) {
  for (size_t i = 0; i < masks.size(); ++i)
    if (masks[i].FileName == file) return static_cast<int>(i);
  return -1;
}

bool KnownByFile(const TCurrentMask& mask) {
  return (mask.Kind == mkEye || mask.Kind == mkPulse) && !mask.MaskFile.empty();
}

// The mask in force is now mask `row` of usable standard `number`. The choice of standard
// and row follows it when it named it: the mask is the same, only its place changed.
void PlaceCurrentMask(int number, int row) {
  TCurrentMask& mask = CurrentMask();
  TIntEditHandler* chosen = MaskSettings().StdIndex;
  TIntEditHandler* chosenRow = MaskSettings().StdMaskIndex;
  if (chosen && chosenRow && number >= 0 && row >= 0 && chosen->Value() == mask.StdIndex &&
      chosenRow->Value() == mask.MaskIndex) {
    for (auto [handler, value] : {std::pair{chosen, number}, std::pair{chosenRow, row}}) {
      handler->SetValueRaw(value);
      handler->NotifySwitchers();
    }
  }
  mask.StdIndex = number;
  mask.MaskIndex = row;
}

bool IsChosenStandard(const fs::path& folder) {
  const TIntEditHandler* chosen = MaskSettings().StdIndex;
  const TStandardEntry* standard = chosen ? TheStandards.Usable(chosen->Value()) : nullptr;
  return standard && folder.filename() == standard->FolderName;
}

}  // namespace

const TStandardEntry* TListOfStandards::Usable(int number) const {
  for (const TStandardEntry& e : Items)
    if (e.Number >= 0 && e.Number == number) return &e;
  return nullptr;
}

TListOfStandards& StandardsList() { return TheStandards; }
TListOfMasksInCurrentStandard& StandardMasksInCurrent() { return TheMasks; }

bool ScanStandardMasks() {
  const fs::path standardDir = DataFolders().MaskStandardDir;
  std::vector<std::string> folders;
  for (const fs::path& p : ListEntries(standardDir, true)) {
    if (folders.size() >= TListOfStandards::kMaxCount) break;
    folders.push_back(p.filename().string());
  }
  std::sort(folders.begin(), folders.end());
  ApplyRangeOrder(standardDir, folders);
  TListOfStandards list;
  for (const std::string& folder : folders) {
    TStandardEntry entry{folder, StandardNameOf(standardDir / folder), -1};
    if (ReadStandardMaskFiles(standardDir / folder, true))
      entry.Number = static_cast<int16_t>(list.UsableCount++);
    list.Items.push_back(std::move(entry));
  }
  TheStandards = std::move(list);
  LocateCurrentMask();
  if (TheStandards.UsableCount == 0) return false;
  if (TIntEditHandler* index = MaskSettings().StdIndex) {
    index->SetMax(TheStandards.UsableCount - 1);
    // The row choice is held to the rows of the standard chosen.
    if (const TStandardEntry* chosen = TheStandards.Usable(index->Value()))
      ReadStandardMaskFiles(standardDir / chosen->FolderName, false);
  }
  return true;
}

bool ReadStandardMaskFiles(const fs::path& folder, bool findOnly) {
  std::vector<TMaskEntry> entries = MasksOf(folder, findOnly);
  if (findOnly) return !entries.empty();
  TheMasks.Items = std::move(entries);
  const TCurrentMask& mask = CurrentMask();
  if (KnownByFile(mask) && folder.filename() == mask.StdFolder)
    PlaceCurrentMask(NumberOf(mask.StdFolder), RowOf(TheMasks.Items, mask.MaskFile));
  // The row choice is held to the rows of the standard chosen, a mask just stored among them.
  if (TIntEditHandler* row = MaskSettings().StdMaskIndex; row && IsChosenStandard(folder))
    row->SetMax(std::max(0.0, static_cast<double>(TheMasks.Items.size()) - 1));
  return !TheMasks.Items.empty();
}

void FollowRecalledMask() {
  const TCurrentMask& mask = CurrentMask();
  TIntEditHandler* chosen = MaskSettings().StdIndex;
  TIntEditHandler* chosenRow = MaskSettings().StdMaskIndex;
  if (!KnownByFile(mask) || !chosen || !chosenRow || mask.StdIndex < 0 || mask.MaskIndex < 0) return;
  // Each line of the choice comes on its own: each part follows when it names the written place.
  const int number = chosen->Value() == mask.WrittenStdIndex ? mask.StdIndex : chosen->Value();
  const int row = number == mask.StdIndex && chosenRow->Value() == mask.WrittenMaskIndex ? mask.MaskIndex
                                                                                         : chosenRow->Value();
  if (number == chosen->Value() && row == chosenRow->Value()) return;
  if (number != chosen->Value()) {
    chosen->SetValueRaw(number);
    // The rows of the mask's standard, which the choice names now.
    ReadStandardMaskFiles(DataFolders().MaskStandardDir / mask.StdFolder, false);
  }
  chosenRow->SetValueRaw(row);
  chosen->NotifySwitchers();
  chosenRow->NotifySwitchers();
}

void LocateCurrentMask() {
  const TCurrentMask& mask = CurrentMask();
  if (!KnownByFile(mask)) return;
  const int number = NumberOf(mask.StdFolder);
  PlaceCurrentMask(
      number,
      number < 0 ? -1 : RowOf(MasksOf(DataFolders().MaskStandardDir / mask.StdFolder, false), mask.MaskFile));
}

bool LoadStandardMask(int stdIndex, int maskIndex, int marginPercent) {
  const TStandardEntry* standard = TheStandards.Usable(stdIndex);
  if (standard == nullptr) return false;
  const fs::path folder = DataFolders().MaskStandardDir / standard->FolderName;
  // Read as it stands now: the index is a place in that list.
  TheMasks.Items = MasksOf(folder, false);
  if (maskIndex < 0 || static_cast<size_t>(maskIndex) >= TheMasks.Items.size()) return false;
  const TMaskEntry entry = TheMasks.Items[static_cast<size_t>(maskIndex)];
  if (!LoadStandardMaskFile(folder / entry.FileName, entry, marginPercent)) return false;
  TCurrentMask& mask = CurrentMask();
  mask.StdIndex = stdIndex;
  mask.MaskIndex = maskIndex;
  mask.StdFolder = standard->FolderName;
  mask.MaskFile = entry.FileName;
  return true;
}

void InstallShippedMasks(const fs::path& programDir, const fs::path& standardDir) {
  for (const TShippedFile& file : ShippedStandardMasks()) {
    const fs::path target = standardDir / fs::path(file.Path);
    if (!MakeFolderBelow(programDir, target.parent_path())) continue;
    // Whatever stands at the name, a link too, is the user's.
    std::error_code ec;
    if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) continue;
    // Written beside and renamed, so a half-written file never passes for a mask.
    WriteFileAtomically(target, file.Content, false);
  }
}

void InstallMaskFeature() {
  DisplayHooks.MaskLoaded.Set([] { return MaskObj != nullptr; });
  DisplayHooks.PointInMask.Set([](int x, int y32) {
    return MaskObj ? static_cast<TMaskArea>(MaskObj->PointInMask(x, y32)) : TMaskArea::Outside;
  });
  DisplayHooks.MaskPolygonCentre.Set([](int n) {
    const auto [x, y] = MaskObj ? MaskObj->GetMaskPolygonCentre(n) : std::pair<int, int>{0, 0};
    return std::pair<double, double>(x, y);
  });
  DisplayHooks.MaskKind.Set([] { return static_cast<int>(CurrentMask().Kind); });
  DisplayHooks.MaskName.Set([] { return CurrentMask().MaskName; });
  AcqHooks.RefreshMaskDisplay.Set(RefreshMaskDisplay);
  ShellHooks.RescanMaskStandards.Set([] {
    InstallShippedMasks(DataFolders().ProgramDir, DataFolders().MaskStandardDir);
    ScanStandardMasks();
  });
}

}  // namespace norv
