// The removal tool's table of setup and configuration-manager functions: the seam between its logic and
// the system (SetupApiBinding.h fills it from the system, the tests with fakes).
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

struct DeviceSetupApi {
    decltype(&::SetupDiGetClassDevsExW) GetClassDevsEx;
    decltype(&::SetupDiGetDeviceInfoListDetailW) GetDeviceInfoListDetail;
    decltype(&::SetupDiEnumDeviceInfo) EnumDeviceInfo;
    decltype(&::SetupDiGetDeviceRegistryPropertyW) GetDeviceRegistryProperty;
    decltype(&::SetupDiSetClassInstallParamsW) SetClassInstallParams;
    decltype(&::SetupDiCallClassInstaller) CallClassInstaller;
    decltype(&::SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList;
    decltype(&::CM_Get_Device_ID_ExW) GetDeviceIdEx;
};

// Where a run gets its table: bound once, before the first device is looked at, and usable until the
// source is destroyed (the device set, and the class installers that a removal loads, need the
// library for as long as they live).
class CSetupApiSource {
public:
    CSetupApiSource() = default;
    virtual ~CSetupApiSource() = default;
    CSetupApiSource(const CSetupApiSource&) = delete;
    CSetupApiSource& operator=(const CSetupApiSource&) = delete;

    // The table; null with the system's error code in `*error` when the functions cannot be had.
    virtual const DeviceSetupApi* Bind(DWORD* error) = 0;
};

// The exit code of a failed step. One that left no error code still has to fail the run: 0 would tell
// the installation that the device is gone.
inline DWORD FailureCode(DWORD error) {
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}
