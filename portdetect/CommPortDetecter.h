// CCommPortDetecter: the COM ports of the device's USB interface that are present now, as the port
// numbers found both below the interface's USB instances and in the system's list of serial ports;
// portable (the lists come through the CPortSource seam).
#pragma once

#include "portdetect/PortSource.h"

#include <cstdint>

// The device's USB serial interface.
constexpr uint16_t DEVICE_USB_VID = 0xFE5A;
constexpr uint16_t DEVICE_USB_PID = 0x0016;

class CCommPortDetecter {
public:
    CCommPortDetecter() = default;
    virtual ~CCommPortDetecter() = default;

    // Nothing to prepare; always true.
    bool Init();

    // Scans this system's ports again; the outcome is read with GetPortCount and GetPort.
    void Detect(uint16_t vid, uint16_t pid);
    // The same over any source of the two lists (tests and benchmarks).
    void Detect(const CPortSource& source, uint16_t vid, uint16_t pid);

    // Ports found by the last Detect, in the order of the system's list; 0 when the device is absent.
    int32_t GetPortCount() const { return PortCount; }
    // Entry `index` of the result, 0 to GetPortCount() - 1; 0 (no port) for any other index.
    int32_t GetPort(int32_t index) const;

private:
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    CommPortList UsbPorts = {};
    int32_t UsbPortCount = 0;
    CommPortList SystemPorts = {};
    int32_t SystemPortCount = 0;
    CommPortList Ports = {};
    int32_t PortCount = 0;
};
