#include "tdr_mask/mask_files.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/step_rules.h"
#include "framework/settings/value_text.h"
#include "framework/text/dot_number.h"
#include "framework/text/ini_file.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/dialog_service.h"
#include "framework/util/file_io.h"
#include "instrument/settings/timebase_settings.h"
#include "tdr_mask/mask_editor.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCommon = "COMMON";
constexpr std::string_view kStandardSignature = "Standard Mask";
constexpr std::string_view kUserSignature = "User Mask";
constexpr std::string_view kLineMagic = "MASK_FILE_VXNORV";
constexpr std::string_view kRegionNumber = "/* Region Number         */  ";
constexpr std::string_view kRegionType = "/* Region Type           */  ";
constexpr std::string_view kVertexCountLine = "/* Number of vertices    */  ";
constexpr std::string_view kXDelay = ":MTES:SCAL:XDEL ";
// "MAX" and "MIN" of a vertex Y: beyond any screen, clamped to its edge.
constexpr double kYMax = 1000000;
constexpr double kYMin = -1000000;

TCurrentMask TheCurrentMask;
TStdMaskOptions TheStdMaskOptions;

// A polygon as read from a file, in file units.
struct TFilePolygon {
  std::vector<double> X, Y;
};

// Why a load was refused: the file is not a mask of its kind (nothing said), it is damaged,
// or it cannot take the margins asked for.
enum class TRefusal { Silent, Damaged, Margins };

void ShowMaskMessage(TRefusal why, const fs::path& file) {
  if (why == TRefusal::Damaged)
    Dialogs().Inform(TMessageKind::Error,
                     FormatOr_Dot(GetLangStr("ErrMask6S"), "Error reading the mask file %s", file.string()));
  else if (why == TRefusal::Margins)
    Dialogs().Inform(
        TMessageKind::Error,
        FormatOr_Dot(GetLangStr("ErrMaskMargins"), "The mask file %s cannot take margins", file.string()));
}

bool ParseNumber(std::string_view text, double& value) { return TryStrToFloat_Dot(TrimBlanks(text), value); }

// A vertex Y: a number, "MAX" or "MIN".
bool ParseVertexY(std::string_view text, double& y) {
  const std::string word = UpperAscii(TrimBlanks(text));
  if (word == "MAX") {
    y = kYMax;
    return true;
  }
  if (word == "MIN") {
    y = kYMin;
    return true;
  }
  return ParseNumber(word, y);
}

// "X, Y": split at the first comma.
bool ParseVertex(std::string_view text, double& x, double& y) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  return ParseNumber(text.substr(0, comma), x) && ParseVertexY(text.substr(comma + 1), y);
}

// "2.488 Gbps": the number before the first blank, scaled by the first letter after it.
std::optional<double> ParseBitRate(std::string_view text) {
  text = TrimBlanks(text);
  const size_t blank = text.find(' ');
  double rate = 0;
  if (!ParseNumber(text.substr(0, blank), rate)) return std::nullopt;
  if (blank != std::string_view::npos) {
    const std::string_view unit = TrimBlanks(text.substr(blank));
    if (!unit.empty()) {
      switch (UpperAscii(unit[0])) {
        case 'K':
          rate *= 1e3;
          break;
        case 'M':
          rate *= 1e6;
          break;
        case 'G':
          rate *= 1e9;
          break;
        case 'T':
          rate *= 1e12;
          break;
        default:
          break;
      }
    }
  }
  if (!(rate > 0) || !std::isfinite(rate)) return std::nullopt;
  return rate;
}

uint8_t KindOfText(std::string_view text) {
  const std::string word = UpperAscii(TrimBlanks(text));
  return word == "EYE" ? mkEye : word == "PULSE" ? mkPulse : mkUser;
}

uint8_t MarginsTypeOfText(std::string_view text) {
  const std::string word = UpperAscii(TrimBlanks(text));
  return word == "SQUARE" ? mtSquare : word == "HEXAGON" ? mtHexagon : word == "POLAR" ? mtPolar : mtNone;
}

