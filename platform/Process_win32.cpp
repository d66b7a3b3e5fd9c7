// Process numbers and the user's state folder on Windows; the Win32 side of the process seam.
#include "platform/Process.h"

#include "platform/HandleOwner.h"

#include <windows.h>

#include <cstdlib>

int64_t CurrentProcessId() {
    return static_cast<int64_t>(GetCurrentProcessId());
}

bool ProcessIsRunning(int64_t pid) {
    if (pid <= 0 || pid > 0xFFFFFFFFLL) {
        return false;
    }
    CWinHandle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
    if (!process.IsOpen()) {
        return GetLastError() != ERROR_INVALID_PARAMETER; // no such process
    }
    return WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

std::string UserStateFolder() {
    const char* local = std::getenv("LOCALAPPDATA");
    return local != nullptr && local[0] != '\0' ? std::string(local) : std::string(".");
}
