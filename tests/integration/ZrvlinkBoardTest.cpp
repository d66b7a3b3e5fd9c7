// The station's live board over HTTP, without a browser (tests/integration/board_browser_test.py drives
// one and reads its page): an address already taken refuses the station before any device is touched, the
// board only shows (every method but GET and HEAD refused, nothing changed), pages that never read hold up
// neither the station's devices nor its end, and no client takes the station's memory, threads or
// descriptors: heads too large, too slow or too many connections are refused while the board still
// answers and the device is set up, and a port's child holds none of the board's sockets.
#include "CliRun.h"

#include "cli/board/BoardServer.h"
#include "cli/board/RequestHead.h"
#include "platform/FdOwner.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <deque>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char TEMPLATE[] = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n";

// zrvlink provision over an address range, with its files in a folder of their own.
std::vector<std::string> StationArgs(const CScratchDir& files, const std::vector<std::string>& more) {
    files.Write("base.dat", TEMPLATE);
    std::vector<std::string> args = {
        "provision", "--template",        files / "base.dat", "--ip-range", "192.168.7.21-192.168.7.22",
        "--record",  files / "record.csv"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The board's port, from the station's first line: "board: http://127.0.0.1:PORT/ ...".
int BoardPort(CCliProcess& station) {
    const std::string prefix = "board: http://127.0.0.1:";
    const std::string out = station.WaitOut(" (for scripts: ") ? station.OutSoFar() : "";
    const std::size_t at = out.find(prefix);
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + prefix.size());
}

// A loopback socket of the test's own in `socket`, connected to `port`; with `request`, sent at once.
void Connect(int port, const std::string& request, CFd* socket) {
    socket->Reset(::socket(AF_INET, SOCK_STREAM, 0));
    // A small window: a page that never reads stalls its stream after a few states.
    const int small = 4096;
    setsockopt(socket->Get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(socket->Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        static_cast<std::size_t>(::send(socket->Get(), request.data(), request.size(), 0)) !=
            request.size()) {
        ADD_FAILURE() << "cannot connect to port " << port;
    }
}

// Everything the board sends on `socket` until it closes the connection, at most 1 MiB; `closed`: it did
// (a board that neither answers nor closes is given up after 30 s).
std::string Answer(const CFd& socket, bool* closed = nullptr) {
    const timeval limit{30, 0};
    setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string answer;
    char block[4096];
    ssize_t got = 0;
    while (answer.size() < (1u << 20) && (got = recv(socket.Get(), block, sizeof block, 0)) > 0) {
        answer.append(block, static_cast<std::size_t>(got));
    }
    if (closed != nullptr) {
        *closed = got == 0 || (got < 0 && errno == ECONNRESET);
    }
    return answer;
}

// `request` sent whole on a connection of its own, and the board's answer.
std::string Exchange(int port, const std::string& request) {
    CFd socket;
    Connect(port, request, &socket);
    return Answer(socket);
}

// The sockets among the descriptors of process `pid`.
int SocketsOf(pid_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    CDirStream dir(folder.c_str());
    int sockets = 0;
    for (const dirent* entry = dir.Get() != nullptr ? readdir(dir.Get()) : nullptr; entry != nullptr;
         entry = readdir(dir.Get())) {
        char target[256] = "";
        const std::string link = folder + "/" + entry->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).rfind("socket:", 0) == 0) {
            ++sockets;
        }
    }
    return sockets;
}

nlohmann::json Status(httplib::Client& board) {
    const auto got = board.Get("/status.json");
    return got && got->status == 200 ? nlohmann::json::parse(got->body, nullptr, false) : nlohmann::json();
}

// A station whose board listens on a free loopback port, ended by Ctrl-C after each test.
class ZrvlinkBoard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_station.Start(StationArgs(m_files, {"--board", "127.0.0.1:0"}), m_devices.Options()));
        m_port = BoardPort(m_station);
        ASSERT_GT(m_port, 0);
    }
    void TearDown() override {
        if (m_station.Pid() > 0) {
            const CliRunResult run = m_station.Interrupt();
            EXPECT_EQ(30, run.Exit) << run.Out << run.Err;
        }
    }

    CScratchDir m_files;
    CDetectedDevices m_devices;
    CCliProcess m_station;
    int m_port = -1;
};

