// Device ports on POSIX: device paths in portkit's path table, found below sysfs. ZRVLINK_SYSFS_ROOT
// and ZRVLINK_DEV_ROOT stand for /sys and /dev when set, so that tests can present devices of their
// own. The POSIX side of the ports seam.
#include "cli/system/Ports.h"

#include "portdetect/SysfsPortSource.h"
#include "portkit/CommPortPaths.h"

#include <cstdlib>
#include <sys/stat.h>

namespace {

std::string RootFromEnvironment(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0' ? value : fallback;
}

std::string SysRoot() {
    return RootFromEnvironment("ZRVLINK_SYSFS_ROOT", "/sys");
}

std::string DevRoot() {
    return RootFromEnvironment("ZRVLINK_DEV_ROOT", "/dev");
}

} // namespace

bool ResolvePort(const std::string& name, int32_t* number) {
    const int32_t registered = RegisterCommPortPath(name.c_str());
    if (registered <= 0) {
        return false;
    }
    *number = registered;
    return true;
}

std::string PortNameOf(int32_t number) {
    char path[COMM_PATH_SIZE];
    return GetCommPortPath(number, path) ? std::string(path) : std::string();
}

// A character device is the device itself, whichever node or link leads to it; anything else is its file.
std::string PortIdentity(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0) {
        return "name " + name;
    }
    if (S_ISCHR(info.st_mode)) {
        return "device " + std::to_string(info.st_rdev);
    }
    return "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

bool PortIsPresent(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0;
}

const CPortSource& CliPortSource() {
    static const CSysfsPortSource source(SysRoot(), DevRoot());
    return source;
}

std::vector<std::string> DetectionFolders() {
    return {DevRoot(), SysRoot() + "/class/tty"};
}
