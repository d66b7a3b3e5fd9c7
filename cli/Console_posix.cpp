// zrvlink's process and console on POSIX; the POSIX side of the console seam.
#include "cli/Console.h"

#include <climits>
#include <unistd.h>

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

std::FILE* OpenTraceStream() {
    const int fd = dup(STDERR_FILENO);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) {
        close(fd);
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