// "1, 3": the polygon sections named, each 1..8; other items are skipped.
std::vector<int> ParsePolygonList(std::string_view text) {
  std::vector<int> numbers;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string_view::npos) end = text.size();
    double value = 0;
    if (ParseNumber(text.substr(begin, end - begin), value) && value == std::floor(value) && value >= 1 &&
        value <= 8)
      numbers.push_back(static_cast<int>(value));
    begin = end + 1;
  }
  return numbers;
}

// Drops the vertexes that lie within a tolerance of the line between the kept ones.
TFilePolygon ThinPolygon(const TFilePolygon& p) {
  const int count = static_cast<int>(p.X.size());
  if (count < 3) return p;
  double lo = 0, hi = 0;
  bool any = false;
  for (const double y : p.Y) {
    if (y == kYMax || y == kYMin) continue;
    lo = any ? std::min(lo, y) : y;
    hi = any ? std::max(hi, y) : y;
    any = true;
  }
  const double tolerance = (hi - lo) / 500;
  // Every vertex strictly between a and j within the tolerance of the line a-j.
  const auto passes = [&](int a, int j) {
    const double dx = p.X[j] - p.X[a];
    const double slope = dx == 0 ? 1e-20 : (p.Y[j] - p.Y[a]) / dx;
    for (int i = a + 1; i < j; ++i)
      if (!(std::abs(p.Y[i] - (p.Y[a] + slope * (p.X[i] - p.X[a]))) < tolerance)) return false;
    return true;
  };
  std::vector<int> kept{0};
  int a = 0;
  int j = 2;
  for (;;) {
    if (passes(a, j)) {
      if (j < count - 1) {
        ++j;
        continue;
      }
      kept.push_back(j);
      break;
    }
    kept.push_back(j - 1);
    a = j - 1;
  }
  TFilePolygon thin;
  for (const int k : kept) {
    thin.X.push_back(p.X[k]);
    thin.Y.push_back(p.Y[k]);
  }
  return thin;
}

// Values beyond the frame move outward, values inside it toward the centre.
double Frame(double v, double s) {
  if (std::abs(v) > 10000) return v;
  return v >= 0 ? 1 - (1 - v) * s : -1 - (-1 - v) * s;
}

double ClampScreen(double v, double hi) { return std::isnan(v) ? 1.0 : std::clamp(v, 1.0, hi); }

// Stores an ini polygon (file units) as mask polygon n, or margin polygon n with margin m.
void StorePolygon(TCurrentMask& mask, int n, bool margin, const TFilePolygon& p, int m) {
  const double s = (100.0 + m) / 100.0;
  TMaskSlot& slot = mask.Slots[margin ? n + 3 : n - 1];
  slot = TMaskSlot{};
  for (size_t i = 0; i < p.X.size(); ++i) {
    double x = p.X[i], y = p.Y[i];
    if (mask.Kind == mkEye) {
      x = (x - 0.5) * 2;
      y = (y - 0.5) * 2;
    }
    if (mask.MarginsType != mtNone) {
      if (m < 0) {
        if (-0.999 < x && x < 0.991) x *= s;
        y *= (y <= -1 || y >= 1) ? 2 - s : s;
      } else if (y < -1 || y > 1) {
        y = Frame(y, s);
      } else if (mask.MarginsType == mtSquare) {
        x = Frame(x, s);
        y = Frame(y, s);
      } else if (mask.MarginsType == mtHexagon) {
        if (y == 0)
          x = Frame(x, s);
        else
          y = Frame(y, s);
      } else if (mask.MarginsType == mtPolar) {
        x *= s;
        y *= s;
      }
    }
    double sx = x, sy = y;
    if (mask.Kind == mkEye) {
      sx = 1200 * x + 2000;
      sy = (0.25 * y + 0.5) * 1024;
    } else if (mask.Kind == mkPulse) {
      sx = mask.X0 + (x * mask.BitPeriod / mask.TimeByDivision) * 400;
      sy = ((y - mask.MiddleValue) / mask.ValueByDivision + 4) * 1024 / 8;
    }
    slot.X.push_back(ClampScreen(sx, 3999));
    slot.Y.push_back(ClampScreen(sy, 1023));
  }
  if (margin)
    mask.MarginPolygonCount = static_cast<uint8_t>(std::max<int>(mask.MarginPolygonCount, n));
  else
    mask.PolygonCount = static_cast<uint8_t>(std::max<int>(mask.PolygonCount, n));
}

