// zrvlink's process and console on Windows; the Win32 side of the console seam.
#include "cli/Console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

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
