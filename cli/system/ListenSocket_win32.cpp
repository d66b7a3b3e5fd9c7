// The board's listening socket on Windows: SO_EXCLUSIVEADDRUSE, without which another program could
// take the same port.
#include "cli/system/ListenSocket.h"

#include <winsock2.h>

void TakePortAlone(SocketHandle socket) {
    const BOOL yes = TRUE;
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&yes), sizeof yes);
}

int32_t LastSocketError() {
    return WSAGetLastError();
}

const char* ListenErrorWords(int32_t code) {
    return code == WSAEADDRINUSE      ? "the address is in use"
           : code == WSAEADDRNOTAVAIL ? "the address is not one of this machine's"
                                      : nullptr;
}
