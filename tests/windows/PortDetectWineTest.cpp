// CCommPortDetecter on the Win32 registry under Wine. Run by run-detect.sh, which writes the device's
// USB instances with `reg add`, maps a pty as a COM port, names it in ZRV_COM_PORT, runs the mapped
// cases, removes the mapping and runs the unmapped ones.
#include "portdetect/CommPortDetecter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

int32_t MappedPort() {
    const char* port = std::getenv("ZRV_COM_PORT");
    return port != nullptr ? std::atoi(port) : 0;
}

std::vector<int32_t> DetectDevice() {
    CCommPortDetecter detecter;
    EXPECT_TRUE(detecter.Init());
    detecter.Detect(DEVICE_USB_VID, DEVICE_USB_PID);
    std::vector<int32_t> ports;
    for (int32_t i = 0; i < detecter.GetPortCount(); ++i) {
        ports.push_back(detecter.GetPort(i));
    }
    return ports;
}

// The unplugged instance's COM5 and the other device's port stay out of the result.
TEST(PortMapped, OnlyTheDevicesPresentPortIsFound) {
    const int32_t port = MappedPort();
    ASSERT_GT(port, 0) << "ZRV_COM_PORT names no port: run through run-detect.sh";
    EXPECT_EQ(std::vector<int32_t>{port}, DetectDevice());
}

TEST(PortUnmapped, NothingIsFoundOnceTheMappingIsGone) {
    ASSERT_EQ(0, MappedPort());
    EXPECT_TRUE(DetectDevice().empty());
}

} // namespace
