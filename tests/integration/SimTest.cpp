// zrvlink-sim: its command interpreter fed byte by byte (the replies to edge cases and malformed lines,
// and the misbehaviour it is told to show, none of which a round trip reaches), and the program on a
// real pty (garbage, its saved and current state, the hang-up after a count of lines).
#include "sim/SimDevice.h"

#include "SampleParams.h"
#include "SimProcess.h"

#include "devicelink/ReplyFramer.h"
#include "persistence/ParamFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::vector<SimReply> Feed(CSimDevice& device, const std::string& bytes) {
    std::vector<SimReply> replies;
    SimReply reply;
    for (char c : bytes) {
        if (device.PutByte(static_cast<unsigned char>(c), &reply)) {
            replies.push_back(reply);
        }
    }
    return replies;
}

// Every reply byte to `bytes`, joined.
std::string Talk(CSimDevice& device, const std::string& bytes) {
    std::string all;
    for (const SimReply& reply : Feed(device, bytes)) {
        all += reply.Bytes;
    }
    return all;
}

// A device told to ignore a set (its word and index; -1: every one) answers it as usual but keeps the old
// value; what the device would refuse it still refuses. One set ignored alone, of its word alone, shows in
// zrvlink's verify runs.
SimBehaviour Ignoring(const char* word, int index) {
    SimBehaviour behaviour;
    behaviour.IgnoredSets = {SimIgnoredSet{word, index}};
    return behaviour;
}

TEST(CSimDevice, AnswersEdgeCasesAsTheDeviceDoes) {
    const std::string hex64(64, 'F');
    const struct {
        std::string Sent;
        std::string Replies;
        SimBehaviour Told = {};
    } cases[] = {
        {"netparam 0.0.0.0 0.0.0.0 10.0.0.1\rnetparam\r",
         "\r\n>address 0.0.0.0\r\nnetmask 0.0.0.0\r\ngateway 10.0.0.1\r\n>"},
        {"netparam 10.0.0.2 255.0.0.0 10.0.0.1\rnetparam 0.0.0.0 0.0.0.0 0.0.0.0\rnetparam\r",
         "\r\n>\r\n>dhcp\r\n>"},
        {"name 9 " + hex64 + "\rname 9\r", "\r\n>" + hex64 + "\r\n>"},
        {"name 4 41 42\rname 4\r", "\r\n>41 42\r\n>"}, // the rest of the line, blanks and all
        {"name 5 4142\rclrname 5\rname 5\r", "\r\n>\r\n>\r\n>"},
        // Only CR ends a line: a PC that sent CR LF would lead its next line with the LF.
        {"baudrate 9600\r\nbaudrate\r\n\033baudrate\r", "\r\n>ERROR\r\n>9600\r\n>"},
        // Escape discards a partial line, a bad byte with it; with nothing left, CR ends an empty line.
        {"baud\x01\033baudrate\r", "115200\r\n>"},
        {"baudrate\033\r", "\r\n>"},
        // The overlong line leaves nothing behind.
        {std::string(SIM_LINE_SIZE + 10, 'x') + "\r\033baudrate\r", "ERROR\r\n>115200\r\n>"},
        {"target 30 10.0.0.9\rtarget 30\r", "\r\n>0.0.0.0\r\n>", Ignoring("target", -1)},
        {"target 3 300.0.0.1\r", "ERROR\r\n>", Ignoring("target", -1)},
        {"name 2 41\rclrname 2\rname 2\r", "\r\n>\r\n>41\r\n>", Ignoring("clrname", 2)},
    };
    for (const auto& c : cases) {
        CSimDevice device(c.Told);
        EXPECT_EQ(c.Replies, Talk(device, c.Sent)) << c.Sent;
    }
}

TEST(CSimDevice, MalformedLinesAnswerErrorAndChangeNothing) {
    const std::vector<std::string> lines = {
        // words, argument counts and blanks
        "reboot", "VERS", "vers now", "baudrate ", "netparam 1.2.3.4 255.0.0.0", "target 0  1.2.3.4",
        // numbers, addresses and each command's index
        "baudrate 09600", "baudrate 2147483648", "target 32", "target 0 256.0.0.1", "target 0 1.2.3",
        "target 0 01.2.3.4", "enable 3 2", "name 32 41",
        // names, bytes and lengths
        "name 5 A>B", "baud\x01rate", "name 1 A\xC3", "name 5 " + std::string(65, 'A'),
        std::string(SIM_LINE_SIZE, 'a')};
    for (const std::string& line : lines) {
        CSimDevice device{SimBehaviour{}};
        EXPECT_EQ("ERROR\r\n>", Talk(device, line + "\r")) << line;
        EXPECT_TRUE(SameRecord(DefaultParamSet(), device.Current())) << line;
    }
}

