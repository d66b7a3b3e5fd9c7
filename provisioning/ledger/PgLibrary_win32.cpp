// libpq.dll from the program's own folder (never from the search path, where another program's copy may
// lie), and WSAPoll on its socket; the Win32 side of the libpq seam.
#include "provisioning/ledger/PgLibrary.h"

#include "platform/SystemError.h"

#include <windows.h>
#include <winsock2.h>

namespace {

// The DLLs that libpq.dll loads lie beside it: the search starts in its own folder.
HMODULE Library() {
    static const HMODULE library = [] {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return HMODULE{nullptr};
        }
        std::wstring folder(path, length);
        folder.erase(folder.find_last_of(L"\\/") + 1);
        const std::wstring dll = folder + L"libpq.dll";
        return LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }();
    return library;
}

} // namespace

bool LoadPgLibrary(std::string* error) {
    if (Library() != nullptr) {
        return true;
    }
    char why[256];
    *error = std::string("the ledger needs libpq.dll beside zrvlink.exe, as the kit installs it: ") +
             SystemErrorText(LastSystemError(), why, sizeof why);
    return false;
}

void* PgLibrarySymbol(const char* name) {
    return Library() != nullptr ? reinterpret_cast<void*>(GetProcAddress(Library(), name)) : nullptr;
}

PgWait WaitPgSocket(int socket, bool write, int ms) {
    WSAPOLLFD watched{};
    watched.fd = static_cast<SOCKET>(socket);
    watched.events = write ? POLLWRNORM : POLLRDNORM;
    const int ready = WSAPoll(&watched, 1, ms);
    if (ready == SOCKET_ERROR) {
        return PgWait::Failed;
    }
    return ready == 0 ? PgWait::TimedOut : PgWait::Ready;
}
