// The detector's port lists from sysfs: the ttys of USB devices, named by their /dev paths and numbered
// by portkit's path table, and what identifies their USB devices. The POSIX side of the port-source seam
// (built in PortSource_posix.cpp).
#pragma once

#include "portdetect/PortSource.h"

#include <string>
#include <vector>

class CSysfsPortSource : public CPortSource {
public:
    // `sysRoot` stands for /sys and `devRoot` for /dev, so that tests can scan trees of their own.
    CSysfsPortSource(std::string sysRoot, std::string devRoot);

    // The ttys whose USB device has these IDs, in name order (ttyACM2 before ttyACM10).
    int32_t ScanUsbPorts(uint16_t vid, uint16_t pid, CommPortList& ports) const override;
    // The ttys of any USB device present now, in name order. Ttys without a USB device cannot belong to
    // the device's interface, so they are left out rather than given numbers of the path table.
    int32_t ScanSystemPorts(CommPortList& ports) const override;
    // The ttys of ScanUsbPorts with the serial number ("serial", without its line end) and the resolved
    // path of their USB device's directory.
    std::vector<UsbPortInfo> DescribeUsbPorts(uint16_t vid, uint16_t pid) const override;

private:
    int32_t Scan(bool anyDevice, uint16_t vid, uint16_t pid, CommPortList& ports) const;

    std::string m_ttyClass;
    std::string m_devRoot;
};
