// CCommPortDetecter over the registry scans, on an in-memory registry.
#include "MemoryRegistry.h"
#include "portdetect/CommPortDetecter.h"
#include "portdetect/RegistryPortSource.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string DEVICE_KEY = "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_FE5A&PID_0016";
const std::string SERIAL_MAP = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr uint32_t TYPE_EXPAND_SZ = 2;
constexpr uint32_t TYPE_DWORD = 4;

void AddInstance(CMemoryRegistry& registry, const std::string& instance, const std::string& portName) {
    registry.SetString(DEVICE_KEY + "\\" + instance + "\\Device Parameters", "PortName", portName);
}

void ListPorts(CMemoryRegistry& registry, const std::vector<std::string>& names) {
    static int serial = 0; // value names only need to differ
    for (const std::string& name : names) {
        registry.SetString(SERIAL_MAP, "\\Device\\Serial" + std::to_string(serial++), name);
    }
}

// One detector for every call: each Detect replaces what the last one found, and no index outside the
// result gives a port.
std::vector<int32_t> Detect(const CMemoryRegistry& registry) {
    static CCommPortDetecter detecter;
    detecter.Detect(CRegistryPortSource(registry), DEVICE_USB_VID, DEVICE_USB_PID);
    EXPECT_EQ(0, registry.OpenKeys()) << "a key was left open";
    for (int32_t outside : {-1, detecter.GetPortCount(), MAX_COMM_PORTS, INT_MAX}) {
        EXPECT_EQ(0, detecter.GetPort(outside)) << outside;
    }
    std::vector<int32_t> ports;
    for (int32_t i = 0; i < detecter.GetPortCount(); ++i) {
        ports.push_back(detecter.GetPort(i));
    }
    return ports;
}

// Instance a's PortName of any type and bytes; `listed`: the same value in the serial map too.
void SetRawPortName(CMemoryRegistry& registry, uint32_t type, const std::string& bytes, bool listed = false) {
    registry.SetValue(DEVICE_KEY + "\\a\\Device Parameters", "PortName", type, bytes);
    if (listed) {
        registry.SetValue(SERIAL_MAP, "\\Device\\Long", type, bytes);
    }
}

// "COM" and zeros up to exactly `size` bytes, then the digit 7: a name of port 7 with no room for a
// terminator.
std::string PaddedCom7(std::size_t size) {
    return "COM" + std::string(size - 4, '0') + "7";
}

struct DetectCase {
    const char* Name;
    std::vector<std::pair<std::string, std::string>> Instances; // instance, its PortName
    std::vector<std::string> Listed;                            // in the serial map, in order
    std::vector<int32_t> Expected;
    std::function<void(CMemoryRegistry&)> More = nullptr; // values of other types and sizes, then
};

// Unplugged instances and other devices' ports stay out of the result; the Wine tier shows that on the
// system's registry.
const DetectCase DETECT_CASES[] = {
    {"TwoDevicesInTheSystemsOrder", {{"a", "COM4"}, {"b", "COM7"}}, {"COM7", "COM1", "COM4"}, {7, 4}},
    {"NoSerialMap", {{"a", "COM3"}}, {}, {}},
    {"ValueNotStringEndsTheSerialMap",
     {{"a", "COM3"}, {"b", "COM4"}},
     {"COM3"},
     {3},
     [](CMemoryRegistry& r) {
         r.SetValue(SERIAL_MAP, "Count", TYPE_DWORD, std::string("\x02\0\0\0", 4));
         ListPorts(r, {"COM4"});
     }},
    {"PortNameNotStringOrMissingSkipsOnlyThatInstance",
     {{"d", "COM4"}},
     {"COM3", "COM4"},
     {4},
     [](CMemoryRegistry& r) {
         SetRawPortName(r, TYPE_EXPAND_SZ, std::string("COM3", 5));
         r.AddKey(DEVICE_KEY + "\\b");
         r.AddKey(DEVICE_KEY + "\\c\\Device Parameters");
     }},
    {"TextEndsAtItsTerminator",
     {},
     {"COM7"},
     {7},
     [](CMemoryRegistry& r) { SetRawPortName(r, REGISTRY_TYPE_SZ, std::string("COM7\0x9", 7)); }},
    {"FullSizeValueWithoutTerminatorIsReadWithinItsBytes",
     {},
     {},
     {7},
     [](CMemoryRegistry& r) { SetRawPortName(r, REGISTRY_TYPE_SZ, PaddedCom7(REGISTRY_DATA_SIZE), true); }},
    {"ValueLargerThanTheRoomIsSkipped", {{"b", "COM4"}}, {"COM7", "COM4"}, {4}, [](CMemoryRegistry& r) {
         SetRawPortName(r, REGISTRY_TYPE_SZ, PaddedCom7(REGISTRY_DATA_SIZE + 1), true);
     }}};

