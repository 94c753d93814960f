#include "service/instrument_test_modes.h"

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/startup/dispatchers.h"
#include "service/calibration_settings.h"

namespace norv {

namespace {

TServiceTestsState State;
const TProgramUnit ServiceTestsUnit("service tests", [] { State = {}; });

constexpr const char* kAmpere = "\xD0\x90";  // the Cyrillic capital A

constexpr int kRampLengths[] = {128, 256, 512, 1024};
constexpr int kStepHighs[] = {1, 4, 16, 64, 256};

constexpr std::array<const char*, kLxxRampDacCount> kLxxDacs = {
    "CH1 Pos. FB (Neg Diode)  D14.5", "CH1 Neg. FB (Pos Diode)  D14.4", "CH2 Pos. FB (Neg Diode)  D21.5",
    "CH2 Neg. FB (Pos Diode)  D21.4", "SRD 2                    D9.1",  "SRD 1                    D9.2",
    "Strobe Amplitude         D9.4",  "Strobe Delay             D9.5",  "Ch2 Low Freq. Distort.   D25.1",
    "Ch1 Low Freq. Distort.   D25.2", "Trigger Level            D25.4", "Dark Level               D25.5",
    "TB Fine Delay            D48.2", "Gener. Deskew 1          D63.1", "Gener. Deskew 2          D63.2",
    "Gener. Offset  1         D63.4", "Gener. Offset  2         D63.5"};
constexpr std::array<const char*, kKxxRampDacCount> kKxxDacs = {
    "SRD2                  D10.1", "SRD1                  D10.2", "SRD3                  D10.4",
    "SG Reserve            D10.5", "Ch1 FeedBack          D16.6", "Ch1 Low Freq Dist     D17.1",
    "Ch1 Pos Bridge Volt   D17.2", "Ch1 Neg Bridge Volt   D17.4", "Ch1 Reserve           D17.5",
    "Ch2 FeedBack          D26.6", "Ch2 Low Freq Dist     D27.1", "Ch2 Reserve           D27.2",
    "Ch2 Pos Bridge Volt   D27.4", "Ch2 Neg Bridge Volt   D27.5", "TB Fine Ramp          D48.6",
    "TB Ramp's Zero        D46.1", "TB Ramp's Ampl        D46.2", "TB Reserve            D46.4",
    "Trigger Level         D46.5"};

std::string DacItems(int count) {
  std::string items;
  for (int i = 0; i < count; ++i) items += (i ? "," : "") + std::to_string(i);
  return items;
}

int DacCountOfModel() { return IsKxxModel() ? kKxxRampDacCount : kLxxRampDacCount; }

THandlerEvent SendsChoice(const char* command, const int* values, TRadioSwHandler*& handler) {
  return [command, values, &handler](THandler&) { SendIntCommand(command, values[GetIndex(handler)]); };
}
THandlerEvent SendsValue(const char* command, TIntEditHandler*& handler) {
  return [command, &handler](THandler&) { SendIntCommand(command, handler->GetIntValue()); };
}
// On for the item `onItem`, Off for the other.
THandlerEvent SendsOnForItem(const char* command, int onItem, TRadioSwHandler*& handler) {
  return [command, onItem, &handler](THandler&) { SendOnOffCommand(command, GetIndex(handler) == onItem); };
}
THandlerEvent SendsOnOff(const char* command, TOnOffHandler*& handler) {
  return [command, &handler](THandler&) { SendOnOffCommand(command, IsOn(handler)); };
}

// An integer setting from 0 that sends its value; steps of 1, coarse steps of `coarse`.
TIntEditHandler* AddSentInt(TSpider& root, const char* path, TIntEditHandler*& handler, const char* command,
                            uint8_t digits, double mid, double max, double coarse) {
  return root.AddIntEdit({.Path = path,
                          .Digits = digits,
                          .Min = 0,
                          .Mid = mid,
                          .Max = max,
                          .CoarseRule = srLinear,
                          .CoarseStep = coarse,
                          .FineRule = srLinear,
                          .FineStep = 1,
                          .OnChange = SendsValue(command, handler)});
}
// A 16-bit word, and a delay of 0..100 us.
TIntEditHandler* AddWord(TSpider& root, const char* path, TIntEditHandler*& handler, const char* command) {
  return AddSentInt(root, path, handler, command, 5, 32768, 65535, 256);
}
TIntEditHandler* AddDelay(TSpider& root, const char* path, TIntEditHandler*& handler, const char* command) {
  return AddSentInt(root, path, handler, command, 3, 1, 100, 1);
}

// The instrument may take another DAC than the one asked for; without a real instrument
// there is nobody to ask, and a reply that is no number leaves the choice.
void OnSelectChange() {
  if (!IsInstrumentConnected() || State.SelectAnswering) return;
  const int index = GetIndex(State.Select);
  const int32_t answer = QueryIntArg("RampTest:DAC:Select", index);
  if (answer == QueryIntFailure) {
    ReportNoAnswer("RampTest:DAC:Select");
  } else if (answer != index && answer >= 0 && answer < State.Select->GetCount()) {
    State.SelectAnswering = true;
    State.Select->SetIndexByProgram(static_cast<uint8_t>(answer));
    State.SelectAnswering = false;
  }
  // Selecting a DAC disturbs the time base's ramp DAC of this family.
  if (IsKxxModel()) ResendConstant("FLASH:Calibr:FineTB");
}

void AddSamplerTestValue(TSpider& root, const char* path, double value, std::string_view unit, double min,
                         double mid, double max, double resolution) {
  root.AddDoubleEdit({.Path = path,
                      .Value = value,
                      .Unit = unit,
                      .Digits = 5,
                      .Min = min,
                      .Mid = mid,
                      .Max = max,
                      .CoarseRule = srLinear,
                      .CoarseStep = resolution * 50,
                      .FineRule = srLinear,
                      .FineStep = resolution,
                      .Tolerance = resolution});
}

}  // namespace

TServiceTestsState& ServiceTests() { return State; }

void RegisterRampDacCommands() {
  TSpider& root = *RootSpider;
  State.RampLen = root.AddRadioSw(2, "RampDAC:RampLen", "128,256,512,1024",
                                  SendsChoice("RampTest:DAC:RampLen", kRampLengths, State.RampLen));
  State.StepHigh = root.AddRadioSw(4, "RampDAC:StepHigh", "1,4,16,64,256",
                                   SendsChoice("RampTest:DAC:StepHigh", kStepHighs, State.StepHigh));
  State.InitData = AddWord(root, "RampDAC:InitData", State.InitData, "RampTest:DAC:InitData");
  State.DacDelay = AddDelay(root, "RampDAC:Delay", State.DacDelay, "RampTest:DAC:DelayUs");
  State.DacMode = root.AddRadioSw(0, "RampDAC:Mode", "Cycle,Manual",
                                  SendsOnForItem("RampTest:DAC:Cycle", 0, State.DacMode));
  State.Select =
      root.AddRadioSw(0, "RampDAC:Select", DacItems(kLxxRampDacCount), [](THandler&) { OnSelectChange(); });

  AddSamplerTestValue(root, "TestSbor:SRD1", 0.03, kAmpere, 0.0001, 0.015, 0.03, 5e-5);
  AddSamplerTestValue(root, "TestSbor:SRD2", 0.03, kAmpere, 0.0001, 0.015, 0.03, 5e-5);
  AddSamplerTestValue(root, "TestSbor:BridgeVolt1", 1.5, "V", 1, 2, 3, 0.0001);
  AddSamplerTestValue(root, "TestSbor:BridgeVolt2", 1.5, "V", 1, 2, 3, 0.0001);
  AddSamplerTestValue(root, "TestSbor:Balance1", 0, "V", -0.5, 0, 0.5, 0.0001);
  AddSamplerTestValue(root, "TestSbor:Balance2", 0, "V", -0.5, 0, 0.5, 0.0001);
  AddSamplerTestValue(root, "TestSbor:Compens", 0, "V", -1, 0, 1, 0.0001);
  AddSamplerTestValue(root, "TestSbor:Razmah", 0, "V", -0.2, 0, 0.2, 0.0001);
}

void RegisterRampTestCommands() {
  TSpider& root = *RootSpider;
  State.Operat =
      root.AddRadioSw(0, "RampTest:Operat", "Write,Read", SendsOnForItem("RampTest:ReadOp", 1, State.Operat));
  State.RegMode =
      root.AddRadioSw(0, "RampTest:Mode", "Cycle,Manual", SendsOnForItem("RampTest:Cycle", 0, State.RegMode));
  State.Address = AddWord(root, "RampTest:Address", State.Address, "RampTest:Addr");
  State.Data = AddWord(root, "RampTest:Data", State.Data, "RampTest:Data");
  State.RegDelay = AddDelay(root, "RampTest:Delay", State.RegDelay, "RampTest:DelayUs");
  State.IncAddress =
      root.AddOnOff(false, "RampTest:IncAddress", SendsOnOff("RampTest:IncAddress", State.IncAddress));
  State.IncData = root.AddOnOff(false, "RampTest:IncData", SendsOnOff("RampTest:IncData", State.IncData));
}

void AdaptRampDacSelectToModel() {
  // A new list on the node that is there: replacing the node would free a handler that
  // pages and this unit still hold. As a new registration would, it starts at 0 unsent.
  if (!State.Select) return;
  State.Select->SetItems(DacItems(DacCountOfModel()));
  State.Select->NotifySwitchers();
}

std::string RampDacChannelName(int index) {
  if (IsKxxModel()) return index >= 0 && index < kKxxRampDacCount ? kKxxDacs[static_cast<size_t>(index)] : "";
  if (IsLxxModel()) return index >= 0 && index < kLxxRampDacCount ? kLxxDacs[static_cast<size_t>(index)] : "";
  return {};
}

void FillServiceTestSlots() {
  SetRegistrationRoutine(TRegistrationStep::RampTest, RegisterRampTestCommands);
  SetRegistrationRoutine(TRegistrationStep::RampDac, RegisterRampDacCommands);
  SetModelLimitsRoutine(TModelLimitsStep::RampDac, AdaptRampDacSelectToModel);
}

}  // namespace norv
