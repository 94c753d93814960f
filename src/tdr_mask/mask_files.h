#pragma once
// The current mask record, the two mask file layouts (the ini layout of standard ".msk" and
// user ".pcm" masks, and the line layout of imported standard masks), their conversion to
// screen units with the margin rules, and the setup text by which the mask travels in setups
// and undo. Every successful load ends by building a new MaskObj.
//
// A load that is refused leaves the current mask as it was.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tdr_mask/mask_object.h"

namespace norv {

enum TMaskKind : uint8_t { mkNone = 0, mkEye = 1, mkPulse = 2, mkAutomask = 3, mkUser = 4 };
// 4 and 5 are the margin regions of a line-layout mask (5 when their counts differ).
enum TMarginsType : uint8_t {
  mtNone = 0,
  mtSquare = 1,
  mtHexagon = 2,
  mtPolar = 3,
  mtRegions = 4,
  mtRegionsUneven = 5
};

// The most vertexes of one polygon: an automask has one for every screen column and two
// corners. Every reader keeps to it (a mask file's longer polygon is cut, with a message),
// so that a mask once loaded always comes back whole through undo and setups.
inline constexpr int kMaxMaskVertexes = kMaskColumns + 2;

// One polygon in screen units (X 0..4000, Y 0..1024).
struct TMaskSlot {
  std::vector<double> X, Y;
  int VertexCount() const { return static_cast<int>(X.size()); }
};

struct TCurrentMask {
  double BitPeriod = 0;  // seconds per bit
  double TimeByDivision = 0;
  uint16_t X0 = 0;
  double ValueByDivision = 0;
  double MiddleValue = 0;
  uint8_t Kind = mkNone;
  int32_t StdIndex = 0;
  int32_t MaskIndex = 0;
  // A catalogue mask is known by its standard's folder and its file; the two numbers above
  // are their places in the catalogue as last read, which a mask added to it moves.
  std::string StdFolder;
  std::string MaskFile;
  // The places a recalled setup or undo step wrote for it, before it was found anew.
  int32_t WrittenStdIndex = -1;
  int32_t WrittenMaskIndex = -1;
  std::string MaskName;
  int32_t MarginPercent = 0;  // 0: no margin polygons; negative: margin first
  uint8_t MarginsType = mtNone;
  uint8_t PolygonCount = 0;        // mask polygon n is slot n-1
  uint8_t MarginPolygonCount = 0;  // margin polygon n is slot n+3
  std::array<TMaskSlot, 8> Slots;

  // The editor's state.
  bool EditorActive = false;
  int SelectedPolygon = -1;
  int SelectedVertex = -1;
  bool PolygonDrag = false;
  bool VertexDrag = false;
  int LastX = 0, LastY = 0;
  bool DrawingMode = false;
  bool PolygonInProgress = false;

  void SetMarginPercent(int percent) {
    MarginPercent = percent;
    if (percent == 0) MarginsType = mtNone;
  }
};

TCurrentMask& CurrentMask();

// The choices of the standard-mask dialog that loading a standard mask follows.
struct TStdMaskOptions {
  bool Align = false;  // "StdMask:Align": a loaded eye or pulse mask sets the scales
};
TStdMaskOptions& StdMaskOptions();

// Sets the instrument's scales to the current eye or pulse mask while alignment is on:
// pulse masks their volts per division and middle value on both channels, both masks the
// time base (scale A four times the mask's scale on the 1-2-5 sequence, scale B the mask's,
// mode B, a delay of at least 0.2, no dual delay).
void ApplyMaskAlignment();

// Builds MaskObj from the current mask's slots (margins on when the margin percent is not
// 0, margin first when it is negative) and redraws the mask layer.
void BuildMaskObjFromCurrent();
// Frees MaskObj and empties every slot.
void ClearCurrentMask();
// Paints the mask into the mask layer of the compared trace, making the layer when needed;
// while the editor is on, draws the polygons being edited when their layer is missing.
void RefreshMaskDisplay();

// --- files ---
// The catalogue entry of one standard mask file, from its header.
struct TMaskEntry {
  std::string FileName;  // within its standard's folder
  std::string MaskName;
  std::string BitRateText;
  std::string TypeOfLineText;
  double BitRate = 0;  // bits per second
  uint8_t Kind = mkUser;
  uint8_t MarginsType = mtNone;
};

// The header of a standard mask file in either layout; false when it is none or its bit
// rate is missing or not above 0. An empty "Mask Name" of an ini mask is filled from the
// file name and written back.
bool ReadStandardMaskHeader(const std::filesystem::path& file, TMaskEntry& entry);
// Makes the mask of that file the current one, with margin percent `margin`; on failure
// the message is shown and the current mask is unchanged.
bool LoadStandardMaskFile(const std::filesystem::path& file, const TMaskEntry& entry, int margin);
// ".pcm" user masks.
bool SaveUserMask(const std::filesystem::path& fileName);
bool LoadUserMask(const std::filesystem::path& fileName);
// Writes the current mask as a standard eye mask ".msk".
bool StoreStandardMask(const std::filesystem::path& fileName, const std::string& maskName,
                       const std::string& bitRateText, bool marginsPossible);

// --- setup text ---
std::string MaskSetupText();
// False (the current mask unchanged) for a text that cannot be a mask.
bool LoadMaskSetupText(const std::string& text);
// The complex setting's callback: the text of the current mask, or the mask from the text.
void MaskSetupKeys(std::string& text, bool load);

}  // namespace norv
