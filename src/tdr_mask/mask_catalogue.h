#pragma once
// The catalogue of standard masks on disk: one sub-folder of "Masks/Standard/" per
// standard, its display name in "Standard.ini", the order of the folders in
// "StandardMasks.ini", the masks of the chosen standard ordered by bit rate; and the
// standard masks the program ships, put into the folder when missing there.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tdr_mask/mask_files.h"

namespace norv {

struct TStandardEntry {
  std::string FolderName;
  std::string StandardName;
  int16_t Number = -1;  // running number among the folders with masks; -1 without
};

struct TListOfStandards {
  static constexpr size_t kMaxCount = 32;
  std::vector<TStandardEntry> Items;
  uint8_t UsableCount = 0;
  // The folder of usable standard `number`; nullptr when there is none.
  const TStandardEntry* Usable(int number) const;
};

struct TListOfMasksInCurrentStandard {
  static constexpr size_t kMaxCount = 201;
  std::vector<TMaskEntry> Items;
};

TListOfStandards& StandardsList();
TListOfMasksInCurrentStandard& StandardMasksInCurrent();

// Rebuilds StandardsList; true when at least one standard holds masks.
bool ScanStandardMasks();
// Fills StandardMasksInCurrent from the "*.msk" of the folder; with findOnly it stops at
// the first mask (leaving the list alone) and tells whether there is one.
bool ReadStandardMaskFiles(const std::filesystem::path& folder, bool findOnly);
// Makes mask maskIndex of usable standard stdIndex the current one.
bool LoadStandardMask(int stdIndex, int maskIndex, int marginPercent);
// Gives the catalogue mask in force the places its folder and file hold in the catalogue now
// (-1 for one no longer there); a mask of an unknown file keeps its numbers.
void LocateCurrentMask();
// A recalled choice of standard and row that names the place its setup or undo step wrote
// for the catalogue mask in force follows that mask to where it is found now.
void FollowRecalledMask();

// A file the program ships, by its path below the standard-mask folder.
struct TShippedFile {
  std::string_view Path;
  std::string_view Content;
};
std::span<const TShippedFile> ShippedStandardMasks();
// Writes every shipped mask that is missing below the standard-mask folder; a user's file
// is never overwritten, and nothing is made through a link leading out of `programDir`.
void InstallShippedMasks(const std::filesystem::path& programDir, const std::filesystem::path& standardDir);

// Fills the hooks by which the screen and the shell reach the mask.
void InstallMaskFeature();

}  // namespace norv
