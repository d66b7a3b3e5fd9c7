// The live board's HTTP server: a front of its own takes every connection and reads its request head
// within bounds of size, lines and time, on one thread for all of them; cpp-httplib answers only heads
// read whole: the page, /status.json and /events from the last state published, GET and HEAD only.
// Portable (sockets through cli/system/ListenSocket.h). The only file that includes the library; what
// it throws is caught here.
#include "cli/board/BoardServer.h"

#include "cli/board/RequestHead.h"
#include "cli/system/ListenSocket.h"
#include "platform/SystemError.h"

// poll rather than select: a descriptor above FD_SETSIZE would be answered 500. A backlog for a burst of
// connections, which the front takes at once.
#define CPPHTTPLIB_USE_POLL
#define CPPHTTPLIB_LISTEN_BACKLOG 64
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// A page whose stream ended tries again after this; browsers would wait longer by themselves.
const char* const RETRY = "retry: 2000\n\n";
// A stream with nothing new gets a comment this often, so that a connection that died is noticed.
constexpr std::chrono::seconds QUIET_LIMIT{15};
// A client that does not take a write within this is dropped; Close never waits longer for one.
constexpr Milliseconds CLIENT_LIMIT{2000};
// After its answer (or refusal), what a client still sends is read and dropped for at most this long,
// so that the answer is not lost to a reset of the connection.
constexpr Milliseconds DRAIN_LIMIT{2000};
// An out-of-descriptors accept is not tried again before this, nor before a client closes.
constexpr Milliseconds ACCEPT_PAUSE{250};
// Descriptors kept for the station's own ports, pipes and files, whatever the board's clients hold.
constexpr int DESCRIPTOR_RESERVE = 256;
// Fewer connections than this would not serve the streams and a page beside them.
constexpr int MIN_CONNECTIONS = BOARD_MAX_STREAMS + 4;
// Every page's stream holds a thread; the rest answer the page and /status.json meanwhile.
constexpr std::size_t THREADS = BOARD_MAX_STREAMS + 4;
// At most this many bytes a client sends are read per round, so that no client holds up the others.
constexpr std::size_t ROUND_BYTES = 64 * 1024;

// The page's scripts and styles are its own; it talks to nothing but this server.
const char* const PAGE_POLICY =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'";
// On every answer: a browser takes each for the type it is sent as.
const char* const NO_SNIFF = "X-Content-Type-Options";

using Handled = httplib::Server::HandlerResponse;

int MsUntil(Clock::time_point when) {
    const auto left = std::chrono::duration_cast<Milliseconds>(when - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, 60 * 1000));
}

// The library's request handling, for heads that the front has read whole.
class CBoardHttp : public httplib::Server {
public:
    // Answers the one request in `stream`; the connection ends after it.
    void Answer(httplib::Stream& stream) {
        bool closed = true;
        process_request(stream, true, closed, nullptr);
    }
    SocketHandle Listening() const { return static_cast<SocketHandle>(svr_sock_.load()); }
    // The listening socket, now the caller's to close; streams then see the server as ending.
    SocketHandle TakeListening() { return static_cast<SocketHandle>(svr_sock_.exchange(INVALID_SOCKET)); }
};

// One client's request for the library: the head as the front read it, then nothing (the board takes no
// body); what the library writes goes to the socket, each write within the client limit.
class CHeadStream : public httplib::Stream {
public:
    CHeadStream(SocketHandle socket, std::string head) : m_socket(socket), m_head(std::move(head)) {}
    using httplib::Stream::write;

    bool is_readable() const override { return m_read < m_head.size(); }
    bool is_writable() const override { return Writable(Clock::now() + CLIENT_LIMIT); }
    ssize_t read(char* ptr, size_t size) override {
        const std::size_t count = std::min(size, m_head.size() - m_read);
        std::memcpy(ptr, m_head.data() + m_read, count);
        m_read += count;
        return static_cast<ssize_t>(count);
    }
    ssize_t write(const char* ptr, size_t size) override {
        const Clock::time_point deadline = Clock::now() + CLIENT_LIMIT;
        std::size_t sent = 0;
        while (sent < size) {
            const long count = SendSome(m_socket, ptr + sent, size - sent);
            if (count > 0) {
                sent += static_cast<std::size_t>(count);
            } else if (count == SOCKET_FAILED || !Writable(deadline)) {
                return -1;
            }
        }
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return static_cast<socket_t>(m_socket); }

private:
    bool Writable(Clock::time_point deadline) const {
        SocketWait wait{m_socket, true};
        WaitForSockets(&wait, 1, MsUntil(deadline));
        return wait.Ready;
    }

    SocketHandle m_socket;
    std::string m_head;
    std::size_t m_read = 0;
};