// The vertexes of section "Polygon d"; false for a count of 0 or a vertex missing or damaged.
bool ReadIniPolygon(TCustomIniFile_Dot& ini, int d, TFilePolygon& p) {
  const std::string section = Format_Dot("Polygon %d", d);
  const int32_t count = ini.ReadInteger(section, "Number of Vertex", 0);
  if (count <= 0) return false;
  for (int32_t i = 1; i <= count; ++i) {
    const std::string key = Format_Dot("Vertex %d", i);
    if (!ini.ValueExists(section, key)) return false;
    double x = 0, y = 0;
    if (!ParseVertex(ini.ReadString(section, key, ""), x, y)) return false;
    p.X.push_back(x);
    p.Y.push_back(y);
  }
  return true;
}

// The scales of a pulse or user mask; false when they are too small to be real.
bool ReadMaskScales(TCustomIniFile_Dot& ini, TCurrentMask& mask) {
  mask.TimeByDivision = ini.ReadFloat(kCommon, "Time by Division", 0);
  mask.ValueByDivision = ini.ReadFloat(kCommon, "Value by Division", 0);
  mask.MiddleValue = ini.ReadFloat(kCommon, "Middle Value", 0);
  return mask.TimeByDivision >= 1e-12 && mask.ValueByDivision >= 0.0001;
}

// The polygons of an ini mask, thinned, with their margin polygons when the margin is set.
std::optional<TRefusal> ReadIniPolygons(TCustomIniFile_Dot& ini, TCurrentMask& mask) {
  const std::vector<int> numbers = ParsePolygonList(ini.ReadString(kCommon, "List of Polygons", ""));
  if (numbers.empty() || numbers.size() > kMaskMaxPolygons) return TRefusal::Damaged;
  // Margin polygon n shares its place with mask polygon n + 4.
  if (mask.MarginPercent != 0 && numbers.size() > kMaskMaxMarginPolygons) return TRefusal::Margins;
  int n = 0;
  for (const int d : numbers) {
    TFilePolygon p;
    if (!ReadIniPolygon(ini, d, p)) return TRefusal::Damaged;
    if (mask.Kind == mkUser)
      for (size_t i = 0; i < p.X.size(); ++i)
        if (!(p.X[i] >= 0 && p.X[i] <= 4000 && p.Y[i] >= 0 && p.Y[i] <= 1024)) return TRefusal::Damaged;
    const TFilePolygon thin = ThinPolygon(p);
    ++n;
    StorePolygon(mask, n, false, thin, 0);
    if (mask.MarginPercent != 0) StorePolygon(mask, n, true, thin, mask.MarginPercent);
  }
  return std::nullopt;
}

// --- line layout ---

struct TLineRegion {
  int Number = 0;
  std::string Type;  // "STD", "MARGIN_MAX", "MARGIN_MIN"
  TFilePolygon Vertexes;
};

