// A live board over HTTP: one page, /status.json and /events (Server-Sent Events) from the last state
// published, read-only; portable (cpp-httplib, which only BoardServer.cpp includes). The station's board
// serves its page here; a board of several stations would serve its own.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// How many pages may follow the station at once; one more is told to come back later.
constexpr int BOARD_MAX_STREAMS = 16;

class CBoardServer {
public:
    // `page` (`size` bytes of HTML) stays as it is while the server lives.
    CBoardServer(const char* page, std::size_t size);
    // Closes.
    ~CBoardServer();
    CBoardServer(const CBoardServer&) = delete;
    CBoardServer& operator=(const CBoardServer&) = delete;

    // Takes `host`:`port` (port 0: any free one) for this process alone. False, with `error` naming the
    // address and the system's code, when it cannot: a port in use, an address that is not this machine's.
    bool Bind(const std::string& host, int port, std::string* error);
    // The port taken.
    int Port() const;

    // Serves on threads of its own until Close. False, with `error`, when they could not start.
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
