// The simulated device's command interpreter, fed byte by byte: replies, state, errors and misbehaviour.
#include "sim/SimDevice.h"

#include "core/IPv4.h"
#include "core/ParamFile.h"

#include "FramerView.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Feeds `bytes` and returns the replies in order.
std::vector<SimReply> Feed(CSimDevice& device, const std::string& bytes) {
    std::vector<SimReply> replies;
    for (char c : bytes) {
        SimReply reply;
        if (device.PutByte(static_cast<unsigned char>(c), &reply)) {
            replies.push_back(reply);
        }
    }
    return replies;
}

// All reply bytes of `bytes`, joined.
std::string Talk(CSimDevice& device, const std::string& bytes) {
    std::string all;
    for (const SimReply& reply : Feed(device, bytes)) {
        all += reply.Bytes;
    }
    return all;
}

bool SameState(const ParamSet& a, const ParamSet& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

ParamSet Defaults() {
    CParamFile file;
    return *file.GetParam();
}

TEST(CSimDevice, FreshDeviceAnswersEveryGetWithItsDefaults) {
    const struct {
        const char* Line;
        const char* Reply;
    } cases[] = {
        {"\x1Bvers\r", "ZRV-Link simulator 1.0\r\n>"},
        {"baudrate\r", "115200\r\n>"},
        {"netparam\r", "dhcp\r\n>"},
        {"target 0\r", "0.0.0.0\r\n>"},
        {"target 31\r", "0.0.0.0\r\n>"},
        {"enable 5\r", "0\r\n>"},
        {"name 7\r", "\r\n>"},
        {"save\r", "OK\r\n>"},
        {"update\r", "\r\n>"},
        {"\r", "\r\n>"},
    };
    for (const auto& c : cases) {
        CSimDevice device{SimBehaviour{}};
        EXPECT_EQ(c.Reply, Talk(device, c.Line)) << c.Line;
        EXPECT_EQ(0, device.Counters().Errors) << c.Line;
    }
}

TEST(CSimDevice, SetCommandsAnswerEmptyTextAndGetsGiveTheNewValues) {
    const struct {
        std::string Sets;
        const char* Get;
        std::string Reply;
    } cases[] = {
        {"baudrate 9600\r", "baudrate\r", "9600\r\n>"},
        {"netparam 192.168.0.10 255.255.255.0 192.168.0.1\r", "netparam\r",
         "address 192.168.0.10\r\nnetmask 255.255.255.0\r\ngateway 192.168.0.1\r\n>"},
        {"netparam 0.0.0.0 0.0.0.0 10.0.0.1\r", "netparam\r",
         "address 0.0.0.0\r\nnetmask 0.0.0.0\r\ngateway 10.0.0.1\r\n>"},
        {"netparam 10.0.0.2 255.0.0.0 10.0.0.1\rnetparam 0.0.0.0 0.0.0.0 0.0.0.0\r", "netparam\r",
         "dhcp\r\n>"},
        {"target 31 10.0.0.5\r", "target 31\r", "10.0.0.5\r\n>"},
        {"target 0 255.255.255.255\r", "target 0\r", "255.255.255.255\r\n>"},
        {"enable 3 1\r", "enable 3\r", "1\r\n>"},
        {"enable 3 1\renable 3 0\r", "enable 3\r", "0\r\n>"},
        {"name 0 4142\r", "name 0\r", "4142\r\n>"},
        {"name 9 " + std::string(64, 'F') + "\r", "name 9\r", std::string(64, 'F') + "\r\n>"},
        {"name 4 41 42\r", "name 4\r", "41 42\r\n>"}, // the rest of the line, blanks and all
        {"name 5 4142\rclrname 5\r", "name 5\r", "\r\n>"},
    };
    for (const auto& c : cases) {
        CSimDevice device{SimBehaviour{}};
        std::vector<SimReply> sets = Feed(device, c.Sets);
        for (const SimReply& reply : sets) {
            EXPECT_EQ("\r\n>", reply.Bytes) << c.Sets;
        }
        EXPECT_EQ(c.Reply, Talk(device, c.Get)) << c.Sets;
        EXPECT_EQ(0, device.Counters().Errors) << c.Sets;
    }
}

TEST(CSimDevice, SetsReachTheStateRecord) {
    CSimDevice device{SimBehaviour{}};
    Talk(device, "baudrate 38400\rnetparam 192.168.0.10 255.255.255.0 192.168.0.1\r"
                 "target 7 10.1.2.3\renable 7 1\rname 7 4142\r");
    const ParamSet& state = device.Current();
    EXPECT_EQ(38400, state.BaudRate);
    EXPECT_EQ(MakeIPv4(192, 168, 0, 10), state.IPAddress);
    EXPECT_EQ(MakeIPv4(255, 255, 255, 0), state.SubnetMask);
    EXPECT_EQ(MakeIPv4(192, 168, 0, 1), state.Gateway);
    EXPECT_EQ(MakeIPv4(10, 1, 2, 3), state.Target[7].Address);
    EXPECT_EQ(1, state.Target[7].Enable);
    EXPECT_STREQ("4142", state.Target[7].Name);
}

TEST(CSimDevice, MalformedLinesAnswerErrorAndChangeNothing) {
    const std::string lines[] = {
        "reboot",
        "VERS",
        "vers now",
        "vers ",
        " baudrate",
        "baudrate ",
        "baudrate 0",
        "baudrate 09600",
        "baudrate 96OO",
        "baudrate -9600",
        "baudrate 2147483648",
        "baudrate 9600 1",
        "baudrate  9600",
        "netparam 1.2.3.4 255.0.0.0",
        "netparam 1.2.3.4 255.0.0.0 1.2.3.4 5.6.7.8",
        "netparam 1.2.3.4  255.0.0.0 1.2.3.4",
        "target",
        "target 32",
        "target -1",
        "target 01",
        "target x",
        "target 0 256.0.0.1",
        "target 0 1.2.3",
        "target 0 1.2.3.4.5",
        "target 0 1..3.4",
        "target 0 1.2.3.",
        "target 0 01.2.3.4",
        "target 0 1.2.3.4 ",
        "target 0 1.2.3.1000",
        "target 0  1.2.3.4",
        "enable 3 7",
        "enable 3 2",
        "enable 3 01",
        "enable 32 1",
        "name 5 ",
        "name 5 " + std::string(65, 'A'),
        "name 5 A>B",
        "name 32 41",
        "clrname",
        "clrname 32",
        "clrname 1 2",
        "save now",
        "update 1",
        std::string("baud\x01rate"),
        std::string("name 1 A\xC3"),
        std::string(SIM_LINE_SIZE, 'a'),
    };
    for (const std::string& line : lines) {
        CSimDevice device{SimBehaviour{}};
        EXPECT_EQ("ERROR\r\n>", Talk(device, line + "\r")) << line;
        EXPECT_TRUE(SameState(Defaults(), device.Current())) << line;
        EXPECT_EQ(1, device.Counters().Errors) << line;
    }
}

TEST(CSimDevice, OnlyCarriageReturnEndsALine) {
    // A PC that ended its lines with CR LF would lead the next line with the LF.
    CSimDevice device{SimBehaviour{}};
    std::vector<SimReply> replies = Feed(device, "baudrate 9600\r\nbaudrate\r\n");
    ASSERT_EQ(2u, replies.size());
    EXPECT_EQ("\r\n>", replies[0].Bytes);
    EXPECT_EQ("ERROR\r\n>", replies[1].Bytes);
    EXPECT_EQ("9600\r\n>", Talk(device, "\x1B"
                                        "baudrate\r"));
}

TEST(CSimDevice, EscapeDiscardsAPartialLine) {
    const struct {
        const char* Bytes;
        const char* Reply;
    } cases[] = {
        {"half a li\x1B"
         "baudrate\r",
         "115200\r\n>"},
        {"baud\x01\x1B"
         "baudrate\r",
         "115200\r\n>"}, // the bad byte goes with its line
        {"\x1B\x1B\x1Bvers\r", "ZRV-Link simulator 1.0\r\n>"},
        {"baudrate\x1B\r", "\r\n>"}, // nothing left: an empty line
    };
    for (const auto& c : cases) {
        CSimDevice device{SimBehaviour{}};
        EXPECT_EQ(c.Reply, Talk(device, c.Bytes)) << c.Bytes;
    }
    CSimDevice device{SimBehaviour{}};
    EXPECT_EQ("ERROR\r\n>", Talk(device, std::string(SIM_LINE_SIZE + 10, 'x') + "\r"));
    EXPECT_EQ("115200\r\n>", Talk(device, "\x1B"
                                          "baudrate\r")); // the overlong line left nothing behind
}

TEST(CSimDevice, SaveKeepsTheCurrentStateOnlyWhenItAnswersOK) {
    const struct {
        const char* SaveReply;
        bool Keeps;
    } cases[] = {{"OK", true}, {"NG", false}, {"ok", false}, {"", false}};
    for (const auto& c : cases) {
        SimBehaviour behaviour;
        behaviour.SaveReply = c.SaveReply;
        CSimDevice device(behaviour);
        EXPECT_EQ(std::string(c.SaveReply) + "\r\n>", Talk(device, "baudrate 9600\rsave\r").substr(3));
        Talk(device, "target 1 1.2.3.4\rupdate\r");
        EXPECT_EQ(c.Keeps ? 9600 : 115200, device.Saved().BaudRate) << c.SaveReply;
        EXPECT_EQ(0u, device.Saved().Target[1].Address) << c.SaveReply; // set after the save
        EXPECT_EQ(MakeIPv4(1, 2, 3, 4), device.Current().Target[1].Address) << c.SaveReply;
        EXPECT_EQ(1, device.Counters().Saves);
        EXPECT_EQ(1, device.Counters().Updates);
    }
}

TEST(CSimDevice, SetStateIsTheStartingPointOfBothStates) {
    ParamSet state = Defaults();
    state.BaudRate = 57600;
    state.Target[2] = ParamTarget{1, MakeIPv4(10, 0, 0, 2), "4142"};
    CSimDevice device{SimBehaviour{}};
    device.SetState(state);
    EXPECT_EQ("57600\r\n>1\r\n>10.0.0.2\r\n>4142\r\n>",
              Talk(device, "baudrate\renable 2\rtarget 2\rname 2\r"));
    EXPECT_TRUE(SameState(state, device.Saved()));
}

TEST(CSimDevice, SilentAfterAnswersAndCarriesOutOnlyTheFirstLines) {
    const struct {
        int SilentAfter;
        int Answered;
        int BaudRate;
    } cases[] = {{0, 0, 115200}, {1, 1, 9600}, {2, 2, 19200}, {-1, 3, 38400}};
    for (const auto& c : cases) {
        SimBehaviour behaviour;
        behaviour.SilentAfter = c.SilentAfter;
        CSimDevice device(behaviour);
        auto replies = Feed(device, "baudrate 9600\rbaudrate 19200\rbaudrate 38400\r");
        EXPECT_EQ(static_cast<std::size_t>(c.Answered), replies.size()) << c.SilentAfter;
        EXPECT_EQ(c.BaudRate, device.Current().BaudRate) << c.SilentAfter;
        EXPECT_EQ(3 - c.Answered, device.Counters().Unanswered) << c.SilentAfter;
        EXPECT_FALSE(device.IsUnplugged());
    }
}

TEST(CSimDevice, CloseAfterUnplugsOnceItsLinesAreAnswered) {
    SimBehaviour behaviour;
    behaviour.CloseAfter = 2;
    CSimDevice device(behaviour);
    EXPECT_EQ(1u, Feed(device, "\x1Bvers\r").size());
    EXPECT_FALSE(device.IsUnplugged());
    EXPECT_EQ(1u, Feed(device, "baudrate 9600\r").size());
    EXPECT_TRUE(device.IsUnplugged());
    EXPECT_TRUE(Feed(device, "baudrate 19200\r").empty());
    EXPECT_EQ(9600, device.Current().BaudRate);

    behaviour.CloseAfter = 0;
    EXPECT_TRUE(CSimDevice(behaviour).IsUnplugged());
}

TEST(CSimDevice, CommandDelayReplacesTheCommonDelayForItsWordOnly) {
    SimBehaviour behaviour;
    behaviour.DelayMs = 100;
    behaviour.CommandDelays = {{"name", 1500}, {"save", 0}};
    const struct {
        const char* Line;
        int DelayMs;
    } cases[] = {
        {"name 0\r", 1500},  {"name 0 41\r", 1500}, {"clrname 0\r", 100}, {"save\r", 0},
        {"baudrate\r", 100}, {"bogus\r", 100},      {"names 0\r", 100},
    };
    for (const auto& c : cases) {
        CSimDevice device(behaviour);
        auto replies = Feed(device, c.Line);
        ASSERT_EQ(1u, replies.size()) << c.Line;
        EXPECT_EQ(c.DelayMs, replies[0].DelayMs) << c.Line;
    }
}

TEST(CSimDevice, IgnoredSetIsAnsweredAsUsualButKeepsTheOldValue) {
    const struct {
        const char* Word; // of the ignored set, with its Index
        int Index;
        std::string Sets;
        const char* Get;
        const char* Reply;
    } cases[] = {
        {"target", 3, "target 3 10.0.0.3\r", "target 3\r", "0.0.0.0\r\n>"},
        {"target", 3, "target 4 10.0.0.4\r", "target 4\r", "10.0.0.4\r\n>"}, // another destination
        {"target", -1, "target 30 10.0.0.9\r", "target 30\r", "0.0.0.0\r\n>"},
        {"enable", 0, "enable 0 1\r", "enable 0\r", "0\r\n>"},
        {"name", 7, "name 7 4142\r", "name 7\r", "\r\n>"},
        {"name", 7, "target 7 10.0.0.7\r", "target 7\r", "10.0.0.7\r\n>"}, // another word
        {"clrname", 2, "name 2 41\rclrname 2\r", "name 2\r", "41\r\n>"},
        {"baudrate", -1, "baudrate 9600\r", "baudrate\r", "115200\r\n>"},
        {"netparam", -1, "netparam 10.0.0.2 255.0.0.0 10.0.0.1\r", "netparam\r", "dhcp\r\n>"},
    };
    for (const auto& c : cases) {
        SimBehaviour behaviour;
        behaviour.IgnoredSets = {SimIgnoredSet{c.Word, c.Index}};
        CSimDevice device(behaviour);
        for (const SimReply& reply : Feed(device, c.Sets)) {
            EXPECT_EQ("\r\n>", reply.Bytes) << c.Sets;
        }
        EXPECT_EQ(c.Reply, Talk(device, c.Get)) << c.Sets;
        EXPECT_EQ(0, device.Counters().Errors) << c.Sets;
    }
}

TEST(CSimDevice, IgnoredSetStillRefusesWhatTheDeviceWouldRefuse) {
    SimBehaviour behaviour;
    behaviour.IgnoredSets = {{"target", -1}};
    CSimDevice device(behaviour);
    EXPECT_EQ("ERROR\r\n>", Talk(device, "target 3 300.0.0.1\r"));
    EXPECT_EQ(1, device.Counters().Errors);
}

TEST(CSimDevice, GarbageLeadsEveryReplyByteAndTheFramerDropsItAll) {
    SimBehaviour noisy;
    noisy.Garbage = true;
    CSimDevice clean{SimBehaviour{}};
    CSimDevice device(noisy);
    for (const char* line :
         {"\x1Bvers\r", "netparam 1.2.3.4 255.0.0.0 1.2.3.1\r", "netparam\r", "bad\r", "save\r"}) {
        std::string expected = Talk(clean, line);
        std::string bytes = Talk(device, line);
        EXPECT_EQ(expected, KeptByFramer(bytes)) << line;
        ASSERT_EQ(2 * expected.size(), bytes.size()) << line;
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            EXPECT_TRUE(KeptByFramer(bytes.substr(i, 1)).empty()) << line << " at " << i;
        }
        EXPECT_EQ('>', bytes.back()) << line; // nothing follows the prompt
    }
}

} // namespace
