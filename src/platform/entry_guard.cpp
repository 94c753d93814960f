#include "platform/entry_guard.h"

#include <QtGlobal>
#include <exception>
#include <utility>

namespace norv {

namespace {
TExceptionHandler& Handler() {
  static TExceptionHandler handler;
  return handler;
}
}  // namespace

void SetExceptionHandler(TExceptionHandler handler) { Handler() = std::move(handler); }

void ReportException(const std::string& message) {
  if (Handler()) {
    // A handler that throws itself is reported plainly; nothing may leave the entry point.
    try {
      Handler()(message);
      return;
    } catch (const std::exception& e) {
      qWarning("Exception while reporting an exception: %s", e.what());
    } catch (...) {
      qWarning("Exception while reporting an exception");
    }
  }
  qWarning("%s", message.c_str());
}

bool RunGuarded(const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (const std::exception& e) {
    ReportException(e.what());
  } catch (...) {
    ReportException("Unknown exception");
  }
  return false;
}

}  // namespace norv
