// zrvlink's process and console on Windows; the Win32 side of the console seam.
#include "cli/system/Console.h"

#include "platform/StdFile.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

bool IsMissing(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

} // namespace

// A stream without a handle fails every write; on the null device it takes them, as on POSIX.
void OpenMissingStandardStreams() {
    const struct {
        DWORD Which;
        std::FILE* Stream;
        const char* Mode;
    } streams[] = {
        {STD_INPUT_HANDLE, stdin, "r"}, {STD_OUTPUT_HANDLE, stdout, "w"}, {STD_ERROR_HANDLE, stderr, "w"}};
    for (const auto& s : streams) {
        if (IsMissing(s.Which)) {
            [[maybe_unused]] std::FILE* reopened = std::freopen("NUL", s.Mode, s.Stream);
        }
    }
}

// Windows has no signal for a closed pipe: a write to one fails with ERROR_NO_DATA.
void IgnoreBrokenPipes() {}

bool StderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::FILE* OpenTraceStream() {
    const int fd = _dup(_fileno(stderr));
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "w");
    if (stream == nullptr) {
        _close(fd);
    }
    return stream;
}

bool ReadStdin(std::string* text) {
    std::fflush(stdin);
    _setmode(_fileno(stdin), _O_BINARY);
    return ReadWholeStream(stdin, text, STDIN_LIMIT);
}

void UseBinaryStdout() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool GetProgramPath(std::string* path) {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) {
        return false;
    }
    path->assign(buffer, length);
    return true;
}

// The host name as the network and a Linux PC's gethostname give it ("pc-7"), not the upper-case NetBIOS
// name of at most 15 characters, so that the stations of a mixed line are named alike.
std::string HostName() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (GetComputerNameExA(ComputerNameDnsHostname, name, &size) && size > 0) {
        return std::string(name, size);
    }
    size = sizeof name;
    return GetComputerNameA(name, &size) && size > 0 ? std::string(name, size) : "station";
}
