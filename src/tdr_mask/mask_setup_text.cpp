// The current mask as one comma-delimited list of Name=Value items, for setups and undo.

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"

namespace norv {

namespace {

// Items that hold commas, blanks or quotes are quoted, quotes doubled.
void AppendItem(std::string& text, std::string_view name, std::string_view value) {
  const std::string item = std::string(name) + "=" + std::string(value);
  if (!text.empty()) text += ',';
  if (item.find_first_of(", \"") == std::string::npos) {
    text += item;
    return;
  }
  text += '"';
  for (const char c : item) {
    if (c == '"') text += '"';
    text += c;
  }
  text += '"';
}

// Splits the list back into items: quoted ones up to their closing quote, others up to a
// comma or blank.
std::vector<std::string> SplitItems(std::string_view text) {
  std::vector<std::string> items;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == ',')) ++i;
    if (i >= text.size()) break;
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != ' ') item += text[i++];
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::string VertexText(const TMaskSlot& slot) {
  std::string text;
  for (int i = 0; i < slot.VertexCount(); ++i)
    text += Format_Dot("%d,%d_", static_cast<int>(std::nearbyint(slot.X[i])),
                       static_cast<int>(std::nearbyint(slot.Y[i])));
  return text;
}

// "100,200_300,400_": vertexes on the screen only, at most kMaxMaskVertexes, at least one.
std::optional<TMaskSlot> ParseVertexText(std::string_view text) {
  TMaskSlot slot;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('_', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view pair = TrimBlanks(text.substr(begin, end - begin));
    begin = end + 1;
    if (pair.empty()) continue;
    const size_t comma = pair.find(',');
    double x = 0, y = 0;
    if (comma == std::string_view::npos || !TryStrToFloat_Dot(pair.substr(0, comma), x) ||
        !TryStrToFloat_Dot(pair.substr(comma + 1), y))
      return std::nullopt;
    if (!(x >= 0 && x <= 4000 && y >= 0 && y <= 1024) || slot.VertexCount() >= kMaxMaskVertexes)
      return std::nullopt;
    slot.X.push_back(x);
    slot.Y.push_back(y);
  }
  if (slot.X.empty()) return std::nullopt;
  return slot;
}

struct TItems {
  std::vector<std::pair<std::string, std::string>> List;
  const std::string* Find(std::string_view name) const {
    for (const auto& [n, v] : List)
      if (SameTextAscii(n, name)) return &v;
    return nullptr;
  }
};

std::optional<double> ReadNumber(const TItems& items, std::string_view name) {
  const std::string* v = items.Find(name);
  double value = 0;
  if (v == nullptr) return 0.0;
  if (!TryStrToFloat_Dot(*v, value)) return std::nullopt;
  return value;
}

std::optional<int> ReadInteger(const TItems& items, std::string_view name, int lo, int hi) {
  const std::optional<double> v = ReadNumber(items, name);
  if (!v || *v != std::floor(*v) || *v < lo || *v > hi) return std::nullopt;
  return static_cast<int>(*v);
}

}  // namespace

std::string MaskSetupText() {
  const TCurrentMask& mask = CurrentMask();
  std::string text;
  AppendItem(text, "#Poly", std::to_string(mask.PolygonCount));
  if (mask.PolygonCount == 0) return text;
  const auto g = [](double v, int digits) { return FloatToStrF_Dot(v, TFloatFormat::ffGeneral, digits, 0); };
  AppendItem(text, "BitP", g(mask.BitPeriod, 6));
  AppendItem(text, "TB", g(mask.TimeByDivision, 6));
  AppendItem(text, "X0", std::to_string(mask.X0));
  AppendItem(text, "VDiv", g(mask.ValueByDivision, 3));
  AppendItem(text, "V0", g(mask.MiddleValue, 3));
  AppendItem(text, "StdI", std::to_string(mask.StdIndex));
  AppendItem(text, "MskI", std::to_string(mask.MaskIndex));
  // The file beside its place: a recall finds the mask's place anew, as the catalogue is then.
  if ((mask.Kind == mkEye || mask.Kind == mkPulse) && !mask.MaskFile.empty()) {
    AppendItem(text, "StdF", mask.StdFolder);
    AppendItem(text, "MskF", mask.MaskFile);
  }
  AppendItem(text, "MskNm", mask.MaskName);
  AppendItem(text, "Marg", std::to_string(mask.MarginPercent));
  AppendItem(text, "Kind", std::to_string(mask.Kind));
  for (int n = 1; n <= mask.PolygonCount; ++n)
    AppendItem(text, Format_Dot("Poly%d", n), VertexText(mask.Slots[n - 1]));
  if (mask.MarginPercent != 0) {
    AppendItem(text, "#MgPly", std::to_string(mask.MarginPolygonCount));
    for (int n = 1; n <= mask.MarginPolygonCount; ++n)
      AppendItem(text, Format_Dot("MgPly%d", n), VertexText(mask.Slots[n + 3]));
  }
  return text;
}

