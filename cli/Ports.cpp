// The device's ports found now, by name, and names that stand for one port; portable (naming and
// sources behind the ports seam).
#include "cli/Ports.h"

#include "portdetect/CommPortDetecter.h"

#include <algorithm>

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

} // namespace

std::vector<std::string> DetectPortNames() {
    CCommPortDetecter detecter;
    detecter.Init();
    detecter.Detect(CliPortSource(), DEVICE_USB_VID, DEVICE_USB_PID);
    std::vector<std::string> names;
    for (int32_t i = 0; i < detecter.GetPortCount(); ++i) {
        names.push_back(PortNameOf(detecter.GetPort(i)));
    }
    return names;
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
