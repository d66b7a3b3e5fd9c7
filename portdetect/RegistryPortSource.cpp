// The USB scan and the system scan over a registry, and the USB instances behind the ports; portable (any
// CRegistry).
#include "portdetect/RegistryPortSource.h"

#include "core/TextParse.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t KEY_PATH_SIZE = 512;
// Where the system keeps its device instances, by enumerator: an instance ID is the path below it.
constexpr char ENUM_PATH[] = "SYSTEM\\CurrentControlSet\\Enum\\";

// One value's data with a byte beyond the room the registry may fill, so that the text can always be
// terminated: a value of REGISTRY_DATA_SIZE bytes need not carry its own terminator.
struct ValueData {
    uint32_t Type = 0;
    uint32_t Size = REGISTRY_DATA_SIZE;
    char Text[REGISTRY_DATA_SIZE + 1];

    void Terminate() { Text[Size < REGISTRY_DATA_SIZE ? Size : REGISTRY_DATA_SIZE] = '\0'; }
};

// "COM" in upper case and a decimal number from 1 up, nothing else: a sign, blanks, trailing text or a
// number too large for 32 bits would name some other port.
bool ParseComPortName(const char* text, int32_t* number) {
    int32_t value = 0;
    if (std::strncmp(text, "COM", 3) != 0 || !ParseDecimal(text + 3, std::strlen(text + 3), &value) ||
        value < 1) {
        return false;
    }
    *number = value;
    return true;
}

bool ComPortOf(ValueData& value, int32_t* number) {
    value.Terminate();
    return value.Type == REGISTRY_TYPE_SZ && ParseComPortName(value.Text, number);
}

// The COM number in the "PortName" of instance `instance` below `devicePath`; false when it has none.
bool InstancePort(const CRegistry& registry, const char* devicePath, const char* instance, int32_t* number) {
    char path[KEY_PATH_SIZE];
    const int length = std::snprintf(path, sizeof path, "%s\\%s\\Device Parameters", devicePath, instance);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) {
        return false;
    }
    const CRegistryKey parameters(registry, path);
    ValueData value;
    return parameters.IsOpen() &&
           registry.QueryValue(parameters.Get(), "PortName", &value.Type, value.Text, &value.Size) ==
               ERegistryStatus::Ok &&
           ComPortOf(value, number);
}

// Calls visit(devicePath, instance, number) for each instance of USB interface `vid`/`pid` that names a
// COM port, in enumeration order, for as long as it returns true.
template <typename Visit>
void ForEachInstancePort(const CRegistry& registry, uint16_t vid, uint16_t pid, Visit visit) {
    char devicePath[KEY_PATH_SIZE];
    std::snprintf(devicePath, sizeof devicePath, "%sUSB\\VID_%04X&PID_%04X", ENUM_PATH,
                  static_cast<unsigned>(vid), static_cast<unsigned>(pid));
    const CRegistryKey device(registry, devicePath);
    char instance[REGISTRY_NAME_SIZE];
    for (uint32_t index = 0; device.IsOpen(); ++index) {
        const ERegistryStatus status = registry.EnumKey(device.Get(), index, instance, sizeof instance);
        int32_t number = 0;
        if (status == ERegistryStatus::Ok) {
            instance[sizeof instance - 1] = '\0';
            if (InstancePort(registry, devicePath, instance, &number) &&
                !visit(devicePath, instance, number)) {
                break;
            }
        } else if (status != ERegistryStatus::MoreData) {
            break; // no more instances, or an enumeration that cannot go on
        }
    }
}

} // namespace

int32_t CRegistryPortSource::ScanUsbPorts(uint16_t vid, uint16_t pid, CommPortList& ports) const {
    int32_t count = 0;
    ForEachInstancePort(m_registry, vid, pid, [&](const char*, const char*, int32_t number) {
        ports[count++] = number;
        return count < MAX_COMM_PORTS;
    });
    return count;
}

std::vector<UsbPortInfo> CRegistryPortSource::DescribeUsbPorts(uint16_t vid, uint16_t pid) const {
    std::vector<UsbPortInfo> described;
    ForEachInstancePort(
        m_registry, vid, pid, [&](const char* devicePath, const char* instance, int32_t number) {
            UsbPortInfo info;
            info.Port = number;
            info.Vid = vid;
            info.Pid = pid;
            info.Serial = std::strchr(instance, '&') == nullptr ? instance : "";
            info.Location = std::string(devicePath + std::strlen(ENUM_PATH)) + "\\" + instance;
            described.push_back(std::move(info));
            return described.size() < static_cast<std::size_t>(MAX_COMM_PORTS);
        });
    return described;
}

int32_t CRegistryPortSource::ScanSystemPorts(CommPortList& ports) const {
    const CRegistryKey map(m_registry, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
    int32_t count = 0;
    char name[REGISTRY_NAME_SIZE];
    for (uint32_t index = 0; map.IsOpen() && count < MAX_COMM_PORTS; ++index) {
        ValueData value;
        const ERegistryStatus status =
            m_registry.EnumValue(map.Get(), index, name, sizeof name, &value.Type, value.Text, &value.Size);
        if (status == ERegistryStatus::MoreData) {
            continue; // longer than any port name
        }
        // The map ends at its first value that is not a string.
        if (status != ERegistryStatus::Ok || value.Type != REGISTRY_TYPE_SZ) {
            break;
        }
        int32_t number = 0;
        if (ComPortOf(value, &number)) {
            ports[count++] = number;
        }
    }
    return count;
}
