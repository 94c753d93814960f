#pragma once
// What every harness shares: a program folder of its own, the program-wide state put back
// before each input (so a crash reproduces from its input alone), the fully registered
// settings tree, and the abort that reports a broken round trip to libFuzzer.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norv::fuzz {

// Aborts with the message when a property does not hold, so that libFuzzer keeps the
// input as a crash.
void Require(bool holds, std::string_view property, std::string_view detail = {});
// The same with the detail built only when the property does not hold.
template <std::invocable TDetail>
void Require(bool holds, std::string_view property, TDetail&& detail) {
  if (!holds) Require(false, property, std::string(std::forward<TDetail>(detail)()));
}

// The text with control characters other than LF written as \xNN, for messages.
std::string Printable(std::string_view text);

// Once per process: a fresh program folder (VEXILOR_NORV_HOME) and fresh user folders,
// removed at exit.
void SetUpProgramHome();
// Empties the program folder and the user folders.
void ClearProgramHome();
// LLVMFuzzerInitialize of a harness that drives the program: SetUpProgramHome, then
// ResetProgramState.
int InitializeProgram();

// Puts back the program-wide state of the link, the acquisition, the settings units and
// the settings tree (no tree afterwards: call CreateRegisteredTree).
void ResetProgramState();
// The channel and derived records back to their start-up values.
void ResetRecords();
// A fresh tree with every unit registered in the program's order and their hooks
// installed, the start-up apply done and the undo ring recording.
void CreateRegisteredTree();

// The fully registered tree of CreateRegisteredTree for the next input, made once per
// process (building it per input was most of an input's time) and put back after each
// input: every handler is watched, and the items the input changed get their start values
// again, replayed twice as a setup loads, with a new undo ring. The units' values follow
// through the items' change actions, as at an undo. What cannot be put back that way (a
// command's action ran, a free-text command answers otherwise, an item will not take its
// start value) makes the call build a fresh tree after ResetProgramState.
// NORV_FUZZ_FRESH_TREE=1 builds a fresh tree at every call (to tell whether a fault needs
// an earlier input); NORV_FUZZ_CHECK_TREE=1 checks every put-back tree's setup against
// a new tree's.
//
// `afterConnection`: the tree as the program registers it once an instrument was found
// (the channels read its sample stream, the limits are the instrument's); otherwise as
// without one (the simulator feeds both channels). A call for the other kind builds a
// fresh tree.
void UseRegisteredTree(bool afterConnection = false);
// The same (of the kind kept) as the last step of an input, so that what the input made
// in the tree is freed within the input: libFuzzer runs an input again, looking for a
// leak, whenever it allocated more than it freed. The next UseRegisteredTree then finds
// nothing to do.
void PutBackRegisteredTree();
// What the inputs since the kept tree was put back changed in it: each changed item with
// its answer and whether it is disabled, in registration order; empty when they changed
// nothing, so that the tree's setup is its start-up one. None when that is not known (a
// command's action ran, or no tree is kept).
std::optional<std::string> KeptTreeChanges();

// Whether an input takes the checks that cost more than the rest of it: one input in
// `share` (by the input's hash, so a crash reproduces) and every input kept in the
// harness's regressions folder (NORV_FUZZ_REGRESSIONS), so that a fault found once is
// checked in full at every run.
bool InSample(std::string_view input, size_t share, const char* regressions);

// Parts of the input between separator bytes.
std::vector<std::string_view> SplitOn(std::string_view data, char separator);

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace norv::fuzz
