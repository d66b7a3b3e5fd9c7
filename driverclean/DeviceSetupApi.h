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
