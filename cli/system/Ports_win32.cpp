// Device ports on Windows: COMn names, found in the registry. The Win32 side of the ports seam.
#include "cli/system/Ports.h"

#include "cli/system/WindowsSyntax.h"

bool ResolvePort(const std::string& name, int32_t* number) {
    return ParseComPortName(name, number);
}

std::string PortNameOf(int32_t number) {
    return "COM" + std::to_string(number);
}

// COM7, com7 and \\.\COM7 are one port; a name that is no COM port can only stand for itself.
std::string PortIdentity(const std::string& name) {
    int32_t number = 0;
    return ParseComPortName(name, &number) ? PortNameOf(number) : name;
}

bool PortIsPresent(const std::string& name) {
    int32_t number = 0;
    CommPortList listed;
    const int32_t count = ParseComPortName(name, &number) ? CliPortSource().ScanSystemPorts(listed) : 0;
    for (int32_t i = 0; i < count; ++i) {
        if (listed[i] == number) {
            return true;
        }
    }
    return false;
}

const CPortSource& CliPortSource() {
    return SystemPortSource();
}

std::vector<std::string> DetectionFolders() {
    return {};
}
