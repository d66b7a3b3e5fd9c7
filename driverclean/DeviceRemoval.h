// Removal of device instances by hardware ID (enumerate, match, act); logic side of the removal tool's
// seam, calling the system only through a DeviceSetupApi table.
#pragma once

#include "driverclean/DeviceSetupApi.h"

// True when one of the device's hardware IDs, or else one of its compatible IDs, equals `hardwareId`
// as a whole string, with ASCII letters compared without case.
bool DeviceMatchesId(const DeviceSetupApi& api, HDEVINFO set, SP_DEVINFO_DATA* device,
                     const wchar_t* hardwareId);

// 0 when the device was removed or skipped (its set's list detail or its instance ID unreadable);
// otherwise the error code of the step that failed.
DWORD RemoveDevice(const DeviceSetupApi& api, HDEVINFO set, SP_DEVINFO_DATA* device);

// Removes every device instance, connected or not, whose IDs hold `hardwareId` (which also serves as the
// enumerator). 0, or the error code that stopped it: the set not built, or a removal failed.
DWORD RemoveDevicesById(const DeviceSetupApi& api, const wchar_t* hardwareId);

// The program after its start-up: the first argument is the hardware ID, any further ones are ignored.
// Returns the exit code; a table that cannot be bound ends the run with the system's error code.
DWORD RunDriverClean(CSetupApiSource& source, int argc, const wchar_t* const argv[]);