// A station whose board's address another station's board holds is refused before it touches a device:
// the library offered that port for reuse, which would have let two boards share it. Every stream a page
// may hold, each asked for and never read, and connections that never ask: the device is still set up,
// /status.json still answers, a page too many is told to come back later, and the station still ends.
// The board only shows: every method but GET and HEAD is refused, and nothing changes.
TEST_F(ZrvlinkBoard, BoardOnlyShowsAndNeitherAnotherBoardNorPagesThatNeverReadHoldUpTheStation) {
    CScratchDir refusedFiles;
    CDetectedDevices refusedDevices;
    ASSERT_TRUE(refusedDevices.Add({"ttyACM0"}));
    const std::string taken = "127.0.0.1:" + std::to_string(m_port);
    const std::string inUse =
        "zrvlink provision: --board: listening on " + taken + ": the address is in use (error 98)\n";
    EXPECT_EQ((CliRunResult{2, "", inUse}),
              RunCli(StationArgs(refusedFiles, {"--once", "--board", taken}), refusedDevices.Options()));
    EXPECT_EQ(std::set<std::string>{"base.dat"}, refusedFiles.Names()) << "no record";
    EXPECT_EQ("", Received(refusedDevices.Sim(0)));
    const std::string events = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::deque<CFd> stalled(BOARD_MAX_STREAMS + 2);
    for (int i = 0; i < BOARD_MAX_STREAMS; ++i) {
        Connect(m_port, events, &stalled[i]);
    }
    Connect(m_port, "", &stalled[BOARD_MAX_STREAMS]);
    Connect(m_port, "GET / HTTP/1.1\r\n", &stalled[BOARD_MAX_STREAMS + 1]);
    httplib::Client board("127.0.0.1", m_port);
    ASSERT_TRUE(WaitFor([&] {
        const auto extra = board.Get("/events");
        return extra && extra->status == 503;
    }));
    ASSERT_TRUE(m_devices.Plug("ttyACM0", {"--delay", "2"}, "SN-A"));
    // The plan counts the unit done with its record's row, a moment before its tile says so.
    ASSERT_TRUE(WaitFor([&] {
        const nlohmann::json now = Status(board);
        return now.value("/Plan/Done"_json_pointer, 0) == 1 &&
               now.value("/Ports/0/Stage"_json_pointer, "") == "done";
    }));
    const nlohmann::json before = Status(board);
    EXPECT_EQ("SN-A", before.value("/Ports/0/Serial"_json_pointer, ""));
    // The refusal comes before routing, whatever the path.
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        httplib::Request request;
        request.method = method;
        request.path = "/status.json";
        request.body = "{\"Plan\": {}}";
        httplib::Client client("127.0.0.1", m_port);
        const auto answer = client.send(request);
        ASSERT_TRUE(answer) << method;
        EXPECT_EQ(405, answer->status) << method;
        EXPECT_EQ("GET, HEAD", answer->get_header_value("Allow")) << method;
    }
    EXPECT_EQ(before["Plan"], Status(board)["Plan"]);
}

