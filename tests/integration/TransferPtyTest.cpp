// The transfer engine through the real POSIX portkit, against zrvlink-sim on a pseudo-terminal: whole
// transfers, and devices that fall silent, are unplugged, slow, noisy or send byte by byte.
#include "SampleParams.h"
#include "SimProcess.h"
#include "TestFiles.h"
#include "TransferRun.h"
#include "core/ParamFile.h"
#include "portkit/CommPortPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The sample with one destination at the device's own address, which a write sends disabled.
ParamSet SampleSet() {
    ParamSet set = SampleParamSet();
    set.Target[9].Address = set.IPAddress;
    set.Target[9].Enable = 1;
    return set;
}

class TransferOverPty : public ::testing::Test {
protected:
    // Starts the simulator with `args` and registers its pty as a port.
    int32_t StartDevice(const std::vector<std::string>& args = {}) {
        EXPECT_TRUE(m_sim.Start(args)) << m_sim.Error();
        int32_t port = RegisterCommPortPath(m_sim.PtyPath().c_str());
        EXPECT_GT(port, 0);
        return port;
    }
    CSimProcess m_sim;
};

TEST_F(TransferOverPty, WriteThenReadGivesBackWhatWasWritten) {
    const int32_t port = StartDevice();
    ParamSet written = SampleSet();
    TransferOutcome write = RunTransfer(port, 0, &written);
    ASSERT_TRUE(write.Ended);
    ASSERT_EQ(PT_OK, write.Result) << write.Trace;
    EXPECT_EQ(0, written.Target[9].Enable) << "the target at the own address went disabled";

    CParamFile scratch;
    TransferOutcome read = RunTransfer(port, 1, scratch.GetParam());
    ASSERT_TRUE(read.Ended);
    ASSERT_EQ(PT_OK, read.Result) << read.Trace;
    EXPECT_TRUE(SameRecord(written, *scratch.GetParam()));
    EXPECT_EQ(35u, ProgressOf(read.Seen).size());

    ASSERT_TRUE(m_sim.Stop());
    CParamFile saved;
    ASSERT_TRUE(saved.Load(m_sim.SavedPath().c_str()));
    EXPECT_TRUE(SameRecord(written, *saved.GetParam())) << "\"save\" reached the device";
    const std::string received = ReadWholeFile(m_sim.LogPath());
    EXPECT_NE(std::string::npos, received.find("save\rupdate\r"));
}

TEST_F(TransferOverPty, AwkwardButWorkingDevicesStillSucceed) {
    const std::vector<std::vector<std::string>> devices = {
        {"--garbage"},
        {"--byte-by-byte"},
        {"--delay-command", "baudrate:1500"},
    };
    for (const auto& args : devices) {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start(args)) << sim.Error();
        CParamFile scratch;
        TransferOutcome read =
            RunTransfer(RegisterCommPortPath(sim.PtyPath().c_str()), 1, scratch.GetParam());
        EXPECT_TRUE(read.Ended) << args[0];
        EXPECT_EQ(PT_OK, read.Result) << args[0] << "\n" << read.Trace;
        EXPECT_EQ(115200, scratch.GetParam()->BaudRate) << args[0];
    }
}

TEST_F(TransferOverPty, FailingDevicesEndTheTransferWithoutHanging) {
    const struct {
        std::vector<std::string> Args;
        int32_t ReadMode;
        int32_t Result;
        const char* Trace;
    } cases[] = {
        {{"--silent-after", "1"}, 1, PT_ERR_COMM, "WARNING: communication timeout\n"},
        {{"--close-after", "5"}, 1, PT_ERR_COMM, "WARNING: communication "},
        {{"--close-after", "40"}, 0, PT_ERR_COMM, "WARNING: communication "},
        {{"--save-reply", "NG"}, 0, PT_ERR_HARDWARE, "WARNING: hardware error\n"},
    };
    for (const auto& c : cases) {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start(c.Args)) << sim.Error();
        ParamSet set = SampleSet();
        TransferOutcome out = RunTransfer(RegisterCommPortPath(sim.PtyPath().c_str()), c.ReadMode, &set);
        ASSERT_TRUE(out.Ended) << c.Args[0];
        EXPECT_EQ(c.Result, out.Result) << c.Args[0];
        EXPECT_NE(std::string::npos, out.Trace.find(c.Trace)) << c.Args[0] << "\n" << out.Trace;
        EXPECT_EQ(PT_EVENT_ERROR, out.Seen.back().first);
        sim.Stop();
        EXPECT_EQ(std::string::npos, ReadWholeFile(sim.LogPath()).find("update\r")) << c.Args[0];
    }
}

} // namespace
