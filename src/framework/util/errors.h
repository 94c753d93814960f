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

}  // namespace norv