// What a client on the same PC or network may send, and what the board answers: every answer says
// nosniff, HEAD is GET without its body, a name of another site (DNS rebinding) or two Hosts are refused,
// and a head too large is refused before more of it is kept (its limits are CRequestHead's).
TEST_F(ZrvlinkBoard, RequestsForAnotherSiteOrTooLargeAreRefusedAndEveryAnswerSaysNoSniff) {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(m_port) + "\r\n";
    const struct {
        const char* Name;
        std::string Request;
        const char* Status;
    } cases[] = {
        {"the page", "GET / HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 200 "},
        {"without a Host (HTTP/1.0)", "GET /status.json HTTP/1.0\r\n\r\n", "HTTP/1.1 200 "},
        {"a name of another site",
         "GET /status.json HTTP/1.1\r\nHost: evil.example:" + std::to_string(m_port) + "\r\n\r\n",
         "HTTP/1.1 421 "},
        {"two Hosts", "GET /status.json HTTP/1.1\r\n" + host + host + "\r\n", "HTTP/1.1 400 "},
        {"a line without an end",
         "GET / HTTP/1.1\r\n" + host + "X-Long: " + std::string(4 * HEAD_MAX_BYTES, 'a'), "HTTP/1.1 431 "},
        {"a file it does not have", "GET /record.csv HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 404 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        CFd socket;
        Connect(m_port, c.Request, &socket);
        bool closed = false;
        const std::string answer = Answer(socket, &closed);
        EXPECT_EQ(0u, answer.rfind(c.Status, 0)) << answer.substr(0, 300);
        EXPECT_TRUE(Contains(answer, "\r\nX-Content-Type-Options: nosniff\r\n")) << answer.substr(0, 300);
        EXPECT_TRUE(closed);
    }
    const std::string page = Exchange(m_port, "GET / HTTP/1.1\r\n" + host + "\r\n");
    const std::string head = Exchange(m_port, "HEAD / HTTP/1.1\r\n" + host + "\r\n");
    const auto length = [](const std::string& answer) {
        const std::size_t at = answer.find("\r\nContent-Length: ");
        return at == std::string::npos ? std::string() : answer.substr(at, answer.find("\r\n", at + 2) - at);
    };
    EXPECT_EQ(0u, head.rfind("HTTP/1.1 200 ", 0)) << head;
    EXPECT_EQ(length(page), length(head));
    EXPECT_EQ(head.size(), head.find("\r\n\r\n") + 4) << "no body";
}

// Connections that never finish their heads, three times as many as the board keeps, and slower ones
// that send a head a line at a time: past the board's limit the oldest are closed at once, those left
// are told 408 when their time is up; meanwhile a fresh request is answered and a device is set up, whose
// read child holds none of the board's sockets (nor any other descriptor of the station's).
TEST_F(ZrvlinkBoard, ClientsThatNeverFinishTheirHeadsTakeNeitherTheBoardNorTheStationsDescriptors) {
    std::deque<CFd> idle(3 * BOARD_MAX_CONNECTIONS);
    for (CFd& socket : idle) {
        Connect(m_port, "", &socket);
    }
    std::deque<CFd> slow(20);
    for (CFd& socket : slow) {
        Connect(m_port, "GET /status.json HTTP/1.1\r\nX-Slow: 1\r\n", &socket);
    }
    httplib::Client board("127.0.0.1", m_port);
    EXPECT_FALSE(Status(board).is_null());
    ASSERT_TRUE(m_devices.Plug("ttyACM0", {"--delay-command", "vers:500"}, "SN-A"));
    // The read child, once it runs zrvlink read (before its exec it is a copy of the station).
    pid_t child = -1;
    ASSERT_TRUE(WaitFor([&] {
        for (const pid_t pid : ChildrenOf(m_station.Pid())) {
            std::string words;
            std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/cmdline"), words);
            child = Contains(words, std::string("read") + '\0') ? pid : child;
        }
        return child > 0;
    }));
    EXPECT_EQ(0, SocketsOf(child));
    EXPECT_GE(SocketsOf(m_station.Pid()), BOARD_MAX_CONNECTIONS)
        << "the board held its connections meanwhile";
    // From the record: every request to the board would make room for itself.
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadWholeFile(m_files / "record.csv"), ",done,"); }));
    for (std::size_t i = 0; i < idle.size(); ++i) {
        bool closed = false;
        const std::string answer = Answer(idle[i], &closed);
        EXPECT_TRUE(closed) << i;
        if (i < idle.size() - BOARD_MAX_CONNECTIONS) {
            EXPECT_EQ("", answer) << i << ": made room for the next at once";
        }
    }
    for (const CFd& socket : slow) {
        bool closed = false;
        EXPECT_EQ(0u, Answer(socket, &closed).rfind("HTTP/1.1 408 ", 0));
        EXPECT_TRUE(closed);
    }
}

} // namespace