struct TLineMask {
  std::string Name;
  double BitRate = 0;
  std::string BitRateText;
  std::vector<TLineRegion> Regions;
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> ReadTrimmedLines(const fs::path& file) {
  std::vector<std::string> lines;
  const std::string bytes = ReadRegularFile(file).Bytes;
  for (const std::string_view line : SplitLines(bytes)) {
    const std::string_view trimmed = TrimBlanks(line);
    std::string_view t = trimmed;
    while (!t.empty() && (t.back() == '\r' || t.back() == '\t')) t.remove_suffix(1);
    t = TrimBlanks(t);
    if (!t.empty()) lines.emplace_back(t);
  }
  return lines;
}

std::optional<int> ParseInteger(std::string_view text) {
  double v = 0;
  if (!ParseNumber(text, v) || v != std::floor(v) || std::abs(v) > 1e9) return std::nullopt;
  return static_cast<int>(v);
}

// Reads a line-layout mask; nothing when the first line is not the magic or a region or
// value is damaged. Regions are read by number 1..8, each type found from the file's start.
std::optional<TLineMask> ReadLineMask(const fs::path& file) {
  const std::vector<std::string> lines = ReadTrimmedLines(file);
  if (lines.empty() || lines[0] != kLineMagic) return std::nullopt;
  TLineMask mask;
  mask.Name = file.stem().string();
  for (const std::string& line : lines) {
    if (line.front() == '"') {
      mask.Name = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string();
    } else if (StartsWith(line, kXDelay)) {
      double delay = 0;
      if (!ParseNumber(std::string_view(line).substr(kXDelay.size()), delay) || !(delay > 0))
        return std::nullopt;
      mask.BitRate = 1 / delay;
      if (!std::isfinite(mask.BitRate)) return std::nullopt;
      mask.BitRateText =
          std::string(TrimBlanks(FloatToEngStr(vfEngineering, 3, false, mask.BitRate, false))) + "bps";
    }
  }
  const auto readRegion = [&](size_t at, TLineRegion& region) {
    if (at + 2 >= lines.size() || !StartsWith(lines[at + 2], kVertexCountLine)) return false;
    const std::optional<int> count =
        ParseInteger(std::string_view(lines[at + 2]).substr(kVertexCountLine.size()));
    if (!count || *count <= 0 || at + 2 + static_cast<size_t>(*count) >= lines.size()) return false;
    for (int i = 1; i <= *count; ++i) {
      double x = 0, y = 0;
      if (!ParseVertex(lines[at + 2 + i], x, y)) return false;
      region.Vertexes.X.push_back(x);
      region.Vertexes.Y.push_back(y);
    }
    return true;
  };
  for (int number = 1; number <= kMaskMaxPolygons; ++number) {
    bool foundStd = false;
    for (const std::string_view type : {"STD", "MARGIN_MAX", "MARGIN_MIN"}) {
      for (size_t at = 0; at + 1 < lines.size(); ++at) {
        if (!StartsWith(lines[at], kRegionNumber)) continue;
        if (ParseInteger(std::string_view(lines[at]).substr(kRegionNumber.size())) != number) continue;
        const std::string_view typeLine(lines[at + 1]);
        if (!StartsWith(typeLine, kRegionType) || TrimBlanks(typeLine.substr(kRegionType.size())) != type)
          continue;
        TLineRegion region{number, std::string(type), {}};
        if (!readRegion(at, region)) return std::nullopt;
        mask.Regions.push_back(std::move(region));
        if (type == "STD") foundStd = true;
        break;
      }
      if (type == "STD" && !foundStd) break;
    }
    if (!foundStd) break;
  }
  return mask;
}

const TLineRegion* FindRegion(const TLineMask& mask, int number, std::string_view type) {
  for (const TLineRegion& r : mask.Regions)
    if (r.Number == number && r.Type == type) return &r;
  return nullptr;
}

int CountRegions(const TLineMask& mask, std::string_view type) {
  return static_cast<int>(std::count_if(mask.Regions.begin(), mask.Regions.end(),
                                        [&](const TLineRegion& r) { return r.Type == type; }));
}

std::optional<TRefusal> StoreLineRegions(const TLineMask& lineMask, TCurrentMask& mask) {
  const int m = mask.MarginPercent;
  const std::string_view marginType = m > 0 ? "MARGIN_MAX" : "MARGIN_MIN";
  int stdCount = 0;
  bool leftOrigin = false;
  for (const TLineRegion& r : lineMask.Regions) {
    if (!r.Vertexes.X.empty() && r.Vertexes.X[0] < -0.1) leftOrigin = true;
    if (r.Type == "STD") ++stdCount;
  }
  if (stdCount == 0) return TRefusal::Damaged;
  if (m != 0 && stdCount > kMaskMaxMarginPolygons) return TRefusal::Margins;
  const double origin = leftOrigin ? 2000 : 800;
  const auto toScreen = [&](double x, double y, TMaskSlot& slot) {
    slot.X.push_back(ClampScreen(origin + 2400 * x, 3999));
    slot.Y.push_back(ClampScreen((0.5 * y + 0.25) * 1024, 1023));
  };
  for (int n = 1; n <= stdCount; ++n) {
    const TLineRegion* std = FindRegion(lineMask, n, "STD");
    if (std == nullptr) return TRefusal::Damaged;
    const TFilePolygon& v = std->Vertexes;
    TMaskSlot& slot = mask.Slots[n - 1];
    slot = TMaskSlot{};
    for (size_t i = 0; i < v.X.size(); ++i) toScreen(v.X[i], v.Y[i], slot);
    mask.PolygonCount = static_cast<uint8_t>(n);
    if (m == 0) continue;
    // A margin region with fewer vertexes than its mask region has no partner for each.
    const TLineRegion* edge = FindRegion(lineMask, n, marginType);
    if (edge == nullptr || edge->Vertexes.X.size() < v.X.size()) return TRefusal::Margins;
    const double f = std::abs(m) / 100.0;
    TMaskSlot& marginSlot = mask.Slots[n + 3];
    marginSlot = TMaskSlot{};
    for (size_t i = 0; i < v.X.size(); ++i)
      toScreen(v.X[i] + (edge->Vertexes.X[i] - v.X[i]) * f, v.Y[i] + (edge->Vertexes.Y[i] - v.Y[i]) * f,
               marginSlot);
    mask.MarginPolygonCount = static_cast<uint8_t>(n);
  }
  return std::nullopt;
}

// The mask read from the file becomes the current one, keeping the editor's state, and is
// built for testing. A polygon longer than the setup text carries is cut to its first
// vertexes and the user told: undo or a setup would otherwise lose the whole mask.
void CommitMask(TCurrentMask& mask, const fs::path& file) {
  bool cut = false;
  for (TMaskSlot& slot : mask.Slots) {
    if (slot.VertexCount() <= kMaxMaskVertexes) continue;
    slot.X.resize(kMaxMaskVertexes);
    slot.Y.resize(kMaxMaskVertexes);
    cut = true;
  }
  TCurrentMask& current = TheCurrentMask;
  mask.EditorActive = current.EditorActive;
  current = std::move(mask);
  BuildMaskObjFromCurrent();
  if (cut)
    Dialogs().Inform(
        TMessageKind::Warning,
        FormatOr_Dot(GetLangStr("ErrMaskVertexes"),
                     "The mask file %s has a polygon of more than %d vertices: its first %d are kept",
                     file.string(), kMaxMaskVertexes, kMaxMaskVertexes));
}

// The value of a numeric setting, or the fallback while it is not registered.
double SettingValue(std::string_view path, double fallback) {
  const THandler* h = RootSpider ? RootSpider->FindHandler(path) : nullptr;
  const auto* edit = dynamic_cast<const TEditHandler*>(h);
  return edit ? edit->GetFloatValue() : fallback;
}

// The time scale shown now, or the fallback while the time base is not registered.
double ActiveTimeScaleOr(double fallback) {
  return RootSpider && RootSpider->FindHandler("TB:Mode"_node) ? GetActiveTimeScale() : fallback;
}

std::string G5(double v) { return FloatToStrF_Dot(v, TFloatFormat::ffGeneral, 5, 0); }

std::string PolygonListText(int count) {
  std::string text;
  for (int n = 1; n <= count; ++n) text += (n > 1 ? ", " : "") + std::to_string(n);
  return text;
}

// Writes a whole mask file of the current mask; false (with the message) when it cannot be
// created, or when there is no mask (erased meanwhile, say): a file of no polygons is no
// mask, and it would replace the one it was chosen over.
template <typename Fill>
bool WriteMaskFile(const fs::path& fileName, std::string_view failKey, std::string_view failText,
                   Fill&& fill) {
  if (TheCurrentMask.PolygonCount == 0) {
    Dialogs().Inform(TMessageKind::Error, GetLangStr("NoMaskToSave"));
    return false;
  }
  // The user-mask folder of a fresh program folder does not exist yet.
  std::error_code ignored;
  if (fileName.has_parent_path()) fs::create_directories(fileName.parent_path(), ignored);
  try {
    TMemIniFile_Dot ini(fileName);
    ini.Clear();
    fill(ini);
    ini.UpdateFile();
    return true;
  } catch (const EIniFileError& e) {
    std::string text = GetLangStr(failKey);
    if (text.empty()) text = failText;
    Dialogs().Inform(TMessageKind::Error, WithReason(text + fileName.string(), e.Why()));
    return false;
  }
}

}  // namespace

