// zrvlink-sim as a process on a real pty: a conversation through its link, its files, a loaded start,
// unplugging, and start failures.
#include "SampleParams.h"
#include "SimProcess.h"

#include "core/IPv4.h"
#include "core/ParamFile.h"
#include "devicelink/ReplyFramer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int REPLY_WAIT_MS = 2000;

// The PC's side: a raw serial port on the pty.
class CPtyClient {
public:
    bool Open(const std::string& path) {
        m_fd.Reset(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        termios raw{};
        if (!m_fd.IsOpen() || tcgetattr(m_fd.Get(), &raw) != 0) {
            return false;
        }
        cfmakeraw(&raw);
        return tcsetattr(m_fd.Get(), TCSANOW, &raw) == 0;
    }

    bool Send(const std::string& bytes) {
        return write(m_fd.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Everything up to and including the prompt; false when it did not come in time.
    bool ReadReply(std::string* reply) {
        reply->clear();
        while (reply->empty() || reply->back() != '>') {
            pollfd fd = {m_fd.Get(), POLLIN, 0};
            char c = 0;
            if (poll(&fd, 1, REPLY_WAIT_MS) <= 0 || read(m_fd.Get(), &c, 1) != 1) {
                return false;
            }
            *reply += c;
        }
        return true;
    }

    std::string Exchange(const std::string& line) {
        std::string reply;
        EXPECT_TRUE(Send(line)) << line;
        EXPECT_TRUE(ReadReply(&reply)) << line << " got " << reply;
        return reply;
    }

    // The device's side went away: a read ends (0 or EIO) or poll reports a hang-up.
    bool SeesHangUp() {
        pollfd fd = {m_fd.Get(), POLLIN, 0};
        if (poll(&fd, 1, REPLY_WAIT_MS) <= 0) {
            return false;
        }
        char c = 0;
        ssize_t count = read(m_fd.Get(), &c, 1);
        return (fd.revents & POLLHUP) != 0 || count == 0 || (count < 0 && errno == EIO);
    }

private:
    CFd m_fd;
};

// Transfers against the simulator show its answers and files at large; here what they leave out.
// Garbage, which the PC's framer drops, leads every byte the device sends.
TEST(ZrvlinkSim, AnswersThroughItsLinkAndKeepsWhatCameAfterTheSaveOutOfTheSavedState) {
    CSimProcess sim;
    const std::string link = sim.ScratchPath("ttyZRV");
    ASSERT_TRUE(sim.Start({"--vers-reply", "ZRV test 2.5", "--link", link, "--garbage"})) << sim.Error();
    CPtyClient pc;
    ASSERT_TRUE(pc.Open(link));
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
        const std::string bytes = pc.Exchange(step.Line);
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
        CPtyClient pc;
        ASSERT_TRUE(pc.Open(sim.PtyPath()));
        EXPECT_EQ("\r\n>", pc.Exchange("\x1B"
                                       "baudrate 9600\r"));
        EXPECT_EQ("9600\r\n>", pc.Exchange("baudrate\r"));
        if (pcGoesOn) {
            pc.Send("baudrate 19200\r");
        }
        EXPECT_TRUE(pc.SeesHangUp()) << pcGoesOn;
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
