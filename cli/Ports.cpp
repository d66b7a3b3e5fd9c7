// The device's ports found now, by name; portable (naming and sources behind the ports seam).
#include "cli/Ports.h"

#include "portdetect/CommPortDetecter.h"

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
