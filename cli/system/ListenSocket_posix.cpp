// The board's sockets on POSIX: SO_REUSEADDR alone, so that a second process is refused; accept4 with
// close-on-exec, poll, and the descriptor limit.
#include "cli/system/ListenSocket.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

int Fd(SocketHandle socket) {
    return static_cast<int>(socket);
}

long Result(ssize_t result) {
    if (result >= 0) {
        return static_cast<long>(result);
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? SOCKET_WOULD_BLOCK : SOCKET_FAILED;
}

} // namespace

void TakePortAlone(SocketHandle socket) {
    const int yes = 1;
    setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    fcntl(Fd(socket), F_SETFD, FD_CLOEXEC);
    fcntl(Fd(socket), F_SETFL, fcntl(Fd(socket), F_GETFL) | O_NONBLOCK);
}

int32_t LastSocketError() {
    return errno;
}

const char* ListenErrorWords(int32_t code) {
    return code == EADDRINUSE      ? "the address is in use"
           : code == EADDRNOTAVAIL ? "the address is not one of this machine's"
                                   : nullptr;
}

SocketHandle AcceptClient(SocketHandle listening, bool* outOfDescriptors) {
    const int client = accept4(Fd(listening), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    *outOfDescriptors =
        client < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM);
    return client < 0 ? NO_SOCKET : static_cast<SocketHandle>(client);
}

long ReceiveSome(SocketHandle socket, char* data, std::size_t size) {
    return Result(recv(Fd(socket), data, size, 0));
}

long SendSome(SocketHandle socket, const char* data, std::size_t size) {
    return Result(send(Fd(socket), data, size, MSG_NOSIGNAL));
}

void StopSending(SocketHandle socket) {
    shutdown(Fd(socket), SHUT_WR);
}

void CloseSocket(SocketHandle socket) {
    close(Fd(socket));
}

void WaitForSockets(SocketWait* waits, std::size_t count, int timeoutMs) {
    std::vector<pollfd> fds(count);
    for (std::size_t i = 0; i < count; ++i) {
        fds[i] = {Fd(waits[i].Socket), static_cast<short>(waits[i].ForWrite ? POLLOUT : POLLIN), 0};
    }
    const int ready = poll(fds.data(), fds.size(), timeoutMs);
    for (std::size_t i = 0; i < count; ++i) {
        waits[i].Ready = ready > 0 && fds[i].revents != 0;
    }
}

SocketHandle OpenWaker() {
    const int waker = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof self;
    if (waker < 0 || bind(waker, reinterpret_cast<sockaddr*>(&self), size) != 0 ||
        getsockname(waker, reinterpret_cast<sockaddr*>(&self), &size) != 0 ||
        connect(waker, reinterpret_cast<sockaddr*>(&self), size) != 0) {
        if (waker >= 0) {
            close(waker);
        }
        return NO_SOCKET;
    }
    return static_cast<SocketHandle>(waker);
}

int SocketRoom(int reserve) {
    rlimit limit{};
    const rlim_t most = static_cast<rlim_t>(INT_MAX);
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > most) {
        return INT_MAX - reserve;
    }
    return static_cast<int>(limit.rlim_cur) - reserve;
}
