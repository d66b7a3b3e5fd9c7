// Device ports on Windows: COMn names, found in the registry. The Win32 side of the ports seam.
#include "cli/Ports.h"

#include "cli/Win32Text.h"

bool ResolvePort(const std::string& name, int32_t* number) {
    return ParseComPortName(name, number);
}

std::string PortNameOf(int32_t number) {
    return "COM" + std::to_string(number);
}

const CPortSource& CliPortSource() {
    return SystemPortSource();
}
