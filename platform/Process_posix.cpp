// Process numbers and the user's state folder on POSIX; the POSIX side of the process seam.
#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

int64_t CurrentProcessId() {
    return static_cast<int64_t>(getpid());
}

bool ProcessIsRunning(int64_t pid) {
    if (pid <= 0 || static_cast<int64_t>(static_cast<pid_t>(pid)) != pid) {
        return false;
    }
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string UserStateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return state;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] != '\0' ? std::string(home) + "/.local/state" : std::string(".");
}