enum class ClientStage {
    Reading,   // its head, on the front's thread
    Answering, // on a worker's thread, which the front leaves it to
    Draining,  // answered: what it still sends is dropped until it closes or the time is up
};

struct Client {
    SocketHandle Socket = NO_SOCKET;
    CRequestHead Head;
    ClientStage Stage = ClientStage::Reading;
    Clock::time_point Deadline; // of its head, or of its draining
    uint64_t Arrival = 0;       // one more per connection taken
};

// An answer of the front itself, for a head that the library never sees.
std::string Refusal(int status, const char* reason, const char* text) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/plain\r\nConnection: close\r\n" + NO_SNIFF +
           ": nosniff\r\nContent-Length: " + std::to_string(std::strlen(text)) + "\r\n\r\n" + text;
}

const std::string TOO_LARGE = Refusal(431, "Request Header Fields Too Large",
                                      "the board takes request heads of at most 16 KiB and 100 lines\n");
const std::string TOO_SLOW = Refusal(
    408, "Request Timeout",
    ("the board takes a request head whole within " + std::to_string(BOARD_HEAD_LIMIT.count()) + " seconds\n")
        .c_str());

} // namespace

struct CBoardServer::State {
    const char* Page = nullptr;
    std::size_t PageSize = 0;
    std::string Host; // as bound: the name a request's Host may give
    CBoardHttp Http;
    int Port = 0;
    SocketHandle Waker = NO_SOCKET; // wakes the front: a worker answered, or Close
    std::thread Front;
    std::vector<std::thread> Workers;

    // The front's own, on its thread once started: every open connection.
    std::vector<std::unique_ptr<Client>> Clients;
    uint64_t Arrivals = 0;
    std::size_t MaxClients = BOARD_MAX_CONNECTIONS;
    Clock::time_point AcceptAgain; // no accept before this after one found no descriptor

    // Shared between the station's thread (Publish, Close), the front and the workers.
    std::mutex Mutex;
    // Notified by Publish, Close and each stream's end; streams wait on it, and Close for their ends.
    std::condition_variable Changed;
    // Notified by the front as it hands a head over, and by Close; the workers wait on it.
    std::condition_variable WorkCame;
    std::deque<Client*> Heads;     // whole heads for a worker: pushed by the front, taken by a worker
    std::vector<Client*> Answered; // pushed by a worker once answered, taken back by the front
    bool Stopping = false;         // set by Close: the front and the workers end
    // Written by Publish under Mutex, read by the workers under it. Each reader keeps its own
    // reference, so that a new state never waits for a client that is still sending the last.
    std::shared_ptr<const std::string> Json = std::make_shared<const std::string>("{}");
    uint64_t Version = 0; // one more with each state, under Mutex
    bool Closing = false; // set under Mutex by Close
    int Streams = 0;      // written under Mutex by the workers as streams start and end

