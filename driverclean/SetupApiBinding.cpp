// The system's table of setup functions for YorDriverSetup.exe; system side of the removal tool's seam.
#include "driverclean/SetupApiBinding.h"

namespace {

// `*function` set to the export `name` of `module`; false with the look-up's last error when missing.
template <typename Function>
bool FindFunction(HMODULE module, const char* name, Function* function) {
    const FARPROC found = GetProcAddress(module, name);
    // Through void (*)(): the one function type that converts to any other without a warning.
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    return found != nullptr;
}

bool FindSetupFunctions(HMODULE module, DeviceSetupApi* api) {
    return FindFunction(module, "SetupDiGetClassDevsExW", &api->GetClassDevsEx) &&
           FindFunction(module, "SetupDiGetDeviceInfoListDetailW", &api->GetDeviceInfoListDetail) &&
           FindFunction(module, "SetupDiEnumDeviceInfo", &api->EnumDeviceInfo) &&
           FindFunction(module, "SetupDiGetDeviceRegistryPropertyW", &api->GetDeviceRegistryProperty) &&
           FindFunction(module, "SetupDiSetClassInstallParamsW", &api->SetClassInstallParams) &&
           FindFunction(module, "SetupDiCallClassInstaller", &api->CallClassInstaller) &&
           FindFunction(module, "SetupDiDestroyDeviceInfoList", &api->DestroyDeviceInfoList);
}

} // namespace

const DeviceSetupApi* CSetupApiLibrary::Bind(DWORD* error) {
    if (m_bound) {
        return &m_api;
    }
    if (!m_module.Load(m_name) || !FindSetupFunctions(m_module.Get(), &m_api)) {
        *error = FailureCode(GetLastError());
        return nullptr;
    }
    m_api.GetDeviceIdEx = ::CM_Get_Device_ID_ExW;
    m_bound = true;
    return &m_api;
}
