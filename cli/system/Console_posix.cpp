// zrvlink's process and console on POSIX; the POSIX side of the console seam.
#include "cli/system/Console.h"

#include "platform/FdOwner.h"
#include "platform/StdFile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

void OpenMissingStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor: this one, as those below it are open.
            CFd opened(open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY));
            if (opened.Get() == fd) {
                opened.Release();
            }
        }
    }
}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

std::FILE* OpenTraceStream() {
    CFd fd(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
    std::FILE* stream = fd.IsOpen() ? fdopen(fd.Get(), "w") : nullptr;
    if (stream != nullptr) {
        fd.Release(); // the stream owns it now
    }
    return stream;
}

bool ReadStdin(std::string* text) {
    return ReadWholeStream(stdin, text, STDIN_LIMIT);
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

std::string HostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? std::string(name) : "station";
}
