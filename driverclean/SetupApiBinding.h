// The system side of the removal tool's seam: the setup functions looked up by name in a DLL that is
// loaded once and stays loaded for the whole run, and the configuration manager linked as usual.
#pragma once

#include "driverclean/DeviceSetupApi.h"

// The owner of a loaded DLL, freed at the end of its life; the removal tool's one kind of module handle.
class CLibraryModule {
public:
    CLibraryModule() = default;
    ~CLibraryModule() {
        if (m_module != nullptr) {
            FreeLibrary(m_module);
        }
    }
    CLibraryModule(const CLibraryModule&) = delete;
    CLibraryModule& operator=(const CLibraryModule&) = delete;

    // Loads `name` unless a DLL is held already; false when none is held afterwards.
    bool Load(const wchar_t* name) {
        m_module = m_module != nullptr ? m_module : LoadLibraryW(name);
        return m_module != nullptr;
    }
    HMODULE Get() const { return m_module; }

private:
    HMODULE m_module = nullptr;
};

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
