#pragma once
// The instrument's built-in test modes: a ramp over one of its adjustment DACs ("RampDAC:")
// and a register test that writes or reads an address range in a cycle ("RampTest:").
// Each setting sends its command as soon as it changes. The "TestSbor:" nodes only hold
// values of the sampler test for display.
//
// The DAC choice lists the DACs of the connected model; the model pass sets its list on
// the same node, so every control and pointer bound to it stays valid.

#include <array>
#include <string>

namespace norv {

class TRadioSwHandler;
class TIntEditHandler;
class TOnOffHandler;

inline constexpr int kLxxRampDacCount = 17;
inline constexpr int kKxxRampDacCount = 19;

struct TServiceTestsState {
  TRadioSwHandler* RampLen = nullptr;
  TRadioSwHandler* StepHigh = nullptr;
  TIntEditHandler* InitData = nullptr;
  TIntEditHandler* DacDelay = nullptr;
  TRadioSwHandler* DacMode = nullptr;
  TRadioSwHandler* Select = nullptr;
  TRadioSwHandler* Operat = nullptr;
  TRadioSwHandler* RegMode = nullptr;
  TIntEditHandler* Address = nullptr;
  TIntEditHandler* Data = nullptr;
  TIntEditHandler* RegDelay = nullptr;
  TOnOffHandler* IncAddress = nullptr;
  TOnOffHandler* IncData = nullptr;
  // The instrument's answer to a DAC choice is being set.
  bool SelectAnswering = false;
};
TServiceTestsState& ServiceTests();

// "RampDAC:" and "TestSbor:" nodes; "RampDAC:Select" with the DACs every model has.
void RegisterRampDacCommands();
void RegisterRampTestCommands();
// The DAC list of the model now known (model pass).
void AdaptRampDacSelectToModel();
// The text shown beside a DAC index of the connected model's family (empty outside it).
std::string RampDacChannelName(int index);

// The registration and model slots.
void FillServiceTestSlots();

}  // namespace norv
