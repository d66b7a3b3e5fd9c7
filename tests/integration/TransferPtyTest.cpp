// The transfer engine through the real POSIX portkit, against zrvlink-sim on a pseudo-terminal: devices
// that are slow, noisy, send byte by byte, fall silent or are unplugged. Whole transfers run end to end
// in the zrvlink tests.
#include "SampleParams.h"
#include "SimProcess.h"
#include "TestFiles.h"
#include "TransferRun.h"
#include "core/ParamFile.h"
#include "portkit/CommPortPaths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

TEST(TransferOverPty, EachDeviceEndsTheTransferWithItsResultWithoutHanging) {
    const struct {
        std::vector<std::string> Args;
        int32_t ReadMode;
        int32_t Result;
        const char* Trace;
        int AtLeastMs; // not a speed check: the device's own delay
    } cases[] = {
        {{"--garbage"}, 1, PT_OK, "done..\n", 0},
        {{"--byte-by-byte"}, 1, PT_OK, "done..\n", 0},
        {{"--delay-command", "baudrate:1500"}, 1, PT_OK, "done..\n", 1500},
        {{"--silent-after", "1"}, 1, PT_ERR_COMM, "WARNING: communication timeout\n", 0},
        {{"--close-after", "5"}, 1, PT_ERR_COMM, "WARNING: communication ", 0},
        {{"--close-after", "40"}, 0, PT_ERR_COMM, "WARNING: communication ", 0},
    };
    for (const auto& c : cases) {
        CSimProcess sim;
        CParamFile start;
        *start.GetParam() = SampleParamSet();
        ASSERT_TRUE(start.Save(sim.ScratchPath("start.dat").c_str()));
        std::vector<std::string> args = {"--load", sim.ScratchPath("start.dat")};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        ASSERT_TRUE(sim.Start(args)) << sim.Error();
        ParamSet set = DefaultParamSet();
        const auto begin = std::chrono::steady_clock::now();
        TransferOutcome out = RunTransfer(RegisterCommPortPath(sim.PtyPath().c_str()), c.ReadMode, &set);
        EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(c.AtLeastMs))
            << c.Args[0];
        ASSERT_TRUE(out.Ended) << c.Args[0];
        EXPECT_EQ(c.Result, out.Result) << c.Args[0] << "\n" << out.Trace;
        EXPECT_NE(std::string::npos, out.Trace.find(c.Trace)) << c.Args[0] << "\n" << out.Trace;
        if (c.Result == PT_OK) {
            EXPECT_TRUE(SameRecord(SampleParamSet(), set)) << c.Args[0] << ": the whole record was read";
            continue;
        }
        EXPECT_EQ(PT_EVENT_ERROR, out.Seen.back().first);
        sim.Stop();
        EXPECT_EQ(std::string::npos, ReadWholeFile(sim.LogPath()).find("update\r")) << c.Args[0];
    }
}

} // namespace
