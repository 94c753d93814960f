#include "service/flash_constants.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/text/ini_file.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/program_dir.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/setting_rules.h"
#include "service/calibration_settings.h"
#include "service/oe_converter.h"
#include "tdr_mask/generator_settings.h"

namespace norv {

namespace {

constexpr double kBridgeVoltsPerCode = 4.096 / 65536;  // 6.25e-5 V

// nearest(x) + offset, limited to int32 like nearest itself.
int32_t OffsetCode(double x, int64_t offset) {
  const int64_t code = int64_t{NearestCode(x)} + offset;
  return static_cast<int32_t>(std::clamp<int64_t>(code, INT32_MIN, INT32_MAX));
}

}  // namespace

TBridgeValues BridgeFromCodes(TBridgeCodes codes) {
  const double p = codes.PlusD * kBridgeVoltsPerCode;
  const double m = codes.MinusD * -kBridgeVoltsPerCode;
  return {(p - m) / 2, (p + m) / 2};
}

TBridgeCodes CodesFromBridge(TBridgeValues v) {
  return {NearestCode((v.BridgeVolt + v.Balance) / 4.096 * 65536),
          NearestCode(-static_cast<double>(NearestCode((v.Balance - v.BridgeVolt) / 4.096 * 65536)))};
}

double SrdFromCode(int32_t raw) { return (raw - 8192.0) / 56 / 1024 * 0.03; }
int32_t CodeFromSrd(double amperes) { return OffsetCode(amperes / 0.03 * 56 * 1024, 8192); }
double StrobeAmplitudeFromCode(int32_t raw) { return raw / 65535.0 * 100; }
int32_t CodeFromStrobeAmplitude(double percent) { return NearestCode(percent / 100 * 65535); }
double StrobeDelayFromCode(int32_t raw) { return (raw - 5460.0) / 60075 * 5e-9; }
int32_t CodeFromStrobeDelay(double seconds) { return OffsetCode(seconds / 5e-9 * 60075, 5460); }
double CoarseTBFromCode(int32_t raw) { return raw * 1.5e-13; }
int32_t CodeFromCoarseTB(double seconds) { return NearestCode(seconds / 1.5e-13); }
double LevelZeroFromCode(int32_t raw) { return NearestCode((raw - 32768.0) / 13.1072); }
int32_t CodeFromLevelZero(double millivolts) { return OffsetCode(millivolts * 13.1072, 32768); }

std::string CalibrImitSectionPrefix(bool adjustmentSet) {
  std::string family;
  if (IsLxxModel())
    family = "Vexilor_Norv-Lxx.";
  else if (IsKxxModel())
    family = "Vexilor_Norv-Kxx.";
  return family + (adjustmentSet ? "Adjust." : "Calibr.");
}

namespace {

// Where the constants come from and go to: the instrument or "CalibrImit.ini".
class TConstantSource {
 public:
  virtual ~TConstantSource() = default;
  // False (and the command named in Failed) when no usable answer came. The instrument
  // command is group + name; the file key is name in the section prefix + group.
  bool ReadInt(const std::string& group, const std::string& name, int32_t iniDefault, int32_t& value) {
    return ReadIntAt(group + name, Prefix() + group, name, iniDefault, value);
  }
  virtual bool ReadText(const std::string& group, const std::string& name, const std::string& iniDefault,
                        std::string& value) = 0;
  // The same with the file's section given whole.
  virtual bool ReadIntAt(const std::string& command, const std::string& section, const std::string& name,
                         int32_t iniDefault, int32_t& value) = 0;
  virtual bool ReadFloatAt(const std::string& command, const std::string& section, const std::string& name,
                           double iniDefault, double& value) = 0;
  virtual std::string Prefix() const { return {}; }
  std::string Failed;
  // Constants whose stored text was no value: they took their defaults.
  std::vector<std::string> Damaged;
};

class TInstrumentSource final : public TConstantSource {
 public:
  bool ReadIntAt(const std::string& command, const std::string&, const std::string&, int32_t,
                 int32_t& value) override {
    value = QueryInt(command);
    if (value != QueryIntFailure) return true;
    Failed = command;
    return false;
  }
  bool ReadFloatAt(const std::string& command, const std::string&, const std::string&, double,
                   double& value) override {
    value = QueryFloat(command);
    if (value != QueryFloatFailure && std::isfinite(value)) return true;
    Failed = command;
    return false;
  }
  bool ReadText(const std::string& group, const std::string& name, const std::string&,
                std::string& value) override {
    value = QueryUpperString(group + name);
    if (!IsTimeoutReply(value)) return true;
    Failed = group + name;
    return false;
  }
};

class TIniSource final : public TConstantSource {
 public:
  TIniSource(TMemIniFile_Dot& ini, std::string prefix) : ini_(ini), prefix_(std::move(prefix)) {}
  // A key whose text reads as no value is kept apart from a missing one, so that the
  // user hears of it before a store writes the default over it.
  bool ReadIntAt(const std::string& command, const std::string& section, const std::string& name,
                 int32_t iniDefault, int32_t& value) override {
    value = ini_.ReadInteger(section, name, iniDefault);
    NoteIfDamaged(command, section, name, [&](int32_t d) { return ini_.ReadInteger(section, name, d); });
    return true;
  }
  bool ReadFloatAt(const std::string& command, const std::string& section, const std::string& name,
                   double iniDefault, double& value) override {
    value = ini_.ReadFloat(section, name, iniDefault);
    NoteIfDamaged(command, section, name, [&](double d) { return ini_.ReadFloat(section, name, d); });
    return true;
  }
  std::string Prefix() const override { return prefix_; }
  bool ReadText(const std::string& group, const std::string& name, const std::string& iniDefault,
                std::string& value) override {
    value = ini_.ReadString(prefix_ + group, name, iniDefault);
    return true;
  }