bool LoadMaskSetupText(const std::string& text) {
  TItems items;
  for (const std::string& item : SplitItems(text)) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    items.List.emplace_back(item.substr(0, eq), item.substr(eq + 1));
  }
  const std::optional<int> count = ReadInteger(items, "#Poly", 0, kMaskMaxPolygons);
  if (!count) return false;
  TCurrentMask mask;
  mask.EditorActive = CurrentMask().EditorActive;
  if (*count == 0) {
    ClearCurrentMask();
    CurrentMask() = std::move(mask);
    return true;
  }
  const std::optional<double> bitP = ReadNumber(items, "BitP"), tb = ReadNumber(items, "TB"),
                              vdiv = ReadNumber(items, "VDiv"), v0 = ReadNumber(items, "V0");
  const std::optional<int> x0 = ReadInteger(items, "X0", 0, 4000),
                           stdI = ReadInteger(items, "StdI", -1, 1 << 20),
                           mskI = ReadInteger(items, "MskI", -1, 1 << 20),
                           marg = ReadInteger(items, "Marg", -100000, 100000),
                           kind = ReadInteger(items, "Kind", mkNone, mkUser);
  if (!bitP || !tb || !vdiv || !v0 || !x0 || !stdI || !mskI || !marg || !kind) return false;
  mask.BitPeriod = *bitP;
  mask.TimeByDivision = *tb;
  mask.X0 = static_cast<uint16_t>(*x0);
  mask.ValueByDivision = *vdiv;
  mask.MiddleValue = *v0;
  mask.StdIndex = mask.WrittenStdIndex = *stdI;
  mask.MaskIndex = mask.WrittenMaskIndex = *mskI;
  if (const std::string* name = items.Find("MskNm")) mask.MaskName = *name;
  const std::string *folder = items.Find("StdF"), *file = items.Find("MskF");
  if (folder && file) {
    mask.StdFolder = *folder;
    mask.MaskFile = *file;
  }
  mask.MarginPercent = *marg;
  mask.Kind = static_cast<uint8_t>(*kind);
  for (int n = 1; n <= *count; ++n) {
    const std::string* v = items.Find(Format_Dot("Poly%d", n));
    std::optional<TMaskSlot> slot = v ? ParseVertexText(*v) : std::nullopt;
    if (!slot) return false;
    mask.Slots[n - 1] = std::move(*slot);
  }
  mask.PolygonCount = static_cast<uint8_t>(*count);
  if (mask.MarginPercent != 0) {
    // Margin polygon n takes slot n + 3: beside more than four mask polygons there is no room.
    const std::optional<int> margins = ReadInteger(items, "#MgPly", 0, kMaskMaxMarginPolygons);
    if (!margins || (*margins > 0 && *count > kMaskMaxMarginPolygons)) return false;
    for (int n = 1; n <= *margins; ++n) {
      const std::string* v = items.Find(Format_Dot("MgPly%d", n));
      std::optional<TMaskSlot> slot = v ? ParseVertexText(*v) : std::nullopt;
      if (!slot) return false;
      mask.Slots[n + 3] = std::move(*slot);
    }
    mask.MarginPolygonCount = static_cast<uint8_t>(*margins);
  }
  ClearCurrentMask();
  CurrentMask() = std::move(mask);
  BuildMaskObjFromCurrent();
  return true;
}

void MaskSetupKeys(std::string& text, bool load) {
  if (load)
    LoadMaskSetupText(text);
  else
    text = MaskSetupText();
}

}  // namespace norv
