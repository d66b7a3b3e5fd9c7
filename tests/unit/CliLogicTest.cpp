// zrvlink's portable logic where the program's runs do not show it all: the keys that a verify compares,
// parallel runs' file names, child command lines and crash reports, Win32 command lines and port names,
// the board's address, request heads and Host names, the station's children's progress lines, and a
// ledger address that carries a password.
#include "cli/board/RequestHead.h"
#include "cli/common/SetupText.h"
#include "cli/front/CliArgs.h"
#include "cli/parallel/BatchPlan.h"
#include "cli/station/StationSteps.h"
#include "cli/system/WindowsSyntax.h"
#include "core/IPv4.h"

#include "SampleParams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool Parse(const std::vector<std::string>& args, CliRequest* request, std::string* error) {
    std::vector<const char*> argv = {"zrvlink"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    return ParseCliArgs(static_cast<int>(argv.size()), argv.data(), request, error);
}

TEST(KeysWrittenFrom, LeavesOutWhatAWriteDoesNotSend) {
    ParamSet device = SampleParamSet();
    device.BaudRate = 115200;
    device.IPAddress = MakeIPv4(10, 9, 9, 9);
    const struct {
        void (*Sent)(ParamSet* set);
        const char* Expected;
    } cases[] = {
        {[](ParamSet*) {}, "BaudRate: 57600 -> 115200\nIPAddress: 192.168.0.10 -> 10.9.9.9\n"},
        {[](ParamSet* s) { s->IPAddress = s->SubnetMask = s->Gateway = 0; }, "BaudRate: 57600 -> 115200\n"},
        {[](ParamSet* s) { s->IPAddress = s->SubnetMask = 0; }, // the gateway alone still sends all three
         "BaudRate: 57600 -> 115200\nIPAddress: 0.0.0.0 -> 10.9.9.9\nSubnetMask: 0.0.0.0 -> 255.255.255.0\n"},
    };
    for (const auto& c : cases) {
        ParamSet sent = SampleParamSet();
        c.Sent(&sent);
        std::string lines;
        for (const SetupDifference& difference : CompareSetups(sent, device, KeysWrittenFrom(sent))) {
            lines += FormatDifference(difference) + "\n";
        }
        EXPECT_EQ(c.Expected, lines);
    }
}

TEST(PortFileName, MakesOneSafeFileNamePerPort) {
    const struct {
        const char* Port;
        const char* Name;
    } cases[] = {
        {"/dev/ttyACM0", "ttyACM0.dat"},
        {"/dev/pts/3", "pts-3.dat"},
        {"/tmp/dev/ttyACM1", "tmp-dev-ttyACM1.dat"},
        {"../x y", "x-y.dat"},
        {"/dev/", "port.dat"},
        {"--all", "all.dat"},
        // Windows opens a device for these names, whatever the extension (COMn: the Windows tests').
        {"\\\\.\\com12", "port-com12.dat"},
        {"/dev/lpt1", "port-lpt1.dat"},
        {"/dev/nul", "port-nul.dat"},
        {"/dev/con.x", "port-con.x.dat"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Name, PortFileName(c.Port)) << c.Port;
    }
    EXPECT_EQ("out/pts-3.dat", PortOutputPath("out/", "/dev/pts/3"));
    EXPECT_EQ("C:\\out\\port-COM3.dat", PortOutputPath("C:\\out\\", "COM3"));
}

// The parser is told only of the command that the line names (the first argument that is a command's
// name): another command's name further on is a value or an extra argument, and another command's options
// are unknown, just as when every command was described.
TEST(ParseCliArgs, CommandIsTheFirstCommandNameAndTakesOnlyItsOwnOptions) {
    const struct {
        std::vector<std::string> Args;
        bool Accepted;
        CliCommand Command;
        const char* Error; // a part of the refusal
    } cases[] = {
        {{"read", "--port", "write"}, true, CliCommand::Read, ""},
        {{"write", "read", "--port", "A"}, true, CliCommand::Write, ""},
        {{"--help", "diff"}, true, CliCommand::Diff, ""},
        {{"read", "write"}, false, CliCommand::Read, "write"},
        {{"read", "--template", "t.dat"}, false, CliCommand::Read, "--template"},
        {{"check", "a.dat", "--port", "A"}, false, CliCommand::Check, "--port"},
        {{"provision", "--template", "t", "--record", "r", "--ip-range", "A-B", "--output", "o"},
         false,
         CliCommand::Provision,
         "--output"},
        {{"flash", "read"}, false, CliCommand::Read, "flash"},
        {{"--", "read"}, true, CliCommand::Read, ""},
    };
    for (const auto& c : cases) {
        CliRequest request;
        std::string error;
        const std::string shown = testing::PrintToString(c.Args);
        EXPECT_EQ(c.Accepted, Parse(c.Args, &request, &error)) << shown << ": " << error;
        EXPECT_EQ(c.Command, request.Command) << shown;
        EXPECT_NE(std::string::npos, error.find(c.Error)) << shown << ": " << error;
    }
}

