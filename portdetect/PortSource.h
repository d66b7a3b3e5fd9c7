// Where the detector's two port lists come from, and what identifies the USB device behind each port; the
// seam between the detector and the platform (the registry on Windows, sysfs on POSIX:
// PortSource_win32.cpp, PortSource_posix.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t MAX_COMM_PORTS = 256;

using CommPortList = int32_t[MAX_COMM_PORTS];

// What tells one USB device behind a port from another.
struct UsbPortInfo {
    int32_t Port = 0; // the port number, as the scans give it
    uint16_t Vid = 0;
    uint16_t Pid = 0;
    std::string Serial;   // the device's USB serial number; empty when it has none
    std::string Location; // where the system shows the device: its sysfs directory, or its instance ID
};

class CPortSource {
public:
    virtual ~CPortSource() = default;

    // The port numbers given to the instances of USB interface `vid`/`pid`, in enumeration order;
    // returns how many were stored (at most MAX_COMM_PORTS).
    virtual int32_t ScanUsbPorts(uint16_t vid, uint16_t pid, CommPortList& ports) const = 0;

    // The port numbers that the system lists as serial ports now, in its order; returns the count.
    virtual int32_t ScanSystemPorts(CommPortList& ports) const = 0;

    // The ports of ScanUsbPorts, in its order, each with what identifies its USB device.
    virtual std::vector<UsbPortInfo> DescribeUsbPorts(uint16_t vid, uint16_t pid) const = 0;
};

// This platform's ports: COM numbers from the registry on Windows; on POSIX, the numbers of portkit's
// path table for the USB serial ttys below /sys, as /dev paths.
const CPortSource& SystemPortSource();
