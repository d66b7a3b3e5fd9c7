// Device ports by name: the port number that portkit opens for a name, the device that a name stands for,
// and the ports that detection finds now, with what identifies their USB devices. Naming and the source
// of detection sit behind a seam (Ports_posix.cpp: device paths below sysfs; Ports_win32.cpp: COMn from
// the registry); detection, the port records and the same-port rules are portable.
#pragma once

#include "portdetect/PortSource.h"

#include <cstdint>
#include <string>
#include <vector>

// The number portkit opens for `name`; false when no port can have that name.
bool ResolvePort(const std::string& name, int32_t* number);

// The name of a port number that detection found.
std::string PortNameOf(int32_t number);

// What `name` stands for, whatever its spelling: two names with the same identity are one port. POSIX:
// the device a path resolves to (a symbolic link is its target); Windows: COMn in any of its spellings.
// A name that names nothing yet is its own identity.
std::string PortIdentity(const std::string& name);

// Whether a port named by the user is there now. POSIX: its path leads to something; Windows: the system
// lists the COM port as a serial port.
bool PortIsPresent(const std::string& name);

// Where detection looks on this platform.
const CPortSource& CliPortSource();

// The folders whose entries come and go with the ports that detection finds: POSIX: the /dev folder and
// sysfs's tty class (or what ZRVLINK_DEV_ROOT and ZRVLINK_SYSFS_ROOT stand for); Windows: none.
std::vector<std::string> DetectionFolders();

// The device's ports present now, in detection order.
std::vector<std::string> DetectPortNames();

// A detected port and the USB device behind it.
struct PortRecord {
    std::string Name; // as the other commands take it: /dev/ttyACM0, COM7
    UsbPortInfo Usb;  // Usb.Port is the number that Name resolves to
};

// The device's ports present now, in detection order, each with its USB device's IDs, serial number and
// location (empty when the source did not describe the port).
std::vector<PortRecord> DetectPortRecords();

// "PORT<TAB>VID:PID<TAB>SERIAL<TAB>LOCATION": the IDs as four lower-case hexadecimal digits each, "-" for
// a serial number or location that is missing, and control characters as '?', so that a record stays
// one line of four fields.
std::string FormatPortRecord(const PortRecord& record);

// The first two of `ports` that name one port, whatever their spellings; false when there are none.
bool FindSamePort(const std::vector<std::string>& ports, std::string* first, std::string* second);

// `ports` without each one that names a port met earlier in the list.
std::vector<std::string> WithoutSamePorts(const std::vector<std::string>& ports);