// A child's FILE after "--", so that one beginning with '-' is still a file.
TEST(ChildArguments, EachChildDoesOnePortAndReportsInOneLine) {
    CliRequest request;
    std::string error;
    ASSERT_TRUE(Parse({"write", "--port", "A", "--port", "B", "--verify", "--trace", "--", "-x.dat"},
                      &request, &error))
        << error;
    const std::vector<std::string> child = {"write",    "--port",  "B",  "--result-line",
                                            "--verify", "--trace", "--", "-x.dat"};
    EXPECT_EQ(child, ChildArguments(request, "B"));
}

TEST(ChildFailureReport, EndsWithTheLastLineTheChildWroteToStderr) {
    const char* const crashed = "crashed (signal 11)";
    EXPECT_EQ("WARNING: crashed (signal 11)", ChildFailureReport(crashed, "\r\n\n"));
    EXPECT_EQ("WARNING: crashed (signal 11): last", ChildFailureReport(crashed, "first\r\nlast\r\n\r\n"));
    EXPECT_EQ("WARNING: crashed (signal 11): cut short", ChildFailureReport(crashed, "first\ncut short"));
}

TEST(QuoteWindowsArgument, KeepsEveryArgumentWholeForTheRuntimesParser) {
    const struct {
        const char* Arg;
        const char* Quoted;
    } cases[] = {
        {"plain", "plain"},
        {"", "\"\""},
        {"two words", "\"two words\""},
        {"tab\there", "\"tab\there\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\dir\\file.dat", "C:\\dir\\file.dat"},
        {"C:\\my dir\\", "\"C:\\my dir\\\\\""},
        {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Quoted, QuoteWindowsArgument(c.Arg)) << c.Arg;
    }
    EXPECT_EQ("C:\\zrvlink.exe write --port COM3 \"my file.dat\"",
              WindowsCommandLine({"C:\\zrvlink.exe", "write", "--port", "COM3", "my file.dat"}));
}

TEST(ParseComPortName, TakesCOMnInAnyCaseAndNothingElse) {
    const struct {
        const char* Name;
        int32_t Number; // 0: refused
    } cases[] = {
        {"COM1", 1},    {"com7", 7}, {"Com12", 12},     {"\\\\.\\COM255", 255},
        {"COM256", 0},  {"COM0", 0}, {"COM", 0},        {"COM-1", 0},
        {"COM1 ", 0},   {"COMx", 0}, {"/dev/ttyS0", 0}, {"LPT1", 0},
        {"\\\\.\\", 0}, {"", 0},
    };
    for (const auto& c : cases) {
        int32_t number = 0;
        EXPECT_EQ(c.Number != 0, ParseComPortName(c.Name, &number)) << c.Name;
        EXPECT_EQ(c.Number, number) << c.Name;
    }
}

TEST(ProvisionBoard, TakesLoopbackWithoutAValueAndAnotherAddressOnlyWhenGiven) {
    const struct {
        std::vector<std::string> Board; // after provision's other options; empty: no --board
        const char* Listens;            // "HOST PORT", "none", or "refused"
    } cases[] = {
        {{}, "none"},
        {{"--board"}, "127.0.0.1 8480"},
        {{"--board", "0.0.0.0:9000"}, "0.0.0.0 9000"},
        {{"--board=192.168.1.5:0"}, "192.168.1.5 0"},
        {{"--board", "[::1]:8480"}, "::1 8480"},
        {{"--board", "localhost:80"}, "localhost 80"},
        {{"--board", "8480"}, "refused"},
        {{"--board", ":8480"}, "refused"},
        {{"--board", "127.0.0.1:65536"}, "refused"},
        {{"--board", "127.0.0.1:-1"}, "refused"},
        {{"--board", "::1:8480"}, "refused"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"provision",         "--template", "b.dat", "--ip-range",
                                         "10.0.0.1-10.0.0.2", "--record",   "r.csv"};
        args.insert(args.end(), c.Board.begin(), c.Board.end());
        CliRequest request;
        std::string error;
        const bool accepted = Parse(args, &request, &error);
        const std::string listens =
            !request.Board ? "none" : request.BoardHost + " " + std::to_string(request.BoardPort);
        EXPECT_EQ(c.Listens, accepted ? listens : "refused")
            << (c.Board.empty() ? "" : c.Board.back()) << ": " << error;
    }
}

