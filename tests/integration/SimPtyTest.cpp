// zrvlink-sim as a process on a real pty: a conversation through its link, its files, the hang-up after
// a count of lines, and start failures.
#include "SampleParams.h"
#include "SimProcess.h"

#include "core/IPv4.h"
#include "core/ParamFile.h"
#include "devicelink/ReplyFramer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int REPLY_WAIT_MS = 2000;

// The PC's side: the pty as a raw serial port.
bool OpenRaw(const std::string& path, CFd* pc) {
    pc->Reset(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios raw{};
    if (!pc->IsOpen() || tcgetattr(pc->Get(), &raw) != 0) {
        return false;
    }
    cfmakeraw(&raw);
    return tcsetattr(pc->Get(), TCSANOW, &raw) == 0;
}

// Sends `line`; what came back up to and including the prompt, or as far as it came in time (nothing
// when the line could not be sent).
std::string Exchange(const CFd& pc, const std::string& line) {
    const bool sent = write(pc.Get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
    std::string reply;
    pollfd fd = {pc.Get(), POLLIN, 0};
    char c = 0;
    while (sent && (reply.empty() || reply.back() != '>') && poll(&fd, 1, REPLY_WAIT_MS) == 1 &&
           read(pc.Get(), &c, 1) == 1) {
        reply += c;
    }
    return reply;
}

// Transfers against the simulator show its answers and files at large; here what they leave out.
// Garbage, which the PC's framer drops, leads every byte the device sends.
TEST(ZrvlinkSim, AnswersThroughItsLinkAndKeepsWhatCameAfterTheSaveOutOfTheSavedState) {
    CSimProcess sim;
    const std::string link = sim.ScratchPath("ttyZRV");
    ASSERT_TRUE(sim.Start({"--vers-reply", "ZRV test 2.5", "--link", link, "--garbage"})) << sim.Error();
    CFd pc;
    ASSERT_TRUE(OpenRaw(link, &pc));
    const struct {
        const char* Line;
        const char* Reply;
    } talk[] = {{"\x1Bvers\r", "ZRV test 2.5\r\n>"},
                {"baudrate 9600\r", "\r\n>"},
                {"target 33\r", "ERROR\r\n>"},
                {"save\r", "OK\r\n>"},
                {"target 4 1.2.3.4\r", "\r\n>"}};
    std::string sent;
    for (const auto& step : talk) {
        const std::string bytes = Exchange(pc, step.Line);
        ReplyBuffer framed{};
        for (char c : bytes) {
            PutReplyChar(framed, static_cast<unsigned char>(c));
        }
        EXPECT_EQ(step.Reply, std::string(framed.Text) + ">") << step.Line;
        EXPECT_EQ(2 * std::strlen(step.Reply), bytes.size()) << step.Line;
        sent += step.Line;
    }
    ASSERT_TRUE(sim.Stop()) << sim.Error();
    EXPECT_NE(0, access(link.c_str(), F_OK)) << "the link outlived the simulator";
    EXPECT_EQ(sent, ReadWholeFile(sim.LogPath()));
    ParamSet expected = DefaultParamSet();
    expected.BaudRate = 9600;
    for (const std::string& path : {sim.SavedPath(), sim.StatePath()}) {
        CParamFile state;
        ASSERT_TRUE(state.Load(path.c_str()));
        EXPECT_TRUE(SameRecord(expected, *state.GetParam())) << path;
        expected.Target[4].Address = MakeIPv4(1, 2, 3, 4); // in the current state only
    }
}

TEST(ZrvlinkSim, CloseAfterHangsUpOnThePcAndEnds) {
    for (bool pcGoesOn : {false, true}) {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--close-after", "2"})) << sim.Error();
        CFd pc;
        ASSERT_TRUE(OpenRaw(sim.PtyPath(), &pc));
        EXPECT_EQ("\r\n>", Exchange(pc, "\x1B"
                                        "baudrate 9600\r"));
        EXPECT_EQ("9600\r\n>", Exchange(pc, "baudrate\r"));
        if (pcGoesOn) {
            EXPECT_EQ("", Exchange(pc, "baudrate 19200\r")) << "answered after the hang-up";
        }
        EXPECT_TRUE(sim.WaitForExit(REPLY_WAIT_MS)) << pcGoesOn;
        EXPECT_EQ(0, sim.ExitCode()) << pcGoesOn;
        CParamFile state;
        ASSERT_TRUE(state.Load(sim.StatePath().c_str()));
        EXPECT_EQ(9600, state.GetParam()->BaudRate) << pcGoesOn;
    }
}

TEST(ZrvlinkSim, StartFailuresEndWithTheirStatus) {
    const struct {
        std::vector<std::string> Args;
        int ExitCode;
    } cases[] = {
        {{"--delay", "soon"}, 2},
        {{"--load", "/nonexistent/zrv.dat"}, 1},
        {{"--log", "/nonexistent/zrv.log"}, 1},
    };
    for (const auto& c : cases) {
        CSimProcess sim;
        EXPECT_FALSE(sim.Start(c.Args)) << c.Args[1];
        EXPECT_FALSE(sim.IsRunning());
        EXPECT_EQ(c.ExitCode, sim.ExitCode()) << c.Args[1];
    }
}

} // namespace
