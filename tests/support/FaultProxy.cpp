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
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t BUFFERED_MAX = 1 << 20;

sockaddr_in Loopback(int port) {
    return sockaddr_in{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
}

short Events(bool in, bool out) {
    return static_cast<short>((in ? POLLIN : 0) | (out ? POLLOUT : 0));
}

struct Pair {
    CFd Client;
    CFd Server;
    std::string ToServer;
    std::string ToClient;
    bool Orphan = false; // the client side was reset: what the server says goes nowhere
};

// Reads what waits in `from` into `pending` and writes what is pending to `to`, each as its poll events
// allow: false once either side is gone.
bool Move(int from, short fromEvents, int to, short toEvents, std::string* pending) {
    if ((fromEvents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        char block[16384];
        const ssize_t got = read(from, block, sizeof block);
        if (got <= 0) {
            return false;
        }
        pending->append(block, static_cast<std::size_t>(got));
    }
    if ((toEvents & POLLOUT) != 0 && !pending->empty()) {
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

    std::mutex Lock; // guards what follows, set by the test, taken by the thread
    bool Stalled = false;
    bool ResetAsked = false;
    bool CutAsked = false;
    bool Stopping = false;

    std::vector<std::unique_ptr<Pair>> Pairs; // the thread's alone

    void Accept();
    // What the test asked since the last look; false once it asked the thread to stop.
    bool TakeAsked(bool* stalled);
    void Run();
};

void CFaultProxy::State::Accept() {
    auto pair = std::make_unique<Pair>();
    pair->Client.Reset(accept4(Listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    pair->Server.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in server = Loopback(ServerPort);
    if (pair->Client.IsOpen() && pair->Server.IsOpen() &&
        connect(pair->Server.Get(), reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) {
        Pairs.push_back(std::move(pair));
    }
}

bool CFaultProxy::State::TakeAsked(bool* stalled) {
    std::lock_guard<std::mutex> guard(Lock);
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
    *stalled = Stalled;
    return !Stopping;
}

void CFaultProxy::State::Run() {
    bool stalled = false;
    while (TakeAsked(&stalled)) {
        std::vector<pollfd> watched{{Listen.Get(), POLLIN, 0}, {WakeRead.Get(), POLLIN, 0}};
        for (const auto& pair : Pairs) {
            // An orphan's client side is closed (poll skips it); its server is heard even in a stall.
            const bool heard = !stalled || pair->Orphan;
            const bool room = pair->ToServer.size() < BUFFERED_MAX;
            watched.push_back(
                {pair->Client.Get(), Events(!stalled && room, !stalled && !pair->ToClient.empty()), 0});
            watched.push_back({pair->Server.Get(), Events(heard, heard && !pair->ToServer.empty()), 0});
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
            Pair& pair = *Pairs[i];
            const short client = watched[2 + 2 * i].revents;
            const short server = watched[3 + 2 * i].revents;
            if (!Move(pair.Client.Get(), client, pair.Server.Get(), server, &pair.ToServer) ||
                !Move(pair.Server.Get(), server, pair.Client.Get(), client, &pair.ToClient)) {
                pair.Client.Reset();
                pair.Server.Reset();
            }
            if (pair.Orphan) {
                pair.ToClient.clear();
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
    Ask(Asked::Stop);
    if (m_state->Thread.joinable()) {
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

void CFaultProxy::Ask(Asked asked) {
    std::lock_guard<std::mutex> guard(m_state->Lock);
    State& s = *m_state;
    if (asked == Asked::Pass || asked == Asked::Stall) {
        s.Stalled = asked == Asked::Stall;
    }
    s.ResetAsked = s.ResetAsked || asked == Asked::ResetClients;
    s.CutAsked = s.CutAsked || asked == Asked::CutAll;
    s.Stopping = s.Stopping || asked == Asked::Stop;
    const char byte = 0;
    (void)!write(s.WakeWrite.Get(), &byte, 1);
}
