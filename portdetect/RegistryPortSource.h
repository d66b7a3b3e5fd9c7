// The USB scan and the system scan over a registry: COM numbers from the "PortName" of each USB device
// instance and from the serial-port map; portable (any CRegistry).
#pragma once

#include "portdetect/PortSource.h"
#include "portdetect/Registry.h"

class CRegistryPortSource : public CPortSource {
public:
    explicit CRegistryPortSource(const CRegistry& registry) : m_registry(registry) {}

    int32_t ScanUsbPorts(uint16_t vid, uint16_t pid, CommPortList& ports) const override;
    int32_t ScanSystemPorts(CommPortList& ports) const override;

private:
    void AddInstancePort(const char* devicePath, const char* instance, CommPortList& ports,
                         int32_t* count) const;

    const CRegistry& m_registry;
};
