#pragma once
// The system has asked the program to close (SIGTERM, SIGINT). The signal handler notes it
// at once; the close itself runs when the event loop comes round, which a long command
// line or a procedure's idle steps would hold. They read this and stop at their next step.

#include <csignal>

namespace norv {

inline volatile std::sig_atomic_t CloseSignalled = 0;

}  // namespace norv