 private:
  // Present, but read with two different defaults it gives both: no value.
  template <class F>
  void NoteIfDamaged(const std::string& command, const std::string& section, const std::string& name,
                     F read) {
    if (ini_.ValueExists(section, name) && read(0) != read(1)) Damaged.push_back(command);
  }

  TMemIniFile_Dot& ini_;
  std::string prefix_;
};

std::filesystem::path CalibrImitPath() { return ProgramDir() / kCalibrImitFileName; }

// What a recall read, set into the nodes only when every group answered.
struct TRecalled {
  struct TGroup {
    TBridgeCodes Codes;
    std::optional<std::string> GainFix;
  };
  std::array<TGroup, 4> Groups;
  std::vector<std::pair<TConstantNode*, int32_t>> Constants;
  TSamplerTimeBaseCal SamplerTimeBase;
  std::optional<TOEFlashConstants> OE;
  std::optional<TGenZeroConstants> GenZeros;
};

// The O/E group: the dark level in the section "OE" of its own, the points in prefix + "OE".
constexpr const char* kOEGroup = "OE:";
constexpr const char* kOEDarkLevelSection = "OE";
constexpr const char* kGenGroup = "Gen:";

std::string PointName(const char* kind, int point, const char* what) {
  return kind + std::to_string(point + 1) + what;
}

// Visits every value of the O/E group with its file section and key, in file order, until
// `visit` returns false.
using TOEValueVisit = std::function<bool(const std::string& section, const std::string& key, double& value)>;
bool ForEachOEValue(TOEFlashConstants& c, const std::string& prefix, const TOEValueVisit& visit) {
  if (!visit(kOEDarkLevelSection, "DarkLevel", c.DarkLevel)) return false;
  const std::string section = prefix + "OE";
  const auto points = [&](const char* kind, auto& list) {
    for (int i = 0; i < static_cast<int>(list.size()); ++i)
      if (!visit(section, PointName(kind, i, "WLEN"), list[i].Wavelength) ||
          !visit(section, PointName(kind, i, "Gain"), list[i].Gain))
        return false;
    return true;
  };
  return points("FP", c.Factory) && points("UP", c.User);
}

// A key missing from the file reads as the value a fresh set of constants has; the factory
// points as those of the converter the simulator stands for.
bool ReadOEGroup(TConstantSource& source, bool instrument, TRecalled& out) {
  TOEFlashConstants c;
  if (!instrument) c.Factory = kOEDemoFactoryPoints;
  if (!ForEachOEValue(c, source.Prefix(),
                      [&](const std::string& section, const std::string& key, double& value) {
                        return source.ReadFloatAt(kOEGroup + key, section, key, value, value);
                      }))
    return false;
  out.OE = c;
  return true;
}

std::string GenZeroName(size_t index) {
  return "Out" + std::to_string(index / 2 + 1) + (index % 2 == 0 ? ":PosZero" : ":NegZero");
}

bool ReadGeneratorGroup(TConstantSource& source, TRecalled& out) {
  TGenZeroConstants zeros{};
  for (size_t i = 0; i < zeros.size(); ++i)
    if (!source.ReadIntAt(kGenGroup + GenZeroName(i), source.Prefix() + "Gen", GenZeroName(i), 0, zeros[i]))
      return false;
  out.GenZeros = zeros;
  return true;
}

// The O/E and generator groups belong to instruments with those options and nodes.
bool HasOEGroup() { return HasOpticsOption() && OEConvState().DarkLvl != nullptr; }
bool HasGeneratorGroup() {
  return HasGeneratorsOption() && GeneratorSettings().Outputs[0].PositiveZero != nullptr;
}

bool ReadConstant(TConstantSource& source, const std::string& group, const std::string& name,
                  TRecalled& out) {
  TConstantNode* c = FindConstantByCommand(group, name);
  if (!c) return true;
  int32_t iniDefault = c->IniDefault;
  if (name == "GainDAC" && IsKxxModel()) iniDefault = 36387;
  int32_t raw = 0;
  if (!source.ReadInt(group, name, iniDefault, raw)) return false;
  out.Constants.emplace_back(c, raw);
  return true;
}

bool ReadSamplerTimeBase(TConstantSource& source, bool instrument, TRecalled& out) {
  TSamplerTimeBaseCal& cal = out.SamplerTimeBase;
  cal = TSamplerTimeBaseCal{};
  std::string curve;
  if (instrument) {
    if (!VersionAtLeast(InstrumentIdentity.SWVer, {3, 7, 10})) return true;
    if (!source.ReadInt("Calibr:SmplTB:", "CalIntrvlA", 0, cal.CalIntrvlA)) return false;
    curve = QueryCommand("Calibr:SmplTB:CalCurve?");
    if (IsTimeoutReply(curve)) {
      source.Failed = "Calibr:SmplTB:CalCurve";
      return false;
    }
  } else {
    source.ReadInt("Calibr:SmplTB:", "CalIntrvlA", 68267, cal.CalIntrvlA);
    source.ReadText("Calibr:SmplTB:", "CalCurve", "", curve);
  }
  if (curve.empty()) return true;  // the file has none yet: the neutral curve
  const auto values = ParseSamplerCalCurve(curve);
  if (values) {
    cal.Curve = *values;
  } else if (instrument) {
    source.Failed = "Calibr:SmplTB:CalCurve";
    return false;
  } else {
    source.Damaged.push_back("Calibr:SmplTB:CalCurve");  // the neutral curve in its place
  }
  return true;
}

bool ReadAllGroups(TConstantSource& source, bool instrument, TRecalled& out) {
  TCalibrationState& state = CalibrationState();
  const bool lxx = IsLxxModel();
  for (size_t g = 0; g < state.Groups.size(); ++g) {
    const TChannelBandGroup& group = state.Groups[g];
    TRecalled::TGroup& read = out.Groups[g];
    if (!source.ReadInt(group.Prefix, "PlusD", 32768, read.Codes.PlusD)) return false;
    if (!source.ReadInt(group.Prefix, "MinusD", 32768, read.Codes.MinusD)) return false;
    if (!ReadConstant(source, group.Prefix, "LfComp", out)) return false;
    if (!ReadConstant(source, group.Prefix, "ADC200mV", out)) return false;
    if (lxx) {
      std::string text;
      if (!source.ReadText(group.Prefix, "GainFix", "HIGH", text)) return false;
      read.GainFix = text;
    }
    if (group.Narrow && !ReadConstant(source, group.Prefix, "PromBrNBW", out)) return false;
  }
  std::vector<std::string> names{"SRD1", "SRD2"};
  if (lxx) {
    names.insert(names.end(), {"StrbAmpl", "StrbDel"});
  } else if (IsKxxModel()) {
    names.push_back("SRD3");
  }
  names.insert(names.end(), {"ChFndSRD", "MINSRD1", "MAXSRD1", "MINSRD2", "MAXSRD2"});
  for (const std::string& name : names)
    if (!ReadConstant(source, "Calibr:Sampler:", name, out)) return false;
  for (const char* name : {"TGUN", "Digit0", "GainDAC", "MinDAC"})
    if (!ReadConstant(source, "Calibr:TB:", name, out)) return false;
  if (!ReadConstant(source, "Calibr:Trig:", "LvlZero", out)) return false;
  if (!ReadSamplerTimeBase(source, instrument, out)) return false;
  if (HasOEGroup() && !ReadOEGroup(source, instrument, out)) return false;
  return !HasGeneratorGroup() || ReadGeneratorGroup(source, out);
}

// The instrument just loaded these codes; sending them back would only change constants
// that a node rounds, so the nodes take them quietly.
void ApplyRecalled(const TRecalled& in) {
  TCalibrationState& state = CalibrationState();
  const bool wasQuiet = state.Quiet;
  state.Quiet = true;
  for (size_t g = 0; g < state.Groups.size(); ++g) {
    TChannelBandGroup& group = state.Groups[g];
    group.SetFromReadCodes(in.Groups[g].Codes);
    if (in.Groups[g].GainFix)
      group.GainFix->SetIndexByProgram(UpperAscii(*in.Groups[g].GainFix) == "HIGH" ? 0 : 1);
  }
  for (const auto& [c, raw] : in.Constants) c->SetFromReadCode(raw);
  state.SamplerTimeBase = in.SamplerTimeBase;
  if (in.OE) SetOEFlashConstants(*in.OE);
  if (in.GenZeros) SetGeneratorZeroConstants(*in.GenZeros);
  state.ConstantsRead = true;
  state.UnreadValues.reset();
  state.Quiet = wasQuiet;
}

// Factory points the file does not hold yet are written into it, where the user sees them.
void WriteMissingFactoryPoints(TMemIniFile_Dot& ini, const std::string& prefix) {
  TOEFlashConstants defaults;
  defaults.Factory = kOEDemoFactoryPoints;
  bool missing = false;
  ForEachOEValue(defaults, prefix, [&](const std::string& section, const std::string& key, double& value) {
    if (key.starts_with("FP") && !ini.ValueExists(section, key)) {
      ini.WriteFloat(section, key, value);
      missing = true;
    }
    return true;
  });
  if (missing) ini.UpdateFile();
}

std::string DamagedKeysText(const std::vector<std::string>& commands) {
  std::string names;
  for (const std::string& c : commands) names += (names.empty() ? "\"" : ", \"") + c + "\"";
  return std::string("\"") + kCalibrImitFileName + "\" holds no valid " + names +
         ". The default values are used instead; the next store writes them.";
}

bool RecallFromInstrument() {
  TRecalled recalled;
  TInstrumentSource source;
  if (!ReadAllGroups(source, true, recalled)) {
    ReportNoAnswer(source.Failed);
    return false;
  }
  ApplyRecalled(recalled);
  return true;
}

// The file gives every constant a value: a missing or damaged key its default (the user
// is told which). A recall that refused the whole set would leave the registration values
// for the next store to write over every good key.
void ApplyFileSet(TMemIniFile_Dot& ini, const std::string& prefix) {
  TRecalled recalled;
  TIniSource source(ini, prefix);
  ReadAllGroups(source, false, recalled);
  if (!source.Damaged.empty()) Dialogs().Inform(TMessageKind::Warning, DamagedKeysText(source.Damaged));
  ApplyRecalled(recalled);
  if (!recalled.OE) return;
  try {
    WriteMissingFactoryPoints(ini, prefix);
  } catch (const EIniFileError& e) {
    Dialogs().Inform(TMessageKind::Error, e.what());
  }
}

bool RecallFromFile(uint8_t mode) {
  std::optional<TMemIniFile_Dot> ini;
  try {
    ini.emplace(CalibrImitPath());
  } catch (const EIniFileError& e) {
    Dialogs().Inform(TMessageKind::Error, e.what());
    return false;
  }
  ApplyFileSet(*ini, CalibrImitSectionPrefix(mode == 1));
  return true;
}

// One constant node's value as a number, to tell what moved since a failed recall.
struct TNodeSlot {
  std::string Name;
  std::function<double()> Get;
  std::function<void(double)> Set;
};

double& OEValueAt(TOEFlashConstants& c, size_t index) {
  double* found = &c.DarkLevel;
  size_t i = 0;
  ForEachOEValue(c, "", [&](const std::string&, const std::string&, double& value) {
    if (i++ != index) return true;
    found = &value;
    return false;
  });
  return *found;
}

// Every node a recall sets, but the sampler time base, which only a recall changes.
std::vector<TNodeSlot> NodeSlots() {
  std::vector<TNodeSlot> slots;
  for (TChannelBandGroup& group : CalibrationState().Groups) {
    if (!group.BridgeVolt) continue;
    for (TDoubleEditHandler* edit : {group.BridgeVolt, group.Balance})
      slots.push_back({group.NodePrefix + (edit == group.BridgeVolt ? "BridgeVolt" : "Balance"),
                       [edit] { return edit->Value(); }, [edit](double v) { edit->SetValueByProgram(v); }});
    TRadioSwHandler* gainFix = group.GainFix;
    slots.push_back({group.NodePrefix + "GainFix",
                     [gainFix] { return static_cast<double>(GetIndex(gainFix)); },
                     [gainFix](double v) { gainFix->SetIndexByProgram(v == 1 ? 1 : 0); }});
  }
  for (TConstantNode& c : CalibrationState().Constants)
    if (c.Handler)
      slots.push_back({c.Node, [&c] { return c.Value(); }, [&c](double v) { c.SetByProgram(v); }});
  if (HasOEGroup()) {
    TOEFlashConstants names;
    size_t i = 0;
    ForEachOEValue(names, "", [&](const std::string&, const std::string& key, double&) {
      slots.push_back({kOEGroup + key,
                       [i] {
                         TOEFlashConstants c = OEFlashConstants();
                         return OEValueAt(c, i);
                       },
                       [i](double v) {
                         TOEFlashConstants c = OEFlashConstants();
                         OEValueAt(c, i) = v;
                         SetOEFlashConstants(c);
                       }});
      ++i;
      return true;
    });
  }
  if (HasGeneratorGroup()) {
    for (size_t i = 0; i < std::tuple_size_v<TGenZeroConstants>; ++i)
      slots.push_back({kGenGroup + GenZeroName(i),
                       [i] { return static_cast<double>(GeneratorZeroConstants()[i]); },
                       [i](double v) {
                         TGenZeroConstants zeros = GeneratorZeroConstants();
                         zeros[i] = NearestCode(v);
                         SetGeneratorZeroConstants(zeros);
                       }});
  }
  return slots;
}

TFlashNodeValues NodeValues() {
  TFlashNodeValues values;
  for (const TNodeSlot& slot : NodeSlots()) values[slot.Name] = slot.Get();
  return values;
}

// The nodes still hold registration values: the file's set goes into them first, as the
// start's recall would have done, and the values the user changed since the failed recall
// go back over it. The changed flags stay as the user's changes left them.
void ApplyFileSetKeepingChanges(TMemIniFile_Dot& ini) {
  TCalibrationState& state = CalibrationState();
  const TFlashNodeValues unread = *state.UnreadValues;
  const TFlashNodeValues now = NodeValues();
  const TFlashChange flags = state.FlashChange;
  ApplyFileSet(ini, CalibrImitSectionPrefix(false));
  const bool wasQuiet = std::exchange(state.Quiet, true);
  for (const TNodeSlot& slot : NodeSlots()) {
    const auto was = unread.find(slot.Name);
    const auto is = now.find(slot.Name);
    if (was != unread.end() && is != now.end() && is->second != was->second) slot.Set(is->second);
  }
  state.Quiet = wasQuiet;
  state.FlashChange.SetCalibrationChanged(flags.CalibrationChanged);
  state.FlashChange.SetAdjustmentChanged(flags.AdjustmentChanged);
}

const char* RecallCommand(uint8_t mode) {
  switch (mode) {
    case 1:
      return "Calibr:AdjRecall";
    case 2:
      return "Calibr:SetInitialVal";
    default:
      return "Calibr:ReRead";
  }
}

void WriteAllGroups(TMemIniFile_Dot& ini, const std::string& prefix) {
  TCalibrationState& state = CalibrationState();
  const auto writeInt = [&](const std::string& group, const std::string& name, int64_t value) {
    ini.WriteInteger(prefix + group, name, value);
  };
  const auto writeConstant = [&](const std::string& group, const std::string& name) {
    if (const TConstantNode* c = FindConstantByCommand(group, name)) writeInt(group, name, c->Code());
  };
  for (size_t g : {0u, 2u, 1u, 3u}) {
    const TChannelBandGroup& group = state.Groups[g];
    const TBridgeCodes codes = group.Codes();
    writeInt(group.Prefix, "PlusD", codes.PlusD);
    writeInt(group.Prefix, "MinusD", codes.MinusD);
    writeConstant(group.Prefix, "LfComp");
    writeConstant(group.Prefix, "ADC200mV");
    ini.WriteString(prefix + group.Prefix, "GainFix", GetIndex(group.GainFix) == 0 ? "HIGH" : "LOW");
    if (group.Narrow) writeConstant(group.Prefix, "PromBrNBW");
  }
  for (const char* name : {"SRD1", "SRD2", "SRD3", "StrbAmpl", "StrbDel", "ChFndSRD", "MINSRD1", "MAXSRD1",
                           "MINSRD2", "MAXSRD2"})
    writeConstant("Calibr:Sampler:", name);
  for (const char* name : {"TGUN", "Digit0", "GainDAC", "MinDAC"}) writeConstant("Calibr:TB:", name);
  writeConstant("Calibr:Trig:", "LvlZero");
  writeInt("Calibr:SmplTB:", "CalIntrvlA", state.SamplerTimeBase.CalIntrvlA);
  ini.WriteString(prefix + "Calibr:SmplTB:", "CalCurve", FormatSamplerCalCurve(state.SamplerTimeBase.Curve));
  if (HasOEGroup()) {
    TOEFlashConstants oe = OEFlashConstants();
    ForEachOEValue(oe, prefix, [&](const std::string& section, const std::string& key, double& value) {
      ini.WriteFloat(section, key, value);
      return true;
    });
  }
  if (HasGeneratorGroup()) {
    const TGenZeroConstants zeros = GeneratorZeroConstants();
    for (size_t i = 0; i < zeros.size(); ++i) ini.WriteInteger(prefix + "Gen", GenZeroName(i), zeros[i]);
  }
}

// The nodes keep what they hold; before any recall has set them, that is noted, so that a
// later store into the file does not take registration values for constants.
bool RecallFailed() {
  TCalibrationState& state = CalibrationState();
  if (!state.ConstantsRead && !state.UnreadValues) state.UnreadValues = NodeValues();
  return false;
}

}  // namespace

bool RecallFlashConstants(uint8_t mode) {
  const bool instrument = IsInstrumentConnected();
  if (instrument) {
    const int32_t answer = QueryInt(RecallCommand(mode));
    if (answer == QueryIntFailure) {
      ReportNoAnswer(RecallCommand(mode));
      return RecallFailed();
    }
    if (answer == 2) Dialogs().Inform(TMessageKind::Information, "Read only from FAT2");
    if (answer == 0 && mode != 2 &&
        Dialogs().Ask(TMessageKind::Confirmation,
                      "The calibration Values is absent!\r\r\nDo you want to set INITIAL VALUES?",
                      {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK) == TAnswer::OK) {
      const bool initial = RecallFlashConstants(2) && StoreFlashConstants(true);
      if (!initial || QueryInt("Calibr:AdjRecall") != 1)
        Dialogs().Inform(TMessageKind::Error, "Error in Storing of initial Values");
    }
  }
  if (!(instrument ? RecallFromInstrument() : RecallFromFile(mode))) return RecallFailed();
  FlashChange().SetCalibrationChanged(false);
  FlashChange().SetAdjustmentChanged(false);
  return true;
}

bool StoreFlashConstants(bool adjustment) {
  if (!IsInstrumentConnected()) {
    try {
      TMemIniFile_Dot ini(CalibrImitPath());
      if (CalibrationState().UnreadValues) ApplyFileSetKeepingChanges(ini);
      // Stored as factory values they are the calibration set too (a store clears both
      // changed marks), and that set is what the next start recalls.
      WriteAllGroups(ini, CalibrImitSectionPrefix(false));
      if (adjustment) WriteAllGroups(ini, CalibrImitSectionPrefix(true));
      ini.UpdateFile();
      return true;
    } catch (const EIniFileError& e) {
      Dialogs().Inform(TMessageKind::Error, std::string(e.what()) + ". The constants are not stored.");
      return false;
    }
  }
  const char* command = adjustment ? "Calibr:AdjStore" : "Calibr:Store";
  const int32_t answer = QueryInt(command, kFlashStoreWaitMs);
  if (answer == kFlashStoredAnswer) return true;
  if (answer == QueryIntFailure)
    ReportNoAnswer(command);
  else
    Dialogs().Inform(TMessageKind::Warning, "Stored only into FAT" + std::to_string(answer));
  return false;
}

TFlashConstantsSnapshot FlashConstantsSnapshot() {
  TFlashConstantsSnapshot snapshot;
  const TCalibrationState& state = CalibrationState();
  const auto text = [](THandler* h) { return h ? h->ExecCmd("", true, false) : std::string(); };
  for (const TChannelBandGroup& group : state.Groups) {
    if (!group.BridgeVolt) continue;
    const TBridgeCodes codes = group.Codes();
    const std::string raw =
        "PlusD " + std::to_string(codes.PlusD) + ", MinusD " + std::to_string(codes.MinusD);
    snapshot.Calibration.push_back({group.NodePrefix + "BridgeVolt", text(group.BridgeVolt), raw});
    snapshot.Calibration.push_back({group.NodePrefix + "Balance", text(group.Balance), raw});
    snapshot.Adjustment.push_back(
        {group.NodePrefix + "GainFix", text(group.GainFix), GetIndex(group.GainFix) == 0 ? "HIGH" : "LOW"});
  }
  for (const TConstantNode& c : state.Constants) {
    auto& list = c.Set == TConstantSet::Calibration ? snapshot.Calibration : snapshot.Adjustment;
    list.push_back({c.Node, text(c.Handler), std::to_string(c.Code())});
  }
  snapshot.SamplerTimeBase = state.SamplerTimeBase;
  snapshot.CalibrationChanged = state.FlashChange.CalibrationChanged;
  snapshot.AdjustmentChanged = state.FlashChange.AdjustmentChanged;
  return snapshot;
}

}  // namespace norv
