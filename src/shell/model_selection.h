#pragma once
// The model the simulator stands for at the next start. The running program keeps its
// model; the choice is written into "DemoUnits.ini" for the current demo instrument, and
// the user's default setup may be replaced by the factory one so that the next start
// begins from settings that fit the new model.

#include <cstdint>
#include <string>
#include <vector>

namespace norv {

// The models offered, in list order.
inline constexpr uint8_t kFirstChoosableModel = 4;
inline constexpr uint8_t kLastChoosableModel = 9;

// The option bits a simulated model comes with.
uint8_t ModelOptionBits(uint8_t model);

struct TModelSelectionState {
  // The model written for the next start in this run; 0: none.
  uint8_t NextRunModel = 0;
};
extern TModelSelectionState ModelSelection;

// The list entries: each model's name, marked " (Current)" and " (Next Run)".
std::vector<std::string> ModelChoiceEntries();
// False when the choice is the running model and no other one is waiting for the next run:
// OK and "Restart Now" would change nothing.
bool ModelChoiceChangesSomething(uint8_t chosen);

// OK or "Restart Now": writes the chosen model for the next start (only with the demo
// link; true when it was written) and, when the user agrees, makes the factory setup the
// default one. The running identity is left as it was.
bool ApplyModelChoice(uint8_t chosen);

}  // namespace norv