TCurrentMask& CurrentMask() { return TheCurrentMask; }
TStdMaskOptions& StdMaskOptions() { return TheStdMaskOptions; }

void ApplyMaskAlignment() {
  TCurrentMask& mask = TheCurrentMask;
  if (!TheStdMaskOptions.Align || (mask.Kind != mkEye && mask.Kind != mkPulse) || !RootSpider) return;
  if (!RootSpider->FindHandler("TB:Mode"_node)) return;
  const auto setDouble = [](std::string_view path, double value) {
    if (auto* h = dynamic_cast<TDoubleEditHandler*>(RootSpider->FindHandler(path)))
      h->SetValueByProgram(value);
  };
  if (mask.Kind == mkPulse) {
    mask.ValueByDivision = std::clamp(mask.ValueByDivision, 0.001, 0.255);
    mask.MiddleValue = std::clamp(mask.MiddleValue, -1.0, 1.0);
    setDouble("Ch1:Scale"_node, mask.ValueByDivision);
    setDouble("Ch2:Scale"_node, mask.ValueByDivision);
    setDouble("Ch1:Offset"_node, -mask.MiddleValue);
    setDouble("Ch2:Offset"_node, -mask.MiddleValue);
  }
  SetTimeBaseScale(false, CorrectNewVal1_2_5(4 * mask.TimeByDivision));
  SetTimeBaseScale(true, mask.TimeByDivision);
  if (const auto* delay = dynamic_cast<const TDoubleEditHandler*>(RootSpider->FindHandler("TB:Delay"_node));
      delay && delay->GetFloatValue() < 0.2)
    setDouble("TB:Delay"_node, 2.0);
  if (auto* mode = dynamic_cast<TRadioSwHandler*>(RootSpider->FindHandler("TB:Mode"_node)))
    mode->SetIndexByProgram(2);
  if (auto* dual = dynamic_cast<TOnOffHandler*>(RootSpider->FindHandler("TB:DualDel"_node)))
    dual->SetOnByProgram(false);
}

