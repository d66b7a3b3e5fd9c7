// The USB scan and the system scan over a registry: COM numbers from the "PortName" of each USB device
// instance and from the serial-port map, and the instances' IDs; portable (any CRegistry).
#pragma once

#include "portdetect/PortSource.h"
#include "portdetect/Registry.h"

class CRegistryPortSource : public CPortSource {
public:
    explicit CRegistryPortSource(const CRegistry& registry) : m_registry(registry) {}

    int32_t ScanUsbPorts(uint16_t vid, uint16_t pid, CommPortList& ports) const override;
    int32_t ScanSystemPorts(CommPortList& ports) const override;
    // Location is the device instance ID ("USB\VID_FE5A&PID_0016\ZRV0012"); its last part is the
    // serial number, unless the system made it up for a device without one (then it holds '&').
    std::vector<UsbPortInfo> DescribeUsbPorts(uint16_t vid, uint16_t pid) const override;

private:
    const CRegistry& m_registry;
};
