// The exact bytes of the command lines that the engine's sequences leave out, and the lines that must
// never be sent.
#include "devicelink/DeviceCommands.h"

#include "SampleParams.h"
#include "core/IPv4.h"

#include <gtest/gtest.h>

#include <cstring>
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

// The builders' other lines are checked byte by byte in the engine's read and write sequences; these are
// the values those sequences leave out: three distinct addresses, the highest octets, the longest names.
TEST(DeviceCommands, BuildersSendTheirExactLine) {
    ParamSet set = SampleParamSet();
    set.Target[31].Address = MakeIPv4(255, 255, 255, 255);
    std::memset(set.Target[30].Name, 'F', TARGET_NAME_SIZE - 1);
    std::memset(set.Target[2].Name, 'A', TARGET_NAME_SIZE); // a name without its terminator
    CRecordingSender sender;
    EXPECT_TRUE(CmdSetNetParam(sender, set));
    EXPECT_TRUE(CmdSetTarget(sender, 31, set));
    EXPECT_TRUE(CmdSetName(sender, 30, set));
    EXPECT_TRUE(CmdSetName(sender, 2, set));
    EXPECT_EQ((std::vector<std::string>{
                  "netparam 192.168.0.10 255.255.255.0 192.168.0.1\r", "target 31 255.255.255.255\r",
                  "name 30 " + std::string(64, 'F') + "\r", "name 2 " + std::string(64, 'A') + "\r"}),
              sender.Lines);
}

TEST(DeviceCommands, LinesThatWouldCarryASecondCommandAreNeverSent) {
    const char* const names[] = {"41\r42", "41\n", "\r", "4142\r\nsave"};
    for (const char* name : names) {
        ParamSet set = SampleParamSet();
        std::snprintf(set.Target[4].Name, TARGET_NAME_SIZE, "%s", name);
        CRecordingSender sender;
        EXPECT_FALSE(CmdSetName(sender, 4, set)) << "name with a line break inside";
        EXPECT_TRUE(sender.Lines.empty());
    }
}

TEST(DeviceCommands, TargetIndexOutsideTheTableIsRefused) {
    const ParamSet set = SampleParamSet();
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