class DetectTable : public testing::TestWithParam<DetectCase> {};

TEST_P(DetectTable, FindsThePortsOfTheDeviceThatAreListedNow) {
    CMemoryRegistry registry;
    for (const auto& instance : GetParam().Instances) {
        AddInstance(registry, instance.first, instance.second);
    }
    ListPorts(registry, GetParam().Listed);
    if (GetParam().More) {
        GetParam().More(registry);
    }
    EXPECT_EQ(GetParam().Expected, Detect(registry));
}

INSTANTIATE_TEST_SUITE_P(CCommPortDetecter, DetectTable, testing::ValuesIn(DETECT_CASES),
                         [](const testing::TestParamInfo<DetectCase>& test) { return test.param.Name; });

// Each name once as the device's port and once in the serial map, beside a sound COM3 on the other side
// and itself on both: a name taken for any number shows.
TEST(CCommPortDetecter, NamesOtherThanComAndANumberAreNeverReported) {
    for (const char* name : {"com3", "LPT3", "COM", "COM3x", "COM-3", "COM+3", "COM 3", " COM3", "COM0",
                             "COM2147483648", "COM99999999999999999999"}) {
        CMemoryRegistry usbSide;
        AddInstance(usbSide, "a", name);
        ListPorts(usbSide, {"COM3", "COM2147483647", name});
        EXPECT_TRUE(Detect(usbSide).empty()) << name;

        CMemoryRegistry systemSide;
        AddInstance(systemSide, "a", "COM3");
        AddInstance(systemSide, "b", name);
        ListPorts(systemSide, {name});
        EXPECT_TRUE(Detect(systemSide).empty()) << name;
    }
}

TEST(CCommPortDetecter, EveryListStopsAt256) {
    CMemoryRegistry many;
    std::vector<int32_t> first256;
    for (int port = 1; port <= 300; ++port) {
        AddInstance(many, std::to_string(port), "COM" + std::to_string(port));
        ListPorts(many, {"COM" + std::to_string(port)});
        if (port <= MAX_COMM_PORTS) {
            first256.push_back(port);
        }
    }
    EXPECT_EQ(first256, Detect(many));

    CMemoryRegistry repeated;
    AddInstance(repeated, "a", "COM1");
    ListPorts(repeated, std::vector<std::string>(300, "COM1"));
    EXPECT_EQ(std::vector<int32_t>(MAX_COMM_PORTS, 1), Detect(repeated));
}

// The instance ID's last part is the serial number, unless the system made it up ('&' in it); the Wine
// tier lists a real one. An instance without a port name is no port.
TEST(CRegistryPortSource, SerialNumberThatTheSystemMadeUpIsNone) {
    CMemoryRegistry registry;
    AddInstance(registry, "5&2C1E4D7&0&1", "COM7");
    registry.AddKey(DEVICE_KEY + "\\NOPORT\\Device Parameters");
    const std::vector<UsbPortInfo> described =
        CRegistryPortSource(registry).DescribeUsbPorts(DEVICE_USB_VID, DEVICE_USB_PID);
    EXPECT_EQ(0, registry.OpenKeys()) << "a key was left open";
    ASSERT_EQ(1u, described.size());
    EXPECT_EQ(7, described[0].Port);
    EXPECT_EQ("", described[0].Serial);
    EXPECT_EQ("USB\\VID_FE5A&PID_0016\\5&2C1E4D7&0&1", described[0].Location);
}

} // namespace
