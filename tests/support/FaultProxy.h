// A TCP proxy on loopback between the stations and the test's PostgreSQL server that a test makes stall,
// or reset what passes, as a network, a firewall or a pooler between them would; test side of the
// ledger, Linux only.
#pragma once

#include <memory>
#include <string>

class CFaultProxy {
public:
    CFaultProxy();
    // Closes every connection and stops.
    ~CFaultProxy();
    CFaultProxy(const CFaultProxy&) = delete;
    CFaultProxy& operator=(const CFaultProxy&) = delete;

    // Listens on a free loopback port and passes every connection on to `serverPort` on loopback.
    bool Start(int serverPort, std::string* error);
    int Port() const;

    // Everything passes, now and from now on.
    void Pass() { Ask(Asked::Pass); }
    // Nothing passes either way, on the connections open now and on new ones, which are accepted; every
    // connection stays open.
    void Stall() { Ask(Asked::Stall); }
    // The client side of every open connection is reset, as a network cut that only the client notices:
    // the server side stays open and its answers go nowhere. New connections pass.
    void ResetClients() { Ask(Asked::ResetClients); }
    // Both sides of every open connection are closed; new connections pass.
    void CutAll() { Ask(Asked::CutAll); }

private:
    enum class Asked { Pass, Stall, ResetClients, CutAll, Stop };
    // Tells the proxy's thread, which acts on it at once.
    void Ask(Asked asked);

    struct State;
    std::unique_ptr<State> m_state;
};
