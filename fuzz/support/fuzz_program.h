#pragma once
// What every harness shares: a program folder of its own, the program-wide state put back
// before each input (so a crash reproduces from its input alone), the fully registered
// settings tree, and the abort that reports a broken round trip to libFuzzer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norv::fuzz {

// Aborts with the message when a property does not hold, so that libFuzzer keeps the
// input as a crash.
void Require(bool holds, std::string_view property, std::string_view detail = {});

// The text with control characters other than LF written as \xNN, for messages.
std::string Printable(std::string_view text);

// Once per process: a fresh program folder (VEXILOR_NORV_HOME) and fresh user folders,
// removed at exit.
void SetUpProgramHome();
// Empties the program folder and the user folders.
void ClearProgramHome();

// Puts back the program-wide state of the link, the acquisition, the settings units and
// the settings tree (no tree afterwards: call CreateRegisteredTree).
void ResetProgramState();
// The channel and derived records back to their start-up values.
void ResetRecords();
// A fresh tree with every unit registered in the program's order and their hooks
// installed, the start-up apply done and the undo ring recording.
void CreateRegisteredTree();

// Parts of the input between separator bytes.
std::vector<std::string_view> SplitOn(std::string_view data, char separator);

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace norv::fuzz
