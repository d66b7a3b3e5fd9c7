// The exact bytes of every command line, and the lines that must never be sent.
#include "devicelink/DeviceCommands.h"

#include "SampleParams.h"
#include "core/IPv4.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

class CRecordingSender : public CCommandSender {
public:
    bool SendCommand(const char* line, std::size_t length) override {
        Lines.emplace_back(line, length);
        return true;
    }
    std::vector<std::string> Lines;
};

// The sample, with a flag of 7, a broadcast address, a name of 64 digits and one without its terminator.
ParamSet SampleSet() {
    ParamSet set = SampleParamSet();
    set.Target[3].Enable = 7;
    set.Target[31].Address = MakeIPv4(255, 255, 255, 255);
    std::memset(set.Target[30].Name, 'F', TARGET_NAME_SIZE - 1);
    std::memset(set.Target[2].Name, 'A', TARGET_NAME_SIZE);
    return set;
}

TEST(DeviceCommands, EachBuilderSendsItsExactLine) {
    const ParamSet set = SampleSet();
    const struct {
        const char* What;
        std::function<bool(CCommandSender&)> Build;
        std::string Line;
    } cases[] = {
        {"vers", [](CCommandSender& s) { return CmdVers(s); }, std::string("\x1Bvers\r")},
        {"get baudrate", [](CCommandSender& s) { return CmdGetBaudrate(s); }, "baudrate\r"},
        {"set baudrate", [&](CCommandSender& s) { return CmdSetBaudrate(s, set); }, "baudrate 57600\r"},
        {"get netparam", [](CCommandSender& s) { return CmdGetNetParam(s); }, "netparam\r"},
        {"set netparam", [&](CCommandSender& s) { return CmdSetNetParam(s, set); },
         "netparam 192.168.0.10 255.255.255.0 192.168.0.1\r"},
        {"get target 0", [](CCommandSender& s) { return CmdGetTarget(s, 0); }, "target 0\r"},
        {"get target 31", [](CCommandSender& s) { return CmdGetTarget(s, 31); }, "target 31\r"},
        {"set target 0", [&](CCommandSender& s) { return CmdSetTarget(s, 0, set); }, "target 0 10.0.0.0\r"},
        {"set target 31", [&](CCommandSender& s) { return CmdSetTarget(s, 31, set); },
         "target 31 255.255.255.255\r"},
        {"get enable", [](CCommandSender& s) { return CmdGetEnable(s, 3); }, "enable 3\r"},
        {"set enable 7 as 1", [&](CCommandSender& s) { return CmdSetEnable(s, 3, set); }, "enable 3 1\r"},
        {"set enable 0", [&](CCommandSender& s) { return CmdSetEnable(s, 31, set); }, "enable 31 0\r"},
        {"get name", [](CCommandSender& s) { return CmdGetName(s, 12); }, "name 12\r"},
        {"set name", [&](CCommandSender& s) { return CmdSetName(s, 0, set); }, "name 0 5A5256\r"},
        {"set empty name", [&](CCommandSender& s) { return CmdSetName(s, 5, set); }, "clrname 5\r"},
        {"set 64-digit name", [&](CCommandSender& s) { return CmdSetName(s, 30, set); },
         "name 30 " + std::string(64, 'F') + "\r"},
        {"name without its terminator", [&](CCommandSender& s) { return CmdSetName(s, 2, set); },
         "name 2 " + std::string(64, 'A') + "\r"},
        {"save", [](CCommandSender& s) { return CmdSave(s); }, "save\r"},
        {"update", [](CCommandSender& s) { return CmdUpdate(s); }, "update\r"},
    };
    for (const auto& c : cases) {
        CRecordingSender sender;
        EXPECT_TRUE(c.Build(sender)) << c.What;
        ASSERT_EQ(1u, sender.Lines.size()) << c.What;
        EXPECT_EQ(c.Line, sender.Lines[0]) << c.What;
    }
}

TEST(DeviceCommands, LinesThatWouldCarryASecondCommandAreNeverSent) {
    const char* const names[] = {"41\r42", "41\n", "\r", "4142\r\nsave"};
    for (const char* name : names) {
        ParamSet set = SampleSet();
        std::snprintf(set.Target[4].Name, TARGET_NAME_SIZE, "%s", name);
        CRecordingSender sender;
        EXPECT_FALSE(CmdSetName(sender, 4, set)) << "name with a line break inside";
        EXPECT_TRUE(sender.Lines.empty());
    }
}

TEST(DeviceCommands, TargetIndexOutsideTheTableIsRefused) {
    const ParamSet set = SampleSet();
    for (int index : {-1, TARGET_COUNT, 1000}) {
        CRecordingSender sender;
        EXPECT_FALSE(CmdGetTarget(sender, index));
        EXPECT_FALSE(CmdSetTarget(sender, index, set));
        EXPECT_FALSE(CmdGetEnable(sender, index));
        EXPECT_FALSE(CmdSetEnable(sender, index, set));
        EXPECT_FALSE(CmdGetName(sender, index));
        EXPECT_FALSE(CmdSetName(sender, index, set));
        EXPECT_TRUE(sender.Lines.empty()) << index;
    }
}

TEST(FormatCommand, ReportsTheLengthOrThatTheLineDoesNotFit) {
    char buffer[COMMAND_SIZE];
    EXPECT_EQ(10, FormatCommand(buffer, "enable %d\r", -5));
    EXPECT_STREQ("enable -5\r", buffer);
    const std::string longest(COMMAND_SIZE - 1, 'x');
    EXPECT_EQ(static_cast<int>(COMMAND_SIZE - 1), FormatCommand(buffer, "%s", longest.c_str()));
    const std::string tooLong(COMMAND_SIZE, 'x');
    EXPECT_EQ(-1, FormatCommand(buffer, "%s", tooLong.c_str()));
    EXPECT_STREQ("", buffer);
}

} // namespace
