// The transfer engine through the Win32 portkit where the setup program and zrvlink.exe do not take it:
// devices that misbehave, a port that does not exist, a line that takes no data. Run by run-with-sim.sh,
// which maps zrvlink-sim's pty as COM<ZRV_COM_PORT> (for the StalledComPort cases a simulator that takes
// no data, --stall-after 0) and the misbehaving simulators that ZRV_SIMS lists.
#include "SampleParams.h"
#include "TestFiles.h"
#include "TransferRun.h"
#include "core/DebugPrint.h"
#include "core/ParamFile.h"
#include "portkit/PortKit.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int32_t ComPort() {
    const char* port = std::getenv("ZRV_COM_PORT");
    return port != nullptr ? std::atoi(port) : 0;
}

// The COM port of each simulator in ZRV_SIMS ("PORT:OPTIONS,PORT:OPTIONS..."), by its options.
std::map<std::string, int32_t> SimulatorPorts() {
    std::map<std::string, int32_t> ports;
    const char* list = std::getenv("ZRV_SIMS");
    std::istringstream entries(list != nullptr ? list : "");
    for (std::string entry; std::getline(entries, entry, ',');) {
        const std::size_t colon = entry.find(':');
        if (colon != std::string::npos) {
            ports[entry.substr(colon + 1)] = std::atoi(entry.substr(0, colon).c_str());
        }
    }
    return ports;
}

// Devices that misbehave end as over a pty on Linux; here they are behind COM ports. The dialog's tests
// show a device that falls silent at once or is unplugged during a write.
TEST(TransferOverComPort, MisbehavingDevicesEndAsOverAPty) {
    const struct {
        const char* SimOptions;
        int32_t ReadMode;
        int32_t Result;
        const char* Trace;
    } devices[] = {
        {"--silent-after 40", 0, PT_ERR_COMM, "WARNING: communication timeout\n"},
        {"--close-after 5", 1, PT_ERR_COMM, "WARNING: communication "},
        {"--byte-by-byte", 1, PT_OK, "  done..\n"},
        {"--garbage", 1, PT_OK, "  done..\n"},
    };
    const std::map<std::string, int32_t> ports = SimulatorPorts();
    for (const auto& device : devices) {
        SCOPED_TRACE(device.SimOptions);
        const auto port = ports.find(device.SimOptions);
        ASSERT_NE(ports.end(), port) << "no such simulator in ZRV_SIMS";
        ParamSet set = SampleParamSet();
        set.BaudRate = 0;
        const TransferOutcome out = RunTransfer(port->second, device.ReadMode, &set);
        ASSERT_TRUE(out.Ended);
        EXPECT_EQ(device.Result, out.Result) << out.Trace;
        EXPECT_NE(std::string::npos, out.Trace.find(device.Trace)) << out.Trace;
        EXPECT_EQ(device.Result == PT_OK ? PT_EVENT_DONE : PT_EVENT_ERROR, out.Seen.back().first);
        if (device.Result == PT_OK) {
            EXPECT_EQ(115200, set.BaudRate) << "the device's configuration arrived";
        }
    }
}

TEST(TransferOverComPort, PortThatDoesNotExistFailsToStart) {
    CParamFile scratch;
    TransferOutcome out = RunTransfer(250, 1, scratch.GetParam());
    EXPECT_FALSE(out.Started);
    EXPECT_EQ(PT_ERR_PORT, out.Result);
    EXPECT_NE(std::string::npos, out.Trace.find("WARNING: cannot open COM250\n"));
    // The port's own line says which call failed on what, with the system's code, kept for the owner.
    EXPECT_NE(std::string::npos, out.Trace.find("WARNING: cannot open \"\\\\.\\COM250\": error 2\n"))
        << out.Trace;
    EXPECT_EQ(2, out.PortError); // ERROR_FILE_NOT_FOUND
}

// A device whose firmware stopped taking data: the line fills, and a write must then fail within its
// limit instead of holding the worker (and the Stop behind it) for ever.
TEST(StalledComPort, WriteFailsInsteadOfWaitingForEver) {
    const int32_t port = ComPort();
    ASSERT_GT(port, 0) << "ZRV_COM_PORT names no port: run through run-with-sim.sh";
    const std::string tracePath = TempFilePath("stalled");
    DebugPrintInit("t");
    DebugPrintSetStream(std::fopen(tracePath.c_str(), "wb"));
    const int32_t handle = CreateCommPort(port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    ASSERT_GE(handle, 0);

    std::mutex mutex;
    std::condition_variable ended;
    int accepted = -1; // guarded by mutex: blocks accepted before the first refusal
    std::thread writer([&] {
        const std::string block(4096, 'x');
        int count = 0;
        while (count < 1024 &&
               WriteCommBlock(handle, block.data(), static_cast<int32_t>(block.size())) != 0) {
            ++count;
        }
        std::lock_guard<std::mutex> lock(mutex);
        accepted = count;
        ended.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    if (!ended.wait_for(lock, std::chrono::seconds(60), [&] { return accepted >= 0; })) {
        std::fprintf(stderr, "the writes were still waiting after 60 s\n");
        std::_Exit(1); // the writer cannot be joined
    }
    lock.unlock();
    writer.join();
    EXPECT_LT(accepted, 1024);
    EXPECT_EQ(0, DestroyCommPort(handle));
    DebugPrintExit();
    const std::string timedOut =
        "WARNING: cannot write \"\\\\.\\COM" + std::to_string(port) + "\": error 1460\n";
    EXPECT_NE(std::string::npos, ReadWholeFile(tracePath).find(timedOut)) << ReadWholeFile(tracePath);
    std::remove(tracePath.c_str());
}

} // namespace