void BuildMaskObjFromCurrent() {
  const TCurrentMask& mask = TheCurrentMask;
  auto obj = std::make_unique<TMask_Obj>();
  obj->SetMarginsOn(mask.MarginPercent != 0);
  obj->SetMarginFirst(mask.MarginPercent < 0);
  for (int n = 1; n <= mask.PolygonCount; ++n)
    obj->AddPolygon(TMask_Obj::pkMask, mask.Slots[n - 1].X, mask.Slots[n - 1].Y);
  for (int n = 1; n <= mask.MarginPolygonCount; ++n)
    obj->AddPolygon(TMask_Obj::pkMargin, mask.Slots[n + 3].X, mask.Slots[n + 3].Y);
  if (ScopeCRT) {
    ScopeCRT->DeleteMaskLayer();
    ScopeCRT->DeleteMaskErrorLayer();
    // A mask loaded while it is edited: the editor shows the new polygons, not the old.
    ScopeCRT->DeleteMaskEditLayer();
  }
  MaskObj = std::move(obj);
  RefreshMaskDisplay();
  if (mask.EditorActive) MaskEditorHooks.RefreshEditPage();
  if (ScopeCRT) ScopeCRT->TopText().ShowMaskState();
}

void ClearCurrentMask() {
  // Without a mask the test would only stand still with its counts frozen.
  if (MaskTestOn()) MaskSettings().Test->SetOnByProgram(false);
  MaskObj.reset();
  TCurrentMask& mask = TheCurrentMask;
  for (TMaskSlot& slot : mask.Slots) slot = TMaskSlot{};
  mask.PolygonCount = 0;
  mask.MarginPolygonCount = 0;
  if (ScopeCRT) {
    ScopeCRT->DeleteMaskLayer();
    ScopeCRT->DeleteMaskErrorLayer();
    ScopeCRT->DeleteMaskEditLayer();
    ScopeCRT->TopText().ShowMaskState();
  }
}

void RefreshMaskDisplay() {
  // A screen made anew (the window resized, another format) lost the polygons being edited.
  if (TheCurrentMask.EditorActive) return MaskEditDrawAll();
  // The mask stands where the trace it is tested on is shown, and follows that trace.
  const TTraceId compared = MaskComparedTrace();
  if (!MaskObj || !ScopeCRT || ScopeCRT->HasMaskLayer(compared)) return;
  if (TMaskLayer* layer = ScopeCRT->CreateMaskLayer(compared)) layer->PaintMask();
}

