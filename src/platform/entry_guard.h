#pragma once
// No exception may cross the Qt event loop: every entry point from it (timer, idle pass,
// socket, control event) runs its work through RunGuarded, which hands what is thrown to
// the program's one exception handler (a warning on standard error until one is set).

#include <functional>
#include <string>

namespace norv {

using TExceptionHandler = std::function<void(const std::string& message)>;

void SetExceptionHandler(TExceptionHandler handler);
// Runs work; returns false when it threw (the handler has then been called).
bool RunGuarded(const std::function<void()>& work);
// Hands a message to the handler, as if an entry point had caught it.
void ReportException(const std::string& message);

}  // namespace norv
