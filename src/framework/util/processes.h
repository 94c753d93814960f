#pragma once
// Other processes of this machine, known by their ids (from file names they left).

#include <sys/types.h>

namespace norv {

// Whether a process with this id exists (also one of another user).
bool ProcessAlive(pid_t pid);

}  // namespace norv
