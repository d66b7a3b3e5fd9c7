// How the live board's listening socket takes its port: for this process alone, and at once again after
// a restart; the seam between the board and the OS's sockets (ListenSocket_posix.cpp,
// ListenSocket_win32.cpp).
#pragma once

#include <cstdint>

// A socket as the system names it: a descriptor on POSIX, a SOCKET on Windows.
using SocketHandle = std::uintptr_t;

// Before bind: no other socket may share the port (POSIX: no SO_REUSEPORT; Windows:
// SO_EXCLUSIVEADDRUSE), while connections of an earlier run that linger do not keep it (POSIX:
// SO_REUSEADDR, which Windows does not need).
void TakePortAlone(SocketHandle socket);

// The code of the last failed socket call on this thread (errno, WSAGetLastError()).
int32_t LastSocketError();

// Words for a bind that failed with `code` where the system's own may be missing (Wine has none for
// its socket codes): an address in use, or not one of this machine's; null for any other code.
const char* ListenErrorWords(int32_t code);
