// The transfer engine through the Win32 portkit: a COM port that Wine maps to zrvlink-sim's pty.
// Run by run-with-sim.sh, which starts the simulator and names the port in ZRV_COM_PORT.
#include "TransferRun.h"
#include "core/IPv4.h"
#include "core/ParamFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

int32_t ComPort() {
    const char* port = std::getenv("ZRV_COM_PORT");
    return port != nullptr ? std::atoi(port) : 0;
}

TEST(TransferOverComPort, WriteThenReadAWholeConfiguration) {
    const int32_t port = ComPort();
    ASSERT_GT(port, 0) << "ZRV_COM_PORT names no port: run through run-with-sim.sh";

    CParamFile source;
    ParamSet written = *source.GetParam();
    written.BaudRate = 230400;
    written.IPAddress = MakeIPv4(172, 16, 5, 20);
    written.SubnetMask = MakeIPv4(255, 255, 0, 0);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        written.Target[i] = {i % 2, MakeIPv4(172, 16, 6, i), "5A52"};
    }
    TransferOutcome write = RunTransfer(port, 0, &written);
    ASSERT_TRUE(write.Ended);
    ASSERT_EQ(PT_OK, write.Result) << write.Trace;

    CParamFile scratch;
    TransferOutcome read = RunTransfer(port, 1, scratch.GetParam());
    ASSERT_TRUE(read.Ended);
    ASSERT_EQ(PT_OK, read.Result) << read.Trace;
    EXPECT_EQ(0, std::memcmp(&written, scratch.GetParam(), sizeof written));
    EXPECT_EQ(100, ProgressOf(read.Seen).back());
}

TEST(TransferOverComPort, PortThatDoesNotExistFailsToStart) {
    CParamFile scratch;
    TransferOutcome out = RunTransfer(250, 1, scratch.GetParam());
    EXPECT_FALSE(out.Started);
    EXPECT_EQ(PT_ERR_PORT, out.Result);
    EXPECT_NE(std::string::npos, out.Trace.find("WARNING: cannot open COM250\n"));
}

} // namespace