TEST(CSimDevice, SavesOnlyWhenItAnswersOK) {
    for (const char* saveReply : {"OK", "NG", "ok", ""}) {
        SimBehaviour behaviour;
        behaviour.SaveReply = saveReply;
        CSimDevice device(behaviour);
        EXPECT_EQ(std::string("\r\n>") + saveReply + "\r\n>", Talk(device, "baudrate 9600\rsave\r"));
        Talk(device, "baudrate 19200\r");
        EXPECT_EQ(saveReply == std::string("OK") ? 9600 : 115200, device.Saved().BaudRate) << saveReply;
        EXPECT_EQ(19200, device.Current().BaudRate) << saveReply;
    }
}

TEST(CSimDevice, CommandDelayReplacesTheCommonDelayForItsWordOnly) {
    SimBehaviour behaviour;
    behaviour.DelayMs = 100;
    behaviour.CommandDelays = {{"name", 1500}, {"save", 0}};
    const struct {
        const char* Line;
        int DelayMs;
    } cases[] = {{"name 0\r", 1500},  {"name 0 41\r", 1500}, {"clrname 0\r", 100}, {"save\r", 0},
                 {"baudrate\r", 100}, {"bogus\r", 100},      {"names 0\r", 100}};
    for (const auto& c : cases) {
        CSimDevice device(behaviour);
        const auto replies = Feed(device, c.Line);
        ASSERT_EQ(1u, replies.size()) << c.Line;
        EXPECT_EQ(c.DelayMs, replies[0].DelayMs) << c.Line;
    }
}

constexpr int REPLY_WAIT_MS = 2000;

// The PC's side: the pty as a raw serial port.
bool OpenRaw(const std::string& path, CFd* pc) {
    pc->Reset(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios raw{};
    const bool known = pc->IsOpen() && tcgetattr(pc->Get(), &raw) == 0;
    cfmakeraw(&raw);
    return known && tcsetattr(pc->Get(), TCSANOW, &raw) == 0;
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

// Transfers against the simulator show its link, its log and its answers at large; here what they leave
// out. Garbage, which the PC's framer drops, leads every byte the device sends, so that the transfers run
// with it are seen to get it; what came after the save stays out of the saved state, so that a save sent
// too early shows; the hang-up comes after the count of lines exactly, and the simulator then ends.
TEST(ZrvlinkSim, LeadsEveryByteWithGarbageSavesWhatCameBeforeTheSaveAndHangsUpAfterItsCount) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--garbage", "--close-after", "3"})) << sim.Error();
    CFd pc;
    ASSERT_TRUE(OpenRaw(sim.PtyPath(), &pc));
    for (const auto& [line, reply] : std::initializer_list<std::pair<const char*, std::string>>{
             {"\033baudrate 9600\r", "\r\n>"}, {"save\r", "OK\r\n>"}, {"baudrate 19200\r", "\r\n>"}}) {
        const std::string bytes = Exchange(pc, line);
        ReplyBuffer framed{};
        for (char c : bytes) {
            PutReplyChar(framed, static_cast<unsigned char>(c));
        }
        EXPECT_EQ(reply, std::string(framed.Text) + ">") << line;
        EXPECT_EQ(2 * reply.size(), bytes.size()) << line;
    }
    ASSERT_TRUE(sim.WaitForExit(REPLY_WAIT_MS)) << "no hang-up right after its count of lines";
    EXPECT_EQ(0, sim.ExitCode());
    for (const auto& [path, rate] : {std::pair{sim.SavedPath(), 9600}, std::pair{sim.StatePath(), 19200}}) {
        CParamFile state;
        ASSERT_TRUE(state.Load(path.c_str()));
        EXPECT_EQ(rate, state.GetParam()->BaudRate) << path;
    }
}

} // namespace
