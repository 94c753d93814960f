// Mask files: the bytes of a user mask (".pcm"), a standard mask in the ini or the line
// layout (".msk") or a mask setup text, loaded; a mask that loads is written again in its
// layout and read back, which must give its polygons again (the reader may thin a
// vertex away, never add or move one) or refuse; its setup text must read back equal.
//
// Input: the first byte picks the layout and the margin percent, the rest is the file.

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/util/program_dir.h"
#include "support/fuzz_program.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"

using namespace norv;
using norv::fuzz::Require;

namespace {

namespace fs = std::filesystem;

struct TShape {
  std::vector<TMaskSlot> Slots;
  int Polygons = 0;
};

TShape Shape() {
  const TCurrentMask& m = CurrentMask();
  TShape s;
  s.Polygons = m.PolygonCount;
  for (int n = 0; n < m.PolygonCount; ++n) s.Slots.push_back(m.Slots[n]);
  return s;
}

// Every vertex read back stands for a written one, in order, within `tolerance`.
bool KeepsVertexes(const TShape& written, const TShape& read, double tolerance, bool rounded) {
  if (written.Polygons != read.Polygons) return false;
  for (int n = 0; n < written.Polygons; ++n) {
    const TMaskSlot& w = written.Slots[n];
    const TMaskSlot& r = read.Slots[n];
    size_t at = 0;
    for (int i = 0; i < r.VertexCount(); ++i) {
      bool found = false;
      for (; at < w.X.size() && !found; ++at) {
        const double wx = rounded ? std::nearbyint(w.X[at]) : w.X[at];
        const double wy = rounded ? std::nearbyint(w.Y[at]) : w.Y[at];
        found = std::abs(wx - r.X[i]) <= tolerance && std::abs(wy - r.Y[i]) <= tolerance;
      }
      if (!found) return false;
    }
  }
  return true;
}

struct TNoMaskAround {
  TNoMaskAround() { Clear(); }
  ~TNoMaskAround() { Clear(); }
  TNoMaskAround(const TNoMaskAround&) = delete;
  TNoMaskAround& operator=(const TNoMaskAround&) = delete;
  static void Clear() {
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
  }
};

void CheckSetupText() {
  const std::string text = MaskSetupText();
  Require(LoadMaskSetupText(text), "a mask's setup text reads back", text);
  Require(MaskSetupText() == text, "a mask's setup text reads back equal", text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // No mask before the input, none after it: what the input loaded is freed within it.
  const TNoMaskAround noMask;
  const int layout = data[0] % 4;
  const int margin = static_cast<int>(data[0] / 4) - 32;  // -32..31
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const fs::path file = ProgramDir() / (layout == 0 ? "fuzz.pcm" : "fuzz.msk");
  const fs::path again = ProgramDir() / (layout == 0 ? "again.pcm" : "again.msk");

  if (layout == 3) {
    if (LoadMaskSetupText(bytes) && CurrentMask().PolygonCount > 0) CheckSetupText();
    return 0;
  }
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  bool loaded = false;
  if (layout == 0) {
    loaded = LoadUserMask(file);
  } else {
    TMaskEntry entry;
    loaded = ReadStandardMaskHeader(file, entry) && LoadStandardMaskFile(file, entry, margin);
  }
  if (!loaded) {
    Require(MaskObj == nullptr && CurrentMask().PolygonCount == 0, "a refused file loads nothing");
    return 0;
  }
  Require(MaskObj != nullptr && CurrentMask().PolygonCount > 0, "a loaded mask has polygons");
  for (int n = 0; n < CurrentMask().PolygonCount; ++n)
    for (int i = 0; i < CurrentMask().Slots[n].VertexCount(); ++i)
      Require(CurrentMask().Slots[n].X[i] >= 0 && CurrentMask().Slots[n].X[i] <= 4000 &&
                  CurrentMask().Slots[n].Y[i] >= 0 && CurrentMask().Slots[n].Y[i] <= 1024,
              "a loaded vertex lies on the screen");
  CheckSetupText();

  // Written in its layout (a user mask, or a standard eye mask) and read back.
  const TShape written = Shape();
  const bool user = layout == 0;
  CurrentMask().MarginPercent = 0;
  if (user) {
    if (!(CurrentMask().TimeByDivision >= 1e-12 && CurrentMask().ValueByDivision >= 0.0001)) return 0;
    Require(SaveUserMask(again), "a user mask is written");
    if (LoadUserMask(again))
      Require(KeepsVertexes(written, Shape(), 0, true), "a user mask reads back its vertexes");
  } else {
    Require(StoreStandardMask(again, "Fuzz", "1 Gbps", false), "a standard mask is written");
    TMaskEntry entry;
    Require(ReadStandardMaskHeader(again, entry), "a written standard mask is listed");
    if (LoadStandardMaskFile(again, entry, 0))
      Require(KeepsVertexes(written, Shape(), 0.5, false), "a standard mask reads back its vertexes");
  }
  return 0;
}
