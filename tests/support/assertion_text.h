#pragma once

#include <functional>
#include <string>

#include "framework/util/errors.h"

namespace norv::test {

// The text of the EAssertion the action raises, or "no assertion".
inline std::string AssertionText(const std::function<void()>& action) {
  try {
    action();
  } catch (const EAssertion& e) {
    return e.what();
  }
  return "no assertion";
}

}  // namespace norv::test
