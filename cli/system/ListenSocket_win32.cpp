// The board's sockets on Windows: SO_EXCLUSIVEADDRUSE, without which another program could take the same
// port; clients that no child inherits, WSAPoll.
#include "cli/system/ListenSocket.h"

#include <winsock2.h>

#include <climits>
#include <vector>

namespace {

SOCKET Handle(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

long Result(int result) {
    if (result != SOCKET_ERROR) {
        return static_cast<long>(result);
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? SOCKET_WOULD_BLOCK : SOCKET_FAILED;
}

bool NonBlocking(SOCKET socket) {
    u_long yes = 1;
    return ioctlsocket(socket, FIONBIO, &yes) == 0;
}

// A handle that a child process started with inheritance would otherwise take along.
void NotInherited(SOCKET socket) {
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

int Length(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

} // namespace

void TakePortAlone(SocketHandle socket) {
    const BOOL yes = TRUE;
    setsockopt(Handle(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
               sizeof yes);
    NotInherited(Handle(socket));
    NonBlocking(Handle(socket));
}

int32_t LastSocketError() {
    return WSAGetLastError();
}

const char* ListenErrorWords(int32_t code) {
    return code == WSAEADDRINUSE      ? "the address is in use"
           : code == WSAEADDRNOTAVAIL ? "the address is not one of this machine's"
                                      : nullptr;
}

SocketHandle AcceptClient(SocketHandle listening, bool* outOfDescriptors) {
    const SOCKET client = accept(Handle(listening), nullptr, nullptr);
    *outOfDescriptors =
        client == INVALID_SOCKET && (WSAGetLastError() == WSAEMFILE || WSAGetLastError() == WSAENOBUFS);
    if (client == INVALID_SOCKET) {
        return NO_SOCKET;
    }
    NotInherited(client);
    if (!NonBlocking(client)) {
        closesocket(client);
        return NO_SOCKET;
    }
    return static_cast<SocketHandle>(client);
}

long ReceiveSome(SocketHandle socket, char* data, std::size_t size) {
    return Result(recv(Handle(socket), data, Length(size), 0));
}

long SendSome(SocketHandle socket, const char* data, std::size_t size) {
    return Result(send(Handle(socket), data, Length(size), 0));
}

void StopSending(SocketHandle socket) {
    shutdown(Handle(socket), SD_SEND);
}

void CloseSocket(SocketHandle socket) {
    closesocket(Handle(socket));
}

void WaitForSockets(SocketWait* waits, std::size_t count, int timeoutMs) {
    std::vector<WSAPOLLFD> fds(count);
    for (std::size_t i = 0; i < count; ++i) {
        fds[i].fd = Handle(waits[i].Socket);
        fds[i].events = static_cast<SHORT>(waits[i].ForWrite ? POLLWRNORM : POLLRDNORM);
        fds[i].revents = 0;
    }
    const int ready = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    for (std::size_t i = 0; i < count; ++i) {
        waits[i].Ready = ready > 0 && fds[i].revents != 0;
    }
}

SocketHandle OpenWaker() {
    const SOCKET waker = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof self;
    if (waker == INVALID_SOCKET || bind(waker, reinterpret_cast<sockaddr*>(&self), size) != 0 ||
        getsockname(waker, reinterpret_cast<sockaddr*>(&self), &size) != 0 ||
        connect(waker, reinterpret_cast<sockaddr*>(&self), size) != 0 || !NonBlocking(waker)) {
        if (waker != INVALID_SOCKET) {
            closesocket(waker);
        }
        return NO_SOCKET;
    }
    NotInherited(waker);
    return static_cast<SocketHandle>(waker);
}

int SocketRoom(int reserve) {
    return INT_MAX - reserve;
}
