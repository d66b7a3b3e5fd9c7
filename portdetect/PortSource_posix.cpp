// The detector's port lists on POSIX: USB serial ttys found below /sys/class/tty, their /dev paths put
// into portkit's path table. The POSIX side of the port-source seam.
#include "portdetect/SysfsPortSource.h"

#include "portkit/CommPortPaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// How many levels above a tty's device its USB device may sit: one for a CDC ACM tty (the device is
// the interface), two for a vendor driver's (the device is a port below the interface).
constexpr int USB_DEVICE_LEVELS = 3;
constexpr std::size_t SYSFS_PATH_SIZE = 512;

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    bool IsOpen() const { return m_fd >= 0; }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

class CDirectory {
public:
    explicit CDirectory(const char* path) : m_dir(opendir(path)) {}
    ~CDirectory() {
        if (m_dir != nullptr) {
            closedir(m_dir);
        }
    }
    CDirectory(const CDirectory&) = delete;
    CDirectory& operator=(const CDirectory&) = delete;
    DIR* Get() const { return m_dir; }

private:
    DIR* m_dir;
};

struct UsbTty {
    std::string Name;
    uint16_t Vid = 0;
    uint16_t Pid = 0;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

// Exactly four hexadecimal digits, then at most a line end, as sysfs writes idVendor and idProduct.
bool ParseUsbId(const char* text, std::size_t length, uint16_t* id) {
    if (length < 4 || length > 5 || (length == 5 && text[4] != '\n')) {
        return false;
    }
    unsigned value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    *id = static_cast<uint16_t>(value);
    return true;
}

bool ReadUsbId(const CFileDescriptor& file, uint16_t* id) {
    char text[8];
    const ssize_t got = file.IsOpen() ? read(file.Get(), text, sizeof text) : -1;
    return got > 0 && ParseUsbId(text, static_cast<std::size_t>(got), id);
}

// The IDs of the USB device nearest above the device of tty `name`; false for a tty without a device
// (virtual consoles), without a USB device above it (on-board serial ports), or whose IDs do not read.
bool FindUsbIds(int ttyClass, const char* name, UsbTty* tty) {
    char path[SYSFS_PATH_SIZE];
    const int length = std::snprintf(path, sizeof path, "%s/device", name);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) {
        return false;
    }
    // ".." below an opened directory climbs the real tree, not back through the links that led there.
    const CFileDescriptor device(openat(ttyClass, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    char up[3 * USB_DEVICE_LEVELS + 1] = "";
    for (int level = 1; device.IsOpen() && level <= USB_DEVICE_LEVELS; ++level) {
        std::strcat(up, "../");
        std::snprintf(path, sizeof path, "%sidVendor", up);
        const CFileDescriptor vendor(openat(device.Get(), path, O_RDONLY | O_CLOEXEC));
        if (vendor.IsOpen()) {
            std::snprintf(path, sizeof path, "%sidProduct", up);
            const CFileDescriptor product(openat(device.Get(), path, O_RDONLY | O_CLOEXEC));
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
    const CDirectory ttyClass(m_ttyClass.c_str());
    if (ttyClass.Get() == nullptr) {
        return 0;
    }
    std::vector<UsbTty> ttys;
    while (const dirent* entry = readdir(ttyClass.Get())) {
        UsbTty tty;
        if (entry->d_name[0] != '.' && FindUsbIds(dirfd(ttyClass.Get()), entry->d_name, &tty) &&
            (anyDevice || (tty.Vid == vid && tty.Pid == pid))) {
            tty.Name = entry->d_name;
            ttys.push_back(std::move(tty));
        }
    }
    std::sort(ttys.begin(), ttys.end(), TtyNameLess);
    int32_t count = 0;
    for (auto tty = ttys.begin(); tty != ttys.end() && count < MAX_COMM_PORTS; ++tty) {
        char path[COMM_PATH_SIZE];
        const int length = std::snprintf(path, sizeof path, "%s/%s", m_devRoot.c_str(), tty->Name.c_str());
        const int32_t number =
            length > 0 && static_cast<std::size_t>(length) < sizeof path ? RegisterCommPortPath(path) : -1;
        if (number > 0) {
            ports[count++] = number;
        }
    }
    return count;
}

const CPortSource& SystemPortSource() {
    static const CSysfsPortSource source("/sys", "/dev");
    return source;
}