bool ReadStandardMaskHeader(const fs::path& file, TMaskEntry& entry) {
  entry = TMaskEntry{};
  entry.FileName = file.filename().string();
  try {
    TMemIniFile_Dot ini(file);
    if (ini.ReadString(kCommon, "Signature", "") == kStandardSignature) {
      entry.MaskName = ini.ReadString(kCommon, "Mask Name", "");
      if (entry.MaskName.empty()) {
        entry.MaskName = file.stem().string();
        ini.WriteString(kCommon, "Mask Name", entry.MaskName);
        try {
          ini.UpdateFile();
        } catch (const EIniFileError&) {
          // A folder the user cannot write still lists the mask.
        }
      }
      if (!ini.ValueExists(kCommon, "Bit Rate")) return false;
      entry.BitRateText = ini.ReadString(kCommon, "Bit Rate", "");
      const std::optional<double> rate = ParseBitRate(entry.BitRateText);
      if (!rate) return false;
      entry.BitRate = *rate;
      entry.Kind = KindOfText(ini.ReadString(kCommon, "Type of Mask", ""));
      entry.TypeOfLineText = ini.ReadString(kCommon, "Type of Line", "");
      if (entry.Kind == mkEye)
        entry.MarginsType = MarginsTypeOfText(ini.ReadString(kCommon, "Type of Margins", ""));
      return true;
    }
  } catch (const EIniFileError&) {
    return false;
  }
  const std::optional<TLineMask> line = ReadLineMask(file);
  if (!line || !(line->BitRate > 0)) return false;
  entry.MaskName = line->Name;
  entry.BitRate = line->BitRate;
  entry.BitRateText = line->BitRateText;
  entry.Kind = mkEye;
  const int stdCount = CountRegions(*line, "STD");
  entry.MarginsType =
      stdCount == CountRegions(*line, "MARGIN_MIN") && stdCount == CountRegions(*line, "MARGIN_MAX")
          ? mtRegions
          : mtRegionsUneven;
  return true;
}

bool LoadStandardMaskFile(const fs::path& file, const TMaskEntry& entry, int margin) {
  if (entry.Kind != mkEye && entry.Kind != mkPulse) return false;
  if (!(entry.BitRate > 0) || !std::isfinite(entry.BitRate)) {
    ShowMaskMessage(TRefusal::Damaged, file);
    return false;
  }
  TCurrentMask mask;
  mask.MaskName = entry.MaskName;
  mask.Kind = entry.Kind;
  mask.MarginsType = entry.MarginsType;
  mask.MarginPercent = margin;
  mask.BitPeriod = 1 / entry.BitRate;
  if (mask.Kind == mkEye) mask.TimeByDivision = std::min(mask.BitPeriod / 6, 0.002);
  std::optional<TRefusal> refusal;
  if (entry.MarginsType == mtRegions || entry.MarginsType == mtRegionsUneven) {
    const std::optional<TLineMask> line = ReadLineMask(file);
    refusal = line ? StoreLineRegions(*line, mask) : TRefusal::Damaged;
  } else {
    try {
      TMemIniFile_Dot ini(file);
      if (mask.Kind == mkPulse) {
        const double begin = 8 * ini.ReadFloat(kCommon, "X of Begin Time", 0);
        mask.X0 = begin >= 0 && begin < 4000 ? static_cast<uint16_t>(std::nearbyint(begin)) : 0;
        if (!ReadMaskScales(ini, mask)) return false;
      }
      refusal = ReadIniPolygons(ini, mask);
    } catch (const EIniFileError&) {
      refusal = TRefusal::Damaged;
    }
  }
  if (refusal) {
    ShowMaskMessage(*refusal, file);
    return false;
  }
  CommitMask(mask, file);
  // Only a mask that loaded moves the instrument's scales.
  ApplyMaskAlignment();
  return true;
}

