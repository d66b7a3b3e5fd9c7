// The system side of the removal tool's seam: setup functions looked up by name in a DLL that is loaded
// for each single call, and the configuration manager linked as usual.
#pragma once

#include "driverclean/DeviceSetupApi.h"

#include <type_traits>

// A DLL held for one call. Freeing it keeps the thread's last error, which belongs to the call.
class CLoadedLibrary {
public:
    explicit CLoadedLibrary(const wchar_t* name) : m_module(LoadLibraryW(name)) {}
    ~CLoadedLibrary() {
        if (m_module != nullptr) {
            const DWORD error = GetLastError();
            FreeLibrary(m_module);
            SetLastError(error);
        }
    }
    CLoadedLibrary(const CLoadedLibrary&) = delete;
    CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;

    FARPROC Find(const char* name) const {
        return m_module != nullptr ? GetProcAddress(m_module, name) : nullptr;
    }

private:
    HMODULE m_module;
};

// Calls `name` of `library`; when either is missing returns `failed` with the last error of the load or
// the look-up. The library is freed before the caller sees the result.
template <typename Function, typename... Args>
std::invoke_result_t<Function, Args...> CallLibraryFunction(const wchar_t* library, const char* name,
                                                            std::invoke_result_t<Function, Args...> failed,
                                                            Args... args) {
    const CLoadedLibrary module(library);
    const FARPROC found = module.Find(name);
    if (found == nullptr) {
        return failed;
    }
    // A function that fails without saying why must not pass on an error left over from the load.
    SetLastError(ERROR_SUCCESS);
    // Through void (*)(): the one function type that converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found))(args...);
}

template <const wchar_t* Library, const char* Name, typename Function>
struct CLibraryFunction;

// A function of the table's type that calls `Name` of `Library` by name; FALSE or a null handle when
// the library or the name is missing.
template <const wchar_t* Library, const char* Name, typename Result, typename... Params>
struct CLibraryFunction<Library, Name, Result(WINAPI*)(Params...)> {
    static Result WINAPI Call(Params... args) {
        return CallLibraryFunction<Result(WINAPI*)(Params...)>(Library, Name, Result{}, args...);
    }
};

namespace setup_function_names {
inline constexpr char GET_CLASS_DEVS_EX[] = "SetupDiGetClassDevsExW";
inline constexpr char GET_LIST_DETAIL[] = "SetupDiGetDeviceInfoListDetailW";
inline constexpr char ENUM_DEVICE_INFO[] = "SetupDiEnumDeviceInfo";
inline constexpr char GET_REGISTRY_PROPERTY[] = "SetupDiGetDeviceRegistryPropertyW";
inline constexpr char SET_CLASS_INSTALL_PARAMS[] = "SetupDiSetClassInstallParamsW";
inline constexpr char CALL_CLASS_INSTALLER[] = "SetupDiCallClassInstaller";
inline constexpr char DESTROY_LIST[] = "SetupDiDestroyDeviceInfoList";
} // namespace setup_function_names

// The table with the setup functions taken from `Library`, so that a system without them fails each
// call instead of refusing to start the program.
template <const wchar_t* Library>
DeviceSetupApi SetupApiFromLibrary() {
    namespace n = setup_function_names;
    DeviceSetupApi api{};
    api.GetClassDevsEx = CLibraryFunction<Library, n::GET_CLASS_DEVS_EX, decltype(api.GetClassDevsEx)>::Call;
    api.GetDeviceInfoListDetail =
        CLibraryFunction<Library, n::GET_LIST_DETAIL, decltype(api.GetDeviceInfoListDetail)>::Call;
    api.EnumDeviceInfo = CLibraryFunction<Library, n::ENUM_DEVICE_INFO, decltype(api.EnumDeviceInfo)>::Call;
    api.GetDeviceRegistryProperty =
        CLibraryFunction<Library, n::GET_REGISTRY_PROPERTY, decltype(api.GetDeviceRegistryProperty)>::Call;
    api.SetClassInstallParams =
        CLibraryFunction<Library, n::SET_CLASS_INSTALL_PARAMS, decltype(api.SetClassInstallParams)>::Call;
    api.CallClassInstaller =
        CLibraryFunction<Library, n::CALL_CLASS_INSTALLER, decltype(api.CallClassInstaller)>::Call;
    api.DestroyDeviceInfoList =
        CLibraryFunction<Library, n::DESTROY_LIST, decltype(api.DestroyDeviceInfoList)>::Call;
    api.GetDeviceIdEx = ::CM_Get_Device_ID_ExW;
    return api;
}

// The table the program uses: "setupapi.dll" by name for every call.
const DeviceSetupApi& SystemDeviceSetupApi();