    bool Stream(uint64_t* sent, httplib::DataSink& sink);
    void Routes();
    void RunFront();
    void RunWorker();
    void TakeBackAnswered();
    void Sweep();
    bool Wait();
    void AcceptWaiting();
    bool Evict();
    void Read(Client* client);
    void Drain(Client* client);
    void Refuse(Client* client, const std::string& answer);
    void Expire();
    void Forget(Client* client);
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
    Http.set_default_headers({{NO_SNIFF, "nosniff"}});
    // Nothing on the board changes anything: every method but GET and HEAD is refused, before any body
    // is read; and only a request for this board by one of its own names is answered at all.
    Http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        // A request without Host (HTTP/1.0) names no other site.
        const bool oneHost = request.get_header_value_count("Host") <= 1;
        const std::string host = request.has_header("Host") ? request.get_header_value("Host") : "localhost";
        if (!oneHost || !BoardHostAllowed(host, Host)) {
            response.status = oneHost ? 421 : 400;
            response.set_content("the board answers to its own address, localhost or an IP address\n",
                                 "text/plain");
        } else if (request.method != "GET" && request.method != "HEAD") {
            response.status = 405;
            response.set_header("Allow", "GET, HEAD");
            response.set_content("the station's board only shows; it takes GET and HEAD alone\n",
                                 "text/plain");
        } else {
            return Handled::Unhandled;
        }
        return Handled::Handled;
    });
    Http.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_header("Content-Security-Policy", PAGE_POLICY);
        response.set_content(Page, PageSize, "text/html; charset=utf-8");
    });
    Http.Get("/status.json", [this](const httplib::Request&, httplib::Response& response) {
        std::shared_ptr<const std::string> json;
        {
            std::lock_guard<std::mutex> lock(Mutex);
            json = Json;
        }
        response.set_header("Cache-Control", "no-store");
        response.set_content(*json + "\n", "application/json");
    });
    Http.Get("/events", [this](const httplib::Request&, httplib::Response& response) {
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

// The front: one thread that takes every connection and reads every head, so that a client that sends
// slowly or not at all holds no thread and at most one head's bytes.
void CBoardServer::State::RunFront() {
    while (Wait()) {
        Expire();
    }
}

// Until a socket is ready or a deadline comes; then what was ready is done. False once Close came.
bool CBoardServer::State::Wait() {
    Sweep();
    TakeBackAnswered();
    std::vector<SocketWait> waits{{Waker, false}};
    const bool accepting = Clock::now() >= AcceptAgain;
    if (accepting) {
        waits.push_back({Http.Listening(), false});
    }
    std::vector<Client*> waiting;
    Clock::time_point next = accepting ? Clock::now() + QUIET_LIMIT : AcceptAgain;
    for (const auto& client : Clients) {
        if (client->Stage != ClientStage::Answering) {
            waits.push_back({client->Socket, false});
            waiting.push_back(client.get());
            next = std::min(next, client->Deadline);
        }
    }
    WaitForSockets(waits.data(), waits.size(), MsUntil(next));
    char wake[64];
    while (ReceiveSome(Waker, wake, sizeof wake) > 0) {
    }
    {
        std::lock_guard<std::mutex> lock(Mutex);
        if (Stopping) {
            return false;
        }
    }
    const std::size_t first = accepting ? 2 : 1;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        if (waits[first + i].Ready) {
            waiting[i]->Stage == ClientStage::Reading ? Read(waiting[i]) : Drain(waiting[i]);
        }
    }
    if (accepting && waits[1].Ready) {
        AcceptWaiting();
    }
    return true;
}

void CBoardServer::State::TakeBackAnswered() {
    std::vector<Client*> answered;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        answered.swap(Answered);
    }
    for (Client* client : answered) {
        client->Stage = ClientStage::Draining;
        client->Deadline = Clock::now() + DRAIN_LIMIT;
    }
}

// Clients closed since the last look.
void CBoardServer::State::Sweep() {
    Clients.erase(std::remove_if(Clients.begin(), Clients.end(),
                                 [](const std::unique_ptr<Client>& c) { return c->Socket == NO_SOCKET; }),
                  Clients.end());
}

// Connections beyond the limit are not kept waiting: the one that has waited longest for nothing makes
// room (a client whose answer was sent, then one whose head is still coming), else the new one is closed
// at once.
void CBoardServer::State::AcceptWaiting() {
    Sweep();
    for (std::size_t taken = 0; taken < MaxClients; ++taken) {
        bool outOfDescriptors = false;
        const SocketHandle socket = AcceptClient(Http.Listening(), &outOfDescriptors);
        if (socket == NO_SOCKET) {
            AcceptAgain = outOfDescriptors ? Clock::now() + ACCEPT_PAUSE : AcceptAgain;
            return;
        }
        if (Clients.size() >= MaxClients && !Evict()) {
            CloseSocket(socket);
            continue;
        }
        auto client = std::make_unique<Client>();
        client->Socket = socket;
        client->Deadline = Clock::now() + BOARD_HEAD_LIMIT;
        client->Arrival = ++Arrivals;
        Clients.push_back(std::move(client));
    }
}

bool CBoardServer::State::Evict() {
    Client* oldest = nullptr;
    for (const ClientStage stage : {ClientStage::Draining, ClientStage::Reading}) {
        for (const auto& client : Clients) {
            if (client->Socket != NO_SOCKET && client->Stage == stage &&
                (oldest == nullptr || client->Arrival < oldest->Arrival)) {
                oldest = client.get();
            }
        }
        if (oldest != nullptr) {
            Forget(oldest);
            Clients.erase(std::find_if(Clients.begin(), Clients.end(),
                                       [&](const std::unique_ptr<Client>& c) { return c.get() == oldest; }));
            return true;
        }
    }
    return false;
}

// What waits of a head, never more than its room; a whole head goes to a worker.
void CBoardServer::State::Read(Client* client) {
    char block[4096];
    for (std::size_t round = 0; round < ROUND_BYTES; round += sizeof block) {
        const long got = ReceiveSome(client->Socket, block, std::min(sizeof block, client->Head.Room()));
        if (got == SOCKET_WOULD_BLOCK) {
            return;
        }
        if (got <= 0) {
            Forget(client);
            return;
        }
        const HeadState state = client->Head.Take(block, static_cast<std::size_t>(got));
        if (state == HeadState::TooLarge) {
            Refuse(client, TOO_LARGE);
            return;
        }
        if (state == HeadState::Complete) {
            client->Stage = ClientStage::Answering;
            {
                std::lock_guard<std::mutex> lock(Mutex);
                Heads.push_back(client);
            }
            WorkCame.notify_one();
            return;
        }
    }
}