bool LoadUserMask(const fs::path& fileName) {
  // The ini reader takes a missing file for an empty one.
  if (IsAbsent(fileName)) {
    Dialogs().Inform(TMessageKind::Error, FormatLangStr("FileSMissing", fileName.string()));
    return false;
  }
  TCurrentMask mask;
  std::optional<TRefusal> refusal;
  try {
    TMemIniFile_Dot ini(fileName);
    mask.Kind = mkUser;
    mask.MaskName = ini.ReadString(kCommon, "Mask Name", "");
    if (mask.MaskName.empty()) mask.MaskName = fileName.stem().string();
    if (ini.ReadString(kCommon, "Signature", "") != kUserSignature || !ReadMaskScales(ini, mask))
      refusal = TRefusal::Damaged;
    else
      refusal = ReadIniPolygons(ini, mask);
  } catch (const EIniFileError&) {
    refusal = TRefusal::Damaged;
  }
  if (refusal) {
    ShowMaskMessage(*refusal, fileName);
    return false;
  }
  CommitMask(mask, fileName);
  return true;
}

bool SaveUserMask(const fs::path& fileName) {
  const TCurrentMask& mask = TheCurrentMask;
  return WriteMaskFile(fileName, "DontCreateFile", "Cannot create the file ", [&](TMemIniFile_Dot& ini) {
    ini.WriteString(kCommon, "Signature", kUserSignature);
    for (const char* key : {"Mask Name", "Bit Rate", "Type of Mask", "Type of Line"})
      ini.WriteString(kCommon, key, "");
    ini.WriteString(kCommon, "Time by Division", G5(ActiveTimeScaleOr(mask.TimeByDivision)));
    ini.WriteString(kCommon, "X of Begin Time", "0");
    ini.WriteString(kCommon, "Value by Division", G5(SettingValue("Ch1:Scale"_node, mask.ValueByDivision)));
    ini.WriteString(kCommon, "Middle Value", G5(SettingValue("Ch1:Offset"_node, mask.MiddleValue)));
    for (const char* key : {"Divisions by 1 of Eye", "Central Value of Eye", "Margins Possible"})
      ini.WriteString(kCommon, key, "");
    ini.WriteString(kCommon, "List of Polygons", PolygonListText(mask.PolygonCount));
    for (int n = 1; n <= mask.PolygonCount; ++n) {
      const TMaskSlot& slot = mask.Slots[n - 1];
      const std::string section = Format_Dot("Polygon %d", n);
      ini.WriteInteger(section, "Number of Vertex", slot.VertexCount());
      for (int i = 0; i < slot.VertexCount(); ++i)
        ini.WriteString(section, Format_Dot("Vertex %d", i + 1),
                        Format_Dot("%d, %d", static_cast<int>(std::nearbyint(slot.X[i])),
                                   static_cast<int>(std::nearbyint(slot.Y[i]))));
    }
  });
}

bool StoreStandardMask(const fs::path& fileName, const std::string& maskName, const std::string& bitRateText,
                       bool marginsPossible) {
  const TCurrentMask& mask = TheCurrentMask;
  return WriteMaskFile(
      fileName, "DontCreateMaskFile", "Cannot create the mask file ", [&](TMemIniFile_Dot& ini) {
        ini.WriteString(kCommon, "Signature", kStandardSignature);
        ini.WriteString(kCommon, "Mask Name", maskName);
        ini.WriteString(kCommon, "Bit Rate", bitRateText);
        ini.WriteString(kCommon, "Type of Mask", "Eye");
        for (const char* key :
             {"Type of Line", "Time by Division", "X of Begin Time", "Value by Division", "Middle Value"})
          ini.WriteString(kCommon, key, "");
        ini.WriteString(kCommon, "Divisions by 1 of Eye", "4");
        ini.WriteString(kCommon, "Central Value of Eye", "0.5");
        ini.WriteString(kCommon, "Margins Possible", marginsPossible ? "YES" : "");
        ini.WriteString(kCommon, "List of Polygons", PolygonListText(mask.PolygonCount));
        for (int n = 1; n <= mask.PolygonCount; ++n) {
          const TMaskSlot& slot = mask.Slots[n - 1];
          const std::string section = Format_Dot("Polygon %d", n);
          ini.WriteInteger(section, "Number of Vertex", slot.VertexCount());
          for (int i = 0; i < slot.VertexCount(); ++i) {
            const double y = slot.Y[i];
            const std::string yText = y >= 1022.5 ? "MAX" : y < 1.5 ? "MIN" : G5(2 * y / 1024 - 0.5);
            ini.WriteString(section, Format_Dot("Vertex %d", i + 1),
                            G5((slot.X[i] - 800) / 2400) + ", " + yText);
          }
        }
      });
}

}  // namespace norv
