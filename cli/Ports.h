// Device ports by name: the port number that portkit opens for a name, and the names of the ports that
// detection finds now. Naming and the source of detection sit behind a seam (Ports_posix.cpp: device
// paths below sysfs; Ports_win32.cpp: COMn from the registry); DetectPortNames is portable.
#pragma once

#include "portdetect/PortSource.h"

#include <cstdint>
#include <string>
#include <vector>

// The number portkit opens for `name`; false when no port can have that name.
bool ResolvePort(const std::string& name, int32_t* number);

// The name of a port number that detection found.
std::string PortNameOf(int32_t number);

// Where detection looks on this platform.
const CPortSource& CliPortSource();

// The device's ports present now, in detection order.
std::vector<std::string> DetectPortNames();
