// The live board's HTTP server over cpp-httplib: the page, /status.json and /events from the last state
// published, GET only; portable (sockets through the library and cli/system/ListenSocket.h). The only
// file that includes the library; what it throws is caught here.
#include "cli/board/BoardServer.h"

#include "cli/system/ListenSocket.h"
#include "platform/SystemError.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// A page whose stream ended tries again after this; browsers would wait longer by themselves.
const char* const RETRY = "retry: 2000\n\n";
// A stream with nothing new gets a comment this often, so that a connection that died is noticed.
constexpr std::chrono::seconds QUIET_LIMIT{15};
// A client that does not take what is sent, or does not send its request, within this is dropped; Close
// never waits longer for one.
constexpr time_t CLIENT_LIMIT_S = 2;
// Every page's stream holds a thread; the rest serve the page and /status.json meanwhile.
constexpr std::size_t THREADS = BOARD_MAX_STREAMS + 4;

// The page's scripts and styles are its own; it talks to nothing but this server.
const char* const PAGE_POLICY =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'";

using Handled = httplib::Server::HandlerResponse;

} // namespace

struct CBoardServer::State {
    const char* Page = nullptr;
    std::size_t PageSize = 0;
    httplib::Server Server;
    std::thread Thread; // runs the server's accept loop; joined by Close
    // Set by that thread once its loop has returned; read by Close.
    std::atomic<bool> Listened{false};
    int Port = 0;

    // Shared between the station's thread (Publish, Close) and the server's threads (each request).
    std::mutex Mutex;
    // Notified by Publish, Close and each stream's end; streams wait on it, and Close for their ends.
    std::condition_variable Changed;
    // Written by Publish under Mutex, read by the server's threads under it. Each reader keeps its own
    // reference, so that a new state never waits for a client that is still sending the last.
    std::shared_ptr<const std::string> Json = std::make_shared<const std::string>("{}");
    uint64_t Version = 0; // one more with each state, under Mutex
    bool Closing = false; // set under Mutex by Close
    int Streams = 0;      // written under Mutex by the server's threads as streams start and end

    bool Stream(uint64_t* sent, httplib::DataSink& sink);
    void Routes();
};

// One page's stream: each state as it comes (a page that is behind gets the newest, never a queue), a
// comment when nothing came for a while, and the last state when the station ends.
bool CBoardServer::State::Stream(uint64_t* sent, httplib::DataSink& sink) {
    std::shared_ptr<const std::string> json;
    bool closing = false;
    {
        std::unique_lock<std::mutex> lock(Mutex);
        Changed.wait_for(lock, QUIET_LIMIT, [&] { return Version != *sent || Closing; });
        if (Version != *sent) {
            json = Json;
            *sent = Version;
        }
        closing = Closing;
    }
    const std::string event = json ? "data: " + *json + "\n\n" : std::string(closing ? "" : ": quiet\n\n");
    if (!event.empty() && !sink.write(event.data(), event.size())) {
        return false;
    }
    if (closing) {
        sink.done();
    }
    return true;
}

void CBoardServer::State::Routes() {
    // Nothing on the board changes anything: every method but GET is refused, before any body is read.
    Server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        if (request.method == "GET") {
            return Handled::Unhandled;
        }
        response.status = 405;
        response.set_header("Allow", "GET");
        response.set_header("Connection", "close");
        response.set_content("the station's board only shows; it takes GET alone\n", "text/plain");
        return Handled::Handled;
    });
    Server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_header("Content-Security-Policy", PAGE_POLICY);
        response.set_content(Page, PageSize, "text/html; charset=utf-8");
    });
    Server.Get("/status.json", [this](const httplib::Request&, httplib::Response& response) {
        std::shared_ptr<const std::string> json;
        {
            std::lock_guard<std::mutex> lock(Mutex);
            json = Json;
        }
        response.set_header("Cache-Control", "no-store");
        response.set_content(*json + "\n", "application/json");
    });
    Server.Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            if (Streams >= BOARD_MAX_STREAMS || Closing) {
                response.status = 503;
                response.set_header("Retry-After", "5");
                return;
            }
            ++Streams;
        }
        response.set_header("Cache-Control", "no-store");
        auto sent = std::make_shared<uint64_t>(0);
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, sent](std::size_t offset, httplib::DataSink& sink) {
                return (offset > 0 || sink.write(RETRY, std::strlen(RETRY))) && Stream(sent.get(), sink);
            },
            [this](bool) {
                {
                    std::lock_guard<std::mutex> lock(Mutex);
                    --Streams;
                }
                Changed.notify_all();
            });
    });
}

