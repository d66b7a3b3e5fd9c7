// A fake sysfs tree for the tests and the benchmark that detect ports on Linux.
#include "FakeSysfs.h"

#include "TestFiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* USB_BUS = "devices/pci0000:00/0000:00:14.0/usb1";

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

std::string IdText(uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x\n", static_cast<unsigned>(id));
    return text;
}

} // namespace

CFakeSysfs::CFakeSysfs() : m_root(TempFilePath("sysfs")) {
    fs::create_directories(fs::path(m_root) / "class/tty");
    // The root hub has IDs of its own: a scan must stop at the nearest USB device.
    fs::create_directories(fs::path(m_root) / USB_BUS);
    WriteText(fs::path(m_root) / USB_BUS / "idVendor", "1d6b\n");
    WriteText(fs::path(m_root) / USB_BUS / "idProduct", "0002\n");
}

CFakeSysfs::~CFakeSysfs() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

// A USB device on its own port of the bus, with one interface, for tty `tty`; returns the interface's
// path below root.
std::string CFakeSysfs::AddUsbDevice(const std::string& tty, const std::string& vendor,
                                     const std::string& product, const std::string& serial) {
    const std::string device = std::string(USB_BUS) + "/1-" + std::to_string(++m_usbDevices);
    const std::string interface = device + "/1-" + std::to_string(m_usbDevices) + ":1.0";
    fs::create_directories(fs::path(m_root) / interface);
    WriteText(fs::path(m_root) / device / "idVendor", vendor);
    WriteText(fs::path(m_root) / device / "idProduct", product);
    if (!serial.empty()) {
        WriteText(fs::path(m_root) / device / "serial", serial + "\n");
    }
    m_usbDeviceOf[tty] = device;
    return interface;
}

// The tty's own directory, its `device` link, and class/tty/<name> leading to it, all relative as in sysfs.
void CFakeSysfs::AddTty(const std::string& name, const std::string& ttyDirectory,
                        const std::string& deviceLink) {
    const fs::path tty = fs::path(m_root) / ttyDirectory;
    fs::create_directories(tty);
    if (!deviceLink.empty()) {
        fs::create_directory_symlink(deviceLink, tty / "device");
    }
    fs::create_directory_symlink(fs::path("../..") / ttyDirectory, fs::path(m_root) / "class/tty" / name);
}

void CFakeSysfs::AddAcmTtyWithIdTexts(const std::string& name, const std::string& vendor,
                                      const std::string& product, const std::string& serial) {
    const std::string interface = AddUsbDevice(name, vendor, product, serial);
    AddTty(name, interface + "/tty/" + name, "../../../" + fs::path(interface).filename().string());
}

void CFakeSysfs::AddAcmTty(const std::string& name, uint16_t vid, uint16_t pid, const std::string& serial) {
    AddAcmTtyWithIdTexts(name, IdText(vid), IdText(pid), serial);
}

void CFakeSysfs::AddVendorTty(const std::string& name, uint16_t vid, uint16_t pid,
                              const std::string& serial) {
    const std::string port = AddUsbDevice(name, IdText(vid), IdText(pid), serial) + "/" + name;
    AddTty(name, port + "/tty/" + name, "../../../" + name);
}

void CFakeSysfs::AddPlatformTty(const std::string& name) {
    AddTty(name, "devices/platform/serial8250/tty/" + name, "../../../serial8250");
}

void CFakeSysfs::AddVirtualTty(const std::string& name) {
    AddTty(name, "devices/virtual/tty/" + name, "");
}

void CFakeSysfs::RemoveTty(const std::string& name) {
    fs::remove(fs::path(m_root) / "class/tty" / name);
}
