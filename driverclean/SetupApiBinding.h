// The system side of the removal tool's seam: the setup functions looked up by name in a DLL that is
// loaded once and stays loaded for the whole run, and the configuration manager linked as usual.
#pragma once

#include "driverclean/DeviceSetupApi.h"
#include "platform/HandleOwner.h"

// The setup functions of the DLL `name`, taken from it when first bound; the DLL is freed only when
// the object goes. Not linking the DLL lets a system without it start the program, which then ends with
// the error code of the failed load or look-up.
class CSetupApiLibrary : public CSetupApiSource {
public:
    explicit CSetupApiLibrary(const wchar_t* name) : m_name(name) {}

    const DeviceSetupApi* Bind(DWORD* error) override;

private:
    const wchar_t* m_name;
    CLibraryModule m_module;
    bool m_bound = false;
    DeviceSetupApi m_api{};
};

// The name the program loads its setup functions from.
inline constexpr wchar_t SETUP_LIBRARY[] = L"setupapi.dll";
