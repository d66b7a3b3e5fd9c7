// The live board's sockets: the listening one takes its port for this process alone, and at once again
// after a restart; its clients are taken, read, written and waited for without blocking, and none of them
// reaches a child process; the seam between the board and the OS's sockets (ListenSocket_posix.cpp,
// ListenSocket_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// A socket as the system names it: a descriptor on POSIX, a SOCKET on Windows.
using SocketHandle = std::uintptr_t;
// No socket (-1 on POSIX, INVALID_SOCKET on Windows).
constexpr SocketHandle NO_SOCKET = ~SocketHandle{0};

// Before bind: no other socket may share the port (POSIX: no SO_REUSEPORT; Windows:
// SO_EXCLUSIVEADDRUSE), while connections of an earlier run that linger do not keep it (POSIX:
// SO_REUSEADDR, which Windows does not need). No child process inherits it, and AcceptClient never
// waits on it.
void TakePortAlone(SocketHandle socket);

// The code of the last failed socket call on this thread (errno, WSAGetLastError()).
int32_t LastSocketError();

// Words for a bind that failed with `code` where the system's own may be missing (Wine has none for
// its socket codes): an address in use, or not one of this machine's; null for any other code.
const char* ListenErrorWords(int32_t code);

// A connection that waits on `listening`, taken without waiting: non-blocking itself, and never inherited
// by a child process. NO_SOCKET when none waits or the accept failed; then `*outOfDescriptors` tells
// whether it failed because this process or the system has no descriptor left.
SocketHandle AcceptClient(SocketHandle listening, bool* outOfDescriptors);

// Of a non-blocking socket: the bytes taken or sent (receiving 0: the peer closed its side), or these.
constexpr long SOCKET_WOULD_BLOCK = -1;
constexpr long SOCKET_FAILED = -2;
long ReceiveSome(SocketHandle socket, char* data, std::size_t size);
long SendSome(SocketHandle socket, const char* data, std::size_t size);
// Ends what this side sends (the peer reads the end), and closes.
void StopSending(SocketHandle socket);
void CloseSocket(SocketHandle socket);

struct SocketWait {
    SocketHandle Socket;
    bool ForWrite;      // else for reading (or the peer's end)
    bool Ready = false; // set by WaitForSockets
};
// Waits until one of `waits` is ready or `timeoutMs` have passed (-1: no limit).
void WaitForSockets(SocketWait* waits, std::size_t count, int timeoutMs);

// A socket that another thread makes readable with SendSome (one byte), so that a wait for sockets
// ends: a UDP socket on the loopback, sent to itself. Non-blocking; NO_SOCKET on failure.
SocketHandle OpenWaker();

// How many descriptors the board may hold while `reserve` stay for the station's own ports, pipes and
// files: the process's limit less `reserve` (POSIX); far more than a board needs where sockets are
// handles without such a limit (Windows).
int SocketRoom(int reserve);
