// libpq.so.5 through dlopen, and poll on its socket; the POSIX side of the libpq seam.
#include "provisioning/ledger/PgLibrary.h"

#include <dlfcn.h>
#include <poll.h>

#include <cerrno>

namespace {

void* Library() {
    static void* const library = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    return library;
}

} // namespace

bool LoadPgLibrary(std::string* error) {
    if (Library() != nullptr) {
        return true;
    }
    const char* why = dlerror();
    *error = std::string("the ledger needs the PostgreSQL client library libpq.so.5 (Debian: libpq5)") +
             (why != nullptr ? ": " + std::string(why) : std::string());
    return false;
}

void* PgLibrarySymbol(const char* name) {
    return Library() != nullptr ? dlsym(Library(), name) : nullptr;
}

PgWait WaitPgSocket(int socket, bool write, int ms) {
    pollfd watched{socket, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    const int ready = poll(&watched, 1, ms);
    if (ready < 0) {
        return errno == EINTR ? PgWait::TimedOut : PgWait::Failed;
    }
    return ready == 0 ? PgWait::TimedOut : PgWait::Ready;
}
