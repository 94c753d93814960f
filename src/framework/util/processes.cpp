#include "framework/util/processes.h"

#include <signal.h>

#include <cerrno>

namespace norv {

bool ProcessAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace norv
