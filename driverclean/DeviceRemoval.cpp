// Enumerating, matching and removing device instances; logic side of the removal tool's seam.
#include "driverclean/DeviceRemoval.h"

#include "driverclean/DeviceIdList.h"

namespace {

// The size of the instance-ID buffer, in wide characters.
constexpr ULONG DEVICE_ID_CHARS = 200;

// A device information set, destroyed through the table it came from.
class CDeviceInfoSet {
public:
    CDeviceInfoSet(const DeviceSetupApi& api, HDEVINFO set) : m_api(api), m_set(set) {}
    ~CDeviceInfoSet() {
        if (IsBuilt()) {
            m_api.DestroyDeviceInfoList(m_set);
        }
    }
    CDeviceInfoSet(const CDeviceInfoSet&) = delete;
    CDeviceInfoSet& operator=(const CDeviceInfoSet&) = delete;

    bool IsBuilt() const { return m_set != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return m_set; }

private:
    const DeviceSetupApi& m_api;
    HDEVINFO m_set;
};

wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
    for (; *a != L'\0' && AsciiLower(*a) == AsciiLower(*b); ++a, ++b) {
    }
    return AsciiLower(*a) == AsciiLower(*b);
}

bool ListHolds(const CDeviceIdList& list, const wchar_t* id) {
    if (!list) {
        return false;
    }
    for (const wchar_t* const* entry = list.Ids(); *entry != nullptr; ++entry) {
        if (EqualIgnoringAsciiCase(*entry, id)) {
            return true;
        }
    }
    return false;
}

bool ReadListDetail(const DeviceSetupApi& api, HDEVINFO set, SP_DEVINFO_LIST_DETAIL_DATA_W* detail) {
    *detail = {};
    detail->cbSize = sizeof *detail; // the size of this build's structure, 560 bytes on x64
    return api.GetDeviceInfoListDetail(set, detail) != FALSE;
}

DWORD RemoveMatchingDevices(const DeviceSetupApi& api, HDEVINFO set, const wchar_t* hardwareId) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; api.EnumDeviceInfo(set, index, &device); ++index) {
        if (DeviceMatchesId(api, set, &device, hardwareId)) {
            const DWORD result = RemoveDevice(api, set, &device);
            if (result != 0) {
                return result;
            }
        }
    }
    return 0;
}

} // namespace

bool DeviceMatchesId(const DeviceSetupApi& api, HDEVINFO set, SP_DEVINFO_DATA* device,
                     const wchar_t* hardwareId) {
    const CDeviceIdList hardwareIds = GetDeviceIdList(api, set, device, SPDRP_HARDWAREID);
    const CDeviceIdList compatibleIds = GetDeviceIdList(api, set, device, SPDRP_COMPATIBLEIDS);
    return ListHolds(hardwareIds, hardwareId) || ListHolds(compatibleIds, hardwareId);
}

DWORD RemoveDevice(const DeviceSetupApi& api, HDEVINFO set, SP_DEVINFO_DATA* device) {
    SP_DEVINFO_LIST_DETAIL_DATA_W detail;
    if (!ReadListDetail(api, set, &detail)) {
        return 0;
    }
    // Only a device that its set's machine can still name is removed; the others are left alone.
    wchar_t instanceId[DEVICE_ID_CHARS];
    if (api.GetDeviceIdEx(device->DevInst, instanceId, DEVICE_ID_CHARS, 0, detail.RemoteMachineHandle) !=
        CR_SUCCESS) {
        return 0;
    }
    SP_REMOVEDEVICE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof params.ClassInstallHeader;
    params.ClassInstallHeader.InstallFunction = DIF_REMOVE;
    params.Scope = DI_REMOVEDEVICE_GLOBAL;
    params.HwProfile = 0;
    if (!api.SetClassInstallParams(set, device, &params.ClassInstallHeader, sizeof params)) {
        return FailureCode(GetLastError());
    }
    if (!api.CallClassInstaller(DIF_REMOVE, set, device)) {
        return FailureCode(GetLastError());
    }
    return 0;
}

DWORD RemoveDevicesById(const DeviceSetupApi& api, const wchar_t* hardwareId) {
    // Without DIGCF_PRESENT the set also holds the instances of devices that are not connected now.
    const CDeviceInfoSet set(
        api, api.GetClassDevsEx(nullptr, hardwareId, nullptr, DIGCF_ALLCLASSES, nullptr, nullptr, nullptr));
    if (!set.IsBuilt()) {
        return FailureCode(GetLastError());
    }
    SP_DEVINFO_LIST_DETAIL_DATA_W detail;
    if (!ReadListDetail(api, set.Get(), &detail)) {
        return 0;
    }
    return RemoveMatchingDevices(api, set.Get(), hardwareId);
}

DWORD RunDriverClean(CSetupApiSource& source, int argc, const wchar_t* const argv[]) {
    if (argc < 2) {
        return 0;
    }
    DWORD error = ERROR_SUCCESS;
    const DeviceSetupApi* api = source.Bind(&error);
    if (api == nullptr) {
        return FailureCode(error);
    }
    return RemoveDevicesById(*api, argv[1]);
}
