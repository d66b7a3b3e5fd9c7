// Where the detector's two port lists come from; the seam between the detector and the platform (the
// registry on Windows, sysfs on POSIX: PortSource_win32.cpp, PortSource_posix.cpp).
#pragma once

#include <cstdint>

constexpr int32_t MAX_COMM_PORTS = 256;

using CommPortList = int32_t[MAX_COMM_PORTS];

class CPortSource {
public:
    virtual ~CPortSource() = default;

    // The port numbers given to the instances of USB interface `vid`/`pid`, in enumeration order;
    // returns how many were stored (at most MAX_COMM_PORTS).
    virtual int32_t ScanUsbPorts(uint16_t vid, uint16_t pid, CommPortList& ports) const = 0;

    // The port numbers that the system lists as serial ports now, in its order; returns the count.
    virtual int32_t ScanSystemPorts(CommPortList& ports) const = 0;
};

// This platform's ports: COM numbers from the registry on Windows; on POSIX, the numbers of portkit's
// path table for the USB serial ttys below /sys, as /dev paths.
const CPortSource& SystemPortSource();