// A child prints a line per step; the station reads only the whole lines it has not read yet, and a
// line that is no progress line (a setup line, the result) is passed over.
TEST(ProgressSteps, LastWholeStepIsReadOnceAndOtherLinesArePassedOver) {
    const std::string output = FormatProgressStep(PortStage::Writing, 7) + "\nsave: next\n" +
                               FormatProgressStep(PortStage::Verifying, 45) + "\nprogress: verifying 9";
    std::size_t offset = 0;
    ChildProgress progress;
    ASSERT_TRUE(ParseProgressSteps(output, &offset, &progress));
    EXPECT_EQ(PortStage::Verifying, progress.Stage);
    EXPECT_EQ(45, progress.Percent);
    EXPECT_FALSE(ParseProgressSteps(output, &offset, &progress)) << "the cut line is read once it is whole";
    ASSERT_TRUE(ParseProgressSteps(output + "0\n", &offset, &progress));
    EXPECT_EQ(90, progress.Percent);
    for (const char* line : {"progress: writing 101", "progress: resting 5", "progress: writing",
                             "progress:  5", "progress: writing -5", "progress: writing 5x"}) {
        std::size_t from = 0;
        EXPECT_FALSE(ParseProgressSteps(std::string(line) + "\n", &from, &progress)) << line;
    }
    EXPECT_EQ("OK", ParseChildSteps(output + "0\nOK\n").Result) << "a step is never the result";
}

// A head is whole at its empty line however its bytes arrive, never before; one that outgrows its bytes
// or its lines is refused, and no more of it than the limit is ever kept.
TEST(RequestHead, WholeAtItsEmptyLineAndRefusedOnceItOutgrowsTheLimit) {
    std::string hundred = "GET / HTTP/1.1\r\n";
    for (int line = 2; line <= HEAD_MAX_LINES; ++line) {
        hundred += "X: " + std::to_string(line) + "\r\n";
    }
    const struct {
        const char* Name;
        std::string Bytes;
        HeadState State;
        std::size_t Length; // of the whole head
    } cases[] = {
        {"CR LF lines", "GET / HTTP/1.1\r\nHost: a\r\n\r\nnext", HeadState::Complete, 27},
        {"LF lines", "GET / HTTP/1.1\nHost: a\n\n", HeadState::Complete, 24},
        {"no empty line yet", "GET / HTTP/1.1\r\nHost: a\r\n", HeadState::Incomplete, 0},
        {"a lone CR is no line end", "GET / HTTP/1.1\r\r\r\r", HeadState::Incomplete, 0},
        {"as many lines as allowed", hundred + "\r\n", HeadState::Complete, hundred.size() + 2},
        {"one line more", hundred + "X: 101\r\n\r\n", HeadState::TooLarge, 0},
        {"a line without an end", "GET / HTTP/1.1\r\nX: " + std::string(HEAD_MAX_BYTES, 'a'),
         HeadState::TooLarge, 0},
        {"the limit's last byte ends it", std::string(HEAD_MAX_BYTES - 4, 'a') + "\r\n\r\n",
         HeadState::Complete, HEAD_MAX_BYTES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const std::size_t piece : {c.Bytes.size(), std::size_t{1}}) {
            CRequestHead head;
            for (std::size_t at = 0; at < c.Bytes.size() && head.State() == HeadState::Incomplete;
                 at += piece) {
                const std::size_t room = head.Room();
                head.Take(c.Bytes.data() + at, std::min({piece, c.Bytes.size() - at, room}));
                EXPECT_GT(room, 0u);
            }
            EXPECT_EQ(c.State, head.State()) << "in pieces of " << piece;
            EXPECT_EQ(c.Bytes.substr(0, c.Length), head.Text()) << "in pieces of " << piece;
        }
    }
}

// A page of another site whose name was made to lead to this machine names that site in its Host; the
// board answers only to its own names and to addresses.
TEST(BoardHostAllowed, OnlyTheBoundNameLocalhostAndAddresses) {
    const struct {
        const char* Host;
        const char* Bound;
        bool Allowed;
    } cases[] = {
        {"127.0.0.1:8480", "127.0.0.1", true},
        {"192.168.1.5:8480", "0.0.0.0", true},
        {"LocalHost:8480", "0.0.0.0", true},
        {"localhost", "127.0.0.1", true},
        {"[::1]:8480", "::1", true},
        {"[fe80::1]", "0.0.0.0", true},
        {"station-7:8480", "station-7", true},
        {"evil.example:8480", "0.0.0.0", false},
        {"evil.example", "127.0.0.1", false},
        {"127.0.0.1.evil.example", "127.0.0.1", false},
        {"localhost.evil.example", "0.0.0.0", false},
        {"localhost:8480:1", "0.0.0.0", false},
        {"[::1]evil:80", "::1", false},
        {"", "127.0.0.1", false},
        {":8480", "127.0.0.1", false},
        {"999.1.1.1", "0.0.0.0", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Allowed, BoardHostAllowed(c.Host, c.Bound)) << c.Host << " on " << c.Bound;
    }
}

} // namespace
