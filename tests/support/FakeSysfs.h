// A sysfs tree in a temporary directory, laid out as the kernel lays out ttys; for the tests and the
// benchmark of the POSIX port source, and the command line's detection in its tests. Portable C++, used
// on Linux only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class CFakeSysfs {
public:
    CFakeSysfs();
    ~CFakeSysfs();
    CFakeSysfs(const CFakeSysfs&) = delete;
    CFakeSysfs& operator=(const CFakeSysfs&) = delete;

    // Stands for /sys.
    const std::string& Root() const { return m_root; }

    // A CDC ACM tty: its device is the USB interface; the USB device (idVendor, idProduct and, when not
    // empty, serial) is its parent.
    void AddAcmTty(const std::string& name, uint16_t vid, uint16_t pid, const std::string& serial = "");
    // A vendor driver's tty: its device is a port below the interface; the USB device is two levels up.
    void AddVendorTty(const std::string& name, uint16_t vid, uint16_t pid, const std::string& serial = "");
    // A CDC ACM tty whose USB device holds these texts as idVendor and idProduct.
    void AddAcmTtyWithIdTexts(const std::string& name, const std::string& vendor, const std::string& product,
                              const std::string& serial = "");
    // An on-board serial port: a device, but no USB device above it.
    void AddPlatformTty(const std::string& name);
    // A tty without a device, as a virtual console.
    void AddVirtualTty(const std::string& name);
    // The tty's class entry goes, as when its device is unplugged.
    void RemoveTty(const std::string& name);

    // The directory of the USB device of tty `name`, below Root(), as it was made.
    std::string UsbDevicePath(const std::string& name) const { return m_root + "/" + m_usbDeviceOf.at(name); }

private:
    std::string AddUsbDevice(const std::string& tty, const std::string& vendor, const std::string& product,
                             const std::string& serial);
    void AddTty(const std::string& name, const std::string& ttyDirectory, const std::string& deviceLink);

    std::string m_root;
    int m_usbDevices = 0;
    std::map<std::string, std::string> m_usbDeviceOf; // tty name -> USB device directory below root
};
