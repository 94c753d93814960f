#include "service/calibration_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/util/dialog_service.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"
#include "instrument/simulator/simulator_hooks.h"
#include "instrument/startup/dispatchers.h"
#include "service/auto_calibration.h"
#include "service/constants_report.h"
#include "shell/shell_state.h"
#include "tdr_mask/generator_settings.h"

namespace norv {

namespace {

TCalibrationState State;
const TProgramUnit CalibrationUnit("calibration", ResetCalibrationState);

constexpr const char* kAmpere = "\xD0\x90";  // the Cyrillic capital A
constexpr int kMaxAnswerDepth = 2;

void MarkSet(TConstantSet set) {
  if (set == TConstantSet::Calibration)
    State.FlashChange.SetCalibrationChanged(true);
  else
    State.FlashChange.SetAdjustmentChanged(true);
}

bool MaySend() { return IsInstrumentConnected() && !State.Quiet && State.AnswerDepth < kMaxAnswerDepth; }

// Sets nodes from the instrument's answers without sending from their handlers.
template <class F>
void Quietly(F&& f) {
  const bool was = State.Quiet;
  State.Quiet = true;
  f();
  State.Quiet = was;
}

// Sets a node from an answer; its handler sends the answered code once more.
template <class F>
void AsAnswer(F&& f) {
  ++State.AnswerDepth;
  f();
  --State.AnswerDepth;
}

void SendConstant(const TConstantNode& c) {
  const int32_t code = c.Code();
  const int32_t answer = QueryIntArg(c.Command(), code);
  if (answer == QueryIntFailure) {
    ReportNoAnswer(c.Command());
    return;
  }
  if (answer != code) AsAnswer([&] { c.SetByProgram(ValueFromCode(c.Kind, answer)); });
}

bool SrdSends(const TConstantNode& c) { return c.Name != "SRD3" || IsKxxModel(); }

void OnConstantChange(size_t index) {
  const TConstantNode& c = State.Constants[index];
  MarkSet(c.Set);
  if (MaySend() && SrdSends(c)) SendConstant(c);
  if (c.Name == "LvlZero" && TriggerSettings().ExtLevel) SendTrigLevel(TriggerSettings().ExtLevel->Value());
  if (c.Name == "TGUN" || c.Name == "GainDAC" || c.Name == "MinDAC" || c.Name == "LvlZero")
    ProgramSimulator().LoadSimulatorTiming(IsInstrumentConnected());
}

void OnGainFixChange(TChannelBandGroup& group) {
  State.FlashChange.SetAdjustmentChanged(true);
  if (!MaySend() || !IsLxxModel()) return;
  const std::string sent = GetIndex(group.GainFix) == 0 ? "HIGH" : "LOW";
  const std::string command = group.Prefix + "GainFix";
  const std::string reply = QueryUpperString(command + "? " + sent, true);
  if (IsTimeoutReply(reply)) {
    ReportNoAnswer(command);
  } else if (reply != sent) {
    Dialogs().Inform(TMessageKind::Error,
                     "Internal Error: the instrument answered \"" + reply + "\" to " + command);
  }
}

const char* const kChannelNames[4] = {"Ch1Full", "Ch1Narrow", "Ch2Full", "Ch2Narrow"};
const char* const kChannelPrefixes[4] = {"Calibr:Sampler:Ch1:FullBW:", "Calibr:Sampler:Ch1:NarrowBW:",
                                         "Calibr:Sampler:Ch2:FullBW:", "Calibr:Sampler:Ch2:NarrowBW:"};

size_t AddConstant(TConstantNode c) {
  State.Constants.push_back(std::move(c));
  return State.Constants.size() - 1;
}

THandlerEvent ConstantHandler(size_t index) {
  return [index](THandler&) { OnConstantChange(index); };
}

// The node of constant `index`, an integer edit.
void AddIntConstant(TConstantNode c, int32_t value, double min, double mid, double max, double fine,
                    double coarse, uint8_t digits, TEditGetText getText = {}, TEditBeforeSet beforeSet = {},
                    std::string_view unit = {}) {
  const size_t index = AddConstant(c);
  TIntEditHandler* h = RootSpider->AddIntEdit({.Path = c.Node,
                                               .Value = value,
                                               .Unit = unit,
                                               .Digits = digits,
                                               .Min = min,
                                               .Mid = mid,
                                               .Max = max,
                                               .CoarseRule = srLinear,
                                               .CoarseStep = coarse,
                                               .FineRule = fine > 0 ? srLinear : srNone,
                                               .FineStep = fine,
                                               .OnChange = ConstantHandler(index),
                                               .OnGetText = std::move(getText),
                                               .OnBeforeSet = std::move(beforeSet)});
  h->SetInternal(true);
  State.Constants[index].Handler = h;
}

void AddDoubleConstant(TConstantNode c, double value, std::string_view unit, double min, double mid,
                       double max, double resolution, double fine, double coarse, uint8_t digits) {
  const size_t index = AddConstant(c);
  TDoubleEditHandler* h = RootSpider->AddDoubleEdit({.Path = c.Node,
                                                     .Value = value,
                                                     .Unit = unit,
                                                     .Digits = digits,
                                                     .Min = min,
                                                     .Mid = mid,
                                                     .Max = max,
                                                     .CoarseRule = srLinear,
                                                     .CoarseStep = coarse,
                                                     .FineRule = srLinear,
                                                     .FineStep = fine,
                                                     .Tolerance = resolution,
                                                     .OnChange = ConstantHandler(index)});
  h->SetInternal(true);
  State.Constants[index].Handler = h;
}

void OnBridgeChange(size_t group) {
  State.FlashChange.SetCalibrationChanged(true);
  if (MaySend()) SendBridgeCodes(State.Groups[group]);
}

void RegisterChannelGroup(size_t g) {
  TChannelBandGroup& group = State.Groups[g];
  group.Prefix = kChannelPrefixes[g];
  group.NodePrefix = std::string("FLASH:Calibr:") + kChannelNames[g] + ":";
  group.Narrow = g % 2 == 1;
  const std::string& p = group.NodePrefix;
  const auto bridge = [&](const std::string& name, double value, double min, double mid, double max) {
    TDoubleEditHandler* h = RootSpider->AddDoubleEdit({.Path = p + name,
                                                       .Value = value,
                                                       .Unit = "V",
                                                       .Digits = 5,
                                                       .Min = min,
                                                       .Mid = mid,
                                                       .Max = max,
                                                       .CoarseRule = srLinear,
                                                       .CoarseStep = 0.025,
                                                       .FineRule = srLinear,
                                                       .FineStep = 0.001,
                                                       .Tolerance = 0.0001,
                                                       .OnChange = [g](THandler&) { OnBridgeChange(g); }});
    h->SetInternal(true);
    return h;
  };
  group.BridgeVolt = bridge("BridgeVolt", 1.5, 1, 2, 3);
  group.Balance = bridge("Balance", 0, -0.5, 0, 0.5);
  AddIntConstant({.Node = p + "LfDist", .Group = group.Prefix, .Name = "LfComp", .IniDefault = 32768}, 0, 0,
                 0, 65535, 1, 1024, 5);
  AddIntConstant({.Node = p + "ADC200mV", .Group = group.Prefix, .Name = "ADC200mV", .IniDefault = 4096},
                 4096, 0, 4096, 65535, 1, 1024, 5);
  if (group.Narrow) {
    AddIntConstant(
        {.Node = p + "PromBrNBW", .Group = group.Prefix, .Name = "PromBrNBW", .IniDefault = 800}, 800, 500,
        800, 1000, 1, 20, 4,
        [](const TEditHandler& h, std::string& text, double value) {
          text = FloatToEngStr(vfGeneral, h.GetDigits(), false, value / 10, false) + "%";
        },
        [](double& value, TEditHandler&) { value *= 10; });
  }
  group.GainFix = RootSpider->AddRadioSw(0, p + "GainFix", "High,Low",
                                         [g](THandler&) { OnGainFixChange(State.Groups[g]); });
  group.GainFix->SetInternal(true);
}

void SetStoreDisabled(TRightCommandHandler* command, bool disabled) {
  if (command) command->SetDisabled(disabled);
}

}  // namespace

TCalibrationState& CalibrationState() { return State; }
void ResetCalibrationState() { State = {}; }
TFlashChange& FlashChange() { return State.FlashChange; }
const TSamplerTimeBaseCal& SamplerTimeBaseCal() { return State.SamplerTimeBase; }

void TFlashChange::SetCalibrationChanged(bool value) {
  if (CalibrationChanged != value) {
    CalibrationChanged = value;
    SetStoreDisabled(State.CalibrStoreAll, !value);
  }
  if (State.AdjustmentPageOpen) SetAdjustmentChanged(value);
}

void TFlashChange::SetAdjustmentChanged(bool value) {
  if (AdjustmentChanged == value) return;
  AdjustmentChanged = value;
  SetStoreDisabled(State.AdjustStoreAll, !value);
}

double ValueFromCode(TCodeKind kind, int32_t raw) {
  switch (kind) {
    case TCodeKind::Srd:
      return SrdFromCode(raw);
    case TCodeKind::StrobeAmplitude:
      return StrobeAmplitudeFromCode(raw);
    case TCodeKind::StrobeDelay:
      return StrobeDelayFromCode(raw);
    case TCodeKind::ChoiceIndex:
      return raw == 0 || raw == 1 ? raw : 0;
    case TCodeKind::CoarseTB:
      return CoarseTBFromCode(raw);
    case TCodeKind::LevelZero:
      return LevelZeroFromCode(raw);
    case TCodeKind::Raw:
      break;
  }
  return raw;
}

int32_t CodeFromValue(TCodeKind kind, double value) {
  switch (kind) {
    case TCodeKind::Srd:
      return CodeFromSrd(value);
    case TCodeKind::StrobeAmplitude:
      return CodeFromStrobeAmplitude(value);
    case TCodeKind::StrobeDelay:
      return CodeFromStrobeDelay(value);
    case TCodeKind::CoarseTB:
      return CodeFromCoarseTB(value);
    case TCodeKind::LevelZero:
      return CodeFromLevelZero(value);
    case TCodeKind::ChoiceIndex:
    case TCodeKind::Raw:
      break;
  }
  return NearestCode(value);
}

double TConstantNode::Value() const {
  if (auto* edit = dynamic_cast<const TEditHandler*>(Handler)) return edit->GetValue();
  if (auto* radio = dynamic_cast<const TRadioSwHandler*>(Handler)) return radio->GetIndex();
  return 0;
}

void TConstantNode::SetByProgram(double value) const {
  if (auto* i = dynamic_cast<TIntEditHandler*>(Handler)) {
    i->SetValueByProgram(NearestCode(std::clamp(value, i->GetMin(), i->GetMax())));
  } else if (auto* d = dynamic_cast<TDoubleEditHandler*>(Handler)) {
    d->SetValueByProgram(std::clamp(value, d->GetMin(), d->GetMax()));
  } else if (auto* r = dynamic_cast<TRadioSwHandler*>(Handler)) {
    r->SetIndexByProgram(static_cast<uint8_t>(value == 1 ? 1 : 0));
  }
}

void TConstantNode::SetFromReadCode(int32_t raw) {
  SetByProgram(ValueFromCode(Kind, raw));
  ReadCode = raw;
  ReadValue = Value();
}

TBridgeCodes TChannelBandGroup::Codes() const {
  const TBridgeValues now{BridgeVolt->Value(), Balance->Value()};
  if (ReadCodes && now.BridgeVolt == ReadValues.BridgeVolt && now.Balance == ReadValues.Balance)
    return *ReadCodes;
  return CodesFromBridge(now);
}

void TChannelBandGroup::SetFromReadCodes(TBridgeCodes codes) {
  const TBridgeValues v = BridgeFromCodes(codes);
  BridgeVolt->SetValueByProgram(std::clamp(v.BridgeVolt, BridgeVolt->GetMin(), BridgeVolt->GetMax()));
  Balance->SetValueByProgram(std::clamp(v.Balance, Balance->GetMin(), Balance->GetMax()));
  ReadCodes = codes;
  ReadValues = {BridgeVolt->Value(), Balance->Value()};
}

const TConstantNode* FindConstant(std::string_view node) {
  for (const TConstantNode& c : State.Constants)
    if (c.Node == node) return &c;
  return nullptr;
}

TConstantNode* FindConstantByCommand(std::string_view group, std::string_view name) {
  for (TConstantNode& c : State.Constants)
    if (c.Group == group && c.Name == name) return &c;
  return nullptr;
}

void ReportNoAnswer(const std::string& command) {
  Dialogs().Inform(TMessageKind::Error, "The instrument gave no valid answer to \"" + command +
                                            "\". The constants are left as they were.");
}

void SendBridgeCodes(TChannelBandGroup& group) {
  const TBridgeCodes codes = group.Codes();
  const int32_t plus = QueryIntArg(group.Prefix + "PlusD", codes.PlusD);
  if (plus == QueryIntFailure) return ReportNoAnswer(group.Prefix + "PlusD");
  const int32_t minus = QueryIntArg(group.Prefix + "MinusD", codes.MinusD);
  if (minus == QueryIntFailure) return ReportNoAnswer(group.Prefix + "MinusD");
  if (plus == codes.PlusD && minus == codes.MinusD) return;
  const TBridgeValues answered = BridgeFromCodes({plus, minus});
  AsAnswer([&] {
    Quietly([&] {
      group.BridgeVolt->SetValueByProgram(
          std::clamp(answered.BridgeVolt, group.BridgeVolt->GetMin(), group.BridgeVolt->GetMax()));
      group.Balance->SetValueByProgram(
          std::clamp(answered.Balance, group.Balance->GetMin(), group.Balance->GetMax()));
    });
    if (MaySend()) SendBridgeCodes(group);
  });
}

void RegisterCalibrationCommands() {
  TSpider& root = *RootSpider;
  // A registration into a new tree starts the node lists afresh.
  State.Constants.clear();
  State.Groups = {};
  State.ConstantsRead = false;
  State.UnreadValues.reset();
  State.AutocalResult = root.AddIntEdit({.Path = "FLASH:Calibr:AutocalResult",
                                         .Digits = 3,
                                         .Min = -1,
                                         .Mid = 0,
                                         .Max = 10,
                                         .CoarseRule = srLinear,
                                         .CoarseStep = 1});
  root.AddRightCommand("FLASH:Calibr:AutocalCh", [](THandler& h) {
    RunCalibration(kCalibrateChannels, kCalReasonNone, h.GetWhoChangedRaw() == wcvSwitcher);
  });
  State.ChannelsBW = root.AddRadioSw(0, "Shadow:Calibr:ChnlsBW", "1,2,3,4");
  root.AddGpibString("Calibr:Temperature", [](const std::string&, bool isQuery, uint8_t, std::string& reply) {
    if (!isQuery) return;
    char text[64];
    std::snprintf(text, sizeof text, " %.2f", State.Temperature);
    reply = text;
  });
  for (size_t g : {0u, 1u, 2u, 3u}) RegisterChannelGroup(g);

  const auto srd = [](const char* node, const char* name, TConstantSet set, int32_t iniDefault, double value,
                      double min, double mid, double max, double resolution) {
    AddDoubleConstant({.Node = node,
                       .Group = "Calibr:Sampler:",
                       .Name = name,
                       .Set = set,
                       .Kind = TCodeKind::Srd,
                       .IniDefault = iniDefault},
                      value, kAmpere, min, mid, max, resolution, 0.0001, 0.0025, 5);
  };
  srd("Flash:Calibr:Strobe:SRD1", "SRD1", TConstantSet::Calibration, 32768, 0.015, 0.0001, 0.015, 0.035,
      5e-5);
  srd("Flash:Calibr:Strobe:SRD2", "SRD2", TConstantSet::Calibration, 32768, 0.015, 0.0001, 0.015, 0.035,
      5e-5);
  srd("Flash:Calibr:Strobe:SRD3", "SRD3", TConstantSet::Calibration, 32768, 0.015, 0.0001, 0.015, 0.035,
      5e-5);
  AddDoubleConstant({.Node = "Flash:Calibr:Strobe:Amplitude",
                     .Group = "Calibr:Sampler:",
                     .Name = "StrbAmpl",
                     .Kind = TCodeKind::StrobeAmplitude,
                     .IniDefault = 65535},
                    100, "%", 45, 100, 110, 0.5, 1, 5, 3);
  AddDoubleConstant({.Node = "Flash:Calibr:Strobe:Delay",
                     .Group = "Calibr:Sampler:",
                     .Name = "StrbDel",
                     .Kind = TCodeKind::StrobeDelay,
                     .IniDefault = 65535},
                    0, "s", 0, 1e-9, 5e-9, 5e-12, 1e-11, 5e-10, 3);
  {
    const size_t index = AddConstant({.Node = "Flash:Calibr:Strobe:ChFindSRD",
                                      .Group = "Calibr:Sampler:",
                                      .Name = "ChFndSRD",
                                      .Set = TConstantSet::Adjustment,
                                      .Kind = TCodeKind::ChoiceIndex,
                                      .IniDefault = 0});
    TRadioSwHandler* h = root.AddRadioSw(0, State.Constants[index].Node, "Ch1,Ch2", ConstantHandler(index));
    h->SetInternal(true);
    State.Constants[index].Handler = h;
  }
  srd("Flash:Calibr:Strobe:MinSRD1", "MINSRD1", TConstantSet::Adjustment, 0, 0.01, 0, 0.015, 0.025, 1e-7);
  srd("Flash:Calibr:Strobe:MaxSRD1", "MAXSRD1", TConstantSet::Adjustment, 0, 0.01, 0, 0.015, 0.025, 1e-7);
  srd("Flash:Calibr:Strobe:MinSRD2", "MINSRD2", TConstantSet::Adjustment, 0, 0.01, 0, 0.015, 0.025, 1e-7);
  srd("Flash:Calibr:Strobe:MaxSRD2", "MAXSRD2", TConstantSet::Adjustment, 0, 0.01, 0, 0.015, 0.025, 1e-7);
  root.AddRightCommand("FLASH:Calibr:AutocalTB", [](THandler& h) {
    RunCalibration(kCalibrateTimeBase, kCalReasonNone, h.GetWhoChangedRaw() == wcvSwitcher);
  });
  AddDoubleConstant({.Node = "FLASH:Calibr:CoarseTB",
                     .Group = "Calibr:TB:",
                     .Name = "TGUN",
                     .Kind = TCodeKind::CoarseTB,
                     .IniDefault = 30667},
                    // Starts at its own minimum, not below it.
                    3e-9, "s", 3e-9, 4.6e-9, 4.91e-9, 2.5e-13, 5e-13, 1e-11, 5);
  AddIntConstant({.Node = "FLASH:Calibr:CoarseDelay",
                  .Group = "Calibr:TB:",
                  .Name = "Digit0",
                  .Set = TConstantSet::Adjustment,
                  .IniDefault = 0},
                 8, 0, 10, 100, 0, 1, 3);
  AddIntConstant(
      {.Node = "FLASH:Calibr:FineTB", .Group = "Calibr:TB:", .Name = "GainDAC", .IniDefault = 18333}, 12500,
      2048, 16384, 49152, 1, 64, 5);
  AddIntConstant({.Node = "FLASH:Calibr:FineDelay",
                  .Group = "Calibr:TB:",
                  .Name = "MinDAC",
                  .Set = TConstantSet::Adjustment,
                  .IniDefault = 16384},
                 16384, 0, 16384, 4.9e4, 1, 64, 5);
  AddIntConstant({.Node = "FLASH:Calibr:LevelZero",
                  .Group = "Calibr:Trig:",
                  .Name = "LvlZero",
                  .Set = TConstantSet::Adjustment,
                  .Kind = TCodeKind::LevelZero,
                  .IniDefault = 192},
                 0, -250, 0, 250, 1, 10, 5, {}, {}, "mV");

  root.AddRightCommand("FLASH:Calibr:RecallAll", [](THandler&) { RecallCalibrationConstants(); });
  State.CalibrStoreAll = root.AddRightCommand(
      "FLASH:Calibr:StoreAll", [](THandler&) { RunFailingCommand(StoreCalibrationConstants); });
  State.CalibrStoreAll->SetDisabled(!State.FlashChange.CalibrationChanged);
  State.AdjustStoreAll = root.AddRightCommand("FLASH:Adjust:StoreAll",
                                              [](THandler&) { RunFailingCommand(StoreAdjustmentConstants); });
  State.AdjustStoreAll->SetDisabled(!State.FlashChange.AdjustmentChanged);
  root.AddRightCommand("FLASH:Adjust:RecallAll", [](THandler&) { RecallAdjustmentConstants(); });
  root.AddRightCommand("FLASH:Adjust:SetInitial", [](THandler&) {
    if (RecallFlashConstants(2)) SetStoreDisabled(State.AdjustStoreAll, true);
  });
}

void AdaptCalibrationNodesToModel() {
  const auto limits = [](const char* node, double min, double mid, double max) {
    const TConstantNode* c = FindConstant(node);
    auto* h = c ? dynamic_cast<TIntEditHandler*>(c->Handler) : nullptr;
    if (!h) return;
    h->SetMax(max);
    h->SetMin(min);
    h->SetMid(mid);
  };
  const auto enable = [](const char* node, bool enabled) {
    if (const TConstantNode* c = FindConstant(node)) c->Handler->SetDisabled(!enabled);
  };
  const bool lxx = IsLxxModel();
  if (!lxx && !IsKxxModel()) return;
  limits("FLASH:Calibr:FineTB", lxx ? 2048 : 4096, lxx ? 16384 : 32768, lxx ? 49152 : 65535);
  limits("FLASH:Calibr:FineDelay", 0, lxx ? 16384 : 32768, lxx ? 4.9e4 : 65535);
  enable("Flash:Calibr:Strobe:SRD3", !lxx);
  enable("Flash:Calibr:Strobe:Amplitude", lxx);
  enable("Flash:Calibr:Strobe:Delay", lxx);
}

void ApplyCalibrationSettings() {
  SendOnOffCommand("CALIBR:TB:MODECH3", false);
  SendOnOffCommand("Acq:SoftOnly", false);
}

bool RecallCalibrationConstants() {
  if (!RecallFlashConstants(0)) return false;
  SetStoreDisabled(State.CalibrStoreAll, true);
  State.FlashChange.SetCalibrationChanged(false);
  return true;
}

bool RecallAdjustmentConstants() {
  if (!RecallFlashConstants(1)) return false;
  SetStoreDisabled(State.AdjustStoreAll, true);
  State.FlashChange.SetCalibrationChanged(true);
  State.FlashChange.SetAdjustmentChanged(false);
  return true;
}

bool StoreCalibrationConstants() {
  if (!StoreFlashConstants(false)) return false;
  State.FlashChange.SetCalibrationChanged(false);
  return true;
}

bool StoreAdjustmentConstants() {
  if (!StoreFlashConstants(true)) return false;
  State.FlashChange.SetAdjustmentChanged(false);
  State.FlashChange.SetCalibrationChanged(false);
  return true;
}

void FillCalibrationSlots() {
  SetRegistrationRoutine(TRegistrationStep::Calibration, RegisterCalibrationCommands);
  SetApplyRoutine(TApplyStep::Calibration, ApplyCalibrationSettings);
  // Once the instrument (or the demo model) is known, its constants are read.
  SetModelLimitsRoutine(TModelLimitsStep::Calibration, [] {
    AdaptCalibrationNodesToModel();
    RecallFlashConstants(0);
  });
}

void InstallCalibration() {
  ShellHooks.AdjustmentChanged.Set([] { return State.FlashChange.AdjustmentChanged; });
  ShellHooks.CalibrationChanged.Set([] { return State.FlashChange.CalibrationChanged; });
  ShellHooks.StoreFlashConstants.Set(
      [](bool adjustment) { return adjustment ? StoreAdjustmentConstants() : StoreCalibrationConstants(); });
  ShellHooks.InfoReportConstants.Set([] { return BuildConstantsReport(FlashConstantsSnapshot()); });
  GeneratorHooks.SetCalibrationChanged.Set([] { State.FlashChange.SetCalibrationChanged(true); });
  SimulatorHooks.SimCalibrationNodesHook.Set([] {
    TSimCalibrationNodes nodes = DefaultSimCalibrationNodes(SimulatorHooks.SimModelFamilyHook());
    // Until the constants are read the simulator keeps its factory timing.
    if (!State.ConstantsRead) return nodes;
    if (const TConstantNode* c = FindConstant("FLASH:Calibr:CoarseTB"); c && c->Handler)
      nodes.CoarseTB = c->Value();
    if (const TConstantNode* c = FindConstant("FLASH:Calibr:FineTB"); c && c->Handler)
      nodes.FineTB = c->Code();
    if (const TConstantNode* c = FindConstant("FLASH:Calibr:CoarseDelay"); c && c->Handler)
      nodes.CoarseDelay = c->Code();
    return nodes;
  });
}

void ResendConstant(std::string_view node) {
  if (const TConstantNode* c = FindConstant(node); c && c->Handler && MaySend()) SendConstant(*c);
}

}  // namespace norv
