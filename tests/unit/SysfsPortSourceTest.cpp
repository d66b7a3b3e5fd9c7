// The POSIX port source on fake sysfs trees laid out as CDC ACM and vendor-driver ttys are.
#include "portdetect/SysfsPortSource.h"
#include "FakeSysfs.h"
#include "portdetect/CommPortDetecter.h"
#include "portkit/CommPortPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// Never opened: the paths only have to name the ports.
const std::string DEV_ROOT = "/zrv-fake/dev";

// The tty names behind the port numbers, through portkit's path table.
std::vector<std::string> TtyNames(const CommPortList& ports, int32_t count) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) {
        char path[COMM_PATH_SIZE];
        const bool known = GetCommPortPath(ports[i], path);
        const std::string text = known ? path : "unknown port " + std::to_string(ports[i]);
        names.push_back(text.compare(0, DEV_ROOT.size() + 1, DEV_ROOT + "/") == 0
                            ? text.substr(DEV_ROOT.size() + 1)
                            : text);
    }
    return names;
}

struct TreeCase {
    const char* Name;
    std::function<void(CFakeSysfs&)> Fill;
    std::vector<std::string> UsbTtys;
    std::vector<std::string> SystemTtys;
    bool Gone = false; // the source looks below a tree that is not there
};

// The device's CDC ACM and vendor-driver ttys show in the row of the names' order.
const TreeCase TREE_CASES[] = {
    // Another maker's device shows in zrvlink's listing.
    {"OtherProductOfTheMakerIsPresentButNotTheDevice",
     [](CFakeSysfs& t) { t.AddAcmTty("ttyACM0", DEVICE_USB_VID, DEVICE_USB_PID + 1); },
     {},
     {"ttyACM0"}},
    {"TtysWithoutAUsbDeviceAreLeftOut",
     [](CFakeSysfs& t) {
         t.AddPlatformTty("ttyS0");
         t.AddVirtualTty("tty1");
         t.AddAcmTty("ttyACM3", DEVICE_USB_VID, DEVICE_USB_PID);
     },
     {"ttyACM3"},
     {"ttyACM3"}},
    {"NamesInOrderOfTheirTrailingNumber",
     [](CFakeSysfs& t) {
         t.AddAcmTty("ttyACM10", DEVICE_USB_VID, DEVICE_USB_PID);
         t.AddVendorTty("ttyUSB1", DEVICE_USB_VID, DEVICE_USB_PID);
         t.AddAcmTty("ttyACM2", DEVICE_USB_VID, DEVICE_USB_PID);
     },
     {"ttyACM2", "ttyACM10", "ttyUSB1"},
     {"ttyACM2", "ttyACM10", "ttyUSB1"}},
    {"MalformedIdsMakeNoUsbDevice",
     [](CFakeSysfs& t) {
         t.AddAcmTtyWithIdTexts("ttyACM0", "fe5a0\n", "0016\n");
         t.AddAcmTtyWithIdTexts("ttyACM1", "fe5\n", "0016\n");
         t.AddAcmTtyWithIdTexts("ttyACM2", "fe5g\n", "0016\n");
         t.AddAcmTtyWithIdTexts("ttyACM3", "fe5a\n", "");
         t.AddAcmTtyWithIdTexts("ttyACM4", "fe5a\n", "0016 \n");
     },
     {},
     {}},
    {"TreeThatIsNotThereListsNothing",
     [](CFakeSysfs& t) { t.AddAcmTty("ttyACM1", DEVICE_USB_VID, DEVICE_USB_PID); },
     {},
     {},
     true},
};

class SysfsTree : public testing::TestWithParam<TreeCase> {};

TEST_P(SysfsTree, ListsTheUsbTtysByTheirDevPaths) {
    CFakeSysfs tree;
    GetParam().Fill(tree);
    const CSysfsPortSource source(tree.Root() + (GetParam().Gone ? "/no-such-tree" : ""), DEV_ROOT);
    CommPortList ports = {};
    const int32_t usbCount = source.ScanUsbPorts(DEVICE_USB_VID, DEVICE_USB_PID, ports);
    EXPECT_EQ(GetParam().UsbTtys, TtyNames(ports, usbCount));
    const int32_t systemCount = source.ScanSystemPorts(ports);
    EXPECT_EQ(GetParam().SystemTtys, TtyNames(ports, systemCount));
}

INSTANTIATE_TEST_SUITE_P(CSysfsPortSource, SysfsTree, testing::ValuesIn(TREE_CASES),
                         [](const testing::TestParamInfo<TreeCase>& test) { return test.param.Name; });

// portkit's path table is never emptied (see CommPortPaths.h): once it holds MAX_COMM_PATHS paths, every
// new one is refused, so a device plugged in later is not detected, while the one found before still is,
// under its number and path. In a child process, which takes the full table with it.
TEST(CSysfsPortSource, DeviceThatAppearsOnceThePathTableIsFullIsLeftOut) {
    EXPECT_EXIT(
        {
            CFakeSysfs tree;
            tree.AddAcmTty("ttyACM0", DEVICE_USB_VID, DEVICE_USB_PID);
            const CSysfsPortSource source(tree.Root(), DEV_ROOT);
            CommPortList before = {};
            const int32_t foundBefore = source.ScanUsbPorts(DEVICE_USB_VID, DEVICE_USB_PID, before);
            int32_t last = 0;
            for (int i = 0, number = 1; number > 0; ++i) {
                number = RegisterCommPortPath(("/zrv-fake/fill" + std::to_string(i)).c_str());
                last = std::max(last, number);
            }
            tree.AddAcmTty("ttyACM1", DEVICE_USB_VID, DEVICE_USB_PID);
            CommPortList after = {};
            const int32_t foundAfter = source.ScanUsbPorts(DEVICE_USB_VID, DEVICE_USB_PID, after);
            const std::vector<std::string> names = TtyNames(after, foundAfter);
            char path[COMM_PATH_SIZE];
            std::fprintf(stderr, "found %d, then %d:%s; last number %d\n", foundBefore, foundAfter,
                         names.empty() ? "" : (" " + names.front()).c_str(), last);
            std::exit(foundBefore == 1 && names == std::vector<std::string>{"ttyACM0"} &&
                              after[0] == before[0] && last == MAX_COMM_PATHS &&
                              !GetCommPortPath(MAX_COMM_PATHS + 1, path)
                          ? 0
                          : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
