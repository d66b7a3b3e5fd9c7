// The station's live board over HTTP, without a browser (tests/integration/board_browser_test.py drives
// one and reads its page): an address already taken refuses the station before any device is touched, the
// board only shows (every method but GET refused, nothing changed), and pages that never read hold up
// neither the station's devices nor its end.
#include "CliRun.h"

#include "cli/board/BoardServer.h"
#include "platform/FdOwner.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <deque>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>

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

nlohmann::json Status(httplib::Client& board) {
    const auto got = board.Get("/status.json");
    return got && got->status == 200 ? nlohmann::json::parse(got->body, nullptr, false) : nlohmann::json();
}

// A station whose board's address another station's board holds is refused before it touches a device:
// the library offered that port for reuse, which would have let two boards share it. Every stream a page
// may hold, each asked for and never read, and connections that never ask: the device is still set up,
// /status.json still answers, a page too many is told to come back later, and the station still ends.
// The board only shows: every method but GET is refused, and nothing changes.
TEST(ZrvlinkBoard, BoardOnlyShowsAndNeitherAnotherBoardNorPagesThatNeverReadHoldUpTheStation) {
    CScratchDir files;
    CDetectedDevices devices;
    CCliProcess station;
    ASSERT_TRUE(station.Start(StationArgs(files, {"--board", "127.0.0.1:0"}), devices.Options()));
    const int port = BoardPort(station);
    ASSERT_GT(port, 0);
    CScratchDir refusedFiles;
    CDetectedDevices refusedDevices;
    ASSERT_TRUE(refusedDevices.Add({"ttyACM0"}));
    const std::string taken = "127.0.0.1:" + std::to_string(port);
    const std::string inUse =
        "zrvlink provision: --board: listening on " + taken + ": the address is in use (error 98)\n";
    EXPECT_EQ((CliRunResult{2, "", inUse}),
              RunCli(StationArgs(refusedFiles, {"--once", "--board", taken}), refusedDevices.Options()));
    EXPECT_EQ(std::set<std::string>{"base.dat"}, refusedFiles.Names()) << "no record";
    EXPECT_EQ("", Received(refusedDevices.Sim(0)));
    const std::string events = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::deque<CFd> stalled(BOARD_MAX_STREAMS + 2);
    for (int i = 0; i < BOARD_MAX_STREAMS; ++i) {
        Connect(port, events, &stalled[i]);
    }
    Connect(port, "", &stalled[BOARD_MAX_STREAMS]);
    Connect(port, "GET / HTTP/1.1\r\n", &stalled[BOARD_MAX_STREAMS + 1]);
    httplib::Client board("127.0.0.1", port);
    ASSERT_TRUE(WaitFor([&] {
        const auto extra = board.Get("/events");
        return extra && extra->status == 503;
    }));
    ASSERT_TRUE(devices.Plug("ttyACM0", {"--delay", "2"}, "SN-A"));
    // The plan counts the unit done with its record's row, a moment before its tile says so.
    ASSERT_TRUE(WaitFor([&] {
        const nlohmann::json now = Status(board);
        return now.value("/Plan/Done"_json_pointer, 0) == 1 &&
               now.value("/Ports/0/Stage"_json_pointer, "") == "done";
    }));
    const nlohmann::json before = Status(board);
    EXPECT_EQ("SN-A", before.value("/Ports/0/Serial"_json_pointer, ""));
    for (const auto& [method, path] :
         std::initializer_list<std::pair<const char*, const char*>>{{"POST", "/"},
                                                                    {"PUT", "/status.json"},
                                                                    {"DELETE", "/status.json"},
                                                                    {"PATCH", "/events"},
                                                                    {"OPTIONS", "/"},
                                                                    {"HEAD", "/"},
                                                                    {"POST", "/status.json"}}) {
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.body = "{\"Plan\": {}}";
        httplib::Client client("127.0.0.1", port);
        const auto answer = client.send(request);
        ASSERT_TRUE(answer) << method << " " << path;
        EXPECT_EQ(405, answer->status) << method << " " << path;
        EXPECT_EQ("GET", answer->get_header_value("Allow")) << method;
    }
    const auto missing = board.Get("/record.csv");
    ASSERT_TRUE(missing);
    EXPECT_EQ(404, missing->status);
    EXPECT_EQ(before["Plan"], Status(board)["Plan"]);
    const CliRunResult run = station.Interrupt();
    EXPECT_EQ(30, run.Exit) << run.Out << run.Err;
}

} // namespace
