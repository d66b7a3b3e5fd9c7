// A live board over HTTP: one page, /status.json and /events (Server-Sent Events) from the last state
// published, read-only, bounded in what any client can take from the station; portable (cpp-httplib,
// which only BoardServer.cpp includes). The station's board serves its page here, the line's board its
// own.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

// How many pages may follow the station at once; one more is told to come back later.
constexpr int BOARD_MAX_STREAMS = 16;
// How many connections the board keeps open at most (fewer when the process may open few descriptors):
// one more closes the one that has waited longest without a request, or itself at once.
constexpr int BOARD_MAX_CONNECTIONS = 64;
// A request head must come whole within this: a client that sends it slowly or not at all is answered
// 408 and closed.
constexpr std::chrono::seconds BOARD_HEAD_LIMIT{5};

class CBoardServer {
public:
    // `page` (`size` bytes of HTML) stays as it is while the server lives.
    CBoardServer(const char* page, std::size_t size);
    // Closes.
    ~CBoardServer();
    CBoardServer(const CBoardServer&) = delete;
    CBoardServer& operator=(const CBoardServer&) = delete;

    // Takes `host`:`port` (port 0: any free one) for this process alone; requests must name `host`,
    // localhost or an IP address as their Host. False, with `error` naming the address and the system's
    // code, when it cannot: a port in use, an address that is not this machine's.
    bool Bind(const std::string& host, int port, std::string* error);
    // The port taken.
    int Port() const;

    // Serves on threads of its own until Close: one that reads every request head (at most 16 KiB and
    // 100 lines, else 431), and one per answer at work. False, with `error`, when they could not start.
    bool Start(std::string* error);

    // The state that every page and /status.json get from now on, as one line of JSON. Called from the
    // station's thread; never waits for a client: a page that does not read only misses states.
    void Publish(std::string json);

    // Each page gets the last state published, then its stream ends; the server stops. A client that
    // stalled holds this up no longer than the write time limit.
    void Close();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
