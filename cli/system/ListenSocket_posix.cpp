// The board's listening socket on POSIX: SO_REUSEADDR alone, so that a second process is refused.
#include "cli/system/ListenSocket.h"

#include <cerrno>
#include <sys/socket.h>

void TakePortAlone(SocketHandle socket) {
    const int yes = 1;
    setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

int32_t LastSocketError() {
    return errno;
}

const char* ListenErrorWords(int32_t code) {
    return code == EADDRINUSE      ? "the address is in use"
           : code == EADDRNOTAVAIL ? "the address is not one of this machine's"
                                   : nullptr;
}
