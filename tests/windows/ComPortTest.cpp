// The Win32 portkit on a line that takes no data, where the setup program and zrvlink.exe do not take it
// (they show devices that misbehave, and a port that does not exist). Run by run-with-sim.sh, which maps a
// simulator that takes no data (--stall-after 0) as COM<ZRV_COM_PORT>.
#include "TestFiles.h"
#include "core/DebugPrint.h"
#include "portkit/PortKit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// A device whose firmware stopped taking data: the line fills, and a write must then fail within its
// limit instead of holding the worker (and the Stop behind it) for ever; a write that waited for ever
// would leave this program to ctest's time limit.
TEST(StalledComPort, WriteFailsInsteadOfWaitingForEver) {
    const std::string port = EnvironmentText("ZRV_COM_PORT");
    ASSERT_FALSE(port.empty()) << "ZRV_COM_PORT names no port: run through run-with-sim.sh";
    int accepted = 0; // blocks accepted before the first refusal
    const std::string trace = CaptureTrace("t", [&] {
        const int32_t handle = CreateCommPort(std::atoi(port.c_str()), 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
        ASSERT_GE(handle, 0);
        const std::string block(4096, 'x');
        while (accepted < 1024 &&
               WriteCommBlock(handle, block.data(), static_cast<int32_t>(block.size())) != 0) {
            ++accepted;
        }
        EXPECT_EQ(0, DestroyCommPort(handle));
    });
    EXPECT_LT(accepted, 1024);
    const std::string timedOut = "WARNING: cannot write \"\\\\.\\COM" + port + "\": error 1460\n";
    EXPECT_NE(std::string::npos, trace.find(timedOut)) << trace;
}

} // namespace
