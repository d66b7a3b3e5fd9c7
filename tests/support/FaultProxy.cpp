// The fault proxy: one thread that polls every connection and passes, stalls or resets what
// passes; test side of the ledger, Linux only.
#include "FaultProxy.h"

#include "platform/FdOwner.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t BUFFERED_MAX = 1 << 20;

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

struct Pair {
    CFd Client;
    CFd Server;
    std::string ToServer;
    std::string ToClient;
    bool Orphan = false; // the client side was reset: what the server says goes nowhere
};

// Moves what waits in `from`'s direction: false once either side is gone.
bool Move(int from, int to, std::string* pending, bool readable, bool writable) {
    if (readable) {
        char block[16384];
        const ssize_t got = read(from, block, sizeof block);
        if (got <= 0) {
            return false;
        }
        pending->append(block, static_cast<std::size_t>(got));
    }
    if (writable && !pending->empty()) {
        const ssize_t put = write(to, pending->data(), pending->size());
        if (put < 0) {
            return false;
        }
        pending->erase(0, static_cast<std::size_t>(put));
    }
    return true;
}

} // namespace

struct CFaultProxy::State {
    CFd Listen;
    CFd WakeRead;
    CFd WakeWrite;
    int ServerPort = 0;
    int Port = 0;
    std::thread Thread;
    std::atomic<int> Accepted{0};

    std::mutex Lock; // guards what follows, set by the test, taken by the thread
    bool Stalled = false;
    bool ResetAsked = false;
    bool CutAsked = false;
    bool Stopping = false;

    std::vector<std::unique_ptr<Pair>> Pairs; // the thread's alone

    void Wake() {
        const char byte = 0;
        (void)!write(WakeWrite.Get(), &byte, 1);
    }
    void Accept();
    bool Serve(Pair& pair, short clientEvents, short serverEvents);
    void Run();
};

void CFaultProxy::State::Accept() {
    auto pair = std::make_unique<Pair>();
    pair->Client.Reset(accept4(Listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    pair->Server.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in server = Loopback(ServerPort);
    if (pair->Client.IsOpen() && pair->Server.IsOpen() &&
        connect(pair->Server.Get(), reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) {
        ++Accepted;
        Pairs.push_back(std::move(pair));
    }
}

bool CFaultProxy::State::Serve(Pair& pair, short clientEvents, short serverEvents) {
    if (!pair.Orphan && (clientEvents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
        !Move(pair.Client.Get(), pair.Server.Get(), &pair.ToServer, true, false)) {
        return false;
    }
    if ((serverEvents & POLLOUT) != 0 &&
        !Move(pair.Client.Get(), pair.Server.Get(), &pair.ToServer, false, true)) {
        return false;
    }
    if ((serverEvents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
        !Move(pair.Server.Get(), pair.Client.Get(), &pair.ToClient, true, false)) {
        return false;
    }
    if (pair.Orphan) {
        pair.ToClient.clear();
    } else if ((clientEvents & POLLOUT) != 0 &&
               !Move(pair.Server.Get(), pair.Client.Get(), &pair.ToClient, false, true)) {
        return false;
    }
    return true;
}

void CFaultProxy::State::Run() {
    for (;;) {
        bool stalled = false;
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (Stopping) {
                return;
            }
            for (auto& pair : Pairs) {
                if (ResetAsked && !pair->Orphan) {
                    const linger reset{1, 0};
                    setsockopt(pair->Client.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                    pair->Client.Reset();
                    pair->Orphan = true;
                }
            }
            if (CutAsked) {
                Pairs.clear();
            }
            ResetAsked = CutAsked = false;
            stalled = Stalled;
        }
        std::vector<pollfd> watched{{Listen.Get(), POLLIN, 0}, {WakeRead.Get(), POLLIN, 0}};
        for (const auto& pair : Pairs) {
            const short client =
                stalled || pair->Orphan
                    ? 0
                    : static_cast<short>((pair->ToServer.size() < BUFFERED_MAX ? POLLIN : 0) |
                                         (pair->ToClient.empty() ? 0 : POLLOUT));
            const short server = stalled && !pair->Orphan
                                     ? 0
                                     : static_cast<short>(POLLIN | (pair->ToServer.empty() ? 0 : POLLOUT));
            watched.push_back({pair->Orphan ? -1 : pair->Client.Get(), client, 0});
            watched.push_back({pair->Server.Get(), server, 0});
        }
        if (poll(watched.data(), watched.size(), 1000) < 0) {
            continue;
        }
        if ((watched[1].revents & POLLIN) != 0) {
            char drained[64];
            (void)!read(WakeRead.Get(), drained, sizeof drained);
        }
        // A pair's place in `watched` follows its index: a closed pair is erased after the others.
        for (std::size_t i = 0; i < Pairs.size(); ++i) {
            if (!Serve(*Pairs[i], watched[2 + 2 * i].revents, watched[3 + 2 * i].revents)) {
                Pairs[i]->Client.Reset();
                Pairs[i]->Server.Reset();
            }
        }
        Pairs.erase(
            std::remove_if(Pairs.begin(), Pairs.end(), [](const auto& p) { return !p->Server.IsOpen(); }),
            Pairs.end());
        if ((watched[0].revents & POLLIN) != 0) {
            Accept();
        }
    }
}

CFaultProxy::CFaultProxy() : m_state(std::make_unique<State>()) {}

CFaultProxy::~CFaultProxy() {
    {
        std::lock_guard<std::mutex> guard(m_state->Lock);
        m_state->Stopping = true;
    }
    if (m_state->Thread.joinable()) {
        m_state->Wake();
        m_state->Thread.join();
    }
}

bool CFaultProxy::Start(int serverPort, std::string* error) {
    State& s = *m_state;
    s.ServerPort = serverPort;
    s.Listen.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int pipeFds[2];
    if (!s.Listen.IsOpen() ||
        bind(s.Listen.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s.Listen.Get(), 64) != 0 ||
        getsockname(s.Listen.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(pipeFds, O_CLOEXEC) != 0) {
        *error = std::string("fault proxy: ") + std::strerror(errno);
        return false;
    }
    s.WakeRead.Reset(pipeFds[0]);
    s.WakeWrite.Reset(pipeFds[1]);
    s.Port = ntohs(address.sin_port);
    s.Thread = std::thread([&s] { s.Run(); });
    return true;
}

int CFaultProxy::Port() const {
    return m_state->Port;
}

int CFaultProxy::Accepted() const {
    return m_state->Accepted;
}

void CFaultProxy::Pass() {
    std::lock_guard<std::mutex> guard(m_state->Lock);
    m_state->Stalled = false;
    m_state->Wake();
}

void CFaultProxy::Stall() {
    std::lock_guard<std::mutex> guard(m_state->Lock);
    m_state->Stalled = true;
    m_state->Wake();
}

void CFaultProxy::ResetClients() {
    std::lock_guard<std::mutex> guard(m_state->Lock);
    m_state->ResetAsked = true;
    m_state->Wake();
}

void CFaultProxy::CutAll() {
    std::lock_guard<std::mutex> guard(m_state->Lock);
    m_state->CutAsked = true;
    m_state->Wake();
}
