// This process's number, and whether a process of this machine still runs; portable interface, one
// backend per OS.
#pragma once

#include <cstdint>
#include <string>

int64_t CurrentProcessId();

// Whether process `pid` exists now. A process that cannot be looked at (another user's) counts as
// running: only a process known to be gone is taken for gone.
bool ProcessIsRunning(int64_t pid);

// The user's own folder for state that programs keep between runs: $XDG_STATE_HOME or ~/.local/state on
// POSIX, the local application data folder on Windows; "." when the system names none.
std::string UserStateFolder();