void CBoardServer::State::Drain(Client* client) {
    char block[4096];
    for (std::size_t round = 0; round < ROUND_BYTES; round += sizeof block) {
        const long got = ReceiveSome(client->Socket, block, sizeof block);
        if (got == SOCKET_WOULD_BLOCK) {
            return;
        }
        if (got <= 0) {
            Forget(client);
            return;
        }
    }
}

// The answer fits the socket's buffer of a new connection: one send, never a wait.
void CBoardServer::State::Refuse(Client* client, const std::string& answer) {
    SendSome(client->Socket, answer.data(), answer.size());
    StopSending(client->Socket);
    client->Stage = ClientStage::Draining;
    client->Deadline = Clock::now() + DRAIN_LIMIT;
}

void CBoardServer::State::Expire() {
    const Clock::time_point now = Clock::now();
    for (const auto& client : Clients) {
        if (client->Socket == NO_SOCKET || client->Stage == ClientStage::Answering ||
            client->Deadline > now) {
            continue;
        }
        if (client->Stage == ClientStage::Reading) {
            Refuse(client.get(), TOO_SLOW);
        } else {
            Forget(client.get());
        }
    }
}

void CBoardServer::State::Forget(Client* client) {
    CloseSocket(client->Socket);
    client->Socket = NO_SOCKET;
    AcceptAgain = Clock::time_point();
}

// A worker answers whole heads, one request per connection, and gives the connection back to the front.
void CBoardServer::State::RunWorker() {
    for (;;) {
        Client* client = nullptr;
        {
            std::unique_lock<std::mutex> lock(Mutex);
            WorkCame.wait(lock, [&] { return Stopping || !Heads.empty(); });
            if (Stopping) {
                return;
            }
            client = Heads.front();
            Heads.pop_front();
        }
        CHeadStream stream(client->Socket, client->Head.Text());
        try {
            Http.Answer(stream);
        } catch (const std::exception&) {
            // An answer cut short: the connection ends all the same.
        }
        StopSending(client->Socket);
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Answered.push_back(client);
        }
        SendSome(Waker, "w", 1);
    }
}

CBoardServer::CBoardServer(const char* page, std::size_t size) : m_state(std::make_unique<State>()) {
    m_state->Page = page;
    m_state->PageSize = size;
}

CBoardServer::~CBoardServer() {
    Close();
}

bool CBoardServer::Bind(const std::string& host, int port, std::string* error) {
    CBoardHttp& server = m_state->Http;
    m_state->Host = host;
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
    State& s = *m_state;
    const int room = SocketRoom(DESCRIPTOR_RESERVE);
    s.MaxClients = static_cast<std::size_t>(std::clamp(room, MIN_CONNECTIONS, BOARD_MAX_CONNECTIONS));
    s.Waker = OpenWaker();
    if (s.Waker == NO_SOCKET || s.Http.Listening() == NO_SOCKET) {
        *error = "the board's server did not start: no socket to wait with";
        return false;
    }
    try {
        s.Routes();
        s.Front = std::thread([&s] { s.RunFront(); });
        for (std::size_t i = 0; i < THREADS; ++i) {
            s.Workers.emplace_back([&s] { s.RunWorker(); });
        }
    } catch (const std::exception& thrown) {
        *error = std::string("the board's server did not start: ") + thrown.what();
        Close();
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
// the workers finish the answers at work (each write within the client limit), the front and every
// connection close.
void CBoardServer::Close() {
    State& s = *m_state;
    {
        std::unique_lock<std::mutex> lock(s.Mutex);
        if (s.Closing) {
            return;
        }
        s.Closing = true;
        s.Changed.notify_all();
        s.Changed.wait_for(lock, CLIENT_LIMIT + std::chrono::seconds(1), [&] { return s.Streams == 0; });
        s.Stopping = true;
    }
    s.WorkCame.notify_all();
    if (s.Waker != NO_SOCKET) {
        SendSome(s.Waker, "w", 1);
    }
    for (std::thread& worker : s.Workers) {
        worker.join();
    }
    if (s.Front.joinable()) {
        s.Front.join();
    }
    for (const auto& client : s.Clients) {
        if (client->Socket != NO_SOCKET) {
            CloseSocket(client->Socket);
        }
    }
    s.Clients.clear();
    for (const SocketHandle socket : {s.Http.TakeListening(), s.Waker}) {
        if (socket != NO_SOCKET) {
            CloseSocket(socket);
        }
    }
    s.Waker = NO_SOCKET;
}
