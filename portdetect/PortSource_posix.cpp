// The detector's port lists on POSIX: USB serial ttys found below /sys/class/tty, their /dev paths put
// into portkit's path table, and their USB devices' serial numbers and directories. The POSIX side of
// the port-source seam.
#include "portdetect/SysfsPortSource.h"

#include "core/TextParse.h"
#include "platform/FdOwner.h"
#include "portkit/CommPortPaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// How many levels above a tty's device its USB device may sit: one for a CDC ACM tty (the device is
// the interface), two for a vendor driver's (the device is a port below the interface).
constexpr int USB_DEVICE_LEVELS = 3;
constexpr std::size_t SYSFS_PATH_SIZE = 512;

// The most of a serial number that is read: a USB string descriptor holds at most 126 UTF-16 units,
// which sysfs writes as at most 378 bytes of UTF-8.
constexpr std::size_t SERIAL_SIZE = 384;

// Exactly four hexadecimal digits, then at most a line end, as sysfs writes idVendor and idProduct.
bool ParseUsbId(const char* text, std::size_t length, uint16_t* id) {
    if (length < 4 || length > 5 || (length == 5 && text[4] != '\n')) {
        return false;
    }
    unsigned value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    *id = static_cast<uint16_t>(value);
    return true;
}

bool ReadUsbId(const CFd& file, uint16_t* id) {
    char text[8];
    const ssize_t got = file.IsOpen() ? read(file.Get(), text, sizeof text) : -1;
    return got > 0 && ParseUsbId(text, static_cast<std::size_t>(got), id);
}

struct UsbTty {
    std::string Name;
    uint16_t Vid = 0;
    uint16_t Pid = 0;
    std::string UsbDevice; // the USB device's directory, relative to the tty class: "NAME/device/../"
};

// The IDs of the USB device nearest above the device of tty `name`; false for a tty without a device
// (virtual consoles), without a USB device above it (on-board serial ports), or whose IDs do not read.
bool FindUsbIds(int ttyClass, const char* name, UsbTty* tty) {
    char path[SYSFS_PATH_SIZE];
    const int length = std::snprintf(path, sizeof path, "%s/device", name);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) {
        return false;
    }
    // ".." below an opened directory climbs the real tree, not back through the links that led there.
    const CFd device(openat(ttyClass, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    char up[3 * USB_DEVICE_LEVELS + 1] = "";
    for (int level = 1; device.IsOpen() && level <= USB_DEVICE_LEVELS; ++level) {
        std::strcat(up, "../");
        std::snprintf(path, sizeof path, "%sidVendor", up);
        const CFd vendor(openat(device.Get(), path, O_RDONLY | O_CLOEXEC));
        if (vendor.IsOpen()) {
            std::snprintf(path, sizeof path, "%sidProduct", up);
            const CFd product(openat(device.Get(), path, O_RDONLY | O_CLOEXEC));
            tty->UsbDevice = std::string(name) + "/device/" + up;
            return ReadUsbId(vendor, &tty->Vid) && ReadUsbId(product, &tty->Pid);
        }
    }
    return false;
}

// ttyACM2 before ttyACM10: names by their letters first, then by the value of their trailing number.
bool TtyNameLess(const UsbTty& a, const UsbTty& b) {
    const std::size_t stemA = a.Name.find_last_not_of("0123456789") + 1;
    const std::size_t stemB = b.Name.find_last_not_of("0123456789") + 1;
    const int stems = a.Name.compare(0, stemA, b.Name, 0, stemB);
    if (stems != 0) {
        return stems < 0;
    }
    const std::size_t digitsA = a.Name.size() - stemA;
    const std::size_t digitsB = b.Name.size() - stemB;
    return digitsA != digitsB ? digitsA < digitsB
                              : a.Name.compare(stemA, digitsA, b.Name, stemB, digitsB) < 0;
}

// The first line of the file at `path`, without its line end; empty when there is none.
std::string ReadLine(const std::string& path) {
    const CFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    char text[SERIAL_SIZE];
    const ssize_t got = file.IsOpen() ? read(file.Get(), text, sizeof text) : -1;
    std::string line(text, got > 0 ? static_cast<std::size_t>(got) : 0);
    return line.substr(0, line.find('\n'));
}

std::string ResolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The ttys below `ttyClass` of any USB device, or of the one with these IDs, in name order.
std::vector<UsbTty> FindTtys(const std::string& ttyClassPath, bool anyDevice, uint16_t vid, uint16_t pid) {
    const CDirStream ttyClass(ttyClassPath.c_str());
    std::vector<UsbTty> ttys;
    while (const dirent* entry = ttyClass.Get() != nullptr ? readdir(ttyClass.Get()) : nullptr) {
        UsbTty tty;
        if (entry->d_name[0] != '.' && FindUsbIds(dirfd(ttyClass.Get()), entry->d_name, &tty) &&
            (anyDevice || (tty.Vid == vid && tty.Pid == pid))) {
            tty.Name = entry->d_name;
            ttys.push_back(std::move(tty));
        }
    }
    std::sort(ttys.begin(), ttys.end(), TtyNameLess);
    return ttys;
}

// The tty's number in portkit's path table; 0 when its /dev path does not fit or the table is full.
int32_t NumberOf(const std::string& devRoot, const UsbTty& tty) {
    char path[COMM_PATH_SIZE];
    const int length = std::snprintf(path, sizeof path, "%s/%s", devRoot.c_str(), tty.Name.c_str());
    const int32_t number =
        length > 0 && static_cast<std::size_t>(length) < sizeof path ? RegisterCommPortPath(path) : -1;
    return number > 0 ? number : 0;
}

} // namespace

CSysfsPortSource::CSysfsPortSource(std::string sysRoot, std::string devRoot)
    : m_ttyClass(std::move(sysRoot) + "/class/tty"), m_devRoot(std::move(devRoot)) {}

int32_t CSysfsPortSource::ScanUsbPorts(uint16_t vid, uint16_t pid, CommPortList& ports) const {
    return Scan(false, vid, pid, ports);
}

int32_t CSysfsPortSource::ScanSystemPorts(CommPortList& ports) const {
    return Scan(true, 0, 0, ports);
}

int32_t CSysfsPortSource::Scan(bool anyDevice, uint16_t vid, uint16_t pid, CommPortList& ports) const {
    int32_t count = 0;
    for (const UsbTty& tty : FindTtys(m_ttyClass, anyDevice, vid, pid)) {
        const int32_t number = count < MAX_COMM_PORTS ? NumberOf(m_devRoot, tty) : 0;
        if (number > 0) {
            ports[count++] = number;
        }
    }
    return count;
}

std::vector<UsbPortInfo> CSysfsPortSource::DescribeUsbPorts(uint16_t vid, uint16_t pid) const {
    std::vector<UsbPortInfo> described;
    for (const UsbTty& tty : FindTtys(m_ttyClass, false, vid, pid)) {
        UsbPortInfo info;
        info.Port = NumberOf(m_devRoot, tty);
        info.Vid = tty.Vid;
        info.Pid = tty.Pid;
        info.Serial = ReadLine(m_ttyClass + "/" + tty.UsbDevice + "serial");
        info.Location = ResolvedPath(m_ttyClass + "/" + tty.UsbDevice);
        if (info.Port > 0 && described.size() < static_cast<std::size_t>(MAX_COMM_PORTS)) {
            described.push_back(std::move(info));
        }
    }
    return described;
}

const CPortSource& SystemPortSource() {
    static const CSysfsPortSource source("/sys", "/dev");
    return source;
}
