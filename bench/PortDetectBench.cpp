// Benchmark: the time of one CCommPortDetecter::Detect on an in-memory registry of 50 USB instances and
// 20 serial ports, on a fake sysfs tree of the same size, and on this machine's /sys. Prints figures;
// asserts nothing.
#include "FakeSysfs.h"
#include "MemoryRegistry.h"
#include "portdetect/CommPortDetecter.h"
#include "portdetect/RegistryPortSource.h"
#include "portdetect/SysfsPortSource.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int USB_INSTANCES = 50;
constexpr int SERIAL_PORTS = 20;

using Clock = std::chrono::steady_clock;

struct Timing {
    double Median;
    double Best;
    int32_t Ports;
};

// Microseconds per Detect: `rounds` rounds of `calls` calls each.
Timing TimeDetect(const CPortSource& source, int rounds, int calls) {
    CCommPortDetecter detecter;
    detecter.Detect(source, DEVICE_USB_VID, DEVICE_USB_PID); // warm the caches and the path table
    std::vector<double> perCall;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        for (int call = 0; call < calls; ++call) {
            detecter.Detect(source, DEVICE_USB_VID, DEVICE_USB_PID);
        }
        perCall.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls);
    }
    std::sort(perCall.begin(), perCall.end());
    return {perCall[perCall.size() / 2], perCall.front(), detecter.GetPortCount()};
}

void Report(const char* what, const Timing& timing) {
    std::printf("%-58s %9.2f us median %9.2f us best  (%d ports found)\n", what, timing.Median, timing.Best,
                timing.Ports);
}

// The device's instances COM1..COM50, of which the system lists COM1..COM20 now.
void FillRegistry(CMemoryRegistry& registry) {
    for (int i = 1; i <= USB_INSTANCES; ++i) {
        registry.SetString("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_FE5A&PID_0016\\6&1A2B3C4D&0&" +
                               std::to_string(i) + "\\Device Parameters",
                           "PortName", "COM" + std::to_string(i));
    }
    for (int i = 1; i <= SERIAL_PORTS; ++i) {
        registry.SetString("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial" + std::to_string(i),
                           "COM" + std::to_string(i));
    }
}

// Linux keeps no unplugged instances: 50 ttys of the device (CDC ACM and vendor driver, half each) and
// 20 of other USB devices.
void FillSysfs(CFakeSysfs& tree) {
    for (int i = 0; i < USB_INSTANCES / 2; ++i) {
        tree.AddAcmTty("ttyACM" + std::to_string(i), DEVICE_USB_VID, DEVICE_USB_PID);
        tree.AddVendorTty("ttyUSB" + std::to_string(i), DEVICE_USB_VID, DEVICE_USB_PID);
    }
    for (int i = 0; i < SERIAL_PORTS; ++i) {
        tree.AddVendorTty("ttyUSB" + std::to_string(USB_INSTANCES + i), 0x0403, 0x6001);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    std::printf("One Detect(0x%04X, 0x%04X); goal: under 50 us (the dialog runs it every 100 ms)\n",
                DEVICE_USB_VID, DEVICE_USB_PID);

    CMemoryRegistry registry;
    FillRegistry(registry);
    Report("in-memory registry, 50 USB instances, 20 serial ports:",
           TimeDetect(CRegistryPortSource(registry), rounds, 2000));

    CFakeSysfs tree;
    FillSysfs(tree);
    Report("fake sysfs, 50 ttys of the device, 20 of other USB devices:",
           TimeDetect(CSysfsPortSource(tree.Root(), "/zrv-bench/dev"), rounds, 100));

    Report("this machine's /sys:", TimeDetect(SystemPortSource(), rounds, 100));
    return 0;
}
