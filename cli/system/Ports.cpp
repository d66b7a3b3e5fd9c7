// The device's ports found now, by name, and names that stand for one port; portable (naming and
// sources behind the ports seam).
#include "cli/system/Ports.h"

#include "core/TextParse.h"
#include "portdetect/CommPortDetecter.h"

#include <algorithm>
#include <cstdio>

namespace {

// For each port, the index of the first port that names the same one (its own index for a first).
std::vector<std::size_t> FirstOfSamePort(const std::vector<std::string>& ports) {
    std::vector<std::string> identities;
    std::vector<std::size_t> firsts;
    for (const std::string& port : ports) {
        identities.push_back(PortIdentity(port));
        const auto first = std::find(identities.begin(), identities.end(), identities.back());
        firsts.push_back(static_cast<std::size_t>(first - identities.begin()));
    }
    return firsts;
}

// A field of a record's line: "-" for nothing, and no character that would end the field or the line.
std::string Field(const std::string& text) {
    return text.empty() ? "-" : PrintableLine(text);
}

std::vector<int32_t> DetectPorts() {
    CCommPortDetecter detecter;
    detecter.Init();
    detecter.Detect(CliPortSource(), DEVICE_USB_VID, DEVICE_USB_PID);
    std::vector<int32_t> ports;
    for (int32_t i = 0; i < detecter.GetPortCount(); ++i) {
        ports.push_back(detecter.GetPort(i));
    }
    return ports;
}

} // namespace

std::vector<std::string> DetectPortNames() {
    std::vector<std::string> names;
    for (const int32_t port : DetectPorts()) {
        names.push_back(PortNameOf(port));
    }
    return names;
}

std::vector<PortRecord> DetectPortRecords() {
    const std::vector<int32_t> ports = DetectPorts();
    const std::vector<UsbPortInfo> described =
        CliPortSource().DescribeUsbPorts(DEVICE_USB_VID, DEVICE_USB_PID);
    std::vector<PortRecord> records;
    for (const int32_t port : ports) {
        const auto info = std::find_if(described.begin(), described.end(),
                                       [port](const UsbPortInfo& usb) { return usb.Port == port; });
        // A device unplugged between the two scans: detection found it by these IDs.
        const UsbPortInfo usb =
            info != described.end() ? *info : UsbPortInfo{port, DEVICE_USB_VID, DEVICE_USB_PID, "", ""};
        records.push_back(PortRecord{PortNameOf(port), usb});
    }
    return records;
}

std::string FormatPortRecord(const PortRecord& record) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", static_cast<unsigned>(record.Usb.Vid),
                  static_cast<unsigned>(record.Usb.Pid));
    return Field(record.Name) + "\t" + ids + "\t" + Field(record.Usb.Serial) + "\t" +
           Field(record.Usb.Location);
}

bool FindSamePort(const std::vector<std::string>& ports, std::string* first, std::string* second) {
    const std::vector<std::size_t> firsts = FirstOfSamePort(ports);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (firsts[i] != i) {
            *first = ports[firsts[i]];
            *second = ports[i];
            return true;
        }
    }
    return false;
}

std::vector<std::string> WithoutSamePorts(const std::vector<std::string>& ports) {
    const std::vector<std::size_t> firsts = FirstOfSamePort(ports);
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (firsts[i] == i) {
            kept.push_back(ports[i]);
        }
    }
    return kept;
}
