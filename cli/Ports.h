// Device ports by name: the port number that portkit opens for a name, the device that a name stands for,
// and the names of the ports that detection finds now. Naming and the source of detection sit behind a
// seam (Ports_posix.cpp: device paths below sysfs; Ports_win32.cpp: COMn from the registry);
// DetectPortNames, FindSamePort and WithoutSamePorts are portable.
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

// Where detection looks on this platform.
const CPortSource& CliPortSource();

// The device's ports present now, in detection order.
std::vector<std::string> DetectPortNames();

// The first two of `ports` that name one port, whatever their spellings; false when there are none.
bool FindSamePort(const std::vector<std::string>& ports, std::string* first, std::string* second);

// `ports` without each one that names a port met earlier in the list.
std::vector<std::string> WithoutSamePorts(const std::vector<std::string>& ports);