CBoardServer::CBoardServer(const char* page, std::size_t size) : m_state(std::make_unique<State>()) {
    m_state->Page = page;
    m_state->PageSize = size;
}

CBoardServer::~CBoardServer() {
    Close();
}

bool CBoardServer::Bind(const std::string& host, int port, std::string* error) {
    httplib::Server& server = m_state->Server;
    server.set_socket_options([](socket_t socket) { TakePortAlone(static_cast<SocketHandle>(socket)); });
    try {
        m_state->Port = port == 0                         ? server.bind_to_any_port(host)
                        : server.bind_to_port(host, port) ? port
                                                          : -1;
    } catch (const std::exception& thrown) {
        *error = "listening on " + host + ":" + std::to_string(port) + ": " + thrown.what();
        return false;
    }
    if (m_state->Port > 0) {
        return true;
    }
    const int32_t code = LastSocketError();
    char reason[256];
    const char* words = ListenErrorWords(code);
    *error =
        "listening on " + host + ":" + std::to_string(port) + ": " +
        (code == 0 ? std::string("no such address")
                   : std::string(words != nullptr ? words : SystemErrorText(code, reason, sizeof reason)) +
                         " (error " + std::to_string(code) + ")");
    return false;
}

int CBoardServer::Port() const {
    return m_state->Port;
}

bool CBoardServer::Start(std::string* error) {
    httplib::Server& server = m_state->Server;
    server.new_task_queue = [] { return new httplib::ThreadPool(THREADS); };
    server.set_read_timeout(CLIENT_LIMIT_S, 0);
    server.set_write_timeout(CLIENT_LIMIT_S, 0);
    server.set_keep_alive_timeout(CLIENT_LIMIT_S);
    try {
        m_state->Routes();
        m_state->Thread = std::thread([&server, &listened = m_state->Listened] {
            try {
                server.listen_after_bind();
            } catch (const std::exception&) {
                // The board is gone; the station goes on without it.
            }
            listened.store(true);
        });
    } catch (const std::exception& thrown) {
        *error = std::string("the board's server did not start: ") + thrown.what();
        return false;
    }
    return true;
}

void CBoardServer::Publish(std::string json) {
    auto shared = std::make_shared<const std::string>(std::move(json));
    {
        std::lock_guard<std::mutex> lock(m_state->Mutex);
        m_state->Json = std::move(shared);
        ++m_state->Version;
    }
    m_state->Changed.notify_all();
}

// The streams end by themselves once they have sent the last state, and only then does the server stop:
// a stream stops at once when it does, last state or not. Stop only closes the listening socket, and
// the join waits for the requests at work. Stop does nothing before the loop runs, so a board closed
// right after its start waits for that first.
void CBoardServer::Close() {
    {
        std::unique_lock<std::mutex> lock(m_state->Mutex);
        if (m_state->Closing) {
            return;
        }
        m_state->Closing = true;
        m_state->Changed.notify_all();
        m_state->Changed.wait_for(lock, std::chrono::seconds(CLIENT_LIMIT_S + 1),
                                  [&] { return m_state->Streams == 0; });
    }
    if (!m_state->Thread.joinable()) {
        return;
    }
    while (!m_state->Server.is_running() && !m_state->Listened.load()) {
        std::this_thread::yield();
    }
    m_state->Server.stop();
    m_state->Thread.join();
}
