#pragma once
// An environment variable set (or, given an empty value, unset) for one scope.

#include <cstdlib>
#include <string>

namespace norv::test {

class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

}  // namespace norv::test
