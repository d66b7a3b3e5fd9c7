// Entry point of YorDriverSetup.exe: its start-up, then the removal through the system's setup functions.
#include "driverclean/DeviceRemoval.h"
#include "driverclean/SetupApiBinding.h"

namespace {

constexpr int EXIT_START_FAILED = 1;

// The least start-up that can fail: a process that cannot find its own module is not fit to change the
// device tree, and the installation reads exit code 1 as "did not start".
bool StartUp() {
    return GetModuleHandleW(nullptr) != nullptr;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (!StartUp()) {
        return EXIT_START_FAILED;
    }
    // Loaded once, freed after the device set and the class installers are done with it.
    CSetupApiLibrary setupApi(SETUP_LIBRARY);
    // An error code above INT_MAX keeps its bits on the way to the process exit code.
    return static_cast<int>(RunDriverClean(setupApi, argc, argv));
}
