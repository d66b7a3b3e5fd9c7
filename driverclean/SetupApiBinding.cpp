// The system's table of setup functions for YorDriverSetup.exe; system side of the removal tool's seam.
#include "driverclean/SetupApiBinding.h"

namespace {
constexpr wchar_t SETUP_LIBRARY[] = L"setupapi.dll";
} // namespace

const DeviceSetupApi& SystemDeviceSetupApi() {
    static const DeviceSetupApi api = SetupApiFromLibrary<SETUP_LIBRARY>();
    return api;
}
