// CCommPortDetecter: the intersection of the two port lists; portable.
#include "portdetect/CommPortDetecter.h"

namespace {

bool Contains(const CommPortList& ports, int32_t count, int32_t port) {
    for (int32_t i = 0; i < count; ++i) {
        if (ports[i] == port) {
            return true;
        }
    }
    return false;
}

// A source's count as a number of entries of its list.
int32_t Bounded(int32_t count) {
    return count < 0 ? 0 : count > MAX_COMM_PORTS ? MAX_COMM_PORTS : count;
}

} // namespace

bool CCommPortDetecter::Init() {
    return true;
}

void CCommPortDetecter::Detect(uint16_t vid, uint16_t pid) {
    Detect(SystemPortSource(), vid, pid);
}

void CCommPortDetecter::Detect(const CPortSource& source, uint16_t vid, uint16_t pid) {
    VendorId = vid;
    ProductId = pid;
    UsbPortCount = Bounded(source.ScanUsbPorts(vid, pid, UsbPorts));
    SystemPortCount = Bounded(source.ScanSystemPorts(SystemPorts));
    // The system's order decides which port comes first; a port it lists twice is reported twice.
    PortCount = 0;
    for (int32_t i = 0; i < SystemPortCount && PortCount < MAX_COMM_PORTS; ++i) {
        if (Contains(UsbPorts, UsbPortCount, SystemPorts[i])) {
            Ports[PortCount++] = SystemPorts[i];
        }
    }
}

int32_t CCommPortDetecter::GetPort(int32_t index) const {
    return index >= 0 && index < PortCount ? Ports[index] : 0;
}
