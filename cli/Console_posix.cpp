// zrvlink's process and console on POSIX; the POSIX side of the console seam.
#include "cli/Console.h"

#include "platform/FdOwner.h"

#include <climits>
#include <unistd.h>

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

std::FILE* OpenTraceStream() {
    CFd fd(dup(STDERR_FILENO));
    std::FILE* stream = fd.IsOpen() ? fdopen(fd.Get(), "w") : nullptr;
    if (stream != nullptr) {
        fd.Release(); // the stream owns it now
    }
    return stream;
}

void UseBinaryStdout() {}

bool GetProgramPath(std::string* path) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
        return false;
    }
    path->assign(buffer, static_cast<std::size_t>(length));
    return true;
}
