#pragma once
// Internal inconsistencies and design errors ("ERROR!  Mnemonic too long") are raised as
// exceptions carrying their fixed text; the form, command or remote-call level catches
// them. No exception may cross the Qt event loop.

#include <stdexcept>
#include <string>

namespace norv {

class EAssertion : public std::runtime_error {
 public:
  explicit EAssertion(const std::string& text) : std::runtime_error(text) {}
};

// A command that cannot run in the present state (a setup recall inside a setup recall):
// the line is answered with the text as an error, and a setup being replayed passes over
// it and goes on with its next line.
class ERefusedCommand : public EAssertion {
 public:
  explicit ERefusedCommand(const std::string& text) : EAssertion(text) {}
};

}  // namespace norv
