// The simulator's command line: every option reaches its setting, and bad arguments are refused by name.
#include "sim/SimOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(std::vector<std::string> args, SimOptions* options, std::string* error) {
    std::vector<const char*> argv = {"zrvlink-sim"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    return ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ParseSimOptions, EveryOptionReachesItsSetting) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--link",
                       "/tmp/l",
                       "--load=in.dat",
                       "--state-out",
                       "s.dat",
                       "--saved-out",
                       "v.dat",
                       "--log",
                       "r.log",
                       "--vers-reply",
                       "ZRV 2.0 (test)",
                       "--save-reply=NG",
                       "--silent-after",
                       "3",
                       "--close-after",
                       "0",
                       "--stall-after",
                       "7",
                       "--delay",
                       "25",
                       "--delay-command",
                       "name:1500",
                       "--delay-command=save:0",
                       "--garbage",
                       "--byte-by-byte",
                       "--help",
                       "--version"},
                      &o, &error))
        << error;
    EXPECT_EQ("/tmp/l", o.LinkPath);
    EXPECT_EQ("in.dat", o.LoadPath);
    EXPECT_EQ("s.dat", o.StateOutPath);
    EXPECT_EQ("v.dat", o.SavedOutPath);
    EXPECT_EQ("r.log", o.LogPath);
    EXPECT_EQ("ZRV 2.0 (test)", o.Behaviour.Version);
    EXPECT_EQ("NG", o.Behaviour.SaveReply);
    EXPECT_EQ(3, o.Behaviour.SilentAfter);
    EXPECT_EQ(0, o.Behaviour.CloseAfter);
    EXPECT_EQ(7, o.Behaviour.StallAfter);
    EXPECT_EQ(25, o.Behaviour.DelayMs);
    ASSERT_EQ(2u, o.Behaviour.CommandDelays.size());
    EXPECT_EQ("name", o.Behaviour.CommandDelays[0].Word);
    EXPECT_EQ(1500, o.Behaviour.CommandDelays[0].DelayMs);
    EXPECT_EQ("save", o.Behaviour.CommandDelays[1].Word);
    EXPECT_EQ(0, o.Behaviour.CommandDelays[1].DelayMs);
    EXPECT_TRUE(o.Behaviour.Garbage);
    EXPECT_TRUE(o.ByteByByte);
    EXPECT_TRUE(o.Help);
    EXPECT_TRUE(o.Version);
}

TEST(ParseSimOptions, WithoutOptionsTheDeviceBehavesWell) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, &o, &error));
    EXPECT_EQ(SIM_DEFAULT_VERSION, o.Behaviour.Version);
    EXPECT_EQ("OK", o.Behaviour.SaveReply);
    EXPECT_EQ(-1, o.Behaviour.SilentAfter);
    EXPECT_EQ(-1, o.Behaviour.CloseAfter);
    EXPECT_EQ(-1, o.Behaviour.StallAfter);
    EXPECT_EQ(0, o.Behaviour.DelayMs);
    EXPECT_FALSE(o.Behaviour.Garbage || o.ByteByByte || o.Help || o.Version);
}

TEST(ParseSimOptions, LaterOptionsOverrideEarlierOnes) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--delay", "5", "--delay=7", "--delay-command", "name:10", "--delay-command",
                       "name:20", "--state-out", "a", "--state-out", "b"},
                      &o, &error));
    EXPECT_EQ(7, o.Behaviour.DelayMs);
    ASSERT_EQ(1u, o.Behaviour.CommandDelays.size());
    EXPECT_EQ(20, o.Behaviour.CommandDelays[0].DelayMs);
    EXPECT_EQ("b", o.StateOutPath);
}

TEST(ParseSimOptions, IgnoredSetsAddUpInOrder) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(
        Parse({"--ignore-set", "target:3", "--ignore-set=baudrate", "--ignore-set", "name:31"}, &o, &error))
        << error;
    ASSERT_EQ(3u, o.Behaviour.IgnoredSets.size());
    EXPECT_EQ("target", o.Behaviour.IgnoredSets[0].Word);
    EXPECT_EQ(3, o.Behaviour.IgnoredSets[0].Index);
    EXPECT_EQ("baudrate", o.Behaviour.IgnoredSets[1].Word);
    EXPECT_EQ(-1, o.Behaviour.IgnoredSets[1].Index);
    EXPECT_EQ(31, o.Behaviour.IgnoredSets[2].Index);
}

TEST(ParseSimOptions, BadArgumentsAreRefusedByName) {
    const struct {
        std::vector<std::string> Args;
        const char* Message;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"pty"}, "unknown option 'pty'"},
        {{"--delay"}, "--delay needs a value"},
        {{"--garbage=1"}, "--garbage takes no value"},
        {{"--delay", "soon"}, "--delay: expected milliseconds from 0 to 3600000, not 'soon'"},
        {{"--delay", "3600001"}, "--delay: expected milliseconds"},
        {{"--delay", "-1"}, "--delay: expected milliseconds"},
        {{"--silent-after", "1x"}, "--silent-after: expected a number of lines"},
        {{"--close-after="}, "--close-after: expected a number of lines"},
        {{"--delay-command", "name"}, "--delay-command: expected COMMAND:MS"},
        {{"--delay-command", "reboot:5"}, "--delay-command: expected COMMAND:MS"},
        {{"--delay-command", "name:x"}, "--delay-command: expected milliseconds"},
        {{"--vers-reply", "V1>"},
         "--vers-reply: expected at most 1023 printable ASCII characters without '>'"},
        {{"--save-reply", "O\tK"}, "--save-reply: expected at most 1023"},
        {{"--vers-reply", std::string(1024, 'v')}, "--vers-reply: expected at most 1023"},
        {{"--version=2.0"}, "--version takes no value"},
        {{"--log", ""}, "--log: expected a path"},
        {{"--ignore-set", "vers"}, "--ignore-set: expected WORD[:INDEX]"},
        {{"--ignore-set", "save:1"}, "--ignore-set: expected WORD[:INDEX]"},
        {{"--ignore-set", "baudrate:0"}, "--ignore-set: expected WORD[:INDEX]"},
        {{"--ignore-set", "target:32"}, "--ignore-set: expected WORD[:INDEX]"},
        {{"--ignore-set", "target:"}, "--ignore-set: expected WORD[:INDEX]"},
        {{"--ignore-set", "Target:3"}, "--ignore-set: expected WORD[:INDEX]"},
    };
    for (const auto& c : cases) {
        SimOptions o;
        std::string error;
        EXPECT_FALSE(Parse(c.Args, &o, &error)) << c.Args[0];
        EXPECT_NE(std::string::npos, error.find(c.Message)) << error;
    }
}

TEST(SimUsage, NamesEveryOption) {
    const std::string usage = SimUsage();
    for (const char* option :
         {"--link", "--load", "--state-out", "--saved-out", "--log", "--vers-reply", "--version",
          "--save-reply", "--silent-after", "--close-after", "--stall-after", "--delay ", "--delay-command",
          "--ignore-set", "--garbage", "--byte-by-byte", "--help"}) {
        EXPECT_NE(std::string::npos, usage.find(option)) << option;
    }
}

} // namespace
